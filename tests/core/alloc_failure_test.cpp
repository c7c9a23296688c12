// Allocation failure: a game's whole evening with the test twin of pawn.kvx (init; four pawns made from
// real archives; 150 frames of the world's random evening on a clock that wraps; the pawns given back;
// release) is run once to count the allocations of each step, then again for every k up to that
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

    // A seed whose show makes no pawn again: the create step refuses those allocations already.
    Evening evening(stage, factory, root, kPawns, 20261211u);
    begin(kCreate);
    for (int i = 0; i < kPawns && factory; ++i) evening.make(i);
    end(kCreate);
    for (const Evening::Slot& slot : evening.slots) {
        // A pawn handed out must be a whole pawn: the game finds both of its interfaces.
        EXPECT_TRUE(!slot.pawn || (slot.pawn.player && slot.pawn.visible)) << "a pawn lacks an interface";
    }

    stage.host.setTime(0xFFFFFFFFu - 1500u);  // the clock wraps halfway through the show
    begin(kShow);
    for (int frame = 0; frame < 150; ++frame) evening.frame(false);
    end(kShow);
    for (int i = 0; i < kPawns; ++i)
        if (evening.slots[i].pawn.player) outcome.scores[i] = evening.slots[i].pawn.player->getScore();

    begin(kDestroy);
    evening.giveBack();
    end(kDestroy);
    stage.host.drainEvents();  // buzzes stopped by the teardown end now; their notices free their sounds

    begin(kRelease);
    loader.callRelease();
    end(kRelease);
    loader.release();  // forgets the handle; a second release does nothing
    hooks.freeRoot(root);

    EXPECT_EQ(evening.sent, evening.deleted) << "messages left undeleted";
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
