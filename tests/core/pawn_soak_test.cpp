// A long game: eight pawns driven with random messages, score changes, bonuses and state changes on
// a clock that wraps past 2^32, drawn every few frames, some destroyed and made again on the way,
// then all torn down. After every step the pawns must keep their invariants; at the end no memory may
// be left behind on this side (the sanitizer build's leak checker watches the loaded plug-in, and the
// module soak counts the twin's heap).
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/allocator.h"
#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

// Long enough to reach every state many times natively; the 32-bit suite runs under an emulator.
constexpr long kUpdates = sizeof(void*) == 4 ? 25000 : 100000;
constexpr int kPawns = 8;

class Soak {
public:
    Soak(PawnWorld& world, std::uint32_t seed) : world_(world), random_(seed) {}

    void run(long updates) {
        for (int i = 0; i < kPawns; ++i) make(i);
        world_.host.setTime(0xFFFFFFFFu - 20000u);  // wraps in the first simulated minute
        for (long frame = 1, done = 0; done < updates && !testing::Test::HasFailure(); ++frame) {
            // Now and then the game pauses for ten minutes (rolls end) or no time passes at all.
            const std::int32_t pause = pick(200);
            world_.host.advance(pause == 0 ? 600000u : pause == 1 ? 0u : static_cast<std::uint32_t>(5 + pick(30)));
            world_.host.pumpEvents();
            act(pawns_[static_cast<std::size_t>(pick(kPawns))]);
            for (Slot& slot : pawns_) {
                slot.pawn.player->update();
                ++done;
                const bool penguin = (slot.pawn.player->getBonusState() & 0xFF) == 16;
                EXPECT_EQ(slot.pawn.player->getVideo(), penguin ? world_.producer->penguin() : slot.pawn.ownVideo);
                EXPECT_EQ(slot.pawn.player->isHidden(), slot.pawn.visible->isHidden());
            }
            if (frame % 8 == 0) drawAll();
        }
        for (Slot& slot : pawns_) world_.destroy(slot.pawn);
        world_.host.drainEvents();
    }

    long scoresChecked = 0;

private:
    struct Slot {
        PawnHandle pawn;
        bool hidden = false, scoreShown = false;
    };

    std::int32_t pick(std::int32_t n) { return std::uniform_int_distribution<std::int32_t>(0, n - 1)(random_); }

    std::int32_t anyParameter() {
        static const std::int32_t kExtremes[] = {INT32_MIN, INT32_MIN + 1, -1000, -1, 0, 1, 2, 3, 1000, INT32_MAX - 1, INT32_MAX};
        const std::int32_t kind = pick(4);
        return kind == 0 ? kExtremes[pick(11)] : kind == 1 ? pick(2001) : kind == 2 ? pick(30) - 5 : static_cast<std::int32_t>(random_());
    }
    std::int32_t points() { return pick(20) == 0 ? anyParameter() : pick(1100) - 100; }

    void make(int i) {
        if (static_cast<int>(pawns_.size()) <= i) pawns_.resize(static_cast<std::size_t>(i) + 1);
        Slot& slot = pawns_[static_cast<std::size_t>(i)] = Slot{};
        slot.pawn = world_.create(i == 5 ? "nobody" : "pawn", i + 1);
        ASSERT_TRUE(slot.pawn.player && slot.pawn.visible);
        slot.pawn.visible->setPosition(i * 78, 280);
    }

    void act(Slot& slot) {
        IKTPlayer* player = slot.pawn.player;
        static const std::int32_t kBonuses[] = {-3, -2, -1, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, 16, 17, INT32_MIN};
        static const std::int32_t kPhases[] = {0, 1, 2, 3, 7};  // never 4, the rolling phase
        const std::int32_t what = pick(20);
        if (what < 6) {
            const std::uint32_t code = pick(30) ? 0x000B0000u + static_cast<std::uint32_t>(pick(13)) : static_cast<std::uint32_t>(random_());
            const int before = world_.deletions;
            EXPECT_EQ(world_.send(slot.pawn, code, anyParameter()), 1);
            EXPECT_EQ(world_.deletions, before + 1) << std::hex << code;
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
            player->drawScore(&world_.canvas);
        } else if (pick(100) == 0) {
            const int i = static_cast<int>(&slot - pawns_.data());
            world_.destroy(slot.pawn);
            make(i);
        }
    }

    // A draw whose score is not rolling (the font never sees phase 4) shows the score itself.
    void drawAll() {
        for (const Slot& slot : pawns_) {
            world_.font.calls.clear();
            slot.pawn.visible->draw(&world_.canvas);
            const std::vector<DrawnText>& calls = world_.font.calls;
            EXPECT_EQ(calls.empty(), slot.hidden || !slot.scoreShown);
            if (calls.empty() || std::any_of(calls.begin(), calls.end(), [](const DrawnText& call) { return call.phase == 4; })) continue;
            ++scoresChecked;
            for (const DrawnText& call : calls) EXPECT_EQ(call.text, std::to_string(slot.pawn.player->getScore()));
        }
    }

    PawnWorld& world_;
    std::mt19937 random_;
    std::vector<Slot> pawns_;
};

}  // namespace

TEST(PawnSoak, EightPawnsThroughTheLoadedPluginKeepTheirInvariants) {
    PawnWorld world;
    ASSERT_NE(world.factory, nullptr);
    // A short game first opens every resource node the pawns reach (the tree stays open until the
    // host goes) and makes everything the producer can hand out.
    for (const char* name : {"scoresnd", "allalpha", "pingouin"}) world.producer->getObject(name);
    for (int n = 1; n <= 10; ++n) world.producer->bonusPicture(n);
    Soak(world, 7u).run(kPawns * 50);
    world.host.setTime(0);
    const std::int64_t hostLive = allocationStats().live;
    Soak soak(world, 20240601u);
    soak.run(kUpdates);
    EXPECT_GT(soak.scoresChecked, 100);
    // The plug-in allocates from its own copy of the allocator; on this side the shared media and the
    // open nodes are all that remain.
    EXPECT_EQ(allocationStats().live, hostLive);
}
