// The whole module over a long evening: eight pawns of the test twin of pawn.kvx, each updated on
// every frame, with random messages of every kind, score changes, bonuses and the penguin, draws, host
// event passes that end the sounds, pawns given back and made again from the archives (now and then
// over streams that only read asynchronously), on a clock that runs across 2^32 again and again. The
// module's own heap, read through the twin's accounting, must stay flat: no higher in the last
// quarter of the evening than in the first, and empty once everything is given back.
//
// The suite runs 24,000 updates; PAWN_SOAK_NIGHTLY=1 runs a million (for the sanitizer build at night).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/world.h"

using namespace pawntest;

namespace {

constexpr int kPawns = 8;

long updatesWanted() {
    const char* nightly = std::getenv("PAWN_SOAK_NIGHTLY");
    return nightly && *nightly && *nightly != '0' ? 1000000L : 24000L;
}

TEST(ModuleSoak, EightPawnsThroughTheEveningKeepTheHeapFlat) {
    WorldOptions options;
    options.scoreFontPhase = "2\n";
    WorldFiles files(options);
    Stage stage(files.dir, options);
    Game game(stage.host, PAWN_TESTHOOKS_PLUGIN_PATH);
    TestHooks hooks;
    ASSERT_TRUE(hooks.find());
    ResourceDir* root = hooks.rootOver(stage.root);
    ASSERT_NE(root, nullptr);

    std::mt19937 random(20261206);
    auto below = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto make = [&](int index) {
        PawnHandle made = game.create(root, "pawn", index);
        if (made) made.visible->setPosition(index * 80, 280), made.player->showScore(1);
        return made;
    };
    std::vector<PawnHandle> pawns;
    for (int i = 0; i < kPawns; ++i) pawns.push_back(make(i));
    for (const PawnHandle& pawn : pawns) ASSERT_NE(pawn.player, nullptr);

    const long wanted = updatesWanted();
    const long quarter = wanted / 4;
    std::int64_t firstQuarterPeak = 0;
    std::int64_t lastQuarterPeak = 0;
    long updates = 0;
    stage.host.setTime(0xFFFFFFFFu - 5000u);
    while (updates < wanted) {
        // Frames of 20 to 60 ms; the clock wraps every 2^32 ms of play, so it is also set near the
        // wrap now and then rather than only once.
        stage.host.advance(static_cast<std::uint32_t>(20 + below(41)));
        if (below(5000) == 0) stage.host.setTime(0xFFFFFFFFu - static_cast<std::uint32_t>(below(3000)));
        stage.host.pumpEvents();

        PawnHandle& pawn = pawns[static_cast<std::size_t>(below(kPawns))];
        IKTPlayer& player = *pawn.player;
        switch (below(40)) {
            case 0: case 1: case 2: case 3: case 4: case 5: {
                // Mostly pawn messages, with parameters a game uses; now and then another family.
                const std::uint32_t code = below(12) == 0 ? 0x00050001u : 0x000B0000u | static_cast<std::uint32_t>(1 + below(11));
                game.send(pawn, code, code == kFreeze ? -below(3) : code >= kGoingDown ? 200 + below(800) : below(3));
                break;
            }
            case 6: player.addScore(below(300)); break;
            case 7: player.addBonusScore(below(100)); break;
            case 8: player.loseScore(below(100), below(50)); break;
            case 9: player.subtractScore(below(50)); break;
            case 10: player.setBonus(std::array<int, 6>{1 + below(10), -1, -2, 0, 16, 7}[static_cast<std::size_t>(below(6))]); break;
            case 11: player.countAnswer(below(3) - 1); break;
            case 12: player.thaw(); break;
            case 13:
                if (below(20) == 0) {
                    // Given back and made again, sometimes over streams that only read asynchronously.
                    const std::int32_t index = player.getPlayerIndex();
                    stage.archives.setStreamMode(below(3) == 0 ? hostengine::StreamMode::Asynchronous : hostengine::StreamMode::Direct);
                    game.destroy(pawn);
                    ASSERT_TRUE(pawn = make(index));
                }
                break;
            default: break;
        }
        for (PawnHandle& each : pawns) each.player->update(), ++updates;
        if (updates % (kPawns * 4) == 0) {
            stage.surface.fill(0);
            for (PawnHandle& each : pawns) each.visible->draw(&stage.canvas);
        }
        const std::int64_t live = hooks.now().live;
        if (updates < quarter) firstQuarterPeak = std::max(firstQuarterPeak, live);
        if (updates >= wanted - quarter) lastQuarterPeak = std::max(lastQuarterPeak, live);
        ASSERT_EQ(stage.surface.locks().outstanding(), 0);
    }
    game.close(stage.host, stage.producer);
    hooks.freeRoot(root);

    std::printf("[ soak     ] %ld updates; module heap peak %lld blocks in the first quarter, %lld in the last\n", updates,
                static_cast<long long>(firstQuarterPeak), static_cast<long long>(lastQuarterPeak));
    // A block per pawn of slack: which curves happen to run together at the peak is chance; a leak
    // of anything per update or per pawn made would pass it by thousands.
    EXPECT_LE(lastQuarterPeak, firstQuarterPeak + kPawns) << "the module's heap grew over the evening";
    EXPECT_EQ(hooks.now().live, 0) << "memory left in the module after everything was given back";
    EXPECT_EQ(game.sent, game.deletions);
}

}  // namespace
