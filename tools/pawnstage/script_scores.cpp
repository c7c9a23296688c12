#include "tools/pawnstage/script_scores.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace pawnstage {

namespace {

constexpr std::int32_t kPenguin = 16;

// What of a pawn decides its score: the score itself, without wrapping, and the bonus state.
struct ScoreState {
    std::int64_t score = 0;
    std::int32_t bonusNumber = 0;
    bool bonusActive = false;
    std::int32_t previousBonus = 0;

    void endBonus() {
        previousBonus = bonusNumber;
        bonusNumber = 0;
        bonusActive = false;
    }

    void setBonus(std::int32_t n) {
        if (n == -2) {
            if (bonusActive) endBonus();
        } else if (n == 0) {
            endBonus();
        } else if (n == -1) {
            if (bonusNumber == 10) {
                bonusNumber = 0;
                bonusActive = false;
                previousBonus = 10;
            } else if (bonusNumber != kPenguin) {
                bonusActive = true;
            }
        } else if ((n >= 1 && n <= 10) || n == kPenguin) {
            bonusNumber = n;
        }
    }

    std::int64_t bonusGain(std::int64_t points) {
        std::int32_t rule = bonusActive ? bonusNumber : 0;
        if (previousBonus == kPenguin) {
            previousBonus = 0;
            return 5 * ((points / 2) / 5);
        }
        switch (rule) {
        case 3: return points * 2;
        case 4: return points * 3;
        case 5: return points * 4;
        case 8: return points + 100;
        case 9: return points + 200;
        default: return points;
        }
    }

    std::int64_t loss(std::int64_t points, std::int64_t alternative) const {
        switch (bonusActive ? bonusNumber : 0) {
        case 1: return -points;
        case 2: return -alternative;
        case 6: return 0;
        default: return points;
        }
    }

    // Applies a cue; false when it is no score change.
    bool apply(const Cue& cue) {
        switch (cue.action) {
        case Action::AddScore: score += cue.first; return true;
        case Action::AddBonusScore: score += bonusGain(cue.first); return true;
        case Action::LoseScore: score -= loss(cue.first, cue.second); break;
        case Action::SubtractScore: score -= cue.first; break;
        case Action::Bonus: setBonus(cue.first); return false;
        case Action::UseBonus: setBonus(-1); return false;
        case Action::EndBonus: setBonus(0); return false;
        case Action::EndBonusIfUsed: setBonus(-2); return false;
        default: return false;
        }
        // Losses stop at 0, but only a result that a score can hold reaches that test.
        if (score < 0 && score >= std::numeric_limits<std::int32_t>::min()) score = 0;
        return true;
    }
};

}  // namespace

void checkScores(const ShowScript& script) {
    std::vector<ScoreState> states(script.players.size());
    for (const Cue& cue : script.cues) {
        for (std::size_t i = 0; i < script.players.size(); ++i) {
            if (cue.player != kAllPlayers && cue.player != script.players[i].number) continue;
            ScoreState& state = states[i];
            if (!state.apply(cue)) continue;
            if (state.score >= std::numeric_limits<std::int32_t>::min() && state.score <= std::numeric_limits<std::int32_t>::max()) continue;
            throw ScriptError(script.name, cue.line, cue.column,
                              "this " + std::string(actionName(cue.action)) + " takes player " + std::to_string(script.players[i].number) +
                                  "'s score to " + std::to_string(state.score) +
                                  ", beyond what a score can show (-2147483648 to 2147483647)");
        }
    }
}

}  // namespace pawnstage
