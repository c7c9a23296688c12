// The "avifile" video factory on FFmpeg: AVI files in any codec FFmpeg decodes, the alpha picture
// taken from the codec's alpha channel (ffv1/png/qtrle/utvideo with alpha, raw BGRA) and opaque
// otherwise.
//
// A source decodes on demand and holds one frame; what is kept between moves is the factory's frame
// cache, bounded in bytes (a 512 x 512 video of 300 frames would take 236 MB). Opening reads the
// packets once to learn every frame's timestamp and which frames are key frames; moving to a frame
// decodes forward from the current one when no key frame lies in between, and otherwise seeks to the key frame at or before it and decodes forward from there. So
// seek lands on exactly the frame asked for, and stepping with next decodes one frame per step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/core/host_engine.h"
#include "host/core/host_video.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace hostengine {

class FfmpegFrameSource : public FrameSource {
public:
    // Null with `error` set for a missing file, one that is not an AVI, has no decodable video, is
    // cut short (fewer frames than its header counts, or a frame cut off) or whose frames are
    // larger than kMaxVideoSide. The host opens AVI files only; `anyContainer` lets the archive tools
    // read an artist's video in whatever container FFmpeg reads (MOV, WebM, ...).
    static std::unique_ptr<FfmpegFrameSource> open(const std::string& path, std::string& error, bool anyContainer = false);
    ~FfmpegFrameSource() override;
    FfmpegFrameSource(const FfmpegFrameSource&) = delete;
    FfmpegFrameSource& operator=(const FfmpegFrameSource&) = delete;

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    std::int32_t frameCount() const override { return static_cast<std::int32_t>(timestamps_.size()); }
    bool readFrame(std::int32_t index, std::uint8_t* bgra) override;

    // How the frames have been reached so far, for tests of the decoding strategy.
    int seeksMade() const { return seeks_; }
    int framesDecoded() const { return decoded_; }
    bool hasAlpha() const { return hasAlpha_; }
    const std::string& codecName() const { return codecName_; }

private:
    FfmpegFrameSource() = default;
    bool indexPackets(std::string& error);
    bool openDecoder(std::string& error);
    bool seekTo(std::int64_t timestamp);
    bool decodeNext();                          // the next frame in presentation order into frame_
    std::int32_t indexOf(std::int64_t timestamp) const;
    bool convert(std::uint8_t* bgra);

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    int stream_ = -1;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    bool hasAlpha_ = false;
    std::string codecName_;

    std::vector<std::int64_t> timestamps_;  // presentation time of frame i, ascending
    std::vector<std::int32_t> keyBefore_;   // the last key frame at or before frame i
    std::int32_t decodedIndex_ = -1;        // the frame now in frame_; -1 after a seek
    bool draining_ = false;                 // the file is read to its end; the decoder gives what it holds
    int seeks_ = 0;
    int decoded_ = 0;
};

// Half a second of a pawn's stepping (a frame per 83 ms), decoded ahead on the video's own thread.
constexpr std::int32_t kFfmpegReadAhead = 6;

// The "avifile" factory of builds with FFmpeg; it reads the uncompressed AVIs of raw_avi as well.
// It keeps what it decoded (the factory's cache) and decodes ahead of a video that moved.
class FfmpegVideoFactory : public HostVideoFactory {
public:
    FfmpegVideoFactory();
};

// Makes the factory, found under "avifile" for as long as the caller keeps it. Hosts built with the
// media parts use this one; builds without them use registerRawAviVideoFactory.
std::unique_ptr<HostVideoFactory> registerFfmpegVideoFactory(HostEngine& engine);

}  // namespace hostengine
