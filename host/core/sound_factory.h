// The host's sounds: a factory registered with "ISoundFactory" that makes sound objects, which
// preload PCM WAV data through the module's stream, "play" on the host clock and report the end of
// each playback to their listener from pumpEvents. Nothing is sent to a sound card: every playback is
// recorded, and mixTo renders the record as 44.1 kHz stereo for whoever produces audio or video.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/abi.h"
#include "host/core/host_engine.h"

namespace hostengine {

// Decoded PCM, 16-bit interleaved whatever the file held.
struct DecodedSound {
    std::int32_t rate = 0;        // frames per second
    std::int32_t channels = 0;    // 1 or 2
    std::int32_t sourceBits = 0;  // 8 or 16, as stored in the file
    std::vector<std::int16_t> samples;

    std::int64_t frames() const { return channels ? static_cast<std::int64_t>(samples.size()) / channels : 0; }
};

// A RIFF WAVE file in memory: PCM (also as WAVE_FORMAT_EXTENSIBLE) with 8 or 16 bits, 1 or 2 channels,
// any positive rate and at least one frame. A data chunk cut short by the end of the file keeps its
// whole frames; anything else that does not fit the buffer makes the file malformed. Null (and
// `error` set) when the file is refused; never reads outside [data, data + size).
std::shared_ptr<const DecodedSound> decodeWav(const std::uint8_t* data, std::size_t size, std::string* error = nullptr);

// WAV files larger than this are refused rather than read into memory.
constexpr std::size_t kMaxSoundBytes = 256u << 20;

// One playback as it happened (or is happening).
struct Playback {
    std::int32_t soundId = 0;
    std::string name;              // the sound's name when it started
    std::uint32_t startMs = 0;     // host clock at play
    std::uint32_t endMs = 0;       // start + duration, or the clock at stop / destroy
    bool ended = false;            // false while still playing
    bool stopped = false;          // ended early by stop, unload or destroy
    bool notified = false;         // the end-of-playback notice was delivered
    double volume = 1.0;
    double panorama = 0.0;         // -1 left .. 1 right
    double frequency = 1.0;        // playback speed factor
    std::shared_ptr<const DecodedSound> sound;
};

class SoundFactory;

class HostSound : public ISound, public IPreloadSound, public ISoundVolume, public ISoundPanorama, public ISoundFrequency, public ISoundQueue {
public:
    HostSound(SoundFactory& factory, std::int32_t id);
    ~HostSound();
    HostSound(const HostSound&) = delete;
    HostSound& operator=(const HostSound&) = delete;

    // ISound
    std::int32_t isPlaying() override;    // 1 while audible: started, not stopped, duration not over
    std::int32_t durationMs() override;   // of the loaded data at the current frequency; 0 without data
    void stop() override;                 // the notice follows at the next pumpEvents
    // IPreloadSound
    std::int32_t preload(StreamAdapterParts* stream) override;  // reads the whole WAV through "IRead"
    void unload() override;
    // 1 when started; 0 without data or while a playback is still awaiting its notice.
    std::int32_t play(IListener* listener, IReferenceCount* referenceCount) override;
    // ISoundVolume, ISoundPanorama, ISoundFrequency: stored for the mix; 0 for values that mean nothing.
    std::int32_t setVolume(double volume) override;
    std::int32_t setPanorama(double pan) override;
    std::int32_t setFrequency(double factor) override;
    // ISoundQueue: queued follow-ups are not supported; always 0.
    std::int32_t queue(InterfaceTable* sound) override;

    InterfaceTable* handle() { return &interfaces; }
    std::int32_t id() const { return id_; }
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    const std::shared_ptr<const DecodedSound>& data() const { return data_; }
    double volume() const { return volume_; }

    InterfaceTable interfaces;  // "ISound", "IPreloadSound", "ISoundVolume", "ISoundPanorama", "ISoundFrequency", "ISoundQueue"

private:
    friend class SoundFactory;
    std::uint32_t playLength() const;  // milliseconds, rounded up so that any data lasts at least 1 ms
    void endPlayback(std::uint32_t atMs, bool stoppedEarly);

    SoundFactory& factory_;
    std::int32_t id_;
    std::string name_;
    std::shared_ptr<const DecodedSound> data_;
    double volume_ = 1.0;
    double panorama_ = 0.0;
    double frequency_ = 1.0;

    // The running playback, from play until its notice.
    bool playing_ = false;
    bool stopRequested_ = false;
    std::uint32_t startMs_ = 0;
    std::uint32_t lengthMs_ = 0;
    std::uint64_t startTicket_ = 0;  // poll passes begun before the playback started
    std::uint64_t stopTicket_ = 0;   // and before it was stopped
    IListener* listener_ = nullptr;
    IReferenceCount* referenceCount_ = nullptr;  // the module counts its own playback reference
    std::int64_t logIndex_ = -1;
};

class SoundFactory : public HostObject, public ISoundFactory {
public:
    static constexpr std::int32_t kMixRate = 44100;

    explicit SoundFactory(HostEngine& engine, const char* objectName = "sound");
    ~SoundFactory() override;  // destroys the remaining sounds without notices

    // ISoundFactory
    InterfaceTable* create(ResourceInfo* info) override;  // the ResourceInfo is not needed to make a sound
    void destroy(InterfaceTable* sound) override;         // ignores null and unknown handles; no notice follows

    HostSound* soundOf(InterfaceTable* handle);
    std::size_t liveSounds() const { return sounds_.size(); }
    int noticesDelivered() const { return notices_; }

    const std::vector<Playback>& playbackLog() const { return log_; }
    void clearPlaybackLog();

    // Adds the recorded playbacks to `frames` stereo frames at 44.1 kHz, interleaved left/right, that
    // start `firstFrame` frames after host clock 0 (clock ms x 44.1), resampling linearly and
    // saturating at the 16-bit range.
    void mixTo(std::int16_t* stereo, std::size_t frames, std::int64_t firstFrame) const;
    // The frame at which host clock `ms` falls.
    static std::int64_t frameAt(std::uint32_t ms) { return static_cast<std::int64_t>(ms) * kMixRate / 1000; }

    HostEngine& engine() { return engine_; }

private:
    friend class HostSound;
    void schedulePoll();
    void poll();
    Playback* logEntry(std::int64_t index) { return index >= 0 && index < static_cast<std::int64_t>(log_.size()) ? &log_[static_cast<std::size_t>(index)] : nullptr; }

    HostEngine& engine_;
    std::map<InterfaceTable*, std::unique_ptr<HostSound>> sounds_;
    std::vector<Playback> log_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool pollPosted_ = false;
    std::uint64_t pollsBegun_ = 0;
    std::int32_t nextId_ = 1;
    int notices_ = 0;
};

}  // namespace hostengine
