// What the host's fonts share: the Font record the module reads, the phase and scale handlers it
// calls, and the drawing of a line as a coverage mask blended in the context's colour. The built-in
// pixel font and the FreeType font differ only in how they measure and rasterise glyphs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/abi.h"

namespace hostengine {

// Glyph coverage (0 none .. 255 full) over an area in context coordinates.
struct CoverageMask {
    Rect area;
    std::vector<std::uint8_t> values;  // area.width * area.height, rows top-down

    explicit CoverageMask(const Rect& where);
    std::uint8_t* row(std::int32_t y) { return values.data() + static_cast<std::size_t>(y - area.y) * static_cast<std::size_t>(area.width); }
    // Raises the coverage at context point (x, y) to at least `value`; points outside are dropped.
    void raise(std::int32_t x, std::int32_t y, std::uint8_t value);
};

// The outline pass: every value becomes the largest within a disc of `radius` pixels around it.
CoverageMask dilate(const CoverageMask& mask, std::int32_t radius);

// Blends `mask` into the context over `target` (context coordinates, inside the mask and the
// drawable area) in `colour` (RGB555), through the context's own row locks. Nothing when they fail.
void drawCoverage(Canvas& canvas, const CoverageMask& mask, const Rect& target, std::uint16_t colour);

// UTF-8 to code points; a malformed byte reads as U+FFFD and decoding goes on after it.
std::vector<std::uint32_t> decodeUtf8(const char* text);

class HostFont : public IFontRenderer, public IFontPhase {
public:
    HostFont();
    virtual ~HostFont() = default;
    HostFont(const HostFont&) = delete;
    HostFont& operator=(const HostFont&) = delete;

    // The record handed to the module (and to producers' text objects).
    Font* font() { return &font_; }

    // IFontRenderer
    void unusedSlot0() override {}
    std::int32_t textWidth(const char* text) override;
    // Draws in the context's colour with the top-left of the line's box at (x, y), clipped to the
    // context's clip and surface.
    void drawText(Canvas* canvas, std::int32_t x, std::int32_t y, const char* text) override;

    // IFontPhase: 1 draws the outline pass (glyphs grown by the outline radius); others draw plainly.
    std::int32_t setPhase(std::int32_t phase) override;
    std::int32_t phase() const { return phase_; }

    double scaleX() const { return horizontal_.value; }
    double scaleY() const { return vertical_.value; }
    std::int32_t outlineRadius() const { return outlineRadius_; }
    // Height of a line's box at the current vertical scale.
    std::int32_t lineHeight();

protected:
    // Width of the line's box at the current scales, outline margins included; 0 for no glyphs.
    virtual std::int64_t measure(const std::vector<std::uint32_t>& text) = 0;
    virtual std::int64_t boxHeight() = 0;
    // Raises `mask` to the glyphs' coverage for the line whose box has its top-left at (x, y). Glyphs
    // sit inside the box with the outline margin all round, so the outline pass stays in the box too.
    virtual void render(const std::vector<std::uint32_t>& text, std::int64_t x, std::int64_t y, CoverageMask& mask) = 0;

    Font font_;
    std::int32_t outlineRadius_ = 2;

private:
    void drawLine(Canvas& canvas, std::int32_t x, std::int32_t y, const char* text);

    // A line as last rasterised: its coverage (outline pass applied) with the mask's place relative
    // to the line's box, which does not depend on where the box is. A score is redrawn unchanged on
    // every frame but while it rolls, so a few runs spare nearly all glyph work.
    struct Run {
        std::string text;
        bool outline;
        double scaleX;
        double scaleY;
        std::int64_t width;
        std::int64_t height;
        CoverageMask mask;  // area relative to the box's top-left
    };
    static constexpr std::size_t kRunsKept = 16;
    Run* findRun(const std::string& text, bool outline);  // moves it to the front

    struct Scale : IFontScale {
        double value = 1.0;
        void set(double scale) override { value = scale; }
        double get() override { return value; }
    };

    Scale vertical_;
    Scale horizontal_;
    std::int32_t phase_ = 0;
    std::vector<Run> runs_;  // most recently drawn first
};

}  // namespace hostengine
