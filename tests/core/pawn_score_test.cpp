// Scoring as the game drives it: the bonus rules, losses that never go below 0, streaks, the bonus
// state and its edge cases, the rolling counter, and arithmetic at the ends of the 32-bit range.
#include <cstdint>
#include <string>
#include <tuple>

#include "tests/support/world.h"

using namespace pawntest;

namespace {

class PawnScore : public testing::Test {
protected:
    PawnHandle fresh(std::int32_t bonus = 0, bool inUse = false) {
        world.host.advance(1000);  // the score sound played last has ended
        world.host.drainEvents();
        world.sounds.clearPlaybackLog();
        PawnHandle pawn = world.create("pawn", 1);
        if (bonus) pawn.player->setBonus(bonus);
        if (inUse) pawn.player->setBonus(-1);
        return pawn;
    }

    // The text the score is drawn with now; its phase in `phase`.
    std::string drawnScore(const PawnHandle& pawn, std::int32_t* phase = nullptr) {
        pawn.player->showScore(1);
        world.font.calls.clear();
        pawn.player->drawScore(&world.canvas);
        if (world.font.calls.empty()) return "<none>";
        if (phase) *phase = world.font.calls.back().phase;
        return world.font.calls.back().text;
    }

    PawnWorld world;
};

}  // namespace

TEST_F(PawnScore, BonusPointsAndLossesFollowTheBonusInUse) {
    const struct {
        std::int32_t bonus;
        bool inUse;
        std::int32_t start, points, alternative, score;  // alternative 0: addBonusScore, else loseScore
    } cases[] = {
        {0, false, 0, 30, 0, 30}, {3, true, 0, 30, 0, 60},  {4, true, 0, 30, 0, 90}, {5, true, 0, 30, 0, 120},
        {8, true, 0, 30, 0, 130}, {9, true, 0, 30, 0, 230}, {3, false, 0, 30, 0, 30}, {9, false, 0, 30, 0, 30},
        {1, true, 0, 30, 0, 30},  {6, true, 0, 30, 0, 30},  {7, true, 0, 30, 0, 30}, {10, true, 0, 30, 0, 30},
        {16, true, 0, 30, 0, 30}, {5, true, 0, -7, 0, -28}, {8, true, 0, -150, 0, -50},
        {0, false, 80, 50, 20, 30}, {0, false, 30, 50, 20, 0},  {1, true, 80, 50, 20, 130}, {2, true, 80, 50, 20, 100},
        {2, true, 80, 50, -90, 0},  {6, true, 80, 50, 20, 80},  {2, false, 80, 50, 20, 30}, {3, true, 80, 50, 20, 30},
        {0, false, 80, -50, 20, 130},
    };
    for (const auto& c : cases) {
        PawnHandle pawn = fresh(c.bonus, c.inUse);
        if (c.start) {
            pawn.player->addScore(c.start);
            world.sounds.clearPlaybackLog();
        }
        c.alternative ? pawn.player->loseScore(c.points, c.alternative) : pawn.player->addBonusScore(c.points);
        SCOPED_TRACE(testing::Message() << "bonus " << c.bonus << (c.inUse ? " in use, " : " held, ") << c.points << " alternative " << c.alternative);
        EXPECT_EQ(pawn.player->getScore(), c.score);
        EXPECT_EQ(world.scoreSoundsPlayed().size(), c.alternative ? 0u : 1u) << "losses make no sound";
        world.destroy(pawn);
    }
    PawnHandle pawn = fresh();
    pawn.player->addScore(30);
    for (auto [points, score] : {std::pair{20, 10}, {50, 0}, {-5, 5}}) {
        pawn.player->subtractScore(points);
        EXPECT_EQ(pawn.player->getScore(), score) << points;
    }
}

// After the penguin the next bonus points are halved and cut to fives, once; both divisions truncate
// toward zero.
TEST_F(PawnScore, AfterThePenguinTheNextBonusPointsAreHalvedToFivesOnce) {
    for (std::int32_t points : {37, -37}) {
        PawnHandle pawn = fresh(16, true);
        pawn.player->addBonusScore(points);  // no effect while the penguin is held
        pawn.player->setBonus(0);
        pawn.player->addBonusScore(points);
        pawn.player->addBonusScore(points);
        EXPECT_EQ(pawn.player->getScore(), points / 37 * (37 + 15 + 37));
    }
}

TEST_F(PawnScore, StreaksCountRightAndWrongAnswersInARow) {
    PawnHandle pawn = fresh();
    for (auto [outcome, streak] : {std::pair{1, 1}, {1, 2}, {0, -1}, {0, -2}, {0, -3}, {1, 1}, {-1, 0}, {0, -1}, {5, 1}, {7, 2}}) {
        pawn.player->countAnswer(outcome);
        EXPECT_EQ(pawn.player->getStreak(), streak) << outcome;
    }
}

