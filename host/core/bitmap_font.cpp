#include "host/core/bitmap_font.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace hostengine {
namespace {

// Printable ASCII, rows top to bottom separated by spaces; '#' marks a set pixel.
struct GlyphPicture {
    char character;
    const char* rows;
};

constexpr GlyphPicture kPictures[] = {
    {' ', "..... ..... ..... ..... ..... ..... ..... ....."},
    {'!', "..#.. ..#.. ..#.. ..#.. ..#.. ..... ..#.. ....."},
    {'"', ".#.#. .#.#. ..... ..... ..... ..... ..... ....."},
    {'#', ".#.#. .#.#. ##### .#.#. ##### .#.#. .#.#. ....."},
    {'$', "..#.. .#### #.#.. .###. ..#.# ####. ..#.. ....."},
    {'%', "##... ##..# ...#. ..#.. .#... #..## ...## ....."},
    {'&', ".##.. #..#. #.#.. .#... #.#.# #..#. .##.# ....."},
    {'\'', "..#.. ..#.. ..... ..... ..... ..... ..... ....."},
    {'(', "...#. ..#.. .#... .#... .#... ..#.. ...#. ....."},
    {')', ".#... ..#.. ...#. ...#. ...#. ..#.. .#... ....."},
    {'*', "..... ..#.. #.#.# .###. #.#.# ..#.. ..... ....."},
    {'+', "..... ..#.. ..#.. ##### ..#.. ..#.. ..... ....."},
    {',', "..... ..... ..... ..... ..... ..##. ...#. ..#.."},
    {'-', "..... ..... ..... ##### ..... ..... ..... ....."},
    {'.', "..... ..... ..... ..... ..... .##.. .##.. ....."},
    {'/', "..... ....# ...#. ..#.. .#... #.... ..... ....."},
    {'0', ".###. #...# #..## #.#.# ##..# #...# .###. ....."},
    {'1', "..#.. .##.. ..#.. ..#.. ..#.. ..#.. .###. ....."},
    {'2', ".###. #...# ....# ...#. ..#.. .#... ##### ....."},
    {'3', "##### ...#. ..#.. ...#. ....# #...# .###. ....."},
    {'4', "...#. ..##. .#.#. #..#. ##### ...#. ...#. ....."},
    {'5', "##### #.... ####. ....# ....# #...# .###. ....."},
    {'6', "..##. .#... #.... ####. #...# #...# .###. ....."},
    {'7', "##### ....# ...#. ..#.. .#... .#... .#... ....."},
    {'8', ".###. #...# #...# .###. #...# #...# .###. ....."},
    {'9', ".###. #...# #...# .#### ....# ...#. .##.. ....."},
    {':', "..... .##.. .##.. ..... .##.. .##.. ..... ....."},
    {';', "..... .##.. .##.. ..... .##.. ..#.. .#... ....."},
    {'<', "...#. ..#.. .#... #.... .#... ..#.. ...#. ....."},
    {'=', "..... ..... ##### ..... ##### ..... ..... ....."},
    {'>', ".#... ..#.. ...#. ....# ...#. ..#.. .#... ....."},
    {'?', ".###. #...# ....# ...#. ..#.. ..... ..#.. ....."},
    {'@', ".###. #...# ....# .##.# #.#.# #.#.# .###. ....."},
    {'A', ".###. #...# #...# ##### #...# #...# #...# ....."},
    {'B', "####. #...# #...# ####. #...# #...# ####. ....."},
    {'C', ".###. #...# #.... #.... #.... #...# .###. ....."},
    {'D', "###.. #..#. #...# #...# #...# #..#. ###.. ....."},
    {'E', "##### #.... #.... ####. #.... #.... ##### ....."},
    {'F', "##### #.... #.... ####. #.... #.... #.... ....."},
    {'G', ".###. #...# #.... #.### #...# #...# .#### ....."},
    {'H', "#...# #...# #...# ##### #...# #...# #...# ....."},
    {'I', ".###. ..#.. ..#.. ..#.. ..#.. ..#.. .###. ....."},
    {'J', "..### ...#. ...#. ...#. ...#. #..#. .##.. ....."},
    {'K', "#...# #..#. #.#.. ##... #.#.. #..#. #...# ....."},
    {'L', "#.... #.... #.... #.... #.... #.... ##### ....."},
    {'M', "#...# ##.## #.#.# #.#.# #...# #...# #...# ....."},
    {'N', "#...# #...# ##..# #.#.# #..## #...# #...# ....."},
    {'O', ".###. #...# #...# #...# #...# #...# .###. ....."},
    {'P', "####. #...# #...# ####. #.... #.... #.... ....."},
    {'Q', ".###. #...# #...# #...# #.#.# #..#. .##.# ....."},
    {'R', "####. #...# #...# ####. #.#.. #..#. #...# ....."},
    {'S', ".#### #.... #.... .###. ....# ....# ####. ....."},
    {'T', "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ....."},
    {'U', "#...# #...# #...# #...# #...# #...# .###. ....."},
    {'V', "#...# #...# #...# #...# #...# .#.#. ..#.. ....."},
    {'W', "#...# #...# #...# #.#.# #.#.# #.#.# .#.#. ....."},
    {'X', "#...# #...# .#.#. ..#.. .#.#. #...# #...# ....."},
    {'Y', "#...# #...# #...# .#.#. ..#.. ..#.. ..#.. ....."},
    {'Z', "##### ....# ...#. ..#.. .#... #.... ##### ....."},
    {'[', ".###. .#... .#... .#... .#... .#... .###. ....."},
    {'\\', "..... #.... .#... ..#.. ...#. ....# ..... ....."},
    {']', ".###. ...#. ...#. ...#. ...#. ...#. .###. ....."},
    {'^', "..#.. .#.#. #...# ..... ..... ..... ..... ....."},
    {'_', "..... ..... ..... ..... ..... ..... ..... #####"},
    {'`', ".#... ..#.. ..... ..... ..... ..... ..... ....."},
    {'a', "..... ..... .###. ....# .#### #...# .#### ....."},
    {'b', "#.... #.... #.##. ##..# #...# #...# ####. ....."},
    {'c', "..... ..... .###. #.... #.... #...# .###. ....."},
    {'d', "....# ....# .##.# #..## #...# #...# .#### ....."},
    {'e', "..... ..... .###. #...# ##### #.... .###. ....."},
    {'f', "..##. .#..# .#... ###.. .#... .#... .#... ....."},
    {'g', "..... ..... .#### #...# #...# .#### ....# .###."},
    {'h', "#.... #.... #.##. ##..# #...# #...# #...# ....."},
    {'i', "..#.. ..... .##.. ..#.. ..#.. ..#.. .###. ....."},
    {'j', "...#. ..... ..##. ...#. ...#. ...#. #..#. .##.."},
    {'k', "#.... #.... #..#. #.#.. ##... #.#.. #..#. ....."},
    {'l', ".##.. ..#.. ..#.. ..#.. ..#.. ..#.. .###. ....."},
    {'m', "..... ..... ##.#. #.#.# #.#.# #...# #...# ....."},
    {'n', "..... ..... #.##. ##..# #...# #...# #...# ....."},
    {'o', "..... ..... .###. #...# #...# #...# .###. ....."},
    {'p', "..... ..... ####. #...# #...# ####. #.... #...."},
    {'q', "..... ..... .#### #...# #...# .#### ....# ....#"},
    {'r', "..... ..... #.##. ##..# #.... #.... #.... ....."},
    {'s', "..... ..... .###. #.... .###. ....# ####. ....."},
    {'t', ".#... .#... ###.. .#... .#... .#..# ..##. ....."},
    {'u', "..... ..... #...# #...# #...# #..## .##.# ....."},
    {'v', "..... ..... #...# #...# #...# .#.#. ..#.. ....."},
    {'w', "..... ..... #...# #...# #.#.# #.#.# .#.#. ....."},
    {'x', "..... ..... #...# .#.#. ..#.. .#.#. #...# ....."},
    {'y', "..... ..... #...# #...# #...# .#### ....# .###."},
    {'z', "..... ..... ##### ...#. ..#.. .#... ##### ....."},
    {'{', "...#. ..#.. ..#.. .#... ..#.. ..#.. ...#. ....."},
    {'|', "..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ....."},
    {'}', ".#... ..#.. ..#.. ...#. ..#.. ..#.. .#... ....."},
    {'~', "..... ..... .#... #.#.# ...#. ..... ..... ....."},
};

constexpr const char* kMissing = "##### #...# #...# #...# #...# #...# ##### .....";

using GlyphRows = std::array<std::uint8_t, BitmapFont::kRows>;

GlyphRows parse(const char* picture) {
    GlyphRows rows{};
    int row = 0, column = 0;
    for (const char* p = picture; *p && row < BitmapFont::kRows; ++p) {
        if (*p == ' ') {
            ++row;
            column = 0;
            continue;
        }
        if (*p == '#') rows[static_cast<std::size_t>(row)] |= static_cast<std::uint8_t>(0x10 >> column);
        ++column;
    }
    return rows;
}

struct GlyphTable {
    std::array<GlyphRows, 95> printable;
    GlyphRows missing;
    GlyphTable() : missing(parse(kMissing)) {
        for (const GlyphPicture& picture : kPictures) printable[static_cast<std::size_t>(picture.character - 32)] = parse(picture.rows);
    }
};

const GlyphTable& glyphTable() {
    static const GlyphTable table;
    return table;
}

// Glyph blocks stay small enough that no layout sum leaves 64 bits, whatever the scale.
constexpr std::int32_t kMaxBlock = 4096;

std::int32_t blockFor(std::int32_t pixelSize, double scale) {
    double size = pixelSize * scale;
    if (!(size >= 0.5)) return 0;  // also NaN
    return static_cast<std::int32_t>(std::min<double>(std::lround(std::min(size, double{kMaxBlock})), kMaxBlock));
}

}  // namespace

