// A long game: eight pawns driven with random messages, score changes, bonuses and state changes on
// a clock that wraps past 2^32, drawn every few frames, some destroyed and made again on the way,
// then all torn down. After every step the pawns must keep their invariants; at the end no memory may
// be left behind (the sanitizer build's leak checker watches the loaded plug-in, and a second run with
// the module's classes linked into this program counts its allocations exactly).
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/allocator.h"
#include "module/plugin_object.h"
#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

// Long enough to reach every state many times natively; the 32-bit suite runs under an emulator.
constexpr long kUpdates = sizeof(void*) == 4 ? 25000 : 100000;
constexpr int kPawns = 8;

class Soak {
public:
    Soak(PawnWorld& world, IKTPlayerFactory* factory, std::uint32_t seed) : world_(world), factory_(factory), random_(seed) {}

    void run(long updates) {
        for (int i = 0; i < kPawns; ++i) make(i);
        world_.host.setTime(0xFFFFFFFFu - 20000u);  // wraps in the first simulated minute
        long frame = 0;
        while (updates_ < updates) {
            world_.host.advance(clockStep());
            world_.host.pumpEvents();
            act(pick(kPawns));
            for (int i = 0; i < kPawns && !testing::Test::HasFatalFailure(); ++i) {
                pawns_[i].handle.player->update();
                ++updates_;
                checkInvariants(i);
            }
            if (++frame % 8 == 0) drawAll();
            if (testing::Test::HasFailure()) return;
        }
    }

    void tearDown() {
        for (Slot& slot : pawns_) factory_->destroyPlayer(slot.handle.handle);
        pawns_.clear();
        world_.host.drainEvents();
    }

    long rollsChecked() const { return rollsChecked_; }

private:
    struct Slot {
        PawnHandle handle;
        bool hidden = false;
        bool scoreShown = false;
    };

    std::int32_t pick(std::int32_t n) { return std::uniform_int_distribution<std::int32_t>(0, n - 1)(random_); }

    std::int32_t anyParameter() {
        static const std::int32_t kExtremes[] = {INT32_MIN, INT32_MIN + 1, -1000, -1, 0, 1, 2, 3, 1000, INT32_MAX - 1, INT32_MAX};
        switch (pick(4)) {
            case 0: return kExtremes[pick(static_cast<std::int32_t>(std::size(kExtremes)))];
            case 1: return pick(2001);           // a duration
            case 2: return pick(30) - 5;         // a small parameter
            default: return static_cast<std::int32_t>(random_());
        }
    }

    std::int32_t points() {
        if (pick(20) == 0) return anyParameter();
        return pick(1100) - 100;
    }

    // Now and then the game pauses for ten minutes (rolls end) or no time passes at all.
    std::uint32_t clockStep() {
        const std::int32_t roll = pick(200);
        return roll == 0 ? 600000u : roll == 1 ? 0u : static_cast<std::uint32_t>(5 + pick(30));
    }

    void make(int i) {
        if (static_cast<int>(pawns_.size()) <= i) pawns_.resize(static_cast<std::size_t>(i) + 1);
        Slot& slot = pawns_[static_cast<std::size_t>(i)];
        slot = Slot{};
        slot.handle.handle = factory_->createPlayer(world_.root, i == 5 ? "nobody" : "pawn", i + 1);
        ASSERT_NE(slot.handle.handle, nullptr);
        slot.handle.player = slot.handle.handle->find<IKTPlayer>("IKTPlayer");
        slot.handle.visible = slot.handle.handle->find<IVisible>("IVisible");
        ASSERT_TRUE(slot.handle.player && slot.handle.visible);
        slot.handle.ownVideo = slot.handle.player->getVideo();
        slot.handle.visible->setPosition(i * 78, 280);
    }

