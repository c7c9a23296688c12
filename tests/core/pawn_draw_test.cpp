// What the host draws for a pawn: the figure (its own or the shared penguin), the score text under
// it, and the blinking bonus picture, read from the screen's pixels and the font's calls. (That a
// hidden score keeps its roll for when it shows is the soak's to see.)
#include <cstdint>
#include <string>
#include <tuple>
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

    PawnWorld world;
    PawnHandle pawn;
};

}  // namespace

namespace {

std::tuple<std::string, std::int32_t, std::int32_t, std::int32_t> placeOf(const DrawnText& call) {
    return {call.text, call.x, call.y, call.phase};
}

}  // namespace

TEST_F(PawnDrawing, TheScoreIsCentredInA150PixelColumnOnRow430WithTheTwoPassEffectAtPhase2) {
    pawn.player->showScore(1);
    pawn.player->setScorePhase(2);
    world.canvas.colour = Colour(1, 2, 3);
    world.font.calls.clear();
    pawn.visible->draw(&world.canvas);
    ASSERT_EQ(world.font.calls.size(), 2u);
    const std::int32_t x = 100 + (150 - world.font.textWidth("0")) / 2;
    // A white outline at phase 1, then black glyphs at phase 0; the context and font left as found.
    EXPECT_EQ(placeOf(world.font.calls[0]), std::make_tuple("0", x, 430, 1));
    EXPECT_EQ(placeOf(world.font.calls[1]), std::make_tuple("0", x, 430, 0));
    // White (two components of 255 read), then black (none); the canvas's own blue 3 and phase 0 back.
    EXPECT_EQ(world.font.calls[0].colour.red + world.font.calls[0].colour.blue + world.font.calls[1].colour.green, 2 * 255);
    EXPECT_EQ(world.canvas.colour.blue + world.font.phase(), 3);
    EXPECT_EQ(world.canvas.font, nullptr);

    // Row 430 whatever the pawn's own row; a score change clears the phase override (one pass only).
    pawn.visible->setPosition(20, 350);
    pawn.player->addScore(1234567);
    world.host.advance(3'000'000);
    world.drawFresh(pawn);  // the roll ends
    world.drawFresh(pawn);
    ASSERT_EQ(world.font.calls.size(), 1u);
    EXPECT_EQ(placeOf(world.font.calls[0]), std::make_tuple("1234567", 20 + (150 - world.font.textWidth("1234567")) / 2, 430, 0));
}

TEST_F(PawnDrawing, TheBonusPictureSitsAtXPlus95OnRow440AndBlinksOnceInUse) {
    hostengine::ProducerPicture* picture = world.producer->bonusPicture(4);
    const std::uint16_t disc = picture->colour().row16(6)[24];
    auto discOnScreen = [&] { return world.surface.pixel(100 + 95 + 24, 440 + 6); };
    pawn.player->setBonus(4);
    pawn.visible->setPosition(100, 300);  // the picture keeps its row
    world.host.setTime(100000);
    pawn.player->setBonus(-1);
    // 600 ms out, 600 ms back, out again: each half starts at the draw that finds the last one over.
    const std::pair<std::uint32_t, double> steps[] = {{0, 1.0},    {300, 0.5},  {600, 0.0},  {601, 0.0},
                                                      {901, 0.5},  {1201, 1.0}, {1202, 1.0}, {1502, 0.5}};
    for (auto [at, opacity] : steps) {
        world.host.setTime(100000 + at);
        world.drawFresh(pawn);
        EXPECT_NEAR(picture->lastDrawOpacity(), opacity, 1e-12) << at;
        EXPECT_DOUBLE_EQ(picture->blend.opacity, 1.0) << "left at full opacity for the next pawn";
        const std::uint16_t shown = discOnScreen();
        EXPECT_TRUE(opacity == 1.0 ? shown == disc : opacity == 0.0 ? shown == 0 : shown != 0 && shown != disc) << at;
    }
    EXPECT_EQ(world.surface.pixel(100 + 95 + 24, 439), 0);

    // A hidden pawn draws nothing at all.
    pawn.player->setHidden(1);
    pawn.player->showScore(1);
    world.drawFresh(pawn);
    EXPECT_EQ(discOnScreen() + world.colourSetAt(100, 300), 0);
    EXPECT_TRUE(world.font.calls.empty());
    EXPECT_EQ(boundsOf(pawn.visible).width, 0);

    // Bonus 10 used ends at once: nothing is drawn any more.
    pawn.player->setHidden(0);
    pawn.player->setBonus(10);
    pawn.player->setBonus(-1);
    world.drawFresh(pawn);
    EXPECT_EQ(discOnScreen(), 0);
}

// Alone with the penguin, a pawn finds it as its own draw left it: frozen, that is "freeze" at frame 0,
// so unfreezing starts a fresh wait sequence at frame 1 instead of resuming the buzz it froze in.
TEST_F(PawnDrawing, APawnAloneWithThePenguinThawsIntoANewWait) {
    pawn.player->setBonus(16);
    world.send(pawn, kBuzz);
    world.tick(pawn, 90);
    const SequenceFrame buzzing = PawnWorld::videoState(pawn);
    ASSERT_TRUE(buzzing.name.rfind("buzz", 0) == 0 && buzzing.index == 2) << buzzing;
    pawn.player->setActivity(0);
    world.drawFresh(pawn);
    EXPECT_EQ(PawnWorld::videoState(pawn), (SequenceFrame{"freeze", 0}));
    world.send(pawn, kUnfreeze);
    const SequenceFrame thawed = PawnWorld::videoState(pawn);
    EXPECT_TRUE(thawed.name.rfind("wait0", 0) == 0 && thawed.index == 1) << thawed;
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
        world.tick(pawn, 10);
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
