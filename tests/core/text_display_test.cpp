#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/text_display.h"
#include "media/text_effect.h"
#include "tests/support/host_doubles.h"

using namespace doubles;

namespace {

// An effect record that counts its destruction.
struct CountedEffect final : TextEffect {
    CountedEffect(std::uint32_t code_, int* destroyed_) : destroyed(destroyed_) {
        code = code_;
        name = "TextShapeFX::zandrel";
    }
    void* deletingDestructor(unsigned) override {
        ++*destroyed;
        delete this;
        return this;
    }
    int* destroyed;
};

// A display of 40-pixel glyphs on a context whose own colour and font it must give back.
struct Scene {
    Scene() {
        canvas.colour = Colour(1, 2, 3);
        canvas.font = &other;
    }
    ~Scene() { destroy(display); }

    hostengine::HostEngine host;
    MemorySurface surface{640, 480};
    Canvas canvas = canvasOver(surface);
    RecordingFont font{40};
    RecordingFont other{10};
    TextDisplay* display = create<TextDisplay>(0, 0, &font, "0");
};

}  // namespace

TEST(TextDisplay, LinesFollowOneAnotherByTheFontsAdvance) {
    struct Case {
        const char* text;
        double fontScaleY;  // the font's vertical scale before drawing
        std::int32_t permille;
        std::vector<std::int32_t> rows;
    };
    const Case cases[] = {
        {"1\n2", 1.0, 1000, {430, 462}},          // glyph height 40 - 8
        {"1\n2\n3", 1.5, 1000, {430, 478, 526}},  // step trunc(1.5 x 32) = 48
        {"1\n2", 1.0, 1250, {430, 470}},
        {"1\n\n3", 1.0, 1000, {430, 462, 494}},   // an empty line still takes its place
        {"", 1.0, 1000, {430}},                   // one empty line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Scene scene;
        scene.font.vertical.value = c.fontScaleY;
        scene.font.linePermille = c.permille;
        scene.display->setText(c.text);
        scene.display->setPosition(12, 430);
        scene.display->draw(&scene.canvas);
        std::vector<std::int32_t> rows;
        for (const DrawnText& d : scene.font.drawn) {
            rows.push_back(d.y);
            EXPECT_EQ(d.x + d.red + d.phase, 12 + 255);  // the display's white, phase 0
        }
        EXPECT_EQ(rows, c.rows);
        EXPECT_STREQ(scene.display->text, c.text);  // the cuts between lines are undone
        EXPECT_EQ(scene.font.vertical.value, c.fontScaleY);
    }
}

