// The module's wrapper of one host sound, and the form in which sounds are held and handed around.
#pragma once

#include <cstdint>

#include "core/abi.h"

class StreamAdapter;

// A host sound: found through the host's sound factory, preloaded from a stream, played with itself
// as the listener of the end-of-playback notice. It counts references so that a playback it started
// keeps it alive until the notice arrives; it destroys itself when the count reaches 0.
class Sound : public IListener, public IReferenceCount {
public:
    explicit Sound(ResourceInfo* source);  // count 1; whatever fails is logged and left null
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    // A new Sound from `source`, loaded from `stream` whether or not that succeeds; null without memory.
    static Sound* makeSound(ResourceInfo* source, StreamAdapter* stream);

    std::int32_t load(StreamAdapter* stream);  // nonzero when the host preloaded the data
    void unload();
    std::int32_t play(IListener* listener);    // the playing flag; a running playback is not restarted
    void stop();                               // asks the host; only the notice clears the playing flag
    std::int32_t setVolume(double volume);     // the host's result, 0 without a volume control
    // Clears the stored listener if it is `listener`, so a notice arriving later is deleted here
    // instead of reaching an object that no longer exists.
    void forgetListener(IListener* listener);

    InterfaceTable* handle() { return &interfaces; }

    // IListener: the end-of-playback notice (0x00050001); other messages are left to their sender.
    std::int32_t receive(Message* message) override;
    // IReferenceCount
    void addRef() override;
    void releaseRef() override;

    InterfaceTable interfaces;  // "IListener", "IReferenceCount"
    ResourceInfo info;          // copy of the record the Sound was made from
    ISoundFactory* soundFactory = nullptr;
    ISound* hostSound = nullptr;
    IPreloadSound* preloader = nullptr;
    ISoundVolume* volumeControl = nullptr;
    ISoundPanorama* panorama = nullptr;    // kept, never called
    ISoundFrequency* frequency = nullptr;  // kept, never called
    ISoundQueue* queue = nullptr;          // kept, never called
    IListener* listener = nullptr;         // who gets the notice passed on; set by every play
    std::int32_t loaded = 0;
    std::int32_t playing = 0;
    std::int32_t references = 1;
    InterfaceTable* soundHandle = nullptr;  // the host sound as the factory returned it

private:
    ~Sound();  // run only by releaseRef
};

// A default record: type "none", words 1 to 8 zero.
ResourceInfo defaultResourceInfo();

// A Sound tied to an archive entry. Hosts share these (the producer's "scoresnd"), so the object is
// destroyed through its one explicit slot, not a C++ virtual destructor.
class SoundResource {
public:
    // Copies the entry's record and preloads a Sound from a stream over the entry. Without a record
    // (the entry's owner has no archive) it keeps the default record and has no Sound.
    explicit SoundResource(ResourceEntry* entry);
    SoundResource(const SoundResource&) = delete;
    SoundResource& operator=(const SoundResource&) = delete;

    virtual void* deletingDestructor(unsigned flags);  // releases the Sound; frees the object when flags & 1; this

    Sound* sound() { return heldSound; }

    ResourceInfo info;
    Sound* heldSound = nullptr;  // holds the Sound's initial reference; null when there is none

protected:
    ~SoundResource();
};

// Destroys and frees a SoundResource made with create<SoundResource>; nothing for null.
inline void destroySoundResource(SoundResource* resource) {
    if (resource) resource->deletingDestructor(1);
}
