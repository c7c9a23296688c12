#include "host/core/producer.h"

#include <cstdio>
#include <cstring>

#include "core/allocator.h"
#include "core/names.h"
#include "media/alpha_video.h"
#include "media/sound.h"
#include "media/text_display.h"
#include "resources/resource_dir.h"

namespace hostengine {
namespace {

// "bonus01" .. "bonus10" as the pawns format them ("bonus%2.2i"); 0 for any other name.
std::int32_t bonusNumberOf(const char* name) {
    if (!startsWithName(name, "bonus") || std::strlen(name) != 7) return 0;
    const char tens = name[5], ones = name[6];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return 0;
    const std::int32_t number = (tens - '0') * 10 + (ones - '0');
    return number >= 1 && number <= 10 ? number : 0;
}

}  // namespace

Producer::Producer(HostEngine& host, ResourceDir* mediaRoot, Font* font)
    : HostObject("producer"), host_(host), mediaRoot_(mediaRoot), font_(font) {
    interfaces.add("IKTProducer", entryValueOf<IKTProducer>(this));
}

Producer::~Producer() {
    // Pawns that still hold these are the game's mistake; the objects go with their owner regardless.
    destroySoundResource(scoreSound_);
    destroyAlphaVideo(penguin_);
    destroy<TextDisplay>(fontSource_);
}

void* Producer::getObject(const char* name) {
    if (!name) return nullptr;
    // The caller is the module: nothing may be thrown back into it.
    try {
        if (sameName(name, "scoresnd")) return scoreSound();
        if (sameName(name, "allalpha")) return fontSource();
        if (sameName(name, "pingouin")) return penguin();
        if (std::int32_t number = bonusNumberOf(name)) return static_cast<BonusPicture*>(bonusPicture(number));
    } catch (const std::exception&) {
        return nullptr;
    }
    return nullptr;
}

SoundResource* Producer::scoreSound() {
    if (scoreSoundMade_) return scoreSound_;
    scoreSoundMade_ = true;
    ResourceEntry* entry = mediaRoot_ ? mediaRoot_->find("scoresnd.wav/*") : nullptr;
    if (entry) scoreSound_ = create<SoundResource>(entry);
    return scoreSound_;
}

TextDisplay* Producer::fontSource() {
    if (fontSourceMade_) return fontSource_;
    fontSourceMade_ = true;
    if (font_) fontSource_ = create<TextDisplay>(0, 0, font_, "");
    return fontSource_;
}

KTAlphaVideo* Producer::penguin() {
    if (penguinMade_) return penguin_;
    penguinMade_ = true;
    ResourceEntry* archive = mediaRoot_ ? mediaRoot_->findEntry(nullptr, "pingouin", nullptr) : nullptr;
    if (archive) penguin_ = create<KTAlphaVideo>(archive);
    return penguin_;
}

ProducerPicture* Producer::bonusPicture(std::int32_t number) {
    if (number < 1 || number > 10) return nullptr;
    std::unique_ptr<ProducerPicture>& slot = pictures_[static_cast<std::size_t>(number - 1)];
    if (!slot) makeBonusPicture(number);
    return slot.get();
}

ProducerPicture* Producer::makeBonusPicture(std::int32_t number) {
    std::unique_ptr<ProducerPicture>& slot = pictures_[static_cast<std::size_t>(number - 1)];
    char fileName[16];
    std::snprintf(fileName, sizeof fileName, "bonus%2.2i.avi", static_cast<int>(number));
    if (ResourceEntry* file = mediaFile(fileName)) {
        const char* scheme = file->locator ? std::strstr(file->locator, "://") : nullptr;
        IVideoFactory* videos = interfaceFrom<IVideoFactory>(host_.findInterface("avifile", "IVideoFactory"));
        std::string error = "no video factory \"avifile\"";
        if (scheme && videos) slot = ProducerPicture::fromVideo(videos, scheme + 3, error);
        if (!slot) pictureError_ = error;
    }
    // A picture the game cannot show would leave the player's bonus invisible: a badge stands in.
    if (!slot) slot = ProducerPicture::badge(number);
    return slot.get();
}

ResourceEntry* Producer::mediaFile(const std::string& name) {
    if (!mediaRoot_) return nullptr;
    for (ResourceEntry* entry = mediaRoot_->nextEntry(nullptr); entry; entry = mediaRoot_->nextEntry(entry))
        if (sameName(entry->name, name.c_str())) return entry;
    return nullptr;
}

}  // namespace hostengine
