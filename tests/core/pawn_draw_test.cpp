// What the host draws for a pawn: the figure (its own or the shared penguin), the score text under
// it, and the blinking bonus picture, read from the screen's pixels and the font's calls.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

class PawnDrawing : public testing::Test {
protected:
    void SetUp() override {
        pawn = world.create("pawn", 1);
        ASSERT_TRUE(pawn);
        pawn.visible->setPosition(100, 280);
    }

    int coloursOnScreen() const {
        int drawn = 0;
        for (int y = 0; y < PawnWorld::kScreenHeight; ++y)
            for (int x = 0; x < PawnWorld::kScreenWidth; ++x) drawn += world.surface.pixel(x, y) != 0;
        return drawn;
    }

    PawnWorld world;
    PawnHandle pawn;
};

}  // namespace

TEST_F(PawnDrawing, TheScoreIsCentredInA150PixelColumnOnRow430WithTheTwoPassEffectAtPhase2) {
    pawn.player->showScore(1);
    pawn.player->setScorePhase(2);
    world.canvas.colour = Colour(1, 2, 3);
    world.font.calls.clear();
    world.surface.fill(0x001f);  // blue, so that both the white and the black pass show
    pawn.visible->draw(&world.canvas);
    ASSERT_EQ(world.font.calls.size(), 2u);
    const std::int32_t x = 100 + (150 - world.font.textWidth("0")) / 2;
    const DrawnText& outline = world.font.calls[0];
    const DrawnText& glyphs = world.font.calls[1];
    EXPECT_EQ(outline.text, "0");
    EXPECT_EQ(outline.x, x);
    EXPECT_EQ(outline.y, 430);
    EXPECT_EQ(outline.phase, 1);
    EXPECT_EQ(outline.colour.red + outline.colour.green + outline.colour.blue, 3 * 255);
    EXPECT_EQ(glyphs.text, "0");
    EXPECT_EQ(glyphs.x, x);
    EXPECT_EQ(glyphs.y, 430);
    EXPECT_EQ(glyphs.phase, 0);
    EXPECT_EQ(glyphs.colour.red + glyphs.colour.green + glyphs.colour.blue, 0);
    // The context and the font are left as they were found.
    EXPECT_EQ(world.canvas.colour.red, 1);
    EXPECT_EQ(world.canvas.colour.blue, 3);
    EXPECT_EQ(world.canvas.font, nullptr);
    EXPECT_EQ(world.font.phase(), 0);
    // Black glyphs over a white outline, in the text's box from row 430 on.
    int white = 0, black = 0;
    for (int y = 0; y < PawnWorld::kScreenHeight; ++y)
        for (int px = 0; px < PawnWorld::kScreenWidth; ++px) {
            const std::uint16_t pixel = world.surface.pixel(px, y);
            if (pixel != 0x7fff && pixel != 0) continue;
            EXPECT_TRUE(px >= x && px < x + world.font.textWidth("0") && y >= 430 && y < 430 + world.font.lineHeight()) << px << "," << y;
            (pixel ? white : black) += 1;
        }
    EXPECT_GT(white, 0);
    EXPECT_GT(black, 0);

    // Row 430 whatever the pawn's own row; the column follows its x and the text's width.
    pawn.visible->setPosition(20, 350);
    pawn.player->setScorePhase(3);
    pawn.player->addScore(1234567);
    world.host.advance(3'000'000);
    world.drawFresh(pawn);  // the roll ends
    world.drawFresh(pawn);
    ASSERT_EQ(world.font.calls.size(), 1u);
    EXPECT_EQ(world.font.calls[0].text, "1234567");
    EXPECT_EQ(world.font.calls[0].x, 20 + (150 - world.font.textWidth("1234567")) / 2);
    EXPECT_EQ(world.font.calls[0].y, 430);
    EXPECT_EQ(world.font.calls[0].phase, 0) << "the score change cleared the phase override";
}

TEST_F(PawnDrawing, AHiddenScoreDoesNotAdvanceItsRoll) {
    pawn.player->addScore(100);
    world.host.advance(2000);  // the roll ran out unseen
    world.drawFresh(pawn);
    EXPECT_TRUE(world.font.calls.empty());
    pawn.player->showScore(1);
    world.drawFresh(pawn);
    ASSERT_EQ(world.font.calls.size(), 1u);
    EXPECT_EQ(world.font.calls[0].text, "100");
    EXPECT_EQ(world.font.calls[0].phase, 4) << "the roll was still there to be finished";
}