BitmapFont::BitmapFont(std::int32_t pixelSize, std::int32_t outlineRadius) : pixelSize_(pixelSize) {
    if (pixelSize < 1 || pixelSize > 64 || outlineRadius < 0 || outlineRadius > 16) throw std::invalid_argument("pixel font size out of range");
    outlineRadius_ = outlineRadius;
    font_.glyphHeight = kRows * pixelSize + 2 * outlineRadius;
    font_.linePermille = 1000;
}

const std::uint8_t* BitmapFont::glyph(std::uint32_t codePoint) {
    const GlyphTable& table = glyphTable();
    if (codePoint >= 32 && codePoint <= 126) return table.printable[codePoint - 32].data();
    return table.missing.data();
}

std::int32_t BitmapFont::blockWidth() const { return blockFor(pixelSize_, scaleX()); }
std::int32_t BitmapFont::blockHeight() const { return blockFor(pixelSize_, scaleY()); }

std::int64_t BitmapFont::measure(const std::vector<std::uint32_t>& text) {
    std::int64_t block = blockWidth();
    if (text.empty() || block == 0 || blockHeight() == 0) return 0;
    // The gap column after the last glyph is not part of the line.
    return 2 * std::int64_t{outlineRadius_} + static_cast<std::int64_t>(text.size()) * kCellColumns * block - block;
}

