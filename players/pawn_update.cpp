// The pawn's per-frame update: the slide, the holds, serving reaction requests, pacing the frames of
// the running sequence and, when nothing is asked of it, idle animations of its own.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/allocator.h"
#include "media/alpha_video.h"
#include "media/sound.h"
#include "players/curves.h"
#include "players/pawn.h"

namespace {

constexpr std::int32_t kFramePaceMs = 83;
constexpr std::int32_t kReactionHoldMs = 800;
constexpr std::int32_t kPenguin = 16;
constexpr std::int32_t kBuzzKey = 0;
constexpr std::int32_t kWaitKey = 1;

const char* const kReactionNames[] = {"hppy01", "hppy02", "hppy03", "uhppy01", "uhppy02", "uhppy03"};

}  // namespace

void Pawn::update() {
    if (slide) {
        position.y = static_cast<std::int32_t>(slide->value());
        // A slide of no time has arrived with its first value; left running while the clock stands
        // still, it would pull the pawn back to its end row on every update.
        if (slide->isFinished() || slide->duration <= 0) {
            destroy<Curve>(slide);
            slide = nullptr;
        }
    }
    if (!currentVideo) return;

    reclaimSharedFigure();
    struct LeaveShared {
        Pawn& pawn;
        ~LeaveShared() { pawn.rememberSharedFigure(); }
    } leave{*this};

    if (reactionHold) {
        // Any waiting request ends the hold early, even one that will not be served.
        if (reactionHold->value() == 0.0 && request == 0) return;
        currentVideo->setFrame(1);
        destroy<Curve>(reactionHold);
        reactionHold = nullptr;
    }

    if (waitHold) {
        if (waitHold->value() == 0.0) return;
        destroy<Curve>(waitHold);
        waitHold = nullptr;
    }

    // A buzz is served at once, mid-animation; other reactions wait for the sequence to come round.
    if (request == 1 || (request > 1 && currentVideo->currentFrame() == 0)) {
        serveRequest();
        return;
    }
    if (currentVideo->currentFrame() != 0)
        stepFrame();
    else
        startIdleSequence();
}

void Pawn::stepFrame() {
    if (!framePace || !(framePace->value() > 0.0)) return;
    std::int32_t length = currentVideo->sequenceLength();
    // A sequence without frames rests at frame 0 instead of dividing by its length.
    std::int32_t next = length > 0 ? (currentVideo->currentFrame() + 1) % length : 0;
    currentVideo->setFrame(next);
    resumeFrame = currentVideo->currentFrame();
    destroy<Curve>(framePace);
    framePace = create<StepCurve>(0.0, 1.0, kFramePaceMs);
}

void Pawn::startIdleSequence() {
    if (std::rand() % 35 != 0) return;
    if (reactionHold) return;
    if (getActivity() <= 0) return;
    if (bonusNumber == kPenguin) {
        selectNumbered("wait%2.2i", picker.pick(kWaitKey, 3) + 1, 1);
    } else {
        int look = std::rand() % 25;
        if (look == 1)
            selectNamed("l_left", 1);
        else if (look == 2)
            selectNamed("l_rght", 1);
        else
            selectNumbered("wait%2.2i", picker.pick(kWaitKey, 7) + 1, 1);
    }
    resumeFrame = currentVideo->currentFrame();
}

void Pawn::serveRequest() {
    const bool penguin = bonusNumber == kPenguin;
    switch (request) {
        case 1:
            // The sound starts with the sequence selected and before its first frame is shown.
            std::snprintf(sequenceName, sizeof sequenceName, "buzz%2.2i", static_cast<int>(picker.pick(kBuzzKey, 3) + 1));
            currentVideo->selectSequence(sequenceName);
            if (buzzSound && !silentBuzz) {
                if (Sound* sound = buzzSound->sound()) {
                    sound->stop();
                    sound->play(&soundListener_);
                }
            }
            currentVideo->setFrame(1);
            break;
        case 2: case 3: case 4: case 5: case 6: case 7:
            if (penguin) break;
            destroy<Curve>(reactionHold);
            reactionHold = create<StepCurve>(0.0, 1.0, kReactionHoldMs);
            selectNamed(kReactionNames[request - 2], 0);
            break;
        case 8:
        case 9:
            if (penguin) break;
            selectNamed(request == 8 ? "l_left" : "l_rght", 1);
            break;
        case 10:
            selectNamed("freeze", 0);
            break;
        case 11:
            selectNumbered("wait%2.2i", picker.pick(kWaitKey, penguin ? 3 : 7) + 1, 1);
            break;
        default:
            break;
    }
    resumeFrame = currentVideo->currentFrame();
    request = 0;
}

// Selection always goes by sequenceName once written; a sequence the video lacks keeps the previous
// one, to which the first frame then applies.
void Pawn::selectNamed(const char* name, std::int32_t firstFrame) {
    std::snprintf(sequenceName, sizeof sequenceName, "%s", name);
    currentVideo->selectSequence(sequenceName);
    currentVideo->setFrame(firstFrame);
}

void Pawn::selectNumbered(const char* pattern, std::int32_t number, std::int32_t firstFrame) {
    std::snprintf(sequenceName, sizeof sequenceName, pattern, static_cast<int>(number));
    currentVideo->selectSequence(sequenceName);
    currentVideo->setFrame(firstFrame);
}
