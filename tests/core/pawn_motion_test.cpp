// The pawn's own movements: sliding into and out of view, the wait hold, and the messages it must
// take and delete without acting on them.
#include <cstdint>
#include <vector>

#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

class PawnMotion : public testing::Test {
protected:
    void SetUp() override {
        pawn = world.create("pawn", 2);
        ASSERT_TRUE(pawn);
        pawn.visible->setPosition(100, 280);
        world.host.setTime(5000);
    }

    // The row at which the figure is drawn in column 100, or -1 when it is off the screen.
    int figureRow() {
        world.drawFresh(pawn);
        for (int y = 0; y < PawnWorld::kScreenHeight; ++y)
            if (world.colourSetAt(100, y - kFigureSize / 2) == kPawnColours) return y;
        return -1;
    }

    bool buzzing() const { return PawnWorld::videoState(pawn).name.rfind("buzz", 0) == 0 && PawnWorld::videoState(pawn).index == 1; }

    PawnWorld world;
    PawnHandle pawn;
};

}  // namespace

TEST_F(PawnMotion, GoingDownSlidesToRow480AndComingUpReplacesItRisingFrom480) {
    world.send(pawn, kGoingDown, 1000);
    EXPECT_EQ(figureRow(), 280) << "the slide moves with the updates";
    for (auto [step, row] : {std::pair{500u, 380}, {250u, 430}, {300u, -1}}) {
        world.tick(pawn, step);
        EXPECT_EQ(figureRow(), row);
    }
    pawn.visible->setPosition(100, 280);
    world.send(pawn, kGoingDown, 1000);
    world.tick(pawn, 500);
    world.send(pawn, kComingUp, 400);
    EXPECT_EQ(world.host.countLog("Pawn::comingUp,pawn=2,starty=480,endy=280,time=400\n"), 1);
    for (auto [step, row] : {std::pair{0u, -1}, {100u, 430}, {300u, 280}, {100u, 280}}) {
        world.tick(pawn, step);
        EXPECT_EQ(figureRow(), row);
    }
    // Finished: the game may place the pawn again.
    pawn.visible->setPosition(100, 300);
    world.tick(pawn, 10);
    EXPECT_EQ(figureRow(), 300);
}

// A slide or a wait hold of no time (or a negative one) is over at the next update: it must not keep
// pulling the pawn back, or holding its figure, while the clock stands still.
TEST_F(PawnMotion, ASlideOrWaitHoldOfNoTimeCompletesAtTheNextUpdate) {
    for (std::int32_t duration : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(duration);
        world.send(pawn, kGoingDown, duration);
        pawn.player->update();
        EXPECT_EQ(figureRow(), -1);
        pawn.visible->setPosition(100, 280);
        pawn.player->update();
        EXPECT_EQ(figureRow(), 280);

        world.send(pawn, kComingUp, duration);
        pawn.player->update();
        pawn.visible->setPosition(100, 330);
        pawn.player->update();
        EXPECT_EQ(figureRow(), 330);
        pawn.visible->setPosition(100, 280);

        world.send(pawn, kWaitHold, duration);
        EXPECT_EQ(PawnWorld::videoState(pawn), (SequenceFrame{"wait01", 0}));
        world.send(pawn, kBuzz, 1);
        EXPECT_TRUE(buzzing());
    }
}

TEST_F(PawnMotion, AWaitHoldShowsWait01AndHoldsEverythingButTheSlide) {
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
    EXPECT_TRUE(buzzing());
    EXPECT_EQ(world.buzzesPlayed().size(), 2u);
}

TEST_F(PawnMotion, MessagesOfOtherFamiliesAndKindsAreDeletedAndChangeNothing) {
    for (std::uint32_t code : {0x00050001u, 0x000B0000u, 0x000B0002u, 0x000B000Cu, 0x000C0003u, 0u, 0xFFFFFFFFu}) {
        const int before = world.deletions;
        EXPECT_EQ(world.send(pawn, code, 1000), 1);
        EXPECT_EQ(world.deletions, before + 1) << std::hex << code;
    }
    EXPECT_EQ(PawnWorld::videoState(pawn), (SequenceFrame{"wait01", 0}));
    EXPECT_TRUE(world.buzzesPlayed().empty());
    world.host.clearLog();
    world.tick(pawn, 1000);
    EXPECT_EQ(figureRow(), 280) << "no slide was started";
    EXPECT_TRUE(world.host.logLines().empty());
}
