// One video stream encoded into a file through libavformat and libavcodec: what every writer of
// pictures here shares (opening, the frame to fill, encoding, draining, finishing, releasing).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace pawnarchive {

struct EncodedFileSetup {
    const char* format;  // the muxer: "avi", "gif"
    int codec;           // AVCodecID
    int pixelFormat;     // AVPixelFormat of the frames handed in
    int width;
    int height;
    int timeBaseNumerator;  // seconds per pts step: numerator / denominator
    int timeBaseDenominator;
    std::function<void(AVCodecContext*)> tune;  // codec options, before it is opened
};

class EncodedFile {
public:
    // Throws std::runtime_error naming the file when it cannot be made or the encoder is missing.
    EncodedFile(const std::string& path, const EncodedFileSetup& setup);
    ~EncodedFile();
    EncodedFile(const EncodedFile&) = delete;
    EncodedFile& operator=(const EncodedFile&) = delete;

    // The frame to fill with the next picture (writable, of the setup's size and format).
    AVFrame* frame();
    // Encodes the filled frame at time `pts` and writes what the encoder gives back.
    void send(std::int64_t pts);
    // Flushes the encoder, writes the index or trailer and closes the file.
    void finish();

    const std::string& path() const { return path_; }

private:
    void open(const EncodedFileSetup& setup);
    void drain();
    void release();
    void check(int code, const char* what) const;

    std::string path_;
    bool finished_ = false;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
};

}  // namespace pawnarchive
