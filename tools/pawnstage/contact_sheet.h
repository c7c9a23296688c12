// The contact sheet of a figure: one row per sequence (its name, count and first frame), its frames
// along the row at their real size over the stage's background, frame numbers under them, and the
// frame a pawn holds marked. What a person looks at instead of reading a table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/abi.h"
#include "host/core/surface.h"
#include "tools/pawnstage/pawn_frames.h"

namespace pawnstage {

struct SheetLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;

    // Top-left of frame `column` of the sequence in row `row`.
    Point frameAt(std::size_t row, std::size_t column) const;
};

SheetLayout layoutSheet(const PawnFrames& frames);

// What the stage shows of a frame a pawn holds rather than plays through, or null: the first frame of
// a happy or unhappy reaction (held 800 ms), and of "freeze" (the whole time it is frozen).
const char* holdOf(const std::string& sequence, std::size_t frame);

// The frame blended as the module blends it over the stage's background where a risen pawn
// stands: RGB555, rows top-down, the frame's width.
std::vector<std::uint16_t> frameOnStage(const FramePicture& picture);

// `title` heads the sheet. Throws std::runtime_error naming the file when it cannot be written.
hostengine::Surface drawContactSheet(const PawnFrames& frames, const std::string& title);
void writeContactSheet(const std::filesystem::path& path, const PawnFrames& frames, const std::string& title);

// "robot: 19 sequences, 252 frames of 150 x 200, one frame every 83 ms"
std::string sheetTitle(const std::filesystem::path& archive, const PawnFrames& frames);

// The sheet of an archive as a pawn reads it. False with `error` set (naming the file) when the
// archive cannot be read or the picture cannot be written.
bool writeArchiveSheet(const std::filesystem::path& archive, const std::filesystem::path& path, std::string& error);

}  // namespace pawnstage