std::int64_t BitmapFont::boxHeight() {
    std::int64_t block = blockHeight();
    return block == 0 ? 0 : 2 * std::int64_t{outlineRadius_} + kRows * block;
}

void BitmapFont::render(const std::vector<std::uint32_t>& text, std::int64_t x, std::int64_t y, CoverageMask& mask) {
    const std::int64_t bw = blockWidth(), bh = blockHeight();
    if (text.empty() || bw == 0 || bh == 0 || mask.area.width <= 0 || mask.area.height <= 0) return;
    const std::int64_t left = x + outlineRadius_, top = y + outlineRadius_;
    const std::int64_t cell = kCellColumns * bw;
    const std::int64_t maskLeft = mask.area.x, maskTop = mask.area.y;
    const std::int64_t maskRight = maskLeft + mask.area.width, maskBottom = maskTop + mask.area.height;
    // Only the glyphs whose cells meet the mask.
    std::int64_t first = std::max<std::int64_t>(0, (maskLeft - left) / cell - 1);
    std::int64_t last = std::min<std::int64_t>(static_cast<std::int64_t>(text.size()) - 1, (maskRight - left) / cell + 1);
    for (std::int64_t i = first; i <= last; ++i) {
        const std::uint8_t* rows = glyph(text[static_cast<std::size_t>(i)]);
        for (std::int64_t r = 0; r < kRows; ++r) {
            std::int64_t y0 = std::max(top + r * bh, maskTop), y1 = std::min(top + (r + 1) * bh, maskBottom);
            if (y0 >= y1) continue;
            for (std::int64_t c = 0; c < kGlyphColumns; ++c) {
                if (!(rows[r] & (0x10 >> c))) continue;
                std::int64_t x0 = std::max(left + i * cell + c * bw, maskLeft), x1 = std::min(left + i * cell + (c + 1) * bw, maskRight);
                for (std::int64_t py = y0; py < y1; ++py)
                    std::fill(mask.row(static_cast<std::int32_t>(py)) + (x0 - maskLeft), mask.row(static_cast<std::int32_t>(py)) + std::max(x0, x1) - maskLeft,
                              std::uint8_t{255});
            }
        }
    }
}

}  // namespace hostengine
