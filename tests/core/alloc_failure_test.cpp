// Allocation failure: a game's whole evening with the test twin of pawn.kvx (init; four pawns made from
// real archives; a show of messages, scores, bonuses and draws on a clock that wraps; the pawns given
// back; release) is run once to count the allocations of each step, then again for every k up to that
// count with the k-th allocation of the step refused, and with every allocation from the k-th on
// refused. Every run must end with every message deleted, every lock given back and the module's heap
// empty; and each pawn that exists ends with the score of the clean run, since scores need no memory.
//
// Natively every k runs; under the sanitizers and the 32-bit emulator every 7th (and the last few),
// unless PAWN_ALLOC_FAILURE_STRIDE says otherwise (1: every k).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/world.h"

using namespace pawntest;

namespace {

#if defined(__SANITIZE_ADDRESS__) || UINTPTR_MAX == 0xFFFFFFFFu
constexpr std::int64_t kDefaultStride = 7;
#else
constexpr std::int64_t kDefaultStride = 1;
#endif

std::int64_t stride() {
    const char* text = std::getenv("PAWN_ALLOC_FAILURE_STRIDE");
    const long long value = text ? std::atoll(text) : 0;
    return value > 0 ? value : kDefaultStride;
}

enum Step { kInit, kCreate, kShow, kDestroy, kRelease, kStepCount };
const char* const kStepNames[kStepCount] = {"init", "create four pawns", "show", "destroy the pawns", "release"};
constexpr int kPawns = 4;

struct Outcome {
    std::int64_t stepAllocations = 0;  // allocations the faulty step made (or tried)
    bool plugin = false;               // init handed out a factory
    std::vector<std::int32_t> scores = std::vector<std::int32_t>(kPawns, -1);  // -1: no such pawn
};

// Messages, scores, bonuses and the penguin, freezing, slides and holds, on a clock that crosses 2^32,
// with every pawn updated every 40 ms and drawn every third update.
void show(Stage& stage, const std::vector<PawnHandle>& pawns, int& sent, int& deleted) {
    auto with = [&](int i, auto action) {
        if (pawns[i].player && pawns[i].visible) action(*pawns[i].player);
    };
    auto each = [&](auto action) {
        for (int i = 0; i < kPawns; ++i) with(i, action);
    };
    auto send = [&](int i, std::uint32_t code, std::int32_t parameter) {
        with(i, [&](IKTPlayer& p) { p.receive(gameMessage(code, parameter, &deleted)); ++sent; });
    };
    for (int i = 0; i < kPawns; ++i) {
        with(i, [&](IKTPlayer& p) { pawns[i].visible->setPosition(i * 90, 0); p.showScore(1); });
        send(i, kComingUp, 500);
    }
    for (int frame = 0; frame < 90; ++frame) {
        if (frame == 45) stage.host.setTime(0xFFFFFFFFu - 300u);
        stage.host.advance(40);
        stage.host.pumpEvents();
        switch (frame) {
            case 2: send(0, kBuzz, 0); send(1, kHappy, 0); send(2, kUnhappy, 2); send(3, kLookLeft, 0); break;
            case 5: each([](IKTPlayer& p) { p.addScore(100); }); break;
            case 8: with(1, [](IKTPlayer& p) { p.setBonus(3); p.setBonus(-1); p.addBonusScore(30); }); break;
            case 10: with(2, [](IKTPlayer& p) { p.setBonus(16); }); send(2, kBuzz, 0); break;
            case 20: with(2, [](IKTPlayer& p) { p.setBonus(0); p.addBonusScore(37); }); break;
            case 24: send(3, kFreeze, -1); send(3, kBuzz, 0); break;
            case 30: send(3, kUnfreeze, 0); with(3, [](IKTPlayer& p) { p.subtractScore(10); }); break;
            case 34: with(0, [](IKTPlayer& p) { p.loseScore(50, 20); }); send(0, kWaitHold, 300); break;
            case 40: send(1, kBuzz, 1); send(1, kLookRight, 0); with(1, [](IKTPlayer& p) { p.countAnswer(1); }); break;
            case 50: each([](IKTPlayer& p) { p.addScore(250); }); with(1, [](IKTPlayer& p) { p.setBonus(-2); }); break;
            case 60: for (int i = 0; i < kPawns; ++i) send(i, kGoingDown, 400); break;
            case 70: send(0, 0x00050001, 0); send(2, 0x000B000C, 5); break;
            default: break;
        }
        each([](IKTPlayer& p) { p.update(); });
        for (int i = 0; i < kPawns && frame % 3 == 0; ++i) with(i, [&](IKTPlayer&) { pawns[i].visible->draw(&stage.canvas); });
    }
}

// The world's files and the twin, kept over all the evenings of the test.
struct Evenings {
    // One evening with the k-th allocation of `step` refused (and every one after it, with andAfter);
    // k 0 refuses nothing.
    Outcome run(Step step, std::int64_t k, bool andAfter);

