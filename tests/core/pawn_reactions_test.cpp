// The pawn as a player sees and hears it: which sequence and frame its figure shows (read back from the
// pixels it draws), which sounds play, how holds, the penguin and freezing change that, its slides into
// and out of view, and what else the host draws for it (the score text under it, the blinking bonus
// picture). Messages of other families are left to the soak, which checks that every message is deleted.
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/world.h"

using namespace pawntest;

namespace {

class PawnPlay : public testing::Test {
protected:
    void SetUp() override {
        world.host.setTime(0xFFFFFFFFu - 300u);  // every test's clock wraps soon after it starts
        pawn = world.create("pawn", 1);
        ASSERT_TRUE(pawn);
        pawn.visible->setPosition(100, 280);
    }

    // The figure as the video reports it; the drawn pixels must say the same.
    SequenceFrame shown() {
        world.drawFresh(pawn);
        EXPECT_EQ(world.figureAt(100, 280), PawnWorld::videoState(pawn));
        return PawnWorld::videoState(pawn);
    }
    bool buzzingAt(int frame) const {
        const SequenceFrame now = PawnWorld::videoState(pawn);
        return now.name.rfind("buzz", 0) == 0 && now.index == frame;
    }

    // Ticks by 10 ms while the figure shows `name`; the frames it showed there, each change once.
    std::vector<int> framesOf(const std::string& name) {
        std::vector<int> frames;
        for (int t = 0; t < 2000 && shown().name == name; t += 10) {
            if (frames.empty() || frames.back() != shown().index) frames.push_back(shown().index);
            world.tick(pawn, 10);
        }
        return frames;
    }

    // The row at which the figure is drawn in column 100, or -1 when it is off the screen.
    int figureRow() {
        world.drawFresh(pawn);
        for (int y = 0; y < PawnWorld::kScreenHeight; ++y)
            if (world.colourSetAt(100, y - kFigureSize / 2) == kPawnColours) return y;
        return -1;
    }

    PawnWorld world;
    PawnHandle pawn;
};
using PawnDrawing = PawnPlay;

}  // namespace

TEST_F(PawnPlay, BuzzThenHappyThenScoreAsTheGamePlaysThem) {
    world.send(pawn, kBuzz);
    const SequenceFrame buzz = shown();
    ASSERT_TRUE(buzzingAt(1)) << buzz;
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
    world.send(pawn, kHappy, 0);  // waits for the buzz to come round
    pawn.player->addScore(100);
    ASSERT_EQ(world.scoreSoundsPlayed().size(), 1u);
    EXPECT_DOUBLE_EQ(world.scoreSoundsPlayed()[0].volume, 0.9);
    EXPECT_EQ(framesOf(buzz.name), (std::vector<int>{1, 2, 3, 4, 5, 0}));
    // Served at the first update after the wrap; frame 0 held for 800 ms, then it plays.
    EXPECT_EQ(shown(), (SequenceFrame{"hppy01", 0}));
    world.tick(pawn, 790);
    EXPECT_EQ(shown(), (SequenceFrame{"hppy01", 0}));
    world.tick(pawn, 10);
    EXPECT_EQ(shown().name, "hppy01");
    EXPECT_NE(shown().index, 0);
}

TEST_F(PawnPlay, EachReactionServedAtRestShowsItsSequenceAndFirstFrame) {
    const struct {
        std::uint32_t code;
        std::int32_t parameter;
        SequenceFrame expected;
    } cases[] = {
        {kHappy, 0, {"hppy01", 0}},   {kHappy, 2, {"hppy03", 0}},   {kUnhappy, 0, {"uhppy01", 0}},
        {kUnhappy, 2, {"uhppy03", 0}}, {kHappy, 3, {"uhppy01", 0}},  // the request is the parameter + 2
        {kLookLeft, 0, {"l_left", 1}}, {kLookRight, 0, {"l_rght", 1}},
        {kHappy, 20, {"wait01", 0}},   // beyond the last reaction: dropped
    };
    for (const auto& c : cases) {
        PawnHandle fresh = world.create("pawn", 2);
        world.send(fresh, c.code, c.parameter);
        EXPECT_EQ(PawnWorld::videoState(fresh), (SequenceFrame{"wait01", 0})) << "served only by the update";
        fresh.player->update();
        EXPECT_EQ(PawnWorld::videoState(fresh), c.expected) << std::hex << c.code << std::dec << " " << c.parameter;
        world.destroy(fresh);
    }
}

