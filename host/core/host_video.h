// Host videos as the module sees them: a handle holding "IVideo" that hands out two bitmaps, the
// colour picture (RGB555) and the alpha picture (8 bits), both showing the frame last moved to.
// Decoding is left to a FrameSource; factories differ only in the source they open.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/abi.h"
#include "host/core/frame_cache.h"
#include "host/core/frame_read_ahead.h"
#include "host/core/host_engine.h"
#include "host/core/memory_bitmap.h"

namespace hostengine {

// Frames are refused beyond this size on either side: a corrupt header must not make the host
// allocate gigabytes. Anything above 512 still opens; the module clips what it cannot draw.
constexpr std::int32_t kMaxVideoSide = 8192;

// Decoded frames of one video as 32-bit BGRA (alpha in the 4th byte), rows top-down.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;
    virtual std::int32_t frameCount() const = 0;
    // Decodes frame `index` (0 <= index < frameCount) into width * height * 4 bytes; false on failure.
    virtual bool readFrame(std::int32_t index, std::uint8_t* bgra) = 0;
};

// How a video keeps what it decoded: the cache it shares with the other videos of its factory (null:
// none) and how many frames after the one it moved to a thread decodes ahead into it (0: none).
struct FrameKeeping {
    FrameCache* cache = nullptr;
    std::int32_t readAhead = 0;
};

class HostVideo : public IVideo {
public:
    // Null when the source is missing, its size or frame count is out of range, or frame 0 cannot be read.
    static std::unique_ptr<HostVideo> create(std::unique_ptr<FrameSource> source, FrameKeeping keeping = {});
    ~HostVideo();
    HostVideo(const HostVideo&) = delete;
    HostVideo& operator=(const HostVideo&) = delete;

    // IVideo. seek and next answer 1 when the video moved; otherwise 0 and the frame stays.
    std::int32_t frameCount() override { return source_->frameCount(); }
    std::int32_t seek(std::int32_t frame) override;
    std::int32_t next() override;
    Point* size(Point* result) override {
        *result = Point(source_->width(), source_->height());
        return result;
    }
    std::int32_t bitmapCount() override { return 2; }
    InterfaceTable* bitmap(std::int32_t index) override;  // 0 colour, 1 alpha, null otherwise

    InterfaceTable* handle() { return &interfaces; }
    std::int32_t currentFrame() const { return current_; }
    MemoryBitmap& colour() { return *colour_; }
    MemoryBitmap& alpha() { return *alpha_; }
    // The decoder. While frames are read ahead it is shared with that thread: call waitForReadAhead
    // before looking at its state.
    FrameSource& source() { return *source_; }
    void waitForReadAhead();

    InterfaceTable interfaces;  // "IVideo"

private:
    HostVideo(std::unique_ptr<FrameSource> source, FrameKeeping keeping);
    bool show(std::int32_t frame);  // the frame in both bitmaps, from the cache or decoded
    void readAheadFrom(std::int32_t frame);
    void decodeAhead(std::int32_t frame);  // on the read-ahead thread
    FrameCache::Pictures pictures(MemoryBitmap& colour, MemoryBitmap& alpha) const;

    std::unique_ptr<FrameSource> source_;
    std::mutex sourceMutex_;  // the source decodes for one thread at a time
    std::unique_ptr<MemoryBitmap> colour_;
    std::unique_ptr<MemoryBitmap> alpha_;
    std::vector<std::uint8_t> frame_;
    std::int32_t current_ = -1;
    FrameKeeping keeping_;
    // The read-ahead thread's own frame and pictures, made here so that it never touches the
    // registry (bitmaps register their interfaces).
    std::vector<std::uint8_t> aheadFrame_;
    std::unique_ptr<MemoryBitmap> aheadColour_;
    std::unique_ptr<MemoryBitmap> aheadAlpha_;
    std::unique_ptr<FrameReadAhead> readAhead_;  // started at the first move; stopped first
};

// The pixels of one BGRA frame split into an RGB555 bitmap and an alpha bitmap of the same size.
void splitFrame(const std::uint8_t* bgra, MemoryBitmap& colour, MemoryBitmap& alpha);

// A video factory registered under an object name with "IVideoFactory". It owns the videos it opened
// until they are closed (or until it goes).
class HostVideoFactory : public HostObject, public IVideoFactory {
public:
    // Opens a source for a path; null with `error` set when the file is missing or not readable.
    using Opener = std::function<std::unique_ptr<FrameSource>(const std::string& path, std::string& error)>;

    HostVideoFactory(const char* objectName, Opener opener);
    ~HostVideoFactory() override;

    InterfaceTable* open(const char* path) override;  // null for a null path and for every failure
    void close(InterfaceTable* video) override;       // ignores null and handles it did not open

    std::size_t openVideos() const { return videos_.size(); }
    HostVideo* videoOf(InterfaceTable* handle);
    const std::string& lastError() const { return lastError_; }  // why the last open failed

    // The decoded frames of every video this factory opened; a limit of 0 turns keeping them off.
    FrameCache& cache() { return cache_; }
    // Frames decoded ahead of a video that moved, for the videos opened from now on (0: none; only
    // with a cache).
    void setReadAhead(std::int32_t frames) { readAhead_ = frames; }
    std::int32_t readAhead() const { return readAhead_; }

private:
    Opener opener_;
    FrameCache cache_;  // before the videos: they forget their frames as they close
    std::int32_t readAhead_ = 0;
    std::map<InterfaceTable*, std::unique_ptr<HostVideo>> videos_;
    std::string lastError_;
};

}  // namespace hostengine
