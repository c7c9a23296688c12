#include "media/sound.h"

#include "core/allocator.h"
#include "module/services.h"
#include "resources/resource_dir.h"
#include "resources/stream_adapter.h"

ResourceInfo defaultResourceInfo() {
    ResourceInfo info{};
    TypeRegistry* types = services().typeRegistry;
    info.words[0] = types ? types->typeIdOf("none") : 0;
    return info;
}

Sound::Sound(ResourceInfo* source) : info(defaultResourceInfo()) {
    interfaces.add("IListener", entryValueOf<IListener>(this));
    interfaces.add("IReferenceCount", entryValueOf<IReferenceCount>(this));
    if (source) info = *source;

    // These three lines end without a line break, as they always have.
    soundFactory = hostInterface<ISoundFactory>(nullptr, "ISoundFactory");
    if (!soundFactory) {
        logLine(3, "Sound: No SoundFactory found.");
        return;
    }
    soundHandle = soundFactory->create(source);
    if (!soundHandle) {
        logLine(3, "Sound: SoundFactory is unable to create sound.");
        return;
    }
    hostSound = soundHandle->find<ISound>("ISound");
    if (!hostSound) {
        logLine(3, "Sound: Sound has no ISound.");
        return;
    }
    preloader = soundHandle->find<IPreloadSound>("IPreloadSound");
    volumeControl = soundHandle->find<ISoundVolume>("ISoundVolume");
    panorama = soundHandle->find<ISoundPanorama>("ISoundPanorama");
    frequency = soundHandle->find<ISoundFrequency>("ISoundFrequency");
    queue = soundHandle->find<ISoundQueue>("ISoundQueue");
}

Sound::~Sound() {
    if (playing) stop();
    if (loaded) unload();
    if (soundFactory) soundFactory->destroy(soundHandle);
    interfaces.teardown();
}

Sound* Sound::makeSound(ResourceInfo* source, StreamAdapter* stream) {
    Sound* sound = create<Sound>(source);
    if (sound) sound->load(stream);
    return sound;
}

std::int32_t Sound::load(StreamAdapter* stream) {
    if (playing) stop();
    unload();
    // Without a stream there is nothing to preload; the host would have nothing to read from.
    if (!preloader || !stream) return 0;
    const std::int32_t result = preloader->preload(stream);
    if (result) loaded = 1;
    return result;
}

void Sound::unload() {
    if (preloader && loaded) {
        if (playing) stop();
        preloader->unload();
    }
    loaded = 0;
}

std::int32_t Sound::play(IListener* newListener) {
    listener = newListener;
    if (playing) return 0;
    if (preloader && loaded) {
        addRef();  // the playback's own reference, dropped by the end-of-playback notice
        playing = preloader->play(this, this);
        if (!playing) {
            logLine(3, "sound won't play!\n");
            // No notice will come for a playback that never started: give its reference back. The
            // holder's reference remains, so the count cannot reach 0 here.
            --references;
        }
    }
    return playing;
}

void Sound::stop() {
    if (playing && hostSound) hostSound->stop();
}

std::int32_t Sound::setVolume(double volume) { return volumeControl ? volumeControl->setVolume(volume) : 0; }

void Sound::forgetListener(IListener* former) {
    if (listener == former) listener = nullptr;
}

std::int32_t Sound::receive(Message* message) {
    if (!message || message->code != kSoundEnded) return 1;
    if (!playing) {
        logLine(1, "||||||||| duplicate stop message!\n");
        deleteMessage(message);
        return 1;
    }
    playing = 0;
    message->word3 = reinterpret_cast<std::intptr_t>(static_cast<IListener*>(this));
    if (listener) listener->receive(message);
    else deleteMessage(message);
    releaseRef();  // may destroy this Sound: nothing of it is touched afterwards
    return 1;
}

void Sound::addRef() { ++references; }

void Sound::releaseRef() {
    if (playing) stop();
    if (--references == 0) {
        this->~Sound();
        freeBytes(this);
    }
}

SoundResource::SoundResource(ResourceEntry* entry) : info(defaultResourceInfo()) {
    ResourceDir* owner = entry ? entry->owner : nullptr;
    ResourceInfo* record = owner ? owner->infoOf(entry) : nullptr;
    // An entry whose owner has no archive has no record: keep the default and make no Sound.
    if (!record) return;
    info = *record;
    StreamAdapter* stream = owner->openStream(entry, record);
    heldSound = Sound::makeSound(record, stream);
    owner->closeStream(stream);
}

SoundResource::~SoundResource() {
    if (heldSound) heldSound->releaseRef();
    heldSound = nullptr;
}

void* SoundResource::deletingDestructor(unsigned flags) {
    this->~SoundResource();
    if (flags & 1) freeBytes(this);
    return this;
}
