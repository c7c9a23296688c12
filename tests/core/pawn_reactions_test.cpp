// The pawn's reactions as a player sees them: which sequence and frame its figure shows (read back
// from the pixels it draws), which sounds play, and how holds, the penguin and freezing change that.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

bool isBuzz(const SequenceFrame& shown) { return shown.name.rfind("buzz", 0) == 0; }

class PawnReactions : public testing::Test {
protected:
    void SetUp() override {
        pawn = world.create("pawn", 1);
        ASSERT_TRUE(pawn);
        pawn.visible->setPosition(100, 280);
    }

    // The figure as the video reports it; the drawn pixels must say the same.
    SequenceFrame shown() {
        world.drawFresh(pawn);
        SequenceFrame state = PawnWorld::videoState(pawn);
        EXPECT_EQ(world.figureAt(100, 280), state);
        return state;
    }

    PawnWorld world;
    PawnHandle pawn;
};

}  // namespace

TEST_F(PawnReactions, BuzzThenHappyThenScoreAsTheGamePlaysThem) {
    ASSERT_EQ(shown(), (SequenceFrame{"wait01", 0}));

    world.send(pawn, kBuzz);
    const SequenceFrame buzz = shown();
    ASSERT_TRUE(isBuzz(buzz) && buzz.index == 1) << buzz;
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));

    world.send(pawn, kHappy, 0);
    EXPECT_EQ(shown(), buzz);  // waits for the buzz to come round
    pawn.player->addScore(100);
    ASSERT_EQ(world.scoreSoundsPlayed().size(), 1u);
    EXPECT_DOUBLE_EQ(world.scoreSoundsPlayed()[0].volume, 0.9);

    std::vector<int> buzzFrames{1};
    int wrapAt = -1, servedAt = -1, releasedAt = -1;
    for (int t = 10; t <= 2000; t += 10) {
        world.tick(pawn, 10);
        const SequenceFrame now = shown();
        if (now.name == buzz.name && servedAt < 0) {
            if (now.index != buzzFrames.back()) buzzFrames.push_back(now.index);
            if (now.index == 0 && wrapAt < 0) wrapAt = t;
        } else if (now.name == "hppy01") {
            if (servedAt < 0) servedAt = t;
            if (now.index != 0 && releasedAt < 0) releasedAt = t;
        }
    }
    EXPECT_EQ(buzzFrames, (std::vector<int>{1, 2, 3, 4, 5, 0}));
    ASSERT_GT(wrapAt, 0);
    EXPECT_EQ(servedAt, wrapAt + 10);       // at the first update after the wrap
    EXPECT_EQ(releasedAt, servedAt + 800);  // frame 0 held for 800 ms, then it plays
}

TEST_F(PawnReactions, EachReactionServedAtRestShowsItsSequenceAndFirstFrame) {
    struct Case {
        std::uint32_t code;
        std::int32_t parameter;
        SequenceFrame expected;
    };
    const Case cases[] = {
        {kHappy, 0, {"hppy01", 0}},   {kHappy, 2, {"hppy03", 0}},   {kUnhappy, 0, {"uhppy01", 0}},
        {kUnhappy, 2, {"uhppy03", 0}}, {kHappy, 3, {"uhppy01", 0}},  // the request is the parameter + 2
        {kLookLeft, 0, {"l_left", 1}}, {kLookRight, 0, {"l_rght", 1}},
        {kHappy, 20, {"wait01", 0}},   // beyond the last reaction: dropped
    };
    for (const Case& c : cases) {
        PawnHandle fresh = world.create("pawn", 2);
        ASSERT_TRUE(fresh);
        world.send(fresh, c.code, c.parameter);
        EXPECT_EQ(PawnWorld::videoState(fresh), (SequenceFrame{"wait01", 0})) << "served only by the update";
        fresh.player->update();
        EXPECT_EQ(PawnWorld::videoState(fresh), c.expected) << std::hex << c.code << std::dec << " " << c.parameter;
        world.destroy(fresh);
    }
}

