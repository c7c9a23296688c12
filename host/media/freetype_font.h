// A FreeType font for the host: anti-aliased glyphs blended into the RGB555 surface with their
// coverage, the outline phase grown from that coverage, sizes following the font's scales.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/host_font.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace hostengine {

class FreeTypeFont : public HostFont {
public:
    static constexpr const char* kDefaultFace = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

    // `glyphHeight` is the box of one line at unit scale, outline margins included: the glyphs are
    // sized so that ascender and descender fit inside it. Null (and `error` set) when the face cannot
    // be loaded or the height leaves no room for glyphs.
    static std::unique_ptr<FreeTypeFont> open(const std::string& path = kDefaultFace, std::int32_t glyphHeight = 40,
                                              std::int32_t outlineRadius = 2, std::string* error = nullptr);
    ~FreeTypeFont() override;

    std::int32_t emPixels() const { return em_; }  // the face's pixel size at unit scale

protected:
    std::int64_t measure(const std::vector<std::uint32_t>& text) override;
    std::int64_t boxHeight() override;
    void render(const std::vector<std::uint32_t>& text, std::int64_t x, std::int64_t y, CoverageMask& mask) override;

private:
    struct Glyph {
        std::int32_t left = 0;     // from the pen to the first column
        std::int32_t top = 0;      // from the baseline up to the first row
        std::int32_t width = 0;
        std::int32_t rows = 0;
        std::int64_t advance = 0;  // 26.6 pixels
        std::uint32_t index = 0;
        std::vector<std::uint8_t> coverage;
    };
    struct Placed {
        const Glyph* glyph;
        std::int64_t pen;  // whole pixels from the start of the line
    };

    FreeTypeFont() = default;
    bool applyScales();  // sets the face's size for the current scales; false when nothing can be drawn
    const Glyph& glyph(std::uint32_t codePoint);
    std::vector<Placed> layout(const std::vector<std::uint32_t>& text, std::int64_t& width);

    FT_LibraryRec_* library_ = nullptr;
    FT_FaceRec_* face_ = nullptr;
    std::int32_t em_ = 0;
    std::int32_t innerHeight_ = 0;  // glyphHeight less the outline margins
    std::int32_t sizeX_ = 0;        // pixel sizes the face is set to now
    std::int32_t sizeY_ = 0;
    std::int32_t ascender_ = 0;     // whole pixels above the baseline at the current size
    std::map<std::uint32_t, Glyph> glyphs_;  // for the current size
};

}  // namespace hostengine
