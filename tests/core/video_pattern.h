// Test frames for the host's video factories: every pixel differs in colour and alpha, so rows,
// columns and frames cannot be mixed up; the check that a video's two bitmaps show one of them; and
// the per-test directory the file-based tests write into.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/abi.h"
#include "tests/support/temp_dir.h"

namespace videotest {

using testfiles::TempDir;

// Frame f as BGRA, rows top-down.
inline std::vector<std::uint8_t> pattern(int width, int height, int f) {
    std::vector<std::uint8_t> bgra;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bgra.insert(bgra.end(), {static_cast<std::uint8_t>(x * 9 + f * 5), static_cast<std::uint8_t>(y * 11 + f * 17),
                                     static_cast<std::uint8_t>(200 - 6 * f + x), static_cast<std::uint8_t>((x * 3 + y * 29 + f * 41) & 0xFF)});
    return bgra;
}

inline std::vector<std::vector<std::uint8_t>> patterns(int width, int height, int frames) {
    std::vector<std::vector<std::uint8_t>> all;
    for (int f = 0; f < frames; ++f) all.push_back(pattern(width, height, f));
    return all;
}

// The video's bitmaps, read through their IBitmap locks, show frame f: colour cut to 5 bits, alpha exact.
inline void expectShows(IVideo* video, int width, int height, int f) {
    IBitmap* colour = video->bitmap(0)->find<IBitmap>("IBitmap");
    IBitmap* alpha = video->bitmap(1)->find<IBitmap>("IBitmap");
    ASSERT_TRUE(colour && alpha && colour->info()->bitsPerPixel == 16 && alpha->info()->bitsPerPixel == 8);
    PixelRows* c = colour->lockRows(0, height - 1);
    PixelRows* a = alpha->lockRows(0, height - 1);
    ASSERT_TRUE(c && a);
    const std::vector<std::uint8_t> expected = pattern(width, height, f);
    int wrongColour = 0, wrongAlpha = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &expected[(static_cast<std::size_t>(y) * width + x) * 4];
            const std::uint16_t rgb = reinterpret_cast<const std::uint16_t*>(static_cast<std::uint8_t*>(c->pixels) + y * c->pitch)[x];
            wrongColour += rgb != (((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3));
            wrongAlpha += static_cast<std::uint8_t*>(a->pixels)[y * a->pitch + x] != p[3];
        }
    EXPECT_EQ(std::pair(wrongColour, wrongAlpha), std::pair(0, 0)) << "frame " << f;
    colour->unlockRows(c);
    alpha->unlockRows(a);
}

inline std::vector<char> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace videotest
