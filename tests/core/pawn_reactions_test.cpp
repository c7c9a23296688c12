// The pawn's reactions and movements as a player sees them: which sequence and frame its figure shows
// (read back from the pixels it draws), which sounds play, how holds, the penguin and freezing change
// that, and its slides into and out of view. Messages of other families are left to the soak tests,
// which check that every message is deleted.
#include <cstdint>
#include <vector>

#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

class PawnPlay : public testing::Test {
protected:
    void SetUp() override {
        pawn = world.create("pawn", 1);
        ASSERT_TRUE(pawn);
        pawn.visible->setPosition(100, 280);
        world.host.setTime(5000);
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
