#include <gtest/gtest.h>

#include "host/core/bitmap_font.h"
#include "host/core/surface.h"

using namespace hostengine;

namespace {

constexpr std::uint16_t kRed = 0x7C00;
constexpr std::uint16_t kGrey = (8 << 10) | (8 << 5) | 8;

// Pixels of the surface that differ from the background.
int changedPixels(const Surface& surface) {
    int count = 0;
    for (int y = 0; y < surface.height(); ++y)
        for (int x = 0; x < surface.width(); ++x) count += surface.pixel(x, y) != kGrey;
    return count;
}

struct Scene {
    Surface surface{80, 40};
    Canvas canvas = makeCanvas(surface);
    BitmapFont font{2, 2};
    Scene() {
        surface.fill(kGrey);
        canvas.setColour(Colour(255, 0, 0));
        canvas.setFont(font.font());
    }
};

}  // namespace

TEST(HostBitmapFont, MeasuresCellsWithTheOutlineMarginAndScales) {
    BitmapFont font(2, 2);
    EXPECT_EQ(font.textWidth(""), 0);
    EXPECT_EQ(font.textWidth("123"), 4 + 3 * 6 * 2 - 2);
    font.font()->setScaleX(2.0);
    EXPECT_EQ(font.textWidth("1"), 4 + 5 * 4);
    font.font()->setScaleY(1.5);
    EXPECT_EQ(font.lineHeight(), 4 + 8 * 3);
    font.font()->setScaleX(0.0);
    EXPECT_EQ(font.textWidth("123"), 0);
}

TEST(HostBitmapFont, DrawsEachGlyphPixelAsABlockInTheContextColour) {
    Scene scene;
    scene.canvas.drawText(10, 5, "1");
    const std::uint8_t* rows = BitmapFont::glyph('1');
    int glyphPixels = 0;
    for (int r = 0; r < BitmapFont::kRows; ++r)
        for (int b = 0; b < 5; ++b) glyphPixels += (rows[r] >> b) & 1;
    // '1': row 0 is ..#.., so the first block sits 2 columns into the glyph, past the 2-pixel margin.
    const int left = 10 + 2, top = 5 + 2;
    EXPECT_EQ(scene.surface.pixel(left + 2 * 2 + 1, top + 1), kRed);
    EXPECT_EQ(scene.surface.pixel(left, top), kGrey);
    EXPECT_EQ(changedPixels(scene.surface), glyphPixels * 4);
    // Characters without a glyph show a box (20 pixels) in the next cell.
    scene.canvas.drawText(10, 5, "1\x01");
    EXPECT_EQ(changedPixels(scene.surface), (glyphPixels + 20) * 4);
}

TEST(HostBitmapFont, StaysInsideTheClipAndTheSurface) {
    struct Case {
        const char* name;
        Rect clip;
        Point origin;
        std::int32_t x, y;
    };
    const Case cases[] = {
        {"clip cuts the line", Rect(0, 0, 20, 12), Point(0, 0), 10, 5},
        {"line starts left of the surface", Rect(-50, -50, 200, 200), Point(0, 0), -15, -6},
        {"line runs past the right edge", Rect(0, 0, 80, 40), Point(0, 0), 70, 30},
        {"origin moves the context", Rect(0, 0, 30, 30), Point(30, 10), 0, 0},
        {"far away", Rect(0, 0, 80, 40), Point(0, 0), INT32_MAX - 5, INT32_MIN + 3},
    };
    for (const Case& c : cases) {
        Scene scene;
        scene.canvas.clip = c.clip;
        scene.canvas.origin = c.origin;
        scene.canvas.drawText(c.x, c.y, "8888888888888888888888888888888888888888");
        Rect allowed = drawableArea(scene.canvas);
        for (int y = 0; y < scene.surface.height(); ++y)
            for (int x = 0; x < scene.surface.width(); ++x) {
                if (scene.surface.pixel(x, y) == kGrey) continue;
                int cx = x - c.origin.x, cy = y - c.origin.y;
                EXPECT_TRUE(cx >= allowed.x && cx < allowed.x + allowed.width && cy >= allowed.y && cy < allowed.y + allowed.height)
                    << c.name << " drew at " << x << "," << y;
            }
        EXPECT_EQ(scene.surface.locks().outstanding(), 0) << c.name;
    }
    // The origin places the text: drawn at context (0, 0), it appears at surface (30, 10) onward.
    Scene moved;
    moved.canvas.origin = Point(30, 10);
    moved.canvas.drawText(0, 0, "8");
    EXPECT_EQ(moved.surface.pixel(30 + 2 + 2, 10 + 2), kRed);  // '8' row 0 is .###.
}

