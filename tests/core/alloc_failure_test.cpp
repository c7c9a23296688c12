// Allocation failure, in the way the best embedded databases test it: a game's whole evening with the
// module (init; four pawns made from real archives; a show of messages, scores, bonuses and draws on
// a moving clock that wraps; the pawns given back; release) is run once to count the allocations of
// each stage, then again for every k from 1 to that count with the k-th allocation of the stage
// refused, and once more with every allocation from the k-th on refused. The module is the test twin
// of pawn.kvx, loaded as a game loads pawn.kvx, whose allocator it can arm and count.
//
// Every run must end without a crash or a sanitizer report, with every message deleted, every lock
// given back and nothing left in the module's heap; and what did not fail must still work: each pawn
// that exists ends the show with the score of the run without faults, since scores need no memory.
//
// Natively every k runs. Under the sanitizers and the 32-bit emulator every 7th k runs (and the last
// few), unless PAWN_ALLOC_FAILURE_STRIDE says otherwise (1: every k).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/allocator.h"
#include "fuzz/evening.h"

using namespace evening;

namespace {

#if defined(__SANITIZE_ADDRESS__) || UINTPTR_MAX == 0xFFFFFFFFu
constexpr std::int64_t kDefaultStride = 7;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::int64_t kDefaultStride = 7;
#else
constexpr std::int64_t kDefaultStride = 1;
#endif
#else
constexpr std::int64_t kDefaultStride = 1;
#endif

std::int64_t stride() {
    const char* text = std::getenv("PAWN_ALLOC_FAILURE_STRIDE");
    const long long value = text ? std::atoll(text) : 0;
    return value > 0 ? value : kDefaultStride;
}

enum Stage { kInit, kCreate, kShow, kDestroy, kRelease, kStageCount };
const char* const kStageNames[kStageCount] = {"init", "create four pawns", "show", "destroy the pawns", "release"};
constexpr int kPawns = 4;

struct Fault {
    Stage stage = kInit;
    std::int64_t k = 0;  // 0: no fault
    bool andAfter = false;
};

struct Outcome {
    std::int64_t stageAllocations = 0;  // allocations the faulty stage made (or tried)
    bool plugin = false;                // init handed out a factory
    std::vector<std::int32_t> scores = std::vector<std::int32_t>(kPawns, -1);  // -1: no such pawn
};

class AllocationFailure : public testing::Test {
protected:
    static void SetUpTestSuite() {
        files_ = new Files();
        twin_ = new Twin();
        twinOpen_ = twin_->open();
    }
    static void TearDownTestSuite() {
        delete twin_;
        delete files_;
        twin_ = nullptr;
        files_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(twinOpen_) << twin_->loader.error(); }

    // One evening with `fault` armed during its stage.
    static Outcome evening(const Fault& fault);
    // Every k of a stage, single and from k on; returns the allocation count of the stage.
    static std::int64_t exercise(Stage stage, const Outcome& clean);

