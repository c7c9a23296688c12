// A long evening: eight pawns of the test twin of pawn.kvx, each updated on every frame, with random
// messages of every kind (extreme parameters and foreign families too), score changes, bonuses and the
// penguin, freezing, hiding, moves and draws, host event passes that end the sounds, pawns given back
// and made again from the archives (now and then over streams that only read asynchronously), on a
// clock that runs across 2^32 again and again. After every update the pawns keep their invariants; the
// module's own heap, read through the twin's accounting, must stay flat: no higher in the last quarter
// of the evening than in the first, and empty once everything is given back.
//
// The suite runs 100,000 updates (25,000 under the 32-bit emulator); PAWN_SOAK_NIGHTLY=1 runs a million.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/world.h"

using namespace pawntest;

namespace {

constexpr int kPawns = 8;

long updatesWanted() {
    const char* nightly = std::getenv("PAWN_SOAK_NIGHTLY");
    return nightly && *nightly && *nightly != '0' ? 1000000L : sizeof(void*) == 4 ? 25000L : 100000L;
}

class Evening {
public:
    Evening(Stage& stage, Game& game, ResourceDir* root) : stage_(stage), game_(game), root_(root) {}

    struct Slot {
        PawnHandle pawn;
        bool hidden = false, scoreShown = false;
    };

    void make(int i) {
        Slot& slot = pawns[static_cast<std::size_t>(i)] = Slot{};
        slot.pawn = game_.create(root_, i == 5 ? "nobody" : "pawn", i + 1);
        ASSERT_TRUE(slot.pawn.player && slot.pawn.visible);
        slot.pawn.visible->setPosition(i * 78, 280);
    }

    // One frame: the clock, the host's pass, one act of the game, every pawn updated and checked.
    void frame() {
        // Now and then the game pauses for ten minutes (rolls end), no time passes at all, or the clock
        // is set near its wrap again.
        const std::int32_t pause = pick(200);
        stage_.host.advance(pause == 0 ? 600000u : pause == 1 ? 0u : static_cast<std::uint32_t>(5 + pick(30)));
        if (pick(5000) == 0) stage_.host.setTime(0xFFFFFFFFu - static_cast<std::uint32_t>(pick(3000)));
        stage_.host.pumpEvents();
        act(pawns[static_cast<std::size_t>(pick(kPawns))]);
        for (Slot& slot : pawns) {
            slot.pawn.player->update();
            ++updates;
            const bool penguin = (slot.pawn.player->getBonusState() & 0xFF) == 16;
            EXPECT_EQ(slot.pawn.player->getVideo(), penguin ? stage_.producer->penguin() : slot.pawn.ownVideo);
            EXPECT_EQ(slot.pawn.player->isHidden(), slot.pawn.visible->isHidden());
        }
        if (++frames_ % 8 == 0) drawAll();
        ASSERT_EQ(stage_.surface.locks().outstanding(), 0);
    }

    std::vector<Slot> pawns = std::vector<Slot>(kPawns);
    long updates = 0;
    long scoresChecked = 0;

private:
    std::int32_t pick(std::int32_t n) { return std::uniform_int_distribution<std::int32_t>(0, n - 1)(random_); }

    std::int32_t anyParameter() {
        static const std::int32_t kExtremes[] = {INT32_MIN, INT32_MIN + 1, -1000, -1, 0, 1, 2, 3, 1000, INT32_MAX - 1, INT32_MAX};
        const std::int32_t kind = pick(4);
        return kind == 0 ? kExtremes[pick(11)] : kind == 1 ? pick(2001) : kind == 2 ? pick(30) - 5 : static_cast<std::int32_t>(random_());
    }
    std::int32_t points() { return pick(20) == 0 ? anyParameter() : pick(1100) - 100; }

