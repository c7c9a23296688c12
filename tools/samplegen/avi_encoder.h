// Writes alpha videos as AVI files through the FFmpeg libraries: lossless FFV1 in BGRA, every frame a
// key frame, so any frame decodes on its own (seeking is exact) and the alpha survives bit for bit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace samplegen {

// Frame duration of the pawns' animation: one frame every 83 ms.
constexpr int kFrameMilliseconds = 83;

class AlphaAviWriter {
public:
    // Throws std::runtime_error when the file cannot be created or the encoder is missing. Without
    // `alpha` the file stores colour only (BGR0) and the 4th byte of each given pixel is dropped.
    AlphaAviWriter(const std::string& path, int width, int height, bool alpha = true);
    ~AlphaAviWriter();
    AlphaAviWriter(const AlphaAviWriter&) = delete;
    AlphaAviWriter& operator=(const AlphaAviWriter&) = delete;

    void addFrame(const std::vector<std::uint8_t>& bgra);  // width * height * 4 bytes, rows top-down
    void finish();                                          // flushes the encoder, writes the index

private:
    void drain();
    void release();

    std::string path_;
    int width_;
    int height_;
    int pixelFormat_;  // the AVPixelFormat stored
    std::int64_t frames_ = 0;
    bool finished_ = false;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
};

// The whole video at once.
void writeAlphaAvi(const std::string& path, int width, int height, const std::vector<std::vector<std::uint8_t>>& frames, bool alpha = true);

}  // namespace samplegen