TEST_F(PawnScore, TheBonusStateSaysWhichBonusIsHeldAndWhetherItIsInUse) {
    PawnHandle pawn = fresh(9);
    // Using it; the same number again changes nothing; a new picture while in use is in use at once;
    // numbers out of range are refused; -2 ends it.
    const std::pair<std::int32_t, std::int32_t> steps[] = {{-1, 265}, {9, 265}, {4, 260}, {11, 260}, {-3, 260}, {15, 260},
                                                           {17, 260}, {INT32_MIN, 260}, {INT32_MAX, 260}, {-2, 0}};
    for (auto [bonus, state] : steps) {
        pawn.player->setBonus(bonus);
        EXPECT_EQ(pawn.player->getBonusState(), state) << bonus;
    }
    // The penguin is never in use; bonus 10 ends as soon as it is used; -2 ends only a bonus in use.
    for (auto [bonus, ending, state] : {std::tuple{16, -1, 16}, {10, -1, 0}, {3, -2, 3}}) {
        PawnHandle other = fresh(bonus);
        other.player->setBonus(ending);
        EXPECT_EQ(other.player->getBonusState(), state) << bonus;
    }
    // 0 ends whatever there is, and restarts "wait01" at frame 0 on the figure.
    world.send(pawn, kBuzz);
    pawn.player->setBonus(0);
    EXPECT_EQ(PawnWorld::videoState(pawn), (SequenceFrame{"wait01", 0}));
}

TEST_F(PawnScore, TheScoreRollsFromTheLastRolledScoreOverTimeThatGrowsWithTheChange) {
    PawnHandle pawn = fresh();
    constexpr std::uint32_t kStart = 0xFFFFFFFFu - 699u;  // the clock wraps halfway through the second roll
    world.host.setTime(kStart);
    pawn.player->addScore(100);  // 0 -> 100 over 1500 ms
    world.host.setTime(kStart + 200);
    EXPECT_EQ(drawnScore(pawn), "13");
    pawn.player->addScore(50);   // 100 -> 150 over 1400 ms, from 100 and not from the 13 on screen
    world.host.setTime(kStart + 200 + 700);
    EXPECT_EQ(drawnScore(pawn), "125");
    std::int32_t phase = 0;
    world.host.setTime(kStart + 200 + 1400);
    EXPECT_EQ(drawnScore(pawn, &phase), "150");
    EXPECT_EQ(phase, 4) << "still rolling at exactly its duration";
    world.host.setTime(kStart + 200 + 1401);
    drawnScore(pawn, &phase);
    EXPECT_EQ(phase, 4) << "the draw that finds it over";
    drawnScore(pawn, &phase);
    EXPECT_EQ(phase, 0);
    pawn.player->subtractScore(30);  // 150 -> 120, downwards over 1350 ms
    world.host.advance(675);
    EXPECT_EQ(drawnScore(pawn), "135");
}

TEST_F(PawnScore, ScoresAtTheEndsOfThe32BitRangeWrapAndStillRoll) {
    PawnHandle pawn = fresh();
    pawn.player->addScore(INT32_MAX);
    pawn.player->addScore(1);
    EXPECT_EQ(pawn.player->getScore(), INT32_MIN);
    pawn.player->subtractScore(1);  // INT32_MIN - 1 wraps to the top, which is not below 0
    EXPECT_EQ(pawn.player->getScore(), INT32_MAX);
    PawnHandle lossy = fresh();
    lossy.player->loseScore(INT32_MIN, 0);  // 0 - INT32_MIN wraps below 0
    lossy.player->subtractScore(INT32_MIN);
    EXPECT_EQ(lossy.player->getScore(), 0);
    for (auto [bonus, score] : {std::pair{5, static_cast<std::uint32_t>(INT32_MAX) * 4u}, {9, static_cast<std::uint32_t>(INT32_MAX) + 200u}}) {
        PawnHandle bonused = fresh(bonus, true);
        bonused.player->addBonusScore(INT32_MAX);
        EXPECT_EQ(bonused.player->getScore(), static_cast<std::int32_t>(score)) << bonus;
    }
    // A change of -2^31 rolls forwards in time, over the longest roll (half the clock's signed range): a
    // second in, the counter has moved by about 2000.
    PawnHandle falling = fresh();
    world.host.setTime(50000);
    falling.player->addScore(INT32_MIN);
    world.host.setTime(51000);
    EXPECT_EQ(drawnScore(falling), "-2000");
}

TEST_F(PawnScore, TheCounterNeverCountsAwayFromTheScoreEvenWhenTheSumWraps) {
    // Rolls of the largest changes last this long, and end before the clock's difference wraps.
    constexpr std::uint32_t kLongestRoll = INT32_MAX / 2;
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {2000000000, 2000000000}, {INT32_MAX, INT32_MAX}, {100, 50}, {100, -30}, {-2000000000, -2000000000}};
    for (auto [first, second] : cases) {
        PawnHandle pawn = fresh();
        world.host.setTime(1000);
        pawn.player->addScore(first);
        world.host.setTime(1000 + kLongestRoll + 100000);  // past the first roll's end
        drawnScore(pawn);
        drawnScore(pawn);
        pawn.player->addScore(second);
        // In the 32-bit score the change was `second`: each step of the counter goes that way or stays.
        std::int32_t shown = first;
        for (int step = 1; step <= 66; ++step) {  // the last two are past the end
            world.host.advance(kLongestRoll / 64);
            const std::int32_t now = std::stoi(drawnScore(pawn));
            const auto moved = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(shown));
            EXPECT_TRUE(second > 0 ? moved >= 0 : moved <= 0) << first << " + " << second << ": " << shown << " -> " << now;
            shown = now;
        }
        EXPECT_EQ(shown, pawn.player->getScore()) << first << " + " << second;
        world.destroy(pawn);
    }
}