TEST_F(PawnReactions, ABuzzDuringAReactionHoldCutsIt) {
    world.send(pawn, kHappy, 1);
    pawn.player->update();
    ASSERT_EQ(shown(), (SequenceFrame{"hppy02", 0}));
    world.tick(pawn, 100);
    ASSERT_EQ(shown(), (SequenceFrame{"hppy02", 0}));

    world.send(pawn, kBuzz);
    const SequenceFrame now = shown();
    EXPECT_TRUE(isBuzz(now) && now.index == 1) << now;
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
}

TEST_F(PawnReactions, ALookDuringAReactionHoldEndsItAndIsServedOnceTheReactionCameRound) {
    world.send(pawn, kUnhappy, 1);
    pawn.player->update();
    world.tick(pawn, 100);
    ASSERT_EQ(shown(), (SequenceFrame{"uhppy02", 0}));

    world.send(pawn, kLookLeft);
    EXPECT_EQ(shown(), (SequenceFrame{"uhppy02", 0}));  // the message alone changes nothing
    world.tick(pawn, 10);
    SequenceFrame now = shown();
    EXPECT_TRUE(now.name == "uhppy02" && now.index != 0) << "the hold is over well before its 800 ms: " << now;

    std::vector<int> reactionFrames{now.index};
    for (int t = 0; t < 2000 && now.name == "uhppy02"; t += 10) {
        world.tick(pawn, 10);
        now = shown();
        if (now.name == "uhppy02" && now.index != reactionFrames.back()) reactionFrames.push_back(now.index);
    }
    EXPECT_EQ(reactionFrames.back(), 0) << "the reaction plays out to its first frame";
    EXPECT_EQ(reactionFrames.size(), 4u);  // frame 1 went by within one update, then 2, 3, 4 and 0
    EXPECT_EQ(now, (SequenceFrame{"l_left", 1}));
}

TEST_F(PawnReactions, ABuzzThatStillSoundsIsStoppedAndNotStartedAgain) {
    world.send(pawn, kBuzz);
    world.tick(pawn, 20);
    world.send(pawn, kBuzz);  // buzz1 lasts 100 ms: still sounding
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
    world.tick(pawn, 10);     // the stop's notice arrives
    EXPECT_TRUE(world.sounds.playbackLog().back().stopped);
    world.send(pawn, kBuzz, 1);  // silent buzz: the figure buzzes, nothing sounds
    EXPECT_TRUE(isBuzz(PawnWorld::videoState(pawn)));
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
    world.send(pawn, kBuzz);
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1, 1}));
}

TEST_F(PawnReactions, ThePenguinDropsHappyAndLookRequestsButBuzzesAndFreezesOnItsOwnSequences) {
    pawn.player->setBonus(16);
    ASSERT_NE(world.producer->penguin(), nullptr);
    EXPECT_EQ(pawn.player->getVideo(), world.producer->penguin());
    EXPECT_EQ(shown(), (SequenceFrame{"wait01", 0}));
    EXPECT_EQ(world.colourSetAt(100, 280), kPenguinColours);

    for (std::uint32_t code : {kHappy, kUnhappy, kLookLeft, kLookRight}) {
        world.send(pawn, code, 0);
        pawn.player->update();
        EXPECT_EQ(shown(), (SequenceFrame{"wait01", 0})) << std::hex << code;
    }
    pawn.player->setActivity(0);
    EXPECT_EQ(shown(), (SequenceFrame{"freeze", 0}));
    pawn.player->setActivity(1);
    world.send(pawn, kBuzz);
    const SequenceFrame now = shown();
    EXPECT_TRUE(isBuzz(now) && now.index == 1) << now;
    EXPECT_EQ(world.colourSetAt(100, 280), kPenguinColours);
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
    // A wait hold shows the first frame of "wait01" on the penguin too, whatever played before it.
    world.tick(pawn, 100);
    world.send(pawn, kWaitHold, 500);
    world.tick(pawn, 100);
    EXPECT_EQ(shown(), (SequenceFrame{"wait01", 0}));

    pawn.player->setBonus(0);
    EXPECT_EQ(pawn.player->getVideo(), pawn.ownVideo);
    EXPECT_EQ(shown(), (SequenceFrame{"wait01", 0}));
    EXPECT_EQ(world.colourSetAt(100, 280), kPawnColours);
}