TEST_F(PawnPlay, ABuzzCutsAReactionHoldAndALookEndsItEarly) {
    PawnHandle cut = world.create("pawn", 2);
    world.send(cut, kUnhappy, 1);
    world.tick(cut, 100);
    world.send(cut, kBuzz);
    const SequenceFrame buzz = PawnWorld::videoState(cut);
    EXPECT_TRUE(buzz.name.rfind("buzz", 0) == 0 && buzz.index == 1) << buzz;

    world.send(pawn, kUnhappy, 1);
    world.tick(pawn, 100);
    ASSERT_EQ(shown(), (SequenceFrame{"uhppy02", 0}));
    world.send(pawn, kLookLeft);
    EXPECT_EQ(shown(), (SequenceFrame{"uhppy02", 0})) << "the message alone changes nothing";
    world.tick(pawn, 10);  // the hold is over; frame 1 goes by within this update
    EXPECT_EQ(framesOf("uhppy02"), (std::vector<int>{2, 3, 4, 0}));
    EXPECT_EQ(shown(), (SequenceFrame{"l_left", 1}));
}

TEST_F(PawnPlay, ABuzzThatStillSoundsIsStoppedAndNotStartedAgain) {
    world.send(pawn, kBuzz);
    world.tick(pawn, 20);
    world.send(pawn, kBuzz);  // buzz1 lasts 100 ms: still sounding
    world.tick(pawn, 10);     // the stop's notice arrives
    EXPECT_TRUE(world.sounds.playbackLog().back().stopped);
    world.send(pawn, kBuzz, 1);  // silent buzz: the figure buzzes, nothing sounds
    EXPECT_TRUE(buzzingAt(1));
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
    world.send(pawn, kBuzz);
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1, 1}));
}

TEST_F(PawnPlay, ThePenguinDropsHappyAndLookRequestsAndShowsWait01ForAWaitHold) {
    pawn.player->setBonus(16);
    for (std::uint32_t code : {kHappy, kUnhappy, kLookLeft, kLookRight}) {
        world.send(pawn, code, 0);
        pawn.player->update();
        EXPECT_EQ(shown(), (SequenceFrame{"wait01", 0})) << std::hex << code;
    }
    EXPECT_EQ(world.colourSetAt(100, 280), kPenguinColours);
    world.send(pawn, kBuzz);
    world.tick(pawn, 100);
    world.send(pawn, kWaitHold, 500);
    world.tick(pawn, 100);
    EXPECT_EQ(shown(), (SequenceFrame{"wait01", 0}));
}

TEST_F(PawnPlay, AFrozenPawnIgnoresReactionsAndStartsNoIdleAnimationUntilUnfrozen) {
    world.send(pawn, kBuzz);
    world.send(pawn, kFreeze, -1);  // arriving mid-sequence, it shows once the sequence came round
    EXPECT_EQ(framesOf(shown().name).back(), 0);
    EXPECT_EQ(shown(), (SequenceFrame{"freeze", 0}));
    for (std::uint32_t code : {kBuzz, kHappy, kUnhappy, kLookLeft, kLookRight}) world.send(pawn, code, 0);
    for (int i = 0; i < 1000; ++i) world.tick(pawn, 10);  // at 1 in 35 per update an idle start was due many times over
    EXPECT_EQ(shown(), (SequenceFrame{"freeze", 0}));
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
    world.send(pawn, kUnfreeze);
    EXPECT_TRUE(shown().name.rfind("wait", 0) == 0 && shown().index == 1) << shown();
    EXPECT_EQ(world.deletions, 8);
}

TEST_F(PawnPlay, FreezingGoesByLevelsAndBonus7InUseKeepsThePawnActive) {
    pawn.player->setActivity(-2);
    for (std::int32_t level : {-1, 0, 1, 1}) EXPECT_EQ(pawn.player->thaw(), level);
    pawn.player->setActivity(INT32_MIN);
    EXPECT_EQ(pawn.player->thaw(), INT32_MIN + 1);
    pawn.player->setActivity(1);
    pawn.player->setBonus(7);
    pawn.player->setActivity(0);
    EXPECT_EQ(pawn.player->getActivity(), 0) << "held but not in use: no protection";
    pawn.player->setActivity(1);
    pawn.player->setBonus(-1);
    world.send(pawn, kFreeze, -5);
    EXPECT_EQ(pawn.player->isFrozen(), 0);
    EXPECT_EQ(shown(), (SequenceFrame{"wait01", 0})) << "no freeze picture either";
}

// Every sequence of this pawn is "0@5": no frames at all. Nothing steps, nothing divides by zero.
TEST(PawnWithoutFrames, ASequenceOfNoFramesRestsAtFrameZero) {
    WorldOptions options;
    for (SequenceRun& run : options.sequences) run = SequenceRun{run.name, 0, 5};
    PawnWorld world(options);
    PawnHandle pawn = world.create();
    const std::uint32_t codes[] = {kBuzz, kHappy, kLookLeft, kFreeze, kUnfreeze, kWaitHold};
    for (int i = 0; i < 600; ++i) {
        if (i % 50 == 0) world.send(pawn, codes[(i / 50) % 6], 0);
        world.tick(pawn, 20);
        EXPECT_EQ(PawnWorld::videoState(pawn).index, 0);
    }
    world.drawFresh(pawn);
}

