// The built-in pixel font: 5 x 8 glyphs (row 7 for descenders) in cells 6 columns wide, each glyph
// pixel drawn as a block of pixelSize x pixelSize screen pixels, grown by the font's scales. Builds
// without FreeType (the 32-bit suite) draw text with it.
#pragma once

#include <cstdint>

#include "host/core/host_font.h"

namespace hostengine {

class BitmapFont : public HostFont {
public:
    static constexpr std::int32_t kGlyphColumns = 5;
    static constexpr std::int32_t kCellColumns = 6;
    static constexpr std::int32_t kRows = 8;

    // glyphHeight = 8 * pixelSize + 2 * outlineRadius: the box of one line at unit scale.
    explicit BitmapFont(std::int32_t pixelSize = 4, std::int32_t outlineRadius = 2);

    std::int32_t pixelSize() const { return pixelSize_; }
    // Screen pixels per glyph pixel at the current scales: pixelSize x scale, rounded; 0 draws nothing.
    std::int32_t blockWidth() const;
    std::int32_t blockHeight() const;

    // Row bits of a glyph (bit 4 the leftmost column); characters without a glyph show a box.
    static const std::uint8_t* glyph(std::uint32_t codePoint);

protected:
    std::int64_t measure(const std::vector<std::uint32_t>& text) override;
    std::int64_t boxHeight() override;
    void render(const std::vector<std::uint32_t>& text, std::int64_t x, std::int64_t y, CoverageMask& mask) override;

private:
    std::int32_t pixelSize_;
};

}  // namespace hostengine
