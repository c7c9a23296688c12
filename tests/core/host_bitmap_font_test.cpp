#include <gtest/gtest.h>

#include <algorithm>

#include "host/core/bitmap_font.h"
#include "host/core/host_font.h"
#include "host/core/surface.h"

using namespace hostengine;

namespace {

constexpr std::uint16_t kRed = 0x7C00;
constexpr std::uint16_t kGrey = (8 << 10) | (8 << 5) | 8;

struct Scene {
    Surface surface{80, 40};
    Canvas canvas = makeCanvas(surface);
    BitmapFont font{2, 2};
    explicit Scene(std::int32_t phase = 0, double scaleX = 1.0) {
        surface.fill(kGrey);
        canvas.setColour(Colour(255, 0, 0));
        canvas.setFont(font.font());
        font.font()->setPhase(phase);
        font.font()->setScaleX(scaleX);
    }
    std::vector<std::uint32_t> pixels() const {
        std::vector<std::uint32_t> all;
        for (int y = 0; y < surface.height(); ++y)
            for (int x = 0; x < surface.width(); ++x) all.push_back(surface.pixel(x, y));
        return all;
    }
    int changedPixels() const {
        const std::vector<std::uint32_t> all = pixels();
        return static_cast<int>(all.size() - std::count(all.begin(), all.end(), kGrey));
    }
};

}  // namespace

TEST(HostBitmapFont, MeasuresCellsWithTheOutlineMarginAndScales) {
    BitmapFont font(2, 2);
    std::vector<std::int32_t> sizes = {font.textWidth(""), font.textWidth("123")};
    font.font()->setScaleX(2.0);
    font.font()->setScaleY(1.5);
    sizes.insert(sizes.end(), {font.textWidth("1"), font.lineHeight()});
    font.font()->setScaleX(0.0);
    sizes.push_back(font.textWidth("123"));
    EXPECT_EQ(sizes, (std::vector<std::int32_t>{0, 4 + 3 * 6 * 2 - 2, 4 + 5 * 4, 4 + 8 * 3, 0}));
}

TEST(HostBitmapFont, DrawsEachGlyphPixelAsABlockAndTheOutlinePhaseGrowsIt) {
    Scene scene;
    scene.canvas.drawText(10, 5, "1");
    int glyphPixels = 0;
    for (int r = 0; r < BitmapFont::kRows; ++r)
        for (int b = 0; b < 5; ++b) glyphPixels += (BitmapFont::glyph('1')[r] >> b) & 1;
    // '1': row 0 is ..#.., so the first block sits 2 columns into the glyph, past the 2-pixel margin.
    EXPECT_EQ(std::pair(scene.surface.pixel(12 + 2 * 2 + 1, 7 + 1), scene.surface.pixel(12, 7)), (std::pair(kRed, kGrey)));
    EXPECT_EQ(scene.changedPixels(), glyphPixels * 4);
    // Characters without a glyph show a box (20 pixels) in the next cell.
    scene.canvas.drawText(10, 5, "1\x01");
    EXPECT_EQ(scene.changedPixels(), (glyphPixels + 20) * 4);

    // The outline phase grows the glyphs, within the line's box (nothing above row 10); others draw plainly.
    Scene plain(0), outline(1), other(2);
    for (Scene* s : {&plain, &outline, &other}) s->canvas.drawText(10, 10, "42");
    EXPECT_EQ(other.pixels(), plain.pixels());
    const std::vector<std::uint32_t> p = plain.pixels(), o = outline.pixels();
    int lost = 0, above = 0;
    for (std::size_t i = 0; i < p.size(); ++i) lost += p[i] == kRed && o[i] != kRed, above += i < 10 * 80 && o[i] != kGrey;
    EXPECT_EQ(std::pair(lost, above), std::pair(0, 0));
    EXPECT_GT(outline.changedPixels(), plain.changedPixels() * 3 / 2);
}