    void act(int i) {
        Slot& slot = pawns_[static_cast<std::size_t>(i)];
        IKTPlayer* player = slot.handle.player;
        switch (pick(20)) {
            case 0: case 1: case 2: case 3: case 4: case 5: {
                std::uint32_t code = 0x000B0000u + static_cast<std::uint32_t>(pick(13));
                if (pick(30) == 0) code = static_cast<std::uint32_t>(random_());
                const int before = world_.deletions;
                EXPECT_EQ(player->receive(gameMessage(code, anyParameter(), &world_.deletions)), 1);
                EXPECT_EQ(world_.deletions, before + 1) << std::hex << code;
                break;
            }
            case 6: player->addScore(points()); break;
            case 7: player->addBonusScore(points()); break;
            case 8: case 9:
                pick(2) ? player->loseScore(points(), points()) : player->subtractScore(points());
                EXPECT_GE(player->getScore(), 0);
                break;
            case 10: case 11: {
                static const std::int32_t kBonuses[] = {-3, -2, -1, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, 16, 17, INT32_MIN};
                player->setBonus(kBonuses[pick(static_cast<std::int32_t>(std::size(kBonuses)))]);
                break;
            }
            case 12: pick(2) ? player->setActivity(anyParameter()) : static_cast<void>(player->thaw()); break;
            case 13: player->countAnswer(anyParameter()); break;
            case 14: {
                static const std::int32_t kPhases[] = {0, 1, 2, 3, 7};  // never 4, the rolling phase
                player->setScorePhase(kPhases[pick(5)]);
                break;
            }
            case 15: player->showScore(slot.scoreShown = pick(4) != 0); break;
            case 16: player->setHidden(slot.hidden = pick(6) == 0); break;
            case 17: {
                const std::int32_t tag = anyParameter();
                player->setTag(tag);
                EXPECT_EQ(player->getTag(), tag);
                slot.handle.visible->setPosition(pick(700) - 30, pick(20) == 0 ? anyParameter() : 280);
                break;
            }
            case 18: player->drawScore(&world_.canvas); break;
            default:
                if (pick(100) == 0) {
                    factory_->destroyPlayer(slot.handle.handle);
                    make(i);
                }
                break;
        }
    }

    void checkInvariants(int i) {
        const PawnHandle& pawn = pawns_[static_cast<std::size_t>(i)].handle;
        KTAlphaVideo* video = pawn.player->getVideo();
        if ((pawn.player->getBonusState() & 0xFF) == 16)
            EXPECT_EQ(video, world_.producer->penguin()) << "pawn " << i;
        else
            EXPECT_EQ(video, pawn.ownVideo) << "pawn " << i;
        EXPECT_EQ(pawn.player->isHidden(), pawn.visible->isHidden());
    }

    // A draw whose score is not rolling (the font never sees phase 4) shows the score itself.
    void drawAll() {
        for (std::size_t i = 0; i < pawns_.size(); ++i) {
            const Slot& slot = pawns_[i];
            world_.font.calls.clear();
            slot.handle.visible->draw(&world_.canvas);
            if (slot.hidden || !slot.scoreShown) {
                EXPECT_TRUE(world_.font.calls.empty()) << "pawn " << i;
                continue;
            }
            ASSERT_FALSE(world_.font.calls.empty()) << "pawn " << i;
            bool rolling = false;
            for (const DrawnText& call : world_.font.calls) rolling |= call.phase == 4;
            if (rolling) continue;
            ++rollsChecked_;
            for (const DrawnText& call : world_.font.calls) EXPECT_EQ(call.text, std::to_string(slot.handle.player->getScore())) << "pawn " << i;
        }
    }

    PawnWorld& world_;
    IKTPlayerFactory* factory_;
    std::mt19937 random_;
    std::vector<Slot> pawns_;
    long updates_ = 0;
    long rollsChecked_ = 0;
};


// Opens every resource node the pawns reach (the tree stays open until the host goes) and makes
// everything the producer can hand out.
void warmUp(PawnWorld& world, IKTPlayerFactory* factory) {
    for (const char* name : {"scoresnd", "allalpha", "pingouin"}) world.producer->getObject(name);
    for (int n = 1; n <= 10; ++n) world.producer->bonusPicture(n);
    Soak soak(world, factory, 7u);
    soak.run(kPawns * 50);
    soak.tearDown();
    world.host.setTime(0);
}

}  // namespace

TEST(PawnSoak, EightPawnsThroughTheLoadedPluginKeepTheirInvariants) {
    PawnWorld world;
    ASSERT_NE(world.factory, nullptr);
    warmUp(world, world.factory);
    const std::int64_t hostLive = allocationStats().live;
    Soak soak(world, world.factory, 20240601u);
    soak.run(kUpdates);
    soak.tearDown();
    EXPECT_GT(soak.rollsChecked(), 100);
    // The plug-in allocates from its own copy of the allocator, which the sanitizer build's leak
    // checker watches; on this side the shared media and the open nodes are all that remain.
    EXPECT_EQ(allocationStats().live, hostLive);
}

// The same game with the module's classes linked into the host, where every allocation of the pawns
// is counted: after the teardown exactly what the warm-up left (open resource nodes, shared media)
// remains.
TEST(PawnSoak, EightPawnsLinkedIntoTheHostGiveBackEveryAllocation) {
    PawnWorld world;
    KTPlayerFactory factory;
    warmUp(world, &factory);
    const std::int64_t live = allocationStats().live;
    Soak soak(world, &factory, 1234567u);
    soak.run(kUpdates / 4);
    soak.tearDown();
    EXPECT_EQ(allocationStats().live, live);
}