    WorldFiles files{WorldOptions{.bonusVideos = {}, .scoreFontPhase = "2\n"}};
    hostengine::PluginLoader loader;
    TestHooks hooks;
};

Outcome Evenings::run(Step step, std::int64_t k, bool andAfter) {
    Outcome outcome;
    Stage stage(files.dir, {});
    stage.host.setTime(1000);
    EXPECT_EQ(hooks.now().live, 0) << "the module held memory before the evening";
    ResourceDir* root = hooks.rootOver(stage.root);
    EXPECT_NE(root, nullptr);
    if (!root) return outcome;

    std::int64_t started = 0;
    auto begin = [&](Step now) {
        if (now != step) return;
        started = hooks.now().allocations + hooks.now().failures;
        if (k > 0) hooks.fail(k, andAfter ? 1 : 0);
    };
    auto end = [&](Step now) {
        if (now != step) return;
        hooks.fail(0, 0);
        outcome.stepAllocations = hooks.now().allocations + hooks.now().failures - started;
    };

    begin(kInit);
    // A game may init twice; the second replaces the strings the first copied.
    const char* args[4] = {"first", nullptr, "third", "fourth"};
    InterfaceTable* handle = loader.init(&stage.host, args);
    if (handle) handle = loader.init(&stage.host, args);
    end(kInit);
    IKTPlayerFactory* factory = handle ? handle->find<IKTPlayerFactory>("IKTPlayerFactory") : nullptr;
    outcome.plugin = factory != nullptr;
    EXPECT_EQ(handle != nullptr, factory != nullptr) << "init handed out an object without its factory";

    std::vector<PawnHandle> pawns(kPawns);
    begin(kCreate);
    for (int i = 0; i < kPawns && factory; ++i) pawns[i].handle = factory->createPlayer(root, "pawn", i + 1);
    end(kCreate);
    for (PawnHandle& pawn : pawns) {
        if (!pawn) continue;
        // A pawn handed out must be a whole pawn: the game finds both of its interfaces.
        pawn.player = pawn.handle->find<IKTPlayer>("IKTPlayer");
        pawn.visible = pawn.handle->find<IVisible>("IVisible");
        EXPECT_TRUE(pawn.player && pawn.visible) << "a pawn lacks an interface";
    }

    int sent = 0;
    int deleted = 0;
    begin(kShow);
    show(stage, pawns, sent, deleted);
    end(kShow);
    for (int i = 0; i < kPawns; ++i)
        if (pawns[i].player) outcome.scores[i] = pawns[i].player->getScore();

    begin(kDestroy);
    for (PawnHandle& pawn : pawns)
        if (pawn) factory->destroyPlayer(pawn.handle);
    end(kDestroy);
    stage.host.drainEvents();  // buzzes stopped by the teardown end now; their notices free their sounds

    begin(kRelease);
    loader.callRelease();
    end(kRelease);
    loader.release();  // forgets the handle; a second release does nothing
    hooks.freeRoot(root);

    EXPECT_EQ(sent, deleted) << "messages left undeleted";
    EXPECT_EQ(stage.surface.locks().outstanding(), 0) << "rows left locked";
    EXPECT_EQ(hooks.now().live, 0) << "module memory left after release";
    return outcome;
}

TEST(AllocationFailure, EveryStepSurvivesEveryRefusedAllocation) {
    Evenings evenings;
    ASSERT_TRUE(evenings.loader.open(PAWN_TESTHOOKS_PLUGIN_PATH) && evenings.hooks.find()) << evenings.loader.error();
    const Outcome clean = evenings.run(kShow, 0, false);
    ASSERT_FALSE(HasFailure());
    for (int i = 0; i < kPawns; ++i) ASSERT_GE(clean.scores[i], 0) << "pawn " << i << " missing without faults";
    std::int64_t total = 0;
    for (int step = kInit; step < kStepCount && !HasFailure(); ++step) {
        const std::int64_t count = evenings.run(static_cast<Step>(step), 0, false).stepAllocations;
        total += count;
        for (std::int64_t k = 1; k <= count && !HasFailure(); ++k) {
            if (stride() > 1 && k % stride() != 1 && k < count - 3) continue;
            for (bool andAfter : {false, true}) {
                SCOPED_TRACE(std::string(kStepNames[step]) + ", allocation " + std::to_string(k) + (andAfter ? " and after" : " alone"));
                const Outcome outcome = evenings.run(static_cast<Step>(step), k, andAfter);
                EXPECT_TRUE(outcome.plugin || step == kInit);
                for (int i = 0; i < kPawns; ++i)
                    EXPECT_TRUE(outcome.scores[i] < 0 || outcome.scores[i] == clean.scores[i]) << "pawn " << i << " scored " << outcome.scores[i];
            }
        }
        std::printf("[ alloc    ] %-18s %5lld allocation sites\n", kStepNames[step], static_cast<long long>(count));
    }
    EXPECT_GT(total, 100);
}

}  // namespace
