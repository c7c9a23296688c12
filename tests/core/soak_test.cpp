// A long evening (tests/support/world.h) of eight pawns of the test twin of pawn.kvx, on a clock that
// runs across 2^32 again and again. After every update the pawns keep their invariants; the module's
// own heap, read through the twin's accounting, must stay flat: no higher in the last quarter of the
// evening than in the first, and empty once everything is given back.
//
// The suite runs 100,000 updates (25,000 under the 32-bit emulator); PAWN_SOAK_NIGHTLY=1 runs a million.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "tests/support/world.h"

using namespace pawntest;

namespace {

constexpr int kPawns = 8;

long updatesWanted() {
    const char* nightly = std::getenv("PAWN_SOAK_NIGHTLY");
    return nightly && *nightly && *nightly != '0' ? 1000000L : sizeof(void*) == 4 ? 25000L : 100000L;
}

TEST(ModuleSoak, EightPawnsThroughTheEveningKeepTheirInvariantsAndTheHeapFlat) {
    WorldOptions options;
    options.scoreFontPhase = "2\n";  // every score drawn in two passes
    WorldFiles files(options);
    Stage stage(files.dir, options);
    Game game(stage.host, PAWN_TESTHOOKS_PLUGIN_PATH);
    TestHooks hooks;
    ASSERT_TRUE(hooks.find());
    ResourceDir* root = hooks.rootOver(stage.root);
    ASSERT_NE(root, nullptr);
    // A short evening first makes everything the producer can hand out and opens every archive the
    // pawns reach (their nodes stay open with the root).
    for (int n = 1; n <= 10; ++n) stage.producer->bonusPicture(n);
    Evening warmUp(stage, game.factory, root, kPawns, 7u);
    for (int i = 0; i < kPawns; ++i) warmUp.make(i);
    while (warmUp.updates < kPawns * 100) warmUp.frame(true);
    warmUp.giveBack();
    stage.host.drainEvents();
    const std::int64_t hostLive = allocationStats().live;

    Evening evening(stage, game.factory, root, kPawns, 20240601u);
    for (int i = 0; i < kPawns; ++i) evening.make(i);
    const long wanted = updatesWanted();
    const long quarter = wanted / 4;
    std::int64_t firstQuarterPeak = 0;
    std::int64_t lastQuarterPeak = 0;
    stage.host.setTime(0xFFFFFFFFu - 5000u);  // wraps in the first simulated minute
    while (evening.updates < wanted && !HasFailure()) {
        evening.frame(true);
        const std::int64_t live = hooks.now().live;
        if (evening.updates < quarter) firstQuarterPeak = std::max(firstQuarterPeak, live);
        if (evening.updates >= wanted - quarter) lastQuarterPeak = std::max(lastQuarterPeak, live);
    }
    EXPECT_GT(evening.scoresChecked, 100);
    evening.giveBack();
    stage.host.drainEvents();
    // The plug-in allocates from its own copy of the allocator: on this side, nothing may be left of
    // the pawns made and given back since the warm-up.
    EXPECT_EQ(allocationStats().live, hostLive);
    game.close(stage.host, stage.producer);
    hooks.freeRoot(root);

    std::printf("[ soak     ] %ld updates; module heap peak %lld blocks in the first quarter, %lld in the last\n", evening.updates,
                static_cast<long long>(firstQuarterPeak), static_cast<long long>(lastQuarterPeak));
    // A block per pawn of slack: which curves happen to run together at the peak is chance; a leak
    // of anything per update or per pawn made would pass it by thousands.
    EXPECT_LE(lastQuarterPeak, firstQuarterPeak + kPawns) << "the module's heap grew over the evening";
    EXPECT_EQ(hooks.now().live, 0) << "memory left in the module after everything was given back";
    EXPECT_EQ(evening.sent, evening.deleted);
}

}  // namespace
