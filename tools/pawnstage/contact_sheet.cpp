#include "tools/pawnstage/contact_sheet.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "core/names.h"
#include "host/core/bitmap_font.h"
#include "host/media/png_writer.h"
#include "media/blend.h"
#include "tools/pawnstage/frame_sources.h"
#include "tools/pawnstage/material.h"
#include "tools/pawnstage/stage.h"

namespace pawnstage {

namespace {

constexpr std::int32_t kMargin = 12;
constexpr std::int32_t kHeader = 32;   // the title line
constexpr std::int32_t kLabel = 132;   // the column of sequence names, wide enough for "uhppy01" and "16 @ 244"
constexpr std::int32_t kGap = 8;       // between frames; the hold mark lies in it
constexpr std::int32_t kNumbers = 14;  // the frame numbers under a row
constexpr std::int32_t kRowGap = 12;

// Where a risen pawn's frame lies on the stage: its 150-pixel column in the middle, its top on row 280.
constexpr std::int32_t kStageX = 245;
constexpr std::int32_t kStageY = 280;

const std::uint16_t kPaper = hostengine::rgb555(28, 28, 34);
const std::uint16_t kHoldMark = hostengine::rgb555(255, 210, 40);

struct Tables {
    std::array<std::array<std::uint16_t, 32 * 256>, 6> entries;
    BlendTableSet set;
    Tables() {
        set = {entries[0].data(), entries[1].data(), entries[2].data(), entries[3].data(), entries[4].data(), entries[5].data()};
        buildBlendTables(set, 1.0);
    }
};

const BlendTableSet& blendTables() {
    static const Tables tables;
    return tables.set;
}

std::int32_t rowPitch(const SheetLayout& layout) { return layout.frameHeight + kNumbers + kRowGap; }

void drawText(Canvas& canvas, hostengine::HostFont& font, std::int32_t x, std::int32_t y, const std::string& text, const Colour& colour) {
    canvas.colour = colour;
    font.drawText(&canvas, x, y, text.c_str());
}

}  // namespace

Point SheetLayout::frameAt(std::size_t row, std::size_t column) const {
    return Point(kMargin + kLabel + static_cast<std::int32_t>(column) * (frameWidth + kGap),
                 kMargin + kHeader + static_cast<std::int32_t>(row) * (frameHeight + kNumbers + kRowGap));
}

SheetLayout layoutSheet(const PawnFrames& frames) {
    SheetLayout layout;
    if (const FramePicture* first = frames.firstFrame()) {
        layout.frameWidth = first->width;
        layout.frameHeight = first->height;
    }
    std::size_t longest = 1;
    for (const FrameSequence& sequence : frames.sequences) longest = std::max(longest, sequence.frames.size());
    const auto rows = static_cast<std::int32_t>(std::max<std::size_t>(frames.sequences.size(), 1));
    layout.width = kMargin + kLabel + static_cast<std::int32_t>(longest) * (layout.frameWidth + kGap) - kGap + kMargin;
    layout.height = kMargin + kHeader + rows * rowPitch(layout) - kRowGap + kMargin;
    return layout;
}

const char* holdOf(const std::string& sequence, std::size_t frame) {
    if (frame != 0) return nullptr;
    for (const char* reaction : {"hppy01", "hppy02", "hppy03", "uhppy01", "uhppy02", "uhppy03"})
        if (sameName(sequence.c_str(), reaction)) return "held 800 ms";
    return sameName(sequence.c_str(), "freeze") ? "shown while frozen" : nullptr;
}

std::vector<std::uint16_t> frameOnStage(const FramePicture& picture) {
    static const std::vector<std::uint16_t> backdrop = makeBackdrop();
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(picture.width) * picture.height);
    for (std::int32_t y = 0; y < picture.height; ++y)
        for (std::int32_t x = 0; x < picture.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * picture.width + x;
            std::uint16_t& out = pixels[at];
            out = backdrop[static_cast<std::size_t>((kStageY + y) % kStageHeight) * kStageWidth + (kStageX + x) % kStageWidth];
            const std::uint8_t* p = &picture.bgra[at * 4];
            // The host's colour picture keeps 5 bits a component, as the pawn's frames have them.
            const auto colour = static_cast<std::uint16_t>(((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3));
            if (p[3] != 0) out = blendPixel(blendTables(), colour, out, p[3]);
        }
    return pixels;
}

hostengine::Surface drawContactSheet(const PawnFrames& frames, const std::string& title) {
    const SheetLayout layout = layoutSheet(frames);
    hostengine::Surface sheet(layout.width, layout.height);
    sheet.fill(kPaper);
    Canvas canvas = hostengine::makeCanvas(sheet);
    hostengine::BitmapFont large(2, 0), small(1, 0);
    const Colour white(235, 235, 240), grey(150, 150, 165), yellow(255, 210, 40);
    drawText(canvas, large, kMargin, kMargin, title, white);

    for (std::size_t row = 0; row < frames.sequences.size(); ++row) {
        const FrameSequence& sequence = frames.sequences[row];
        const Point top = layout.frameAt(row, 0);
        drawText(canvas, large, kMargin, top.y, sequence.name, white);
        const std::string run = std::to_string(sequence.frames.size()) + (sequence.first >= 0 ? " @ " + std::to_string(sequence.first) : "");
        drawText(canvas, large, kMargin, top.y + 20, run, grey);
        for (std::size_t column = 0; column < sequence.frames.size(); ++column) {
            const FramePicture& picture = sequence.frames[column];
            const Point at = layout.frameAt(row, column);
            const std::vector<std::uint16_t> pixels = frameOnStage(picture);
            for (std::int32_t y = 0; y < picture.height && y < layout.frameHeight; ++y)
                std::copy_n(&pixels[static_cast<std::size_t>(y) * picture.width], std::min(picture.width, layout.frameWidth), sheet.row(at.y + y) + at.x);
            std::string number = std::to_string(column);
            if (const char* hold = holdOf(sequence.name, column)) {
                // A frame around it, in the gap, so that the frame's own pixels stay as the stage shows them.
                sheet.fillRect(Rect(at.x - 3, at.y - 3, layout.frameWidth + 6, 2), kHoldMark);
                sheet.fillRect(Rect(at.x - 3, at.y + layout.frameHeight + 1, layout.frameWidth + 6, 2), kHoldMark);
                sheet.fillRect(Rect(at.x - 3, at.y - 3, 2, layout.frameHeight + 6), kHoldMark);
                sheet.fillRect(Rect(at.x + layout.frameWidth + 1, at.y - 3, 2, layout.frameHeight + 6), kHoldMark);
                number += std::string(" ") + hold;
                drawText(canvas, small, at.x, at.y + layout.frameHeight + 4, number, yellow);
            } else {
                drawText(canvas, small, at.x, at.y + layout.frameHeight + 4, number, grey);
            }
        }
    }
    return sheet;
}

void writeContactSheet(const std::filesystem::path& path, const PawnFrames& frames, const std::string& title) {
    const hostengine::Surface sheet = drawContactSheet(frames, title);
    std::string error;
    if (!hostengine::writePng(path.string(), sheet, &error)) throw std::runtime_error(path.string() + ": cannot write the PNG file (" + error + ")");
}

std::string sheetTitle(const std::filesystem::path& archive, const PawnFrames& frames) {
    std::filesystem::path name = archive.lexically_normal();
    if (name.filename().empty()) name = name.parent_path();
    return name.filename().string() + ": " + describeFrames(frames) + ", one frame every 83 ms";
}

bool writeArchiveSheet(const std::filesystem::path& archive, const std::filesystem::path& path, std::string& error) {
    Findings findings;
    const PawnFrames frames = readArchiveFrames(archive, findings);
    for (const Finding& finding : findings.list())
        if (finding.error) {
            error = finding.file + ": " + finding.message;
            return false;
        }
    try {
        writeContactSheet(path, frames, sheetTitle(archive, frames));
    } catch (const std::exception& failure) {
        error = failure.what();
        return false;
    }
    return true;
}

}  // namespace pawnstage
