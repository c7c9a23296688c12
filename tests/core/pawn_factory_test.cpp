// Pawns as the game creates and destroys them: buzz sounds handed out in turn, what is logged, pawns
// whose archive, score font phase or producer is missing, and a teardown while the buzz still sounds.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

std::string loadingLine(int player) { return "KTPlayerFactory::Loading pawn " + std::to_string(player) + "...\n"; }

}  // namespace

TEST(PawnFactory, FivePawnsTakeTheFourBuzzSoundsInTurnAndTheCycleOutlivesADestroyedPawn) {
    PawnWorld world;
    const int players[] = {7, 3, 12, 0, -5};
    std::vector<PawnHandle> pawns;
    for (int player : players) {
        world.host.clearLog();
        pawns.push_back(world.create("pawn", player));
        ASSERT_TRUE(pawns.back().player && pawns.back().visible);
        EXPECT_EQ(world.host.countLog(loadingLine(player)), 1);
        EXPECT_EQ(world.host.logLines().front().level, 1);
        EXPECT_EQ(pawns.back().handle->lookup("ikTPLAYER"), pawns.back().handle->lookup("IKTPlayer"));
        EXPECT_EQ(pawns.back().handle->lookup("ivisible"), pawns.back().handle->lookup("IVisible"));
    }
    for (const PawnHandle& pawn : pawns) world.send(pawn, kBuzz);
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1, 2, 3, 4, 1}));

    // The fourth pawn's buzz4 goes with it; the next pawn gets the next in turn, buzz2.
    world.destroy(pawns[3]);
    world.sounds.clearPlaybackLog();
    PawnHandle next = world.create("pawn", 9);
    ASSERT_TRUE(next);
    world.send(next, kBuzz);
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{2}));
}

TEST(PawnFactory, AMissingArchiveIsLoggedOncePerPawnWhichStillScoresAndSlides) {
    PawnWorld world;
    std::vector<PawnHandle> pawns;
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "ghost" + std::to_string(i);
        pawns.push_back(world.create(name.c_str(), i));
        ASSERT_TRUE(pawns.back());
    }
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(world.host.countLog("Pawn::Pawn archive 'ghost" + std::to_string(i) + "' not found!\n"), 1) << i;

    PawnHandle& pawn = pawns[1];
    EXPECT_EQ(pawn.player->getVideo(), nullptr);
    pawn.visible->setPosition(100, 280);
    pawn.player->showScore(1);
    pawn.player->addScore(30);
    EXPECT_EQ(pawn.player->getScore(), 30);
    world.host.advance(5000);
    world.drawFresh(pawn);
    world.drawFresh(pawn);  // the roll finished in the draw before
    ASSERT_EQ(world.font.calls.size(), 1u);
    EXPECT_EQ(world.font.calls[0].text, "30");

    // Its update only slides: a buzz finds no figure to play and makes no sound.
    world.sounds.clearPlaybackLog();
    world.send(pawn, kBuzz);
    world.tick(pawn, 100);
    EXPECT_TRUE(world.buzzesPlayed().empty());
    world.host.clearLog();
    world.send(pawn, kGoingDown, 1000);
    EXPECT_EQ(world.host.countLog("Pawn::goingDown,pawn=2,starty=280,endy=480,time=1000\n"), 1);
    EXPECT_EQ(world.deletions, 2);
}

TEST(PawnFactory, TheScoreFontPhaseIsTheDecimalNumberAtTheStartOfItsFirst15Characters) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {nullptr, 0}, {"3\n", 3}, {"17 abc", 17}, {"  -8", -8}, {"abc", 0},
        {"00000000000001234567", 12},  // 20 digits: only the first 15 count
        // Beyond the 32-bit range the largest phase stands, on every target alike.
        {"99999999999999999999", INT32_MAX}, {"-9999999999999", INT32_MIN},
    };
    for (const auto& [text, phase] : cases) {
        WorldOptions options;
        options.scoreFontPhase = text;
        PawnWorld world(options);
        PawnHandle pawn = world.create();
        ASSERT_TRUE(pawn);
        pawn.player->showScore(1);
        world.drawFresh(pawn);
        ASSERT_EQ(world.font.calls.size(), 1u);
        EXPECT_EQ(world.font.calls[0].phase, phase) << (text ? text : "(no file)");
    }
}

// A pawn destroyed while its buzz still sounds: the sound outlives it and its end notice, delivered by
// the host after the teardown, must stop at the sound instead of reaching the freed pawn.
TEST(PawnFactory, TheBuzzNoticeAfterTheTeardownNeverReachesTheFreedPawn) {
    PawnWorld world;
    PawnHandle pawn = world.create();
    ASSERT_TRUE(pawn);
    const std::size_t soundsBefore = world.sounds.liveSounds();
    world.send(pawn, kBuzz);
    ASSERT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
    ASSERT_FALSE(world.sounds.playbackLog().back().ended);

    world.destroy(pawn);
    // The holder's release asked the host to stop; the sound waits for its notice.
    EXPECT_EQ(world.sounds.liveSounds(), soundsBefore);
    const int noticesBefore = world.sounds.noticesDelivered();
    world.host.drainEvents();
    EXPECT_EQ(world.sounds.noticesDelivered(), noticesBefore + 1);
    EXPECT_TRUE(world.sounds.playbackLog().back().stopped);
    EXPECT_EQ(world.sounds.liveSounds(), soundsBefore - 1);
}

TEST(PawnFactory, APawnWithoutAProducerPlaysOnWithoutSharedMedia) {
    WorldOptions options;
    options.producer = false;
    PawnWorld world(options);
    PawnHandle pawn = world.create();
    ASSERT_TRUE(pawn);
    EXPECT_EQ(world.host.countLogContaining("IKTProducer"), 1);

    pawn.visible->setPosition(100, 280);
    pawn.player->showScore(1);
    pawn.player->addScore(10);
    pawn.player->addBonusScore(10);
    EXPECT_EQ(pawn.player->getScore(), 20);
    EXPECT_TRUE(world.scoreSoundsPlayed().empty());
    pawn.player->setBonus(16);
    EXPECT_EQ(pawn.player->getBonusState(), 0);
    EXPECT_EQ(pawn.player->getVideo(), pawn.ownVideo);

    // The figure is drawn; the score has no font to be drawn with.
    world.host.advance(3000);
    world.drawFresh(pawn);
    EXPECT_TRUE(world.font.calls.empty());
    EXPECT_EQ(world.figureAt(100, 280), (SequenceFrame{"wait01", 0}));
    world.send(pawn, kBuzz);
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1}));
}

TEST(PawnFactory, AProducerWithoutAFontLeavesTheScoreUndrawn) {
    WorldOptions options;
    options.producerFont = false;
    PawnWorld world(options);
    PawnHandle pawn = world.create();
    ASSERT_TRUE(pawn);
    pawn.player->showScore(1);
    pawn.player->addScore(10);
    world.drawFresh(pawn);
    EXPECT_TRUE(world.font.calls.empty());
    EXPECT_EQ(world.scoreSoundsPlayed().size(), 1u);
}