TEST_F(PawnReactions, AFrozenPawnIgnoresReactionsAndStartsNoIdleAnimationUntilUnfrozen) {
    world.send(pawn, kFreeze, 0);
    EXPECT_EQ(pawn.player->isFrozen(), 1);
    EXPECT_EQ(pawn.player->getActivity(), 0);
    EXPECT_EQ(shown(), (SequenceFrame{"freeze", 0}));

    for (std::uint32_t code : {kBuzz, kHappy, kUnhappy, kLookLeft, kLookRight}) world.send(pawn, code, 0);
    for (int i = 0; i < 1000; ++i) world.tick(pawn, 10);  // at 1 in 35 per update an idle start was due many times over
    EXPECT_EQ(shown(), (SequenceFrame{"freeze", 0}));
    EXPECT_TRUE(world.buzzesPlayed().empty());

    world.send(pawn, kUnfreeze);
    EXPECT_EQ(pawn.player->isFrozen(), 0);
    EXPECT_EQ(pawn.player->getActivity(), 1);
    const SequenceFrame now = shown();
    EXPECT_TRUE(now.name.rfind("wait", 0) == 0 && now.index == 1) << now;
    EXPECT_EQ(world.deletions, 7);
}

TEST_F(PawnReactions, AFreezeArrivingMidSequenceShowsOnceTheSequenceCameRound) {
    world.send(pawn, kBuzz);
    const SequenceFrame buzz = shown();
    world.send(pawn, kFreeze, -1);
    EXPECT_EQ(shown(), buzz);
    SequenceFrame now = buzz;
    for (int t = 0; t < 1000 && now.name != "freeze"; t += 10) {
        world.tick(pawn, 10);
        now = shown();
    }
    EXPECT_EQ(now, (SequenceFrame{"freeze", 0}));
}

TEST_F(PawnReactions, FreezingGoesByLevelsAndBonus7InUseKeepsThePawnActive) {
    pawn.player->setActivity(-2);
    EXPECT_EQ(pawn.player->isFrozen(), 1);
    for (std::int32_t level : {-1, 0, 1, 1}) EXPECT_EQ(pawn.player->thaw(), level);
    EXPECT_EQ(pawn.player->isFrozen(), 0);
    pawn.player->setActivity(INT32_MIN);
    EXPECT_EQ(pawn.player->thaw(), INT32_MIN + 1);

    pawn.player->setActivity(1);
    pawn.player->setBonus(7);
    pawn.player->setActivity(0);
    EXPECT_EQ(pawn.player->getActivity(), 0) << "held but not in use: no protection";
    pawn.player->setActivity(1);
    pawn.player->setBonus(-1);
    pawn.player->setActivity(0);
    EXPECT_EQ(pawn.player->getActivity(), 1);
    world.send(pawn, kFreeze, -5);
    EXPECT_EQ(pawn.player->getActivity(), 1);
    EXPECT_EQ(shown(), (SequenceFrame{"wait01", 0})) << "no freeze picture either";
}

// Every sequence of this pawn is "0@5": no frames at all. Nothing steps, nothing divides by zero.
TEST(PawnWithoutFrames, ASequenceOfNoFramesRestsAtFrameZero) {
    WorldOptions options;
    for (SequenceRun& run : options.sequences) run = SequenceRun{run.name, 0, 5};
    PawnWorld world(options);
    PawnHandle pawn = world.create();
    ASSERT_TRUE(pawn);
    world.send(pawn, kBuzz);
    EXPECT_TRUE(isBuzz(PawnWorld::videoState(pawn)) && PawnWorld::videoState(pawn).index == 0);
    const std::uint32_t codes[] = {kHappy, kLookLeft, kFreeze, kUnfreeze, kBuzz, kWaitHold};
    for (int i = 0; i < 600; ++i) {
        if (i % 50 == 0) world.send(pawn, codes[(i / 50) % 6], 0);
        world.tick(pawn, 20);
        EXPECT_EQ(PawnWorld::videoState(pawn).index, 0);
    }
    world.drawFresh(pawn);
}
