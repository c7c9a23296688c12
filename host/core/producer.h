// The game's producer as the reference host plays it: the object registered as "producer" with
// "IKTProducer", from which every pawn takes the media the pawns share: the score sound, the score
// font, the penguin and the ten bonus pictures.
//
// Each object is made on its first request (so the host's sound and video factories need only be
// registered by the time the first pawn asks), kept, and handed out again on every later request. The
// producer owns them all and destroys them with itself; destroy it before the sound and video
// factories and the archives it read them from, and pump the host's events afterwards so that a score
// sound still playing can deliver its end notice and go.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/abi.h"
#include "host/core/host_engine.h"
#include "host/core/producer_picture.h"

namespace hostengine {

class Producer : public HostObject, public IKTProducer {
public:
    // `mediaRoot` holds "scoresnd.wav", the "pingouin" archive and "bonus01.avi" .. "bonus10.avi",
    // any of which may be missing; `font` is the score font (null: "allalpha" is null too). Both are
    // borrowed and must outlive the producer.
    Producer(HostEngine& host, ResourceDir* mediaRoot, Font* font);
    ~Producer() override;

    // IKTProducer
    void unusedSlot0() override {}
    void unusedSlot1() override {}
    // "scoresnd", "allalpha", "pingouin", "bonus01" .. "bonus10", in any letter case; null otherwise.
    void* getObject(const char* name) override;

    // The objects getObject hands out, made on first use like there.
    SoundResource* scoreSound();            // null when the media root has no "scoresnd.wav"
    TextDisplay* fontSource();              // carries the score font; null without one
    KTAlphaVideo* penguin();                // null when the media root has no "pingouin" archive
    ProducerPicture* bonusPicture(std::int32_t number);  // 1..10 (never null there), else null

    // Why the last bonus picture that fell back to a badge could not be read from its video ("" when
    // its file is simply missing).
    const std::string& pictureError() const { return pictureError_; }

private:
    HostEngine& host_;
    ResourceDir* mediaRoot_;
    Font* font_;

    bool scoreSoundMade_ = false;
    SoundResource* scoreSound_ = nullptr;
    bool fontSourceMade_ = false;
    TextDisplay* fontSource_ = nullptr;
    bool penguinMade_ = false;
    KTAlphaVideo* penguin_ = nullptr;
    std::array<std::unique_ptr<ProducerPicture>, 10> pictures_;
    std::string pictureError_;

    ProducerPicture* makeBonusPicture(std::int32_t number);
    ResourceEntry* mediaFile(const std::string& name);  // an entry of the media root's own listing
};

}  // namespace hostengine