TEST_F(PawnDrawing, TheBonusPictureSitsAtXPlus95OnRow440AndBlinksOnceInUse) {
    hostengine::ProducerPicture* picture = world.producer->bonusPicture(4);
    ASSERT_NE(picture, nullptr);
    const std::uint16_t disc = picture->colour().row16(6)[24];
    ASSERT_EQ(picture->alpha().row(6)[24], 255);
    auto discOnScreen = [&] { return world.surface.pixel(100 + 95 + 24, 440 + 6); };

    pawn.player->setBonus(4);
    pawn.visible->setPosition(100, 300);  // the picture keeps its row
    world.drawFresh(pawn);
    EXPECT_EQ(discOnScreen(), disc);
    EXPECT_EQ(world.surface.pixel(100 + 95 + 24, 439), 0);
    EXPECT_DOUBLE_EQ(picture->lastDrawOpacity(), 1.0);

    world.host.setTime(100000);
    pawn.player->setBonus(-1);
    struct Step {
        std::uint32_t at;  // ms after the bonus was used
        double opacity;
    };
    // 600 ms out, 600 ms back, out again: each half starts at the draw that finds the last one over.
    const Step steps[] = {{0, 1.0}, {300, 0.5}, {600, 0.0}, {601, 0.0}, {901, 0.5}, {1201, 1.0}, {1202, 1.0}, {1502, 0.5}};
    for (const Step& step : steps) {
        world.host.setTime(100000 + step.at);
        world.drawFresh(pawn);
        EXPECT_NEAR(picture->lastDrawOpacity(), step.opacity, 1e-12) << step.at;
        EXPECT_DOUBLE_EQ(picture->blend.opacity, 1.0) << "left at full opacity for the next pawn";
        if (step.opacity == 1.0) {
            EXPECT_EQ(discOnScreen(), disc) << step.at;
        } else if (step.opacity == 0.0) {
            EXPECT_EQ(discOnScreen(), 0) << step.at;
        }
        if (step.opacity == 0.5) {
            const std::uint16_t half = discOnScreen();
            EXPECT_NE(half, 0) << step.at;
            EXPECT_NE(half, disc) << step.at;
            EXPECT_LE((half >> 10) & 31, (disc >> 10) & 31);
            EXPECT_LE((half >> 5) & 31, (disc >> 5) & 31);
            EXPECT_LE(half & 31, disc & 31);
        }
    }

    // Bonus 10 used ends at once: nothing is drawn any more.
    pawn.player->setBonus(10);
    pawn.player->setBonus(-1);
    world.drawFresh(pawn);
    EXPECT_EQ(discOnScreen(), 0);
}

TEST_F(PawnDrawing, ABonusPictureFromItsVideoIsDrawnThroughItsAlpha) {
    pawn.player->setBonus(3);
    world.drawFresh(pawn);
    const Colour colour = PawnWorld::bonusVideoColour();
    EXPECT_EQ(world.surface.pixel(195 + 8, 440 + 8), hostengine::rgb555(colour));
    EXPECT_EQ(world.surface.pixel(195, 440), 0) << "its transparent border";
    EXPECT_EQ(world.surface.pixel(195 + 16, 440 + 8), 0) << "16 pixels wide";
}

TEST_F(PawnDrawing, AHiddenPawnDrawsNothingAtAll) {
    pawn.player->showScore(1);
    pawn.player->setBonus(4);
    world.drawFresh(pawn);
    ASSERT_GT(coloursOnScreen(), 0);
    const int pictureDraws = world.producer->bonusPicture(4)->draws();

    pawn.player->setHidden(1);
    EXPECT_EQ(pawn.player->isHidden(), 1);
    EXPECT_EQ(pawn.visible->isHidden(), 1);
    world.drawFresh(pawn);
    EXPECT_EQ(coloursOnScreen(), 0);
    EXPECT_TRUE(world.font.calls.empty());
    EXPECT_EQ(world.producer->bonusPicture(4)->draws(), pictureDraws);
    const Rect bounds = pawn.visible->bounds();
    EXPECT_EQ(bounds.x + bounds.y + bounds.width + bounds.height, 0);
}

TEST_F(PawnDrawing, ThePenguinShowsThisPawnsSequenceAndFrameAndFreezesWithIt) {
    pawn.player->setBonus(16);
    world.drawFresh(pawn);
    EXPECT_EQ(world.figureAt(100, 280), (SequenceFrame{"wait01", 0}));
    EXPECT_EQ(world.colourSetAt(100, 280), kPenguinColours);
    pawn.player->setActivity(0);
    world.drawFresh(pawn);
    EXPECT_EQ(world.figureAt(100, 280), (SequenceFrame{"freeze", 0}));
    pawn.player->setActivity(1);
    world.drawFresh(pawn);
    EXPECT_EQ(world.figureAt(100, 280), (SequenceFrame{"wait01", 0}));

    // A wait hold shows the first frame of "wait01" on the penguin too, whatever played before it.
    world.send(pawn, kBuzz);
    world.tick(pawn, 100);
    world.drawFresh(pawn);
    ASSERT_EQ(world.figureAt(100, 280).index, 2);
    world.send(pawn, kWaitHold, 500);
    world.tick(pawn, 100);
    world.drawFresh(pawn);
    EXPECT_EQ(world.figureAt(100, 280), (SequenceFrame{"wait01", 0}));
}

// Two pawns share the one penguin video. Each must animate on its own: the frozen one keeps showing
// "freeze", and its updates must not step or stop the other's buzz.
TEST_F(PawnDrawing, TwoPawnsSharingThePenguinEachSeeTheirOwnFrame) {
    PawnHandle other = world.create("pawn", 2);
    ASSERT_TRUE(other);
    other.visible->setPosition(300, 280);
    pawn.player->setBonus(16);
    other.player->setBonus(16);
    other.player->setActivity(0);
    ASSERT_EQ(pawn.player->getVideo(), other.player->getVideo());

    world.send(pawn, kBuzz);
    const SequenceFrame buzz = PawnWorld::videoState(pawn);
    ASSERT_EQ(buzz.index, 1);
    std::vector<int> frames{1};
    for (int t = 0; t < 1000 && frames.back() != 0; t += 10) {
        world.host.advance(10);
        world.host.pumpEvents();
        pawn.player->update();
        other.player->update();
        world.surface.fill(0);
        pawn.visible->draw(&world.canvas);
        other.visible->draw(&world.canvas);
        const SequenceFrame mine = world.figureAt(100, 280);
        ASSERT_EQ(mine.name, buzz.name) << t;
        if (mine.index != frames.back()) frames.push_back(mine.index);
        EXPECT_EQ(world.figureAt(300, 280), (SequenceFrame{"freeze", 0})) << t;
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 0}));
}
