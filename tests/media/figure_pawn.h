// A pawn archive small enough to write per test: the frames the test draws (boxes of one colour, say),
// and every sequence a pawn selects four of them long, starting at different frames so that sequences differ.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/core/raw_avi.h"
#include "tools/pawnstage/check_archive.h"
#include "tests/support/temp_dir.h"

inline bool writeFigurePawn(const std::filesystem::path& dir, int width, int height, const std::vector<std::vector<std::uint8_t>>& frames,
                            bool withTable = true) {
    std::filesystem::create_directories(dir);
    // Written beside and renamed, as editors and exporters do: a watching stage never reads half a file.
    const std::filesystem::path temporary = dir / "dual.avi.new";
    if (!hostengine::writeRawAvi(temporary.string(), width, height, 12, frames)) return false;
    std::filesystem::rename(temporary, dir / "dual.avi");
    if (!withTable) return true;
    std::string table = "[color]\n";
    std::size_t serial = 0;
    for (const std::string& name : pawnstage::pawnSequenceNames()) table += name + "=4@" + std::to_string(serial++ % (frames.size() - 3)) + "\n";
    testfiles::writeFile(dir / "sequence.ini", table);
    return true;
}

// Opaque boxes of one colour each (BGRA, blue in the low byte), a frame for every colour.
inline std::vector<std::vector<std::uint8_t>> boxFrames(int width, int height, const std::vector<std::uint32_t>& colours) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (const std::uint32_t bgra : colours) {
        std::vector<std::uint8_t>& frame = frames.emplace_back(static_cast<std::size_t>(width) * height * 4);
        for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(bgra >> (8 * (i % 4)));
    }
    return frames;
}
