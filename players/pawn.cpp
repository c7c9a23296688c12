// A pawn's construction, teardown and its small player operations.
#include "players/pawn.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/allocator.h"
#include "core/decimal.h"
#include "media/alpha_video.h"
#include "media/sound.h"
#include "media/text_display.h"
#include "media/text_effect.h"
#include "module/services.h"
#include "players/curves.h"
#include "resources/resource_dir.h"

Pawn::Pawn(ResourceDir* resourceRoot, const char* archiveName, const char* buzzPath, Point at, std::int32_t index) {
    soundListener_.pawn = this;
    interfaces.add("IKTPlayer", entryValueOf<IKTPlayer>(this));
    interfaces.add("IVisible", entryValueOf<IVisible>(this));

    producer = hostInterface<IKTProducer>(nullptr, "IKTProducer");
    if (!producer) logLine(3, "Pawn::Pawn no IKTProducer found, playing without shared media!\n");

    // The memory comes first, as the buzz sound is optional: without it nothing is even looked up.
    if (void* memory = allocateBytes(sizeof(SoundResource))) {
        ResourceEntry* entry = resourceRoot ? resourceRoot->find(buzzPath) : nullptr;
        if (entry)
            buzzSound = new (memory) SoundResource(entry);
        else
            freeBytes(memory);
    }
    if (producer) scoreSound = static_cast<SoundResource*>(producer->getObject("scoresnd"));

    ResourceEntry* archive = resourceRoot ? resourceRoot->findEntry(nullptr, archiveName, nullptr) : nullptr;
    if (archive) {
        ownVideo = create<KTAlphaVideo>(archive);
        if (ownVideo) {
            ownVideo->visible()->setPosition(at.x, at.y);
            ownVideo->selectSequence("wait01");
            ownVideo->setFrame(0);
        }
        position = at;
    } else {
        logLine(1, "Pawn::Pawn archive '%s' not found!\n", archiveName ? archiveName : "");
    }

    currentVideo = ownVideo;
    setActivity(1);

    Font* font = nullptr;
    if (producer) {
        auto* fontSource = static_cast<TextDisplay*>(producer->getObject("allalpha"));
        if (fontSource) font = fontSource->font;
    }
    scoreText = create<TextDisplay>(0, 0, font, "0");
    TextEffect* effect = makeTextEffect(kTextEffectCode, "TextShapeFX::zandrel");
    if (scoreText) {
        static_cast<ITouchable*>(scoreText)->attach(effect);
    } else if (effect) {
        effect->deletingDestructor(1);
    }

    setScoreText(score);
    setPlayerIndex(index);
    framePace = create<StepCurve>(0.0, 1.0, 83);
    readScoreFontPhase(resourceRoot);
}

void Pawn::readScoreFontPhase(ResourceDir* resourceRoot) {
    ResourceEntry* entry = resourceRoot ? resourceRoot->findEntry(nullptr, "scorefontphase", "text") : nullptr;
    if (!entry) return;
    char buffer[16] = {};
    resourceRoot->read(entry, buffer, sizeof buffer - 1);
    scorePhase = decimalValue(buffer);
}

Pawn::~Pawn() {
    if (ownVideo) ownVideo->deletingDestructor(1);
    destroy<Curve>(reactionHold);
    destroy<Curve>(framePace);
    destroy<Curve>(slide);
    destroy<Curve>(waitHold);
    destroy<Curve>(bonusBlink);
    destroy<Curve>(scoreRoll);
    destroy(scoreText);
    if (buzzSound) {
        // A buzz still sounding outlives the pawn; its end notice must not come back here.
        if (Sound* sound = buzzSound->sound()) sound->forgetListener(&soundListener_);
        buzzSound->deletingDestructor(1);
    }
    picker.release();
    interfaces.teardown();
    // A pawn made later at this address must not pass for the penguin's last user.
    if (sharedFigureUser_ == this) sharedFigureUser_ = nullptr;
}

Pawn* Pawn::fromHandle(InterfaceTable* handle) {
    if (!handle) return nullptr;
    return static_cast<Pawn*>(handle->find<IKTPlayer>("IKTPlayer"));
}

std::int32_t Pawn::SoundListener::receive(Message* message) { return pawn->receive(message); }

void Pawn::setScoreText(std::int32_t value) {
    std::snprintf(scoreString, sizeof scoreString, "%i", static_cast<int>(value));
    if (scoreText) {
        scoreText->setText(scoreString);
        scoreWidth = boundsOf(scoreText->visible()).width;
    }
    scorePhaseOverride = 0;
}

std::int32_t Pawn::isFrozen() { return getActivity() < 1 ? 1 : 0; }

std::int32_t Pawn::thaw() {
    activity = activity < 1 ? activity + 1 : 1;
    return activity;
}

void Pawn::setActivity(std::int32_t level) { activity = (bonusNumber == 7 && bonusActive) ? 1 : level; }

std::int32_t Pawn::getBonusState() { return (bonusActive ? 1 << 8 : 0) + bonusNumber; }

void Pawn::countAnswer(std::int32_t outcome) {
    if (outcome < 0)
        streak = 0;
    else if (outcome == 0)
        streak = streak > 0 ? -1 : (streak == INT32_MIN ? streak : streak - 1);
    else
        streak = streak < 0 ? 1 : (streak == INT32_MAX ? streak : streak + 1);
}
