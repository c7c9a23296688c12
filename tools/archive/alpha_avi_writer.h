// Writes alpha videos as AVI files through the FFmpeg libraries: lossless FFV1 in BGRA, every frame a
// key frame, so any frame decodes on its own (seeking is exact) and the alpha survives bit for bit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/archive/encoded_file.h"

namespace pawnarchive {

// Frame duration of the pawns' animation: one frame every 83 ms.
constexpr int kFrameMilliseconds = 83;

class AlphaAviWriter {
public:
    // Throws std::runtime_error when the file cannot be created or the encoder is missing. Without
    // `alpha` the file stores colour only (BGR0) and the 4th byte of each given pixel is dropped.
    AlphaAviWriter(const std::string& path, int width, int height, bool alpha = true);

    void addFrame(const std::vector<std::uint8_t>& bgra);  // width * height * 4 bytes, rows top-down
    void finish();                                          // flushes the encoder, writes the index

private:
    int width_;
    int height_;
    std::int64_t frames_ = 0;
    EncodedFile file_;
};

// The whole video at once.
void writeAlphaAvi(const std::string& path, int width, int height, const std::vector<std::vector<std::uint8_t>>& frames, bool alpha = true);

}  // namespace pawnarchive
