// The game's messages to a pawn (family 0x000B) and the movements they start.
#include <cstdint>
#include <cstring>

#include "core/allocator.h"
#include "media/alpha_video.h"
#include "module/services.h"
#include "players/curves.h"
#include "players/pawn.h"

namespace {

enum PawnMessage : std::uint32_t {
    kFreeze = 1,
    kBuzz = 3,
    kHappy = 4,
    kUnhappy = 5,
    kLookLeft = 6,
    kLookRight = 7,
    kUnfreeze = 8,
    kGoingDown = 9,
    kComingUp = 10,
    kWaitHold = 11,
};

constexpr double kRisenRow = 280.0;
constexpr double kHiddenRow = 480.0;

// Requests computed from a parameter keep their 32-bit value without overflowing.
std::int32_t offsetRequest(std::int32_t parameter, std::int32_t offset) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(parameter) + static_cast<std::uint32_t>(offset));
}

}  // namespace

std::int32_t Pawn::receive(Message* message) {
    if (!message) return 1;
    const std::uint32_t kind = message->kind();
    const std::int32_t parameter = message->parameter();
    if (message->family() == kFamilyPawn && kind >= 1 && kind <= 11) {
        switch (kind) {
            case kFreeze:
                if (bonusNumber == 7 && bonusActive) {
                    setActivity(1);
                } else {
                    setActivity(parameter);
                    request = 10;
                    update();
                }
                break;
            case kBuzz:
                if (!isFrozen()) {
                    request = 1;
                    silentBuzz = parameter == 1 ? 1 : 0;
                    update();
                }
                break;
            case kHappy:
                if (!isFrozen()) request = offsetRequest(parameter, 2);
                break;
            case kUnhappy:
                if (!isFrozen()) request = offsetRequest(parameter, 5);
                break;
            case kLookLeft:
                if (!isFrozen()) request = 8;
                break;
            case kLookRight:
                if (!isFrozen()) request = 9;
                break;
            case kUnfreeze:
                if (isFrozen()) {
                    request = 11;
                    setActivity(1);
                    update();
                }
                break;
            case kGoingDown: goingDown(parameter); break;
            case kComingUp: comingUp(parameter); break;
            case kWaitHold: holdWait(parameter); break;
            default: break;
        }
    }
    deleteMessage(message);
    return 1;
}

void Pawn::goingDown(std::int32_t duration) {
    destroy<Curve>(slide);
    slide = create<LinearCurve>(static_cast<double>(position.y), kHiddenRow, duration);
    logLine(1, "Pawn::goingDown,pawn=%i,starty=%i,endy=%i,time=%i\n", playerIndex, position.y, 480, duration);
}

void Pawn::comingUp(std::int32_t duration) {
    // The pawn jumps to the hidden row at the next update and rises from there.
    destroy<Curve>(slide);
    slide = create<LinearCurve>(kHiddenRow, kRisenRow, duration);
    logLine(1, "Pawn::comingUp,pawn=%i,starty=%i,endy=%i,time=%i\n", playerIndex, 480, 280, duration);
}

void Pawn::holdWait(std::int32_t duration) {
    destroy<Curve>(waitHold);
    waitHold = create<StepCurve>(0.0, 1.0, duration);
    std::strcpy(sequenceName, "wait01");
    if (!currentVideo) return;
    currentVideo->selectSequence("wait01");
    currentVideo->setFrame(0);
    // The frame re-applied to a shared penguin: without it the penguin would show the frame of the
    // sequence played before the hold instead of the first frame of "wait01".
    resumeFrame = 0;
}
