#include <gtest/gtest.h>

#include "host/core/surface.h"
#include "host/media/freetype_font.h"

using namespace hostengine;

namespace {

struct Scene {
    Surface surface{200, 60};
    Canvas canvas = makeCanvas(surface);
    std::unique_ptr<FreeTypeFont> font = FreeTypeFont::open();
    Scene() {
        surface.fill(0);
        canvas.setColour(Colour(255, 0, 0));
        if (font) canvas.setFont(font->font());
    }
    // Red levels of the surface's pixels (0..31); other components must stay 0.
    std::vector<int> reds() const {
        std::vector<int> out;
        for (int y = 0; y < surface.height(); ++y)
            for (int x = 0; x < surface.width(); ++x) out.push_back(surface.pixel(x, y) >> 10);
        return out;
    }
};

}  // namespace

TEST(FreeTypeFont, SizesGlyphsToTheLineAndMeasuresWithTheScales) {
    Scene scene;
    ASSERT_TRUE(scene.font);
    Font* font = scene.font->font();
    EXPECT_EQ(font->glyphHeight, 40);
    EXPECT_EQ(scene.font->lineHeight(), 40);
    EXPECT_TRUE(scene.font->emPixels() > 20 && scene.font->emPixels() <= 36) << scene.font->emPixels();
    const std::int32_t one = scene.font->textWidth("0"), two = scene.font->textWidth("00");
    EXPECT_GT(one, 10);
    // Digits share one advance, so a second one adds exactly that much.
    const std::int32_t advance = two - one;
    EXPECT_EQ(scene.font->textWidth("000") - two, advance);
    EXPECT_EQ(scene.font->textWidth(""), 0);
    font->setScaleX(2.0);
    EXPECT_NEAR((scene.font->textWidth("00") - scene.font->textWidth("0")), 2 * advance, 2);
    font->setScaleX(1.0);
    font->setScaleY(0.5);
    EXPECT_EQ(scene.font->lineHeight(), 4 + 18);
    font->setScaleY(0.0);
    EXPECT_EQ(scene.font->textWidth("0"), 0);
}

TEST(FreeTypeFont, DrawsAntiAliasedGlyphsInTheColourInsideTheLineBox) {
    Scene scene;
    ASSERT_TRUE(scene.font);
    scene.canvas.drawText(20, 10, "80");
    const std::int32_t width = scene.font->textWidth("80");
    int full = 0, partial = 0;
    for (int y = 0; y < scene.surface.height(); ++y)
        for (int x = 0; x < scene.surface.width(); ++x) {
            std::uint16_t p = scene.surface.pixel(x, y);
            if (!p) continue;
            EXPECT_EQ(p & 0x03FF, 0) << "green or blue at " << x << "," << y;
            EXPECT_TRUE(x >= 20 && x < 20 + width && y >= 10 && y < 50) << x << "," << y;
            (p >> 10) == 31 ? ++full : ++partial;
        }
    EXPECT_GT(full, 100);
    EXPECT_GT(partial, 10);
    EXPECT_EQ(scene.surface.locks().outstanding(), 0);
}

TEST(FreeTypeFont, OutlinePhaseCoversTheGlyphsAndMore) {
    auto drawn = [](std::int32_t phase) {
        Scene scene;
        scene.font->font()->setPhase(phase);
        scene.canvas.drawText(10, 10, "42");
        return scene.reds();
    };
    std::vector<int> plain = drawn(0), outline = drawn(1), other = drawn(3);
    EXPECT_EQ(other, plain);
    int plainInk = 0, outlineInk = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        plainInk += plain[i];
        outlineInk += outline[i];
        EXPECT_GE(outline[i], plain[i]);
    }
    EXPECT_GT(outlineInk, plainInk * 3 / 2);
}

TEST(FreeTypeFont, StaysInTheClipAndDrawsNothingWhenLocksFail) {
    Scene scene;
    ASSERT_TRUE(scene.font);
    scene.canvas.clip = Rect(30, 20, 25, 15);
    scene.canvas.drawText(20, 10, "888888");
    int inside = 0;
    for (int y = 0; y < scene.surface.height(); ++y)
        for (int x = 0; x < scene.surface.width(); ++x) {
            if (!scene.surface.pixel(x, y)) continue;
            EXPECT_TRUE(x >= 30 && x < 55 && y >= 20 && y < 35) << x << "," << y;
            ++inside;
        }
    EXPECT_GT(inside, 0);
    scene.canvas.drawText(-1000000, INT32_MAX - 3, "8");
    scene.canvas.drawText(INT32_MIN, 0, "8");

    Scene failing;
    failing.surface.locks().setFailing(true);
    failing.canvas.drawText(0, 0, "8");
    EXPECT_EQ(failing.surface.locks().outstanding(), 0);
    for (int red : failing.reds()) ASSERT_EQ(red, 0);
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
