// Uncompressed AVI: 32-bit BGRA frames (alpha in the 4th byte) in a RIFF 'AVI ' file with one video
// stream. Builds without FFmpeg (the 32-bit test suite) read and write real videos through it.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/core/host_engine.h"
#include "host/core/host_video.h"

namespace hostengine {

// Reads the video stream of an uncompressed AVI: BITMAPINFOHEADER BI_RGB at 32 (BGRA) or 24 bits
// (opaque), rows bottom-up or top-down as the sign of its height says. Every size in the file is
// checked against the file's length at open, so a truncated or corrupt file is refused up front.
class RawAviReader : public FrameSource {
public:
    // Null with `error` set for a missing, truncated, compressed or otherwise unreadable file.
    static std::unique_ptr<RawAviReader> open(const std::string& path, std::string& error);

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    std::int32_t frameCount() const override { return static_cast<std::int32_t>(frames_.size()); }
    bool readFrame(std::int32_t index, std::uint8_t* bgra) override;

    bool bottomUp() const { return bottomUp_; }
    std::int32_t bitsPerPixel() const { return bitsPerPixel_; }
    std::uint32_t rate() const { return rate_; }    // frames per `scale` seconds
    std::uint32_t scale() const { return scale_; }

private:
    struct Chunk {
        std::uint64_t offset;  // of the frame's data; 0 with size 0 for a dropped frame
        std::uint32_t size;
    };
    class Parser;

    RawAviReader() = default;

    std::ifstream file_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t bitsPerPixel_ = 32;
    bool bottomUp_ = true;
    std::uint32_t rate_ = 0;
    std::uint32_t scale_ = 0;
    std::vector<Chunk> frames_;
    std::vector<std::uint8_t> stored_;  // one frame as the file holds it
};

// Writes an uncompressed 32-bit AVI frame by frame: the header's counts and sizes and the 'idx1'
// index are filled in by finish(). Frames are given as BGRA, rows top-down.
class RawAviWriter {
public:
    RawAviWriter() = default;
    ~RawAviWriter();  // finishes a file still open
    RawAviWriter(const RawAviWriter&) = delete;
    RawAviWriter& operator=(const RawAviWriter&) = delete;

    // `bottomUp` stores rows as most AVI files do; false writes a negative height and rows top-down.
    bool open(const std::string& path, std::int32_t width, std::int32_t height, std::uint32_t fps, bool bottomUp = true);
    bool addFrame(const std::uint8_t* bgra);  // width * height * 4 bytes; false once the file would pass 4 GB
    bool finish();
    std::int32_t framesWritten() const { return static_cast<std::int32_t>(sizes_.size()); }

private:
    std::ofstream file_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    bool bottomUp_ = true;
    std::uint32_t frameBytes_ = 0;
    std::vector<std::uint32_t> sizes_;
    std::vector<std::uint8_t> row_;
    bool failed_ = false;
};

// The whole video at once; each frame holds width * height * 4 BGRA bytes, rows top-down.
bool writeRawAvi(const std::string& path, std::int32_t width, std::int32_t height, std::uint32_t fps,
                 const std::vector<std::vector<std::uint8_t>>& frames, bool bottomUp = true);

// The "avifile" video factory for builds without FFmpeg.
class RawAviVideoFactory : public HostVideoFactory {
public:
    RawAviVideoFactory();
};

// Makes the factory; it is found under "avifile" for as long as the caller keeps it. Builds with
// FFmpeg register the FFmpeg factory instead (registerFfmpegVideoFactory), which reads these files too.
std::unique_ptr<HostVideoFactory> registerRawAviVideoFactory(HostEngine& engine);

}  // namespace hostengine
