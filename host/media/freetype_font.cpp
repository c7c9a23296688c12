#include "host/media/freetype_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

namespace hostengine {
namespace {

// Scaled faces stay below this many pixels per em; larger requests draw nothing.
constexpr double kMaxEm = 2048;

std::int32_t ceil26(FT_Pos value) { return static_cast<std::int32_t>((value + 63) >> 6); }

}  // namespace

std::unique_ptr<FreeTypeFont> FreeTypeFont::open(const std::string& path, std::int32_t glyphHeight, std::int32_t outlineRadius, std::string* error) {
    auto refuse = [error](const std::string& why) {
        if (error) *error = why;
        return nullptr;
    };
    if (outlineRadius < 0 || outlineRadius > 16 || glyphHeight - 2 * outlineRadius < 4 || glyphHeight > 2048)
        return refuse("glyph height or outline radius out of range");
    std::unique_ptr<FreeTypeFont> font(new FreeTypeFont);
    if (FT_Init_FreeType(&font->library_)) return refuse("FreeType cannot start");
    if (FT_New_Face(font->library_, path.c_str(), 0, &font->face_)) return refuse(path + ": not a font FreeType can load");
    if (!FT_IS_SCALABLE(font->face_)) return refuse(path + ": not a scalable font");
    font->outlineRadius_ = outlineRadius;
    font->innerHeight_ = glyphHeight - 2 * outlineRadius;
    // The largest em whose rounded ascender and descender still fit the line.
    const FT_Face face = font->face_;
    const double extent = static_cast<double>(face->ascender - face->descender) / face->units_per_EM;
    std::int32_t em = std::max(1, static_cast<std::int32_t>(font->innerHeight_ / std::max(extent, 0.5)) + 1);
    for (; em > 1; --em) {
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em))) continue;
        if (ceil26(face->size->metrics.ascender) + ceil26(-face->size->metrics.descender) <= font->innerHeight_) break;
    }
    font->em_ = em;
    font->font_.glyphHeight = glyphHeight;
    font->font_.linePermille = 1000;
    return font;
}

FreeTypeFont::~FreeTypeFont() {
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
}

bool FreeTypeFont::applyScales() {
    const double wantX = em_ * scaleX(), wantY = em_ * scaleY();
    if (!(wantX >= 0.5 && wantY >= 0.5 && wantX <= kMaxEm && wantY <= kMaxEm)) return false;
    const auto x = static_cast<std::int32_t>(std::lround(wantX)), y = static_cast<std::int32_t>(std::lround(wantY));
    if (x == sizeX_ && y == sizeY_) return true;
    glyphs_.clear();
    sizeX_ = sizeY_ = 0;
    if (FT_Set_Pixel_Sizes(face_, static_cast<FT_UInt>(x), static_cast<FT_UInt>(y))) return false;
    sizeX_ = x;
    sizeY_ = y;
    ascender_ = ceil26(face_->size->metrics.ascender);
    return true;
}

const FreeTypeFont::Glyph& FreeTypeFont::glyph(std::uint32_t codePoint) {
    auto found = glyphs_.find(codePoint);
    if (found != glyphs_.end()) return found->second;
    Glyph& made = glyphs_[codePoint];
    made.index = FT_Get_Char_Index(face_, codePoint);  // 0, the missing-glyph box, when the face lacks it
    if (FT_Load_Glyph(face_, made.index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) ||
        FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_NORMAL))
        return made;
    const FT_GlyphSlot slot = face_->glyph;
    made.advance = slot->advance.x;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || !bitmap.buffer) return made;
    made.left = slot->bitmap_left;
    made.top = slot->bitmap_top;
    made.width = static_cast<std::int32_t>(bitmap.width);
    made.rows = static_cast<std::int32_t>(bitmap.rows);
    made.coverage.resize(static_cast<std::size_t>(made.width) * static_cast<std::size_t>(made.rows));
    for (std::int32_t r = 0; r < made.rows; ++r) {
        const unsigned char* from = bitmap.buffer + static_cast<std::ptrdiff_t>(r) * bitmap.pitch;
        std::copy(from, from + made.width, made.coverage.begin() + static_cast<std::ptrdiff_t>(r) * made.width);
    }
    return made;
}

std::vector<FreeTypeFont::Placed> FreeTypeFont::layout(const std::vector<std::uint32_t>& text, std::int64_t& width) {
    std::vector<Placed> placed;
    width = 0;
    if (text.empty() || !applyScales()) return placed;
    const bool kerning = FT_HAS_KERNING(face_);
    std::int64_t pen = 0;  // 26.6
    std::int64_t ink = 0;  // the rightmost pixel column any glyph reaches, plus one
    std::uint32_t previous = 0;
    for (std::uint32_t point : text) {
        const Glyph& g = glyph(point);
        if (kerning && previous && g.index) {
            FT_Vector delta;
            if (!FT_Get_Kerning(face_, previous, g.index, FT_KERNING_DEFAULT, &delta)) pen += delta.x;
        }
        const std::int64_t at = (pen + 32) >> 6;
        placed.push_back(Placed{&g, at});
        ink = std::max(ink, at + g.left + g.width);
        pen += g.advance;
        previous = g.index;
    }
    width = 2 * std::int64_t{outlineRadius_} + std::max(ink, (pen + 63) >> 6);
    return placed;
}

std::int64_t FreeTypeFont::measure(const std::vector<std::uint32_t>& text) {
    std::int64_t width = 0;
    layout(text, width);
    return width;
}

std::int64_t FreeTypeFont::boxHeight() {
    const double inner = innerHeight_ * scaleY();
    if (!(inner >= 0.5) || !applyScales()) return 0;
    return 2 * std::int64_t{outlineRadius_} + static_cast<std::int64_t>(std::lround(inner));
}

void FreeTypeFont::render(const std::vector<std::uint32_t>& text, std::int64_t x, std::int64_t y, CoverageMask& mask) {
    std::int64_t width = 0;
    std::vector<Placed> placed = layout(text, width);
    const std::int64_t left = x + outlineRadius_, baseline = y + outlineRadius_ + ascender_;
    const std::int64_t maskLeft = mask.area.x, maskTop = mask.area.y;
    const std::int64_t maskRight = maskLeft + mask.area.width, maskBottom = maskTop + mask.area.height;
    for (const Placed& p : placed) {
        const Glyph& g = *p.glyph;
        const std::int64_t gx = left + p.pen + g.left, gy = baseline - g.top;
        const std::int64_t x0 = std::max(gx, maskLeft), x1 = std::min(gx + g.width, maskRight);
        const std::int64_t y0 = std::max(gy, maskTop), y1 = std::min(gy + g.rows, maskBottom);
        for (std::int64_t py = y0; py < y1; ++py) {
            const std::uint8_t* from = g.coverage.data() + (py - gy) * g.width;
            std::uint8_t* to = mask.row(static_cast<std::int32_t>(py));
            for (std::int64_t px = x0; px < x1; ++px) to[px - maskLeft] = std::max(to[px - maskLeft], from[px - gx]);
        }
    }
}

}  // namespace hostengine
