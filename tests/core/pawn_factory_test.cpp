// Pawns as the game creates and destroys them: buzz sounds handed out in turn, pawns whose archive,
// score font phase is missing, and a teardown while the buzz still sounds.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/world.h"

using namespace pawntest;

// A pawn destroyed while its buzz still sounds: the sound outlives it and its end notice, delivered by
// the host after the teardown, must stop at the sound instead of reaching the freed pawn.
TEST(PawnFactory, FivePawnsTakeTheFourBuzzSoundsInTurnAndABuzzNoticeAfterTheTeardownNeverReachesTheFreedPawn) {
    PawnWorld world;
    std::vector<PawnHandle> pawns;
    for (int player : {7, 3, 12, 0, -5}) pawns.push_back(world.create("pawn", player));
    for (const PawnHandle& pawn : pawns) world.send(pawn, kBuzz);
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{1, 2, 3, 4, 1}));

    // The fourth pawn goes while its buzz4 sounds; the holder's release asked the host to stop, and the
    // sound waits for its notice.
    const std::size_t soundsBefore = world.sounds.liveSounds();
    world.destroy(pawns[3]);
    EXPECT_EQ(world.sounds.liveSounds(), soundsBefore);
    world.host.drainEvents();
    EXPECT_TRUE(world.sounds.playbackLog()[3].stopped);
    EXPECT_EQ(world.sounds.liveSounds(), soundsBefore - 1);
    // The cycle outlives it: the next pawn gets the next in turn, buzz2.
    world.sounds.clearPlaybackLog();
    world.send(world.create("pawn", 9), kBuzz);
    EXPECT_EQ(world.buzzesPlayed(), (std::vector<int>{2}));
}

TEST(PawnFactory, AMissingArchiveIsLoggedOncePerPawnWhichStillSlides) {
    PawnWorld world;
    world.create("ghost1", 1);
    PawnHandle pawn = world.create("ghost2", 2);
    ASSERT_TRUE(pawn);
    for (const char* name : {"ghost1", "ghost2"}) EXPECT_EQ(world.host.countLog("Pawn::Pawn archive '" + std::string(name) + "' not found!\n"), 1);
    EXPECT_EQ(pawn.player->getVideo(), nullptr);
    pawn.visible->setPosition(100, 280);
    // Its update only slides: a buzz finds no figure to play and makes no sound. (That it still scores
    // is the host-fault tests' to see.)
    world.sounds.clearPlaybackLog();
    world.send(pawn, kBuzz);
    world.tick(pawn, 100);
    EXPECT_TRUE(world.buzzesPlayed().empty());
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