// A slide of no time (or a negative one) arrives at the next update and is over then: it must not
// keep pulling the pawn back while the clock stands still.
TEST_F(PawnPlay, SlidesMoveWithTheUpdatesAndComingUpReplacesAGoingDownRisingFrom480) {
    // Each step: the row the game sets (0: none), a message (0: none) and its time, the clock's step,
    // and the row drawn after that update (-1: below the screen).
    const struct {
        std::int32_t place;
        std::uint32_t code;
        std::int32_t time;
        std::uint32_t step;
        int row;
    } steps[] = {
        {0, kGoingDown, 1000, 0, 280}, {0, 0, 0, 500, 380}, {0, 0, 0, 250, 430}, {0, 0, 0, 300, -1},
        {280, kGoingDown, 1000, 500, 380}, {0, kComingUp, 400, 0, -1}, {0, 0, 0, 100, 430}, {0, 0, 0, 300, 280},
        {0, 0, 0, 100, 280}, {300, 0, 0, 10, 300},  // finished: the game may place the pawn again
        {0, kGoingDown, 0, 0, -1},  {280, 0, 0, 0, 280}, {0, kComingUp, -1, 0, 280}, {330, 0, 0, 0, 330},
        {280, kGoingDown, INT32_MIN, 0, -1}, {280, 0, 0, 0, 280}, {0, kComingUp, 0, 0, 280}, {330, 0, 0, 0, 330},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        if (steps[i].place) pawn.visible->setPosition(100, steps[i].place);
        if (steps[i].code) world.send(pawn, steps[i].code, steps[i].time);
        world.tick(pawn, steps[i].step);
        EXPECT_EQ(figureRow(), steps[i].row) << "step " << i;
    }
}

TEST_F(PawnPlay, AWaitHoldShowsWait01AndHoldsEverythingButTheSlide) {
    world.send(pawn, kBuzz);
    world.tick(pawn, 200);  // buzz1 has ended
    world.send(pawn, kWaitHold, 500);
    world.send(pawn, kGoingDown, 400);
    world.send(pawn, kBuzz);  // runs the update, which stops at the hold
    world.tick(pawn, 200);
    EXPECT_EQ(figureRow(), 380) << "the slide goes on";
    world.tick(pawn, 290);
    EXPECT_EQ(PawnWorld::videoState(pawn), (SequenceFrame{"wait01", 0}));
    EXPECT_EQ(world.buzzesPlayed().size(), 1u);
    world.tick(pawn, 10);  // 500 ms: the hold is over and the waiting buzz is served
    EXPECT_TRUE(buzzingAt(1));
    EXPECT_EQ(world.buzzesPlayed().size(), 2u);
    // A hold of no time or less is over at the next update, whatever the clock does.
    for (std::int32_t duration : {0, -1, INT32_MIN}) {
        world.send(pawn, kWaitHold, duration);
        EXPECT_EQ(PawnWorld::videoState(pawn), (SequenceFrame{"wait01", 0}));
        world.send(pawn, kBuzz, 1);
        EXPECT_TRUE(buzzingAt(1)) << duration;
    }
}

TEST_F(PawnDrawing, TheScoreIsCentredInA150PixelColumnOnRow430WithTheTwoPassEffectAtPhase2) {
    auto placeOf = [](const DrawnText& call) { return std::make_tuple(call.text, call.x, call.y, call.phase); };
    pawn.player->showScore(1);
    pawn.player->setScorePhase(2);
    world.canvas.colour = Colour(1, 2, 3);
    world.font.calls.clear();
    pawn.visible->draw(&world.canvas);
    ASSERT_EQ(world.font.calls.size(), 2u);
    const std::int32_t x = 100 + (150 - world.font.textWidth("0")) / 2;
    // A white outline at phase 1, then black glyphs at phase 0; the context and font left as found.
    EXPECT_EQ(placeOf(world.font.calls[0]), std::make_tuple(std::string("0"), x, 430, 1));
    EXPECT_EQ(placeOf(world.font.calls[1]), std::make_tuple(std::string("0"), x, 430, 0));
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
    const std::int32_t centred = 20 + (150 - world.font.textWidth("1234567")) / 2;
    EXPECT_EQ(placeOf(world.font.calls[0]), std::make_tuple(std::string("1234567"), centred, 430, 0));
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