    static Files* files_;
    static Twin* twin_;
    static bool twinOpen_;
};

Files* AllocationFailure::files_ = nullptr;
Twin* AllocationFailure::twin_ = nullptr;
bool AllocationFailure::twinOpen_ = false;

// Messages, scores, bonuses and the penguin, freezing, slides and holds, on a clock that crosses
// 2^32, with every pawn updated every 40 ms and drawn every third update.
void show(Stagehands& stage, const std::vector<IKTPlayer*>& players, const std::vector<IVisible*>& visibles) {
    auto send = [&](int pawn, std::uint32_t code, std::int32_t parameter) {
        if (!players[pawn]) return;
        ++stage.sent;
        players[pawn]->receive(gameMessage(code, parameter, &stage.deleted));
    };
    auto each = [&](auto action) {
        for (int i = 0; i < kPawns; ++i)
            if (players[i]) action(i, *players[i]);
    };
    each([&](int i, IKTPlayer& player) {
        if (visibles[i]) visibles[i]->setPosition(i * 90, 0);
        player.showScore(1);
        send(i, kComingUp, 500);
    });
    for (int frame = 0; frame < 90; ++frame) {
        if (frame == 45) stage.host.setTime(0xFFFFFFFFu - 300u);
        stage.host.advance(40);
        stage.host.pumpEvents();
        switch (frame) {
            case 2: send(0, kBuzz, 0); send(1, kHappy, 0); send(2, kUnhappy, 2); send(3, kLookLeft, 0); break;
            case 5: each([](int, IKTPlayer& p) { p.addScore(100); }); break;
            case 8: if (players[1]) { players[1]->setBonus(3); players[1]->setBonus(-1); players[1]->addBonusScore(30); } break;
            case 10: if (players[2]) players[2]->setBonus(16); send(2, kBuzz, 0); break;
            case 20: if (players[2]) { players[2]->setBonus(0); players[2]->addBonusScore(37); } break;
            case 24: send(3, kFreeze, -1); send(3, kBuzz, 0); break;
            case 30: send(3, kUnfreeze, 0); if (players[3]) players[3]->subtractScore(10); break;
            case 34: if (players[0]) players[0]->loseScore(50, 20); send(0, kWaitHold, 300); break;
            case 40: send(1, kBuzz, 1); send(1, kLookRight, 0); if (players[1]) players[1]->countAnswer(1); break;
            case 50: each([](int, IKTPlayer& p) { p.addScore(250); }); if (players[1]) players[1]->setBonus(-2); break;
            case 60: for (int i = 0; i < kPawns; ++i) send(i, kGoingDown, 400); break;
            case 70: send(0, 0x00050001, 0); send(2, 0x000B000C, 5); break;
            default: break;
        }
        each([](int, IKTPlayer& player) { player.update(); });
        if (frame % 3 == 0)
            for (int i = 0; i < kPawns; ++i)
                if (visibles[i]) visibles[i]->draw(&stage.canvas);
    }
}

Outcome AllocationFailure::evening(const Fault& fault) {
    Outcome outcome;
    Stagehands stage(*files_);
    EXPECT_EQ(twin_->now().live, 0) << "the module held memory before the evening";
    ResourceDir* root = twin_->rootOver(stage.hostRoot);
    EXPECT_NE(root, nullptr);
    if (!root) return outcome;

    std::int64_t started = 0;
    auto begin = [&](Stage now) {
        if (now != fault.stage) return;
        started = twin_->now().allocations + twin_->now().failures;
        if (fault.k > 0) twin_->fail(fault.k, fault.andAfter ? 1 : 0);
    };
    auto end = [&](Stage now) {
        if (now != fault.stage) return;
        twin_->fail(0, 0);
        const AllocationStats stats = twin_->now();
        outcome.stageAllocations = stats.allocations + stats.failures - started;
    };

    begin(kInit);
    InterfaceTable* handle = twin_->loader.init(&stage.host);
    end(kInit);
    IKTPlayerFactory* factory = handle ? handle->find<IKTPlayerFactory>("IKTPlayerFactory") : nullptr;
    outcome.plugin = factory != nullptr;
    EXPECT_EQ(handle != nullptr, factory != nullptr) << "init handed out an object without its factory";

    std::vector<InterfaceTable*> pawns(kPawns, nullptr);
    std::vector<IKTPlayer*> players(kPawns, nullptr);
    std::vector<IVisible*> visibles(kPawns, nullptr);
    begin(kCreate);
    for (int i = 0; i < kPawns && factory; ++i) pawns[i] = factory->createPlayer(root, "pawn", i + 1);
    end(kCreate);
    for (int i = 0; i < kPawns; ++i) {
        if (!pawns[i]) continue;
        // A pawn handed out must be a whole pawn: the game finds both of its interfaces.
        players[i] = pawns[i]->find<IKTPlayer>("IKTPlayer");
        visibles[i] = pawns[i]->find<IVisible>("IVisible");
        EXPECT_TRUE(players[i] && visibles[i]) << "pawn " << i << " lacks an interface";
    }

    begin(kShow);
    show(stage, players, visibles);
    end(kShow);
    for (int i = 0; i < kPawns; ++i)
        if (players[i]) outcome.scores[i] = players[i]->getScore();

    begin(kDestroy);
    for (InterfaceTable* pawn : pawns)
        if (pawn) factory->destroyPlayer(pawn);
    end(kDestroy);
    // Buzzes stopped by the teardown end at the next pass; their notices free their sounds.
    stage.host.drainEvents();

    begin(kRelease);
    twin_->loader.callRelease();
    end(kRelease);
    twin_->loader.release();  // forgets the handle; a second release does nothing
    twin_->freeRoot(root);

    EXPECT_EQ(stage.sent, stage.deleted) << "messages left undeleted";
    EXPECT_EQ(stage.surface.locks().outstanding(), 0) << "rows left locked";
    EXPECT_EQ(twin_->now().live, 0) << "module memory left after release";
    return outcome;
}

std::int64_t AllocationFailure::exercise(Stage stage, const Outcome& clean) {
    const Outcome counted = evening(Fault{stage, 0, false});
    const std::int64_t count = counted.stageAllocations;
    const std::int64_t step = stride();
    std::int64_t runs = 0;
    for (std::int64_t k = 1; k <= count; ++k) {
        if (step > 1 && k % step != 1 && k < count - 3) continue;
        for (bool andAfter : {false, true}) {
            SCOPED_TRACE(std::string(kStageNames[stage]) + ", allocation " + std::to_string(k) + (andAfter ? " and after" : " alone"));
            const Outcome outcome = evening(Fault{stage, k, andAfter});
            ++runs;
            if (stage != kInit) {
                EXPECT_TRUE(outcome.plugin);
            }
            for (int i = 0; i < kPawns; ++i) {
                if (outcome.scores[i] >= 0) {
                    EXPECT_EQ(outcome.scores[i], clean.scores[i]) << "pawn " << i << " scored otherwise";
                }
            }
            if (testing::Test::HasFailure()) return count;
        }
    }
    std::printf("[ alloc    ] %-18s %5lld allocation sites, %lld runs (every %lld%s)\n", kStageNames[stage],
                static_cast<long long>(count), static_cast<long long>(runs), static_cast<long long>(step),
                step == 1 ? "st" : "th");
    return count;
}

TEST_F(AllocationFailure, EveryStageSurvivesEveryRefusedAllocation) {
    const Outcome clean = evening(Fault{kShow, 0, false});
    ASSERT_FALSE(HasFailure());
    for (int i = 0; i < kPawns; ++i) ASSERT_GE(clean.scores[i], 0) << "pawn " << i << " missing without faults";
    std::int64_t total = 0;
    for (int stage = kInit; stage < kStageCount && !HasFailure(); ++stage) total += exercise(static_cast<Stage>(stage), clean);
    EXPECT_GT(total, 100);
}

// The pieces a refused allocation takes away are the ones the game can do without: a pawn that could
// not be made is a null handle, and one whose frame pacing is missing still scores.
TEST_F(AllocationFailure, APawnThatCannotBeMadeIsANullHandle) {
    Stagehands stage(*files_);
    ResourceDir* root = twin_->rootOver(stage.hostRoot);
    ASSERT_NE(root, nullptr);
    InterfaceTable* handle = twin_->loader.init(&stage.host);
    ASSERT_NE(handle, nullptr);
    IKTPlayerFactory* factory = handle->find<IKTPlayerFactory>("IKTPlayerFactory");
    twin_->fail(1, 1);
    EXPECT_EQ(factory->createPlayer(root, "pawn", 7), nullptr);
    twin_->fail(0, 0);
    EXPECT_EQ(stage.host.countLog("KTPlayerFactory::Loading pawn 7...\n"), 1);
    twin_->loader.release();
    twin_->freeRoot(root);
    EXPECT_EQ(twin_->now().live, 0);
}

}  // namespace