    void act(Slot& slot) {
        IKTPlayer* player = slot.pawn.player;
        static const std::int32_t kBonuses[] = {-3, -2, -1, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, 16, 17, INT32_MIN};
        static const std::int32_t kPhases[] = {0, 1, 2, 3, 7};  // never 4, the rolling phase
        const std::int32_t what = pick(20);
        if (what < 6) {
            // Mostly pawn messages; now and then a sound's end notice or any code at all.
            const std::int32_t family = pick(30);
            std::uint32_t code = 0x000B0000u + static_cast<std::uint32_t>(pick(13));
            if (family < 2) code = family == 0 ? static_cast<std::uint32_t>(random_()) : 0x00050001u;
            const int before = game_.deletions;
            EXPECT_EQ(game_.send(slot.pawn, code, anyParameter()), 1);
            EXPECT_EQ(game_.deletions, before + 1) << std::hex << code;
        } else if (what < 10) {
            const std::int32_t kind = pick(4);
            kind == 0 ? player->addScore(points()) : kind == 1 ? player->addBonusScore(points()) : kind == 2 ? player->loseScore(points(), points()) : player->subtractScore(points());
            if (kind >= 2) { EXPECT_GE(player->getScore(), 0); }
        } else if (what < 12) {
            player->setBonus(kBonuses[pick(static_cast<std::int32_t>(std::size(kBonuses)))]);
        } else if (what == 12) {
            pick(2) ? player->setActivity(anyParameter()) : static_cast<void>(player->thaw());
        } else if (what == 13) {
            player->countAnswer(anyParameter());
            player->setScorePhase(kPhases[pick(5)]);
        } else if (what == 14) {
            player->showScore(slot.scoreShown = pick(4) != 0);
        } else if (what == 15) {
            player->setHidden(slot.hidden = pick(6) == 0);
        } else if (what == 16) {
            slot.pawn.visible->setPosition(pick(700) - 30, pick(20) == 0 ? anyParameter() : 280);
        } else if (what == 17) {
            player->drawScore(&stage_.canvas);
        } else if (pick(20) == 0) {
            stage_.archives.setStreamMode(pick(3) == 0 ? hostengine::StreamMode::Asynchronous : hostengine::StreamMode::Direct);
            const int i = static_cast<int>(&slot - pawns.data());
            game_.destroy(slot.pawn);
            make(i);
        }
    }

    // A draw whose score is not rolling (the font never sees phase 4) shows the score itself.
    void drawAll() {
        stage_.surface.fill(0);
        for (const Slot& slot : pawns) {
            stage_.font.calls.clear();
            slot.pawn.visible->draw(&stage_.canvas);
            const std::vector<DrawnText>& calls = stage_.font.calls;
            EXPECT_EQ(calls.empty(), slot.hidden || !slot.scoreShown);
            if (calls.empty() || std::any_of(calls.begin(), calls.end(), [](const DrawnText& call) { return call.phase == 4; })) continue;
            ++scoresChecked;
            for (const DrawnText& call : calls) EXPECT_EQ(call.text, std::to_string(slot.pawn.player->getScore()));
        }
    }

    Stage& stage_;
    Game& game_;
    ResourceDir* root_;
    std::mt19937 random_{20240601u};
    long frames_ = 0;
};

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
    Evening warmUp(stage, game, root);
    for (int i = 0; i < kPawns; ++i) warmUp.make(i);
    while (warmUp.updates < kPawns * 100) warmUp.frame();
    for (Evening::Slot& slot : warmUp.pawns) game.destroy(slot.pawn);
    stage.host.drainEvents();
    const std::int64_t hostLive = allocationStats().live;

    Evening evening(stage, game, root);
    for (int i = 0; i < kPawns; ++i) evening.make(i);
    const long wanted = updatesWanted();
    const long quarter = wanted / 4;
    std::int64_t firstQuarterPeak = 0;
    std::int64_t lastQuarterPeak = 0;
    stage.host.setTime(0xFFFFFFFFu - 5000u);  // wraps in the first simulated minute
    while (evening.updates < wanted && !testing::Test::HasFailure()) {
        evening.frame();
        const std::int64_t live = hooks.now().live;
        if (evening.updates < quarter) firstQuarterPeak = std::max(firstQuarterPeak, live);
        if (evening.updates >= wanted - quarter) lastQuarterPeak = std::max(lastQuarterPeak, live);
    }
    EXPECT_GT(evening.scoresChecked, 100);
    for (Evening::Slot& slot : evening.pawns) game.destroy(slot.pawn);
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
    EXPECT_EQ(game.sent, game.deletions);
}

}  // namespace