TEST(HostBitmapFont, OutlinePhaseGrowsTheGlyphsAndOtherPhasesDrawPlainly) {
    auto drawn = [](std::int32_t phase) {
        Scene scene;
        scene.font.font()->setPhase(phase);
        scene.canvas.drawText(10, 10, "42");
        std::vector<bool> set;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 80; ++x) set.push_back(scene.surface.pixel(x, y) == kRed);
        return set;
    };
    std::vector<bool> plain = drawn(0), outline = drawn(1);
    EXPECT_EQ(drawn(2), plain);
    int plainCount = 0, outlineCount = 0, lost = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        plainCount += plain[i];
        outlineCount += outline[i];
        lost += plain[i] && !outline[i];
    }
    EXPECT_EQ(lost, 0);
    EXPECT_GT(outlineCount, plainCount * 3 / 2);
    // The outline stays in the line's box: nothing above its top row.
    for (int x = 0; x < 80; ++x) EXPECT_FALSE(outline[9 * 80 + x]);
}

TEST(HostBitmapFont, ALineDrawnAgainMatchesAFreshFontWherePhaseScaleOrClipChanged) {
    struct Draw {
        std::int32_t x, y;
        std::int32_t phase;
        double scaleX;
        const char* text;
    };
    // One font draws these in order, each on a clean surface; a fresh font draws each once. The
    // kept runs must never show through where the line, its phase, its scale or its clipping differ.
    const Draw draws[] = {{5, 5, 1, 1.0, "120"}, {40, 12, 1, 1.0, "120"}, {60, 25, 1, 1.0, "120"}, {-7, -3, 1, 1.0, "120"},
                          {5, 5, 0, 1.0, "120"}, {5, 5, 1, 1.5, "120"}, {5, 5, 1, 1.0, "121"}, {5, 5, 1, 1.0, "120"}};
    Scene kept;
    for (const Draw& d : draws) {
        kept.surface.fill(kGrey);
        kept.font.font()->setPhase(d.phase);
        kept.font.font()->setScaleX(d.scaleX);
        kept.canvas.drawText(d.x, d.y, d.text);
        Scene fresh;
        fresh.font.font()->setPhase(d.phase);
        fresh.font.font()->setScaleX(d.scaleX);
        fresh.canvas.drawText(d.x, d.y, d.text);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 80; ++x)
                ASSERT_EQ(kept.surface.pixel(x, y), fresh.surface.pixel(x, y)) << d.text << " at " << d.x << "," << d.y << " pixel " << x << "," << y;
    }
}

TEST(HostBitmapFont, FailedLocksAndNullTextDrawNothing) {
    Scene scene;
    scene.surface.locks().setFailing(true);
    scene.canvas.drawText(5, 5, "0");
    EXPECT_EQ(changedPixels(scene.surface), 0);
    EXPECT_EQ(scene.surface.locks().outstanding(), 0);
    scene.canvas.drawText(5, 5, nullptr);
    scene.font.drawText(nullptr, 0, 0, "0");
}

TEST(HostFontText, DecodesUtf8AndReplacesMalformedBytes) {
    struct Case {
        const char* text;
        std::vector<std::uint32_t> points;
    };
    const Case cases[] = {
        {"", {}},
        {"A1", {'A', '1'}},
        {"\xE2\x82\xAC!", {0x20AC, '!'}},
        {"\xF0\x9F\x98\x80", {0x1F600}},
        {"\xFF" "a", {0xFFFD, 'a'}},
        {"\xC3", {0xFFFD}},
        {"\xE2\x82" "b", {0xFFFD, 'b'}},
        {"\xC0\xAF", {0xFFFD}},          // overlong
        {"\xED\xA0\x80", {0xFFFD}},      // surrogate
    };
    for (const Case& c : cases) EXPECT_EQ(decodeUtf8(c.text), c.points) << c.text;
    EXPECT_TRUE(decodeUtf8(nullptr).empty());
}