TEST(TextDisplay, OnlyTheEffectAtPhaseTwoDrawsEachLineWhiteThenBlackAndEverythingIsRestored) {
    struct Case {
        const char* what;
        std::uint32_t code;  // of the attached effect; 0: none
        std::int32_t phase;
        std::vector<DrawnText> drawn;
        std::vector<std::int32_t> phases;  // given to the font's handler
    };
    const Case cases[] = {
        {"effect, phase 2", kTextEffectCode, 2,
         {{100, 430, "12", 255, 1}, {100, 430, "12", 0, 0}, {100, 462, "3", 255, 1}, {100, 462, "3", 0, 0}}, {2, 1, 0, 1, 0, 5}},
        {"no effect, phase 2", 0, 2, {{100, 430, "12", 255, 2}, {100, 462, "3", 255, 2}}, {2, 5}},
        {"effect, phase 1", kTextEffectCode, 1, {{100, 430, "12", 255, 1}, {100, 462, "3", 255, 1}}, {1, 5}},
        {"another effect, phase 2", 0x00120002, 2, {{100, 430, "12", 255, 2}, {100, 462, "3", 255, 2}}, {2, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scene scene;
        int destroyed = 0;
        if (c.code) scene.display->touchable()->attach(new CountedEffect(c.code, &destroyed));
        scene.display->setText("12\n3");
        scene.display->setPhase(c.phase);
        scene.display->setPosition(100, 430);
        scene.font.horizontal.value = 0.75;
        scene.font.setPhase(5);
        scene.font.phases.clear();
        scene.display->draw(&scene.canvas);
        EXPECT_EQ(scene.font.drawn, c.drawn);
        EXPECT_EQ(scene.font.phases, c.phases);
        EXPECT_EQ(scene.font.phase(), 5);
        EXPECT_EQ(scene.font.horizontal.value, 0.75);
        EXPECT_EQ(scene.canvas.font, &scene.other);
        EXPECT_EQ(scene.canvas.colour.blue, 3);
        EXPECT_EQ(scene.surface.colours.back().green, 2);  // the surface was given the old colour back
        EXPECT_EQ(destroyed, 0);
    }
}

TEST(TextDisplay, KeepsACopyOfItsTextWithoutTrailingNewlinesAndIsBoundedByItWholeOneLineHigh) {
    Scene scene;
    const std::pair<const char*, const char*> cases[] = {
        {"12\n\n", "12"}, {"", ""}, {"\n", ""}, {"1\n2", "1\n2"}, {"\n1\n", "\n1"}, {"1234567", "1234567"},
    };
    for (const auto& [given, kept] : cases) {
        std::string buffer = given;
        scene.display->setText(buffer.data());
        buffer.assign(buffer.size(), 'x');  // the display has its own copy
        EXPECT_STREQ(scene.display->text, kept) << given;
    }
    scene.display->setText(scene.display->text);  // its own text back
    EXPECT_STREQ(scene.display->text, "1234567");

    // Without text nothing is drawn.
    scene.display->setText(nullptr);
    scene.display->draw(&scene.canvas);
    EXPECT_TRUE(scene.font.drawn.empty());
    EXPECT_TRUE(scene.surface.colours.empty());
    EXPECT_EQ(boundsOf(scene.display).width, 0);
    scene.display->setText("480\n12");
    scene.display->setPosition(-4, 430);
    for (Rect bounds : {boundsOf(scene.display), touchBoundsOf(scene.display)}) {
        // The font measures the whole text, newline and all.
        EXPECT_EQ((std::vector<std::int32_t>{bounds.x, bounds.y, bounds.width, bounds.height}), (std::vector<std::int32_t>{-4, 430, 60, 40}));
    }
}

// Attaching an effect destroys the one held before; the display destroys the one it holds.
TEST(TextDisplay, AttachingAnEffectDestroysTheOneHeldBefore) {
    int destroyed = 0;
    {
        Scene scene;
        auto* first = new CountedEffect(kTextEffectCode, &destroyed);
        EXPECT_EQ(scene.display->attach(first), 1);
        EXPECT_EQ(scene.display->attach(first), 1);  // the same record again is kept, not destroyed
        EXPECT_EQ(destroyed, 0);
        EXPECT_EQ(scene.display->attach(new CountedEffect(kTextEffectCode, &destroyed)), 1);
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(scene.display->attach(nullptr), 1);
        EXPECT_EQ(destroyed, 2);
        scene.display->attach(new CountedEffect(kTextEffectCode, &destroyed));
    }
    EXPECT_EQ(destroyed, 3);
}

TEST(TextDisplay, TheFontComesFirstAfterTheSpriteFields) {
    // The producer's "allalpha" is read through this layout for its font.
    Scene scene;
    TextDisplay* d = scene.display;
    auto at = [d](const void* field) { return static_cast<const char*>(field) - reinterpret_cast<const char*>(d); };
    const std::vector<std::ptrdiff_t> offsets{at(static_cast<ITouchable*>(d)), at(&d->interfaces), at(&d->area),
                                              at(&d->hidden), at(&d->position), at(&d->font)};
    if (sizeof(void*) == 4) { EXPECT_EQ(offsets, (std::vector<std::ptrdiff_t>{4, 8, 20, 36, 40, 48})); }
    EXPECT_GT(at(&d->font), at(&d->position));
    EXPECT_LT(at(&d->font), at(&d->text));
}
