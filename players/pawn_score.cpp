// Score operations, the bonus scoring rules, the rolling counter and the score display.
#include <cstdint>
#include <cstdlib>

#include "core/allocator.h"
#include "media/sound.h"
#include "media/text_display.h"
#include "players/curves.h"
#include "players/pawn.h"

namespace {

// Scores keep the 32-bit results the operations define; the arithmetic wraps instead of overflowing.
std::int32_t wrapped(std::int64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }
std::int32_t plus(std::int32_t a, std::int32_t b) { return wrapped(std::int64_t{a} + b); }
std::int32_t minus(std::int32_t a, std::int32_t b) { return wrapped(std::int64_t{a} - b); }
std::int32_t times(std::int32_t a, std::int32_t factor) { return wrapped(std::int64_t{a} * factor); }

constexpr std::int32_t kPenguin = 16;
constexpr std::int64_t kLongestRollMs = INT32_MAX / 2;  // about 12 days

}  // namespace

void Pawn::addScore(std::int32_t points) {
    score = plus(score, points);
    startScoreRoll();
    playScoreSound();
}

void Pawn::addBonusScore(std::int32_t points) {
    std::int32_t rule = bonusActive ? bonusNumber : 0;
    if (previousBonus == kPenguin) {
        rule = -kPenguin;  // the penguin's after-effect, once
        previousBonus = 0;
    }
    std::int32_t gain = points;
    switch (rule) {
        case 3: gain = times(points, 2); break;
        case 4: gain = times(points, 3); break;
        case 5: gain = times(points, 4); break;
        case 8: gain = plus(points, 100); break;
        case 9: gain = plus(points, 200); break;
        case -kPenguin: gain = 5 * ((points / 2) / 5); break;
        default: break;
    }
    score = plus(score, gain);
    startScoreRoll();
    playScoreSound();
}

void Pawn::loseScore(std::int32_t points, std::int32_t alternative) {
    switch (bonusActive ? bonusNumber : 0) {
        case 1: score = plus(score, points); break;
        case 2: score = plus(score, alternative); break;
        case 6: break;
        default: score = minus(score, points); break;
    }
    if (score < 0) score = 0;
    startScoreRoll();
}

void Pawn::subtractScore(std::int32_t points) {
    score = minus(score, points);
    if (score < 0) score = 0;
    startScoreRoll();
}

void Pawn::startScoreRoll() {
    destroy<Curve>(scoreRoll);
    std::int64_t change = minus(score, rolledScore);
    // 50 ms longer for every full 25 points; computed wide, so a change of -2^31 has a duration too.
    std::int64_t duration = (std::llabs(change) / 25 + 26) * 50;
    // Clock differences are read as signed 32-bit numbers: a roll must end well before its elapsed time
    // could read as negative, which would put the counter back at its start.
    if (duration > kLongestRollMs) duration = kLongestRollMs;
    // The counter runs over the change as the 32-bit score made it, so a sum that wrapped past the top
    // still counts up (through the wrap, shown as it wraps) and never away from where it ends.
    scoreRoll = create<LinearCurve>(static_cast<double>(rolledScore), static_cast<double>(rolledScore + change),
                                    static_cast<std::int32_t>(duration));
    rolledScore = score;
}

void Pawn::playScoreSound() {
    if (!scoreSound) return;
    Sound* sound = scoreSound->sound();
    if (!sound) return;
    sound->setVolume(0.9);
    sound->play(nullptr);
}

void Pawn::drawScore(Canvas* canvas) {
    if (!scoreShown) return;
    std::int32_t phase;
    if (scoreRoll) {
        setScoreText(wrapped(static_cast<std::int64_t>(scoreRoll->value())));
        if (scoreRoll->isFinished()) {
            destroy<Curve>(scoreRoll);
            scoreRoll = nullptr;
        }
        phase = 4;
    } else {
        phase = scorePhaseOverride ? scorePhaseOverride : scorePhase;
    }
    // Without the producer's font there is nothing to draw the score with.
    if (!scoreText || !scoreText->font) return;
    scoreText->setPhase(phase);
    std::int64_t x = std::int64_t{position.x} + (150 - std::int64_t{scoreWidth}) / 2;
    scoreText->setPosition(wrapped(x), 430);
    scoreText->draw(canvas);
}
