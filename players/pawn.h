// One player's character: an alpha-video figure that rises into view, buzzes, waits, reacts to
// answers, freezes, holds bonuses or the penguin, and shows its score beneath it.
#pragma once

#include "core/abi.h"
#include "players/random_picker.h"

class Curve;
class LinearCurve;
class StepCurve;
class EaseCurve;

struct Sequence;

class Pawn : public IKTPlayer, public IVisible {
public:
    Pawn(ResourceDir* resourceRoot, const char* archiveName, const char* buzzPath, Point at, std::int32_t playerIndex);
    ~Pawn();
    Pawn(const Pawn&) = delete;
    Pawn& operator=(const Pawn&) = delete;

    InterfaceTable* handle() { return &interfaces; }
    static Pawn* fromHandle(InterfaceTable* handle);  // null for null or a table without "IKTPlayer"

    // IKTPlayer
    std::int32_t receive(Message* message) override;
    void drawScore(Canvas* canvas) override;
    void addScore(std::int32_t points) override;
    void addBonusScore(std::int32_t points) override;
    void loseScore(std::int32_t points, std::int32_t alternative) override;
    void subtractScore(std::int32_t points) override;
    std::int32_t getScore() override { return score; }
    std::int32_t getStreak() override { return streak; }
    std::int32_t getPlayerIndex() override { return playerIndex; }
    void setPlayerIndex(std::int32_t index) override { playerIndex = index; }
    void countAnswer(std::int32_t outcome) override;
    void update() override;
    void setHidden(std::int32_t flag) override { hidden = flag; }
    std::int32_t isHidden() override { return hidden; }  // both the player's and the visible's
    std::int32_t isFrozen() override;
    void showScore(std::int32_t flag) override { scoreShown = flag; }
    std::int32_t thaw() override;
    std::int32_t getActivity() override { return activity; }
    void setActivity(std::int32_t level) override;
    void setScorePhase(std::int32_t phase) override { scorePhaseOverride = phase; }
    std::int32_t getTag() override { return tag; }
    void setTag(std::int32_t value) override { tag = value; }
    std::int32_t getBonusState() override;
    void setBonus(std::int32_t number) override;
    KTAlphaVideo* getVideo() override { return currentVideo; }

    // IVisible
    void draw(Canvas* canvas) override;
    Rect* bounds(Rect* result) override {
        *result = Rect();
        return result;
    }
    void setPosition(std::int32_t x, std::int32_t y) override { position = Point(x, y); }

    InterfaceTable interfaces;
    std::int32_t score = 0;
    std::int32_t streak = 0;
    std::int32_t playerIndex = 0;
    std::int32_t activity = 1;
    std::int32_t tag = 0;
    std::int32_t bonusNumber = 0;
    KTAlphaVideo* currentVideo = nullptr;
    KTAlphaVideo* ownVideo = nullptr;
    BonusPicture* bonusPicture = nullptr;
    IKTProducer* producer = nullptr;
    StepCurve* reactionHold = nullptr;
    StepCurve* waitHold = nullptr;
    EaseCurve* bonusBlink = nullptr;
    StepCurve* framePace = nullptr;
    LinearCurve* slide = nullptr;
    LinearCurve* scoreRoll = nullptr;
    std::int32_t request = 0;
    std::int32_t scoreShown = 0;
    std::int32_t scoreWidth = 0;
    std::int32_t rolledScore = 0;
    std::int32_t scorePhaseOverride = 0;
    std::int32_t silentBuzz = 0;
    std::int32_t bonusActive = 0;
    std::int32_t previousBonus = 0;
    std::int32_t resumeFrame = 0;
    std::int32_t scorePhase = 0;
    char sequenceName[64] = {};
    SoundResource* buzzSound = nullptr;
    SoundResource* scoreSound = nullptr;
    TextDisplay* scoreText = nullptr;
    Point position;
    RandomPicker picker;
    char scoreString[16] = {};
    std::int32_t hidden = 0;

private:
    // The buzz sound's end-of-playback notice comes back to the pawn's receive through this part.
    struct SoundListener : IListener {
        Pawn* pawn = nullptr;
        std::int32_t receive(Message* message) override;
    } soundListener_;

    void setScoreText(std::int32_t value);
    void startScoreRoll();
    void playScoreSound();
    void readScoreFontPhase(ResourceDir* resourceRoot);

    void serveRequest();
    void stepFrame();
    void startIdleSequence();
    void selectNamed(const char* name, std::int32_t firstFrame);
    void selectNumbered(const char* pattern, std::int32_t number, std::int32_t firstFrame);

    void goingDown(std::int32_t duration);
    void comingUp(std::int32_t duration);
    void holdWait(std::int32_t duration);

    void drawBonusPicture(Canvas* canvas);

    // The penguin is one video for every pawn that holds it. Each pawn remembers what it left on it
    // (sequence and frame); one whose turn comes after another pawn's puts its own back first, and a
    // pawn alone finds the penguin as it left it, its own draw's "freeze" pose included.
    void reclaimSharedFigure();
    void rememberSharedFigure();
    Sequence* sharedSequence_ = nullptr;  // a node of the penguin's list, or null before its first use
    std::int32_t sharedFrame_ = 0;
    static const Pawn* sharedFigureUser_;  // the pawn that touched the shared figure last
    void endBonus();
    void showWaitSequence();
};