TEST(HostBitmapFont, StaysInsideTheClipAndTheSurface) {
    const struct {
        const char* name;
        Rect clip;
        Point origin;
        std::int32_t x, y;
    } cases[] = {
        {"clip cuts the line", Rect(0, 0, 20, 12), Point(0, 0), 10, 5},
        {"line starts left of the surface", Rect(-50, -50, 200, 200), Point(0, 0), -15, -6},
        {"line runs past the right edge", Rect(0, 0, 80, 40), Point(0, 0), 70, 30},
        {"origin moves the context", Rect(0, 0, 30, 30), Point(30, 10), 0, 0},
        {"far away", Rect(0, 0, 80, 40), Point(0, 0), INT32_MAX - 5, INT32_MIN + 3},
    };
    for (const auto& c : cases) {
        Scene scene;
        scene.canvas.clip = c.clip;
        scene.canvas.origin = c.origin;
        scene.canvas.drawText(c.x, c.y, "8888888888888888888888888888888888888888");
        const Rect allowed = drawableArea(scene.canvas);
        for (int y = 0; y < scene.surface.height(); ++y)
            for (int x = 0; x < scene.surface.width(); ++x) {
                const int cx = x - c.origin.x, cy = y - c.origin.y;
                const bool inside = cx >= allowed.x && cx < allowed.x + allowed.width && cy >= allowed.y && cy < allowed.y + allowed.height;
                EXPECT_TRUE(inside || scene.surface.pixel(x, y) == kGrey) << c.name << " drew at " << x << "," << y;
            }
        EXPECT_EQ(scene.surface.locks().outstanding(), 0) << c.name;
    }
    // The origin places the text: drawn at context (0, 0), it appears at surface (30, 10) onward.
    Scene moved;
    moved.canvas.origin = Point(30, 10);
    moved.canvas.drawText(0, 0, "8");
    EXPECT_EQ(moved.surface.pixel(30 + 2 + 2, 10 + 2), kRed);  // '8' row 0 is .###.
    moved.canvas.drawText(5, 5, nullptr);
    moved.font.drawText(nullptr, 0, 0, "0");
}

TEST(HostBitmapFont, ALineDrawnAgainMatchesAFreshFontWherePhaseScaleOrClipChanged) {
    const struct {
        std::int32_t x, y, phase;
        double scaleX;
        const char* text;
    } draws[] = {{5, 5, 1, 1.0, "120"}, {40, 12, 1, 1.0, "120"}, {60, 25, 1, 1.0, "120"}, {-7, -3, 1, 1.0, "120"},
                 {5, 5, 0, 1.0, "120"}, {5, 5, 1, 1.5, "120"},   {5, 5, 1, 1.0, "121"},   {5, 5, 1, 1.0, "120"}};
    // One font draws these in order, each on a clean surface; a fresh font draws each once. The kept
    // runs must never show through where the line, its phase, its scale or its clipping differ.
    Scene kept;
    for (const auto& d : draws) {
        kept.surface.fill(kGrey);
        kept.font.font()->setPhase(d.phase);
        kept.font.font()->setScaleX(d.scaleX);
        kept.canvas.drawText(d.x, d.y, d.text);
        Scene fresh(d.phase, d.scaleX);
        fresh.canvas.drawText(d.x, d.y, d.text);
        EXPECT_EQ(kept.pixels(), fresh.pixels()) << d.text << " at " << d.x << "," << d.y;
    }
}

TEST(HostFontText, DecodesUtf8AndReplacesMalformedBytes) {
    const std::pair<const char*, std::vector<std::uint32_t>> cases[] = {
        {"", {}}, {"A1", {'A', '1'}}, {"\xE2\x82\xAC!", {0x20AC, '!'}}, {"\xF0\x9F\x98\x80", {0x1F600}}, {"\xFF" "a", {0xFFFD, 'a'}},
        {"\xC3", {0xFFFD}}, {"\xE2\x82" "b", {0xFFFD, 'b'}}, {"\xC0\xAF", {0xFFFD}} /* overlong */, {"\xED\xA0\x80", {0xFFFD}} /* surrogate */,
    };
    for (const auto& [text, points] : cases) EXPECT_EQ(decodeUtf8(text), points) << text;
    EXPECT_TRUE(decodeUtf8(nullptr).empty());
}
