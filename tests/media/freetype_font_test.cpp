// The host's score font where the stage's pictures do not reach: the clip, drawing far off the
// surface, failing locks, the outline phase, and files that are no fonts.
#include <gtest/gtest.h>

#include <numeric>

#include "host/core/surface.h"
#include "host/media/freetype_font.h"

using namespace hostengine;

namespace {

// Red levels (0..31) of the pixels of "text" drawn in red at (x, y) with `phase`; other components
// must stay 0.
std::vector<int> drawn(const char* text, int x, int y, std::int32_t phase = 0, Rect clip = Rect(0, 0, 200, 60), bool failingLocks = false) {
    Surface surface{200, 60};
    surface.fill(0);
    surface.locks().setFailing(failingLocks);
    Canvas canvas = makeCanvas(surface);
    canvas.setColour(Colour(255, 0, 0));
    auto font = FreeTypeFont::open();
    if (!font) {
        ADD_FAILURE() << "no font";
        return {};
    }
    canvas.setFont(font->font());
    font->font()->setPhase(phase);
    canvas.clip = clip;
    canvas.drawText(x, y, text);
    EXPECT_EQ(surface.locks().outstanding(), 0);
    std::vector<int> reds;
    for (int row = 0; row < 60; ++row)
        for (int column = 0; column < 200; ++column) {
            EXPECT_EQ(surface.pixel(column, row) & 0x03FF, 0) << "green or blue at " << column << "," << row;
            reds.push_back(surface.pixel(column, row) >> 10);
        }
    return reds;
}

int ink(const std::vector<int>& reds) { return std::accumulate(reds.begin(), reds.end(), 0); }

}  // namespace

TEST(FreeTypeFont, StaysInTheClipAndOffTheSurfaceAndDrawsNothingWhenLocksFail) {
    const std::vector<int> clipped = drawn("888888", 20, 10, 0, Rect(30, 20, 25, 15));
    for (std::size_t i = 0; i < clipped.size(); ++i) {
        const int x = static_cast<int>(i % 200), y = static_cast<int>(i / 200);
        EXPECT_TRUE(!clipped[i] || (x >= 30 && x < 55 && y >= 20 && y < 35)) << x << "," << y;
    }
    EXPECT_GT(ink(clipped), 0);
    EXPECT_EQ(ink(drawn("8", -1000000, INT32_MAX - 3)) + ink(drawn("8", INT32_MIN, 0)), 0);
    EXPECT_EQ(ink(drawn("8", 0, 0, 0, Rect(0, 0, 200, 60), true)), 0);
}

TEST(FreeTypeFont, OutlinePhaseCoversTheGlyphsAndMore) {
    const std::vector<int> plain = drawn("42", 10, 10, 0), outline = drawn("42", 10, 10, 1);
    EXPECT_EQ(drawn("42", 10, 10, 3), plain);
    for (std::size_t i = 0; i < plain.size(); ++i) ASSERT_GE(outline[i], plain[i]) << i;
    EXPECT_GT(ink(outline), ink(plain) * 3 / 2);
}

TEST(FreeTypeFont, RefusesFilesThatAreNotFonts) {
    std::string error;
    EXPECT_EQ(FreeTypeFont::open("/nonexistent/font.ttf", 40, 2, &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FreeTypeFont::open("/etc/hostname", 40, 2, &error), nullptr);
    EXPECT_EQ(FreeTypeFont::open(FreeTypeFont::kDefaultFace, 3, 2, &error), nullptr);  // a line too low for glyphs
    auto small = FreeTypeFont::open(FreeTypeFont::kDefaultFace, 12, 1, &error);
    ASSERT_TRUE(small) << error;
    EXPECT_GT(small->textWidth("\xE2\x82\xAC"), 0);  // a character beyond ASCII
}
