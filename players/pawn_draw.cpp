// How a pawn draws itself, and the bonuses that change its look: the blinking bonus picture and the
// penguin that takes the figure's place.
#include <cstdio>
#include <cstring>

#include "core/allocator.h"
#include "media/alpha_video.h"
#include "players/curves.h"
#include "players/pawn.h"

namespace {

constexpr std::int32_t kPenguin = 16;
constexpr std::int32_t kBlinkHalfMs = 600;
constexpr std::int32_t kBonusRow = 440;
constexpr std::int32_t kBonusOffsetX = 95;

bool isBonusPicture(std::int32_t number) { return number >= 1 && number <= 10; }

}  // namespace

void Pawn::draw(Canvas* canvas) {
    if (hidden) return;
    if (currentVideo) {
        // The penguin is shared by every pawn that holds it: show this pawn's own sequence and frame.
        if (currentVideo != ownVideo) {
            if (getActivity() < 1) {
                currentVideo->selectSequence("freeze");
                currentVideo->setFrame(0);
            } else {
                currentVideo->selectSequence(sequenceName);
                currentVideo->setFrame(resumeFrame);
            }
        }
        rememberSharedFigure();
        IVisible* figure = currentVideo->visible();
        figure->setPosition(position.x, position.y);
        figure->draw(canvas);
    }
    drawScore(canvas);
    if (bonusNumber == 0 || bonusNumber == kPenguin || !bonusPicture) return;
    drawBonusPicture(canvas);
}

void Pawn::drawBonusPicture(Canvas* canvas) {
    // A pawn placed at the far right edge of the coordinate range wraps rather than overflows.
    const auto x = static_cast<std::int32_t>(static_cast<std::uint32_t>(position.x) + kBonusOffsetX);
    bonusPicture->setPosition(x, kBonusRow);
    if (!bonusActive || !bonusBlink) {
        bonusPicture->draw(canvas);
        return;
    }
    // Pictures are shared: leave each at full opacity for the next pawn that draws it.
    bonusPicture->blend.setOpacity(bonusBlink->value());
    bonusPicture->draw(canvas);
    bonusPicture->blend.setOpacity(1.0);
    if (!bonusBlink->isFinished()) return;
    const bool endedOpaque = bonusBlink->value() > 0.8;
    destroy<Curve>(bonusBlink);
    bonusBlink = endedOpaque ? create<EaseCurve>(1.0, 0.0, kBlinkHalfMs) : create<EaseCurve>(0.0, 1.0, kBlinkHalfMs);
}

void Pawn::setBonus(std::int32_t number) {
    if (number == -2) {
        if (bonusActive) endBonus();
        return;
    }
    if (number == 0) {
        endBonus();
        return;
    }
    if (number == -1) {
        if (bonusNumber == kPenguin) return;
        if (bonusNumber == 10) {
            bonusNumber = 0;
            bonusActive = 0;
            previousBonus = 10;
            return;
        }
        bonusActive = 1;
        destroy<Curve>(bonusBlink);
        bonusBlink = create<EaseCurve>(1.0, 0.0, kBlinkHalfMs);
        return;
    }
    if (number == bonusNumber) return;
    if (!isBonusPicture(number) && number != kPenguin) return;
    // Bonus pictures and the penguin come from the producer; without one they are refused.
    if (!producer) return;
    bonusNumber = number;
    currentVideo = ownVideo;
    if (number == kPenguin) {
        currentVideo = static_cast<KTAlphaVideo*>(producer->getObject("pingouin"));
        if (currentVideo) showWaitSequence();
        return;
    }
    char name[16];
    std::snprintf(name, sizeof name, "bonus%2.2i", static_cast<int>(number));
    bonusPicture = static_cast<BonusPicture*>(producer->getObject(name));
    if (bonusPicture) bonusPicture->blend.setOpacity(1.0);
}

void Pawn::endBonus() {
    previousBonus = bonusNumber;
    bonusNumber = 0;
    bonusActive = 0;
    currentVideo = ownVideo;
    if (ownVideo) showWaitSequence();
}

void Pawn::showWaitSequence() {
    std::strcpy(sequenceName, "wait01");
    currentVideo->selectSequence(sequenceName);
    currentVideo->setFrame(0);
    resumeFrame = 0;
    rememberSharedFigure();
}

const Pawn* Pawn::sharedFigureUser_ = nullptr;

void Pawn::reclaimSharedFigure() {
    if (currentVideo == ownVideo || sharedFigureUser_ == this) return;
    if (sharedSequence_) {
        currentVideo->selectSequence(sharedSequence_->name);
        currentVideo->setFrame(sharedFrame_);
    } else {
        currentVideo->selectSequence(sequenceName);
        currentVideo->setFrame(resumeFrame);
    }
    sharedFigureUser_ = this;
}

void Pawn::rememberSharedFigure() {
    if (!currentVideo || currentVideo == ownVideo) return;
    sharedSequence_ = currentVideo->current;
    sharedFrame_ = currentVideo->currentFrame();
    sharedFigureUser_ = this;
}
