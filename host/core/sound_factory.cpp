#include "host/core/sound_factory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace hostengine {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

bool isTag(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

std::shared_ptr<const DecodedSound> refuse(std::string* error, const char* why) {
    if (error) *error = why;
    return nullptr;
}

// The message a sound's listener receives when a playback is over; the listener deletes it.
struct SoundEndNotice final : Message {
    explicit SoundEndNotice(IListener* listener) {
        code = kSoundEnded;
        word3 = reinterpret_cast<std::intptr_t>(listener);
    }
    void* deletingDestructor(unsigned) override { delete this; return this; }
};

// The whole stream through its "IRead", as far as "IStream" says it goes (or to its end).
bool readWholeStream(StreamAdapterParts* stream, std::vector<std::uint8_t>& bytes) {
    if (!stream) return false;
    IRead* reader = stream->interfaces.find<IRead>("IRead");
    if (!reader) return false;
    IStream* sizes = stream->interfaces.find<IStream>("IStream");
    std::int64_t expected = sizes ? sizes->size() : -1;
    if (expected > static_cast<std::int64_t>(kMaxSoundBytes)) return false;
    if (expected == 0) return false;
    const std::size_t limit = expected > 0 ? static_cast<std::size_t>(expected) : kMaxSoundBytes + 1;
    constexpr std::size_t kStep = 64 * 1024;
    bytes.clear();
    while (bytes.size() < limit) {
        std::size_t want = std::min(kStep, limit - bytes.size());
        std::size_t have = bytes.size();
        bytes.resize(have + want);
        std::int32_t got = reader->read(bytes.data() + have, static_cast<std::int32_t>(want));
        if (got <= 0 || static_cast<std::size_t>(got) > want) {
            bytes.resize(have);
            if (got > 0) return false;  // a reader that claims more than it was asked for is not trusted
            break;
        }
        bytes.resize(have + static_cast<std::size_t>(got));
    }
    return !bytes.empty() && bytes.size() <= kMaxSoundBytes;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// WAV

std::shared_ptr<const DecodedSound> decodeWav(const std::uint8_t* data, std::size_t size, std::string* error) {
    if (!data || size < 12 || !isTag(data, "RIFF") || !isTag(data + 8, "WAVE")) return refuse(error, "not a WAVE file");
    // Trailing bytes after the RIFF are ignored; a RIFF size beyond the buffer is common in files cut
    // short, so the buffer's end then bounds the walk.
    std::size_t end = size;
    std::uint64_t riffEnd = 8 + static_cast<std::uint64_t>(le32(data + 4));
    if (riffEnd >= 12 && riffEnd < size) end = static_cast<std::size_t>(riffEnd);

    const std::uint8_t* format = nullptr;
    std::size_t formatSize = 0;
    const std::uint8_t* samples = nullptr;
    std::size_t sampleBytes = 0;
    std::size_t at = 12;
    while (end - at >= 8) {
        const std::uint8_t* chunk = data + at;
        std::size_t chunkSize = le32(chunk + 4);
        std::size_t room = end - at - 8;
        if (isTag(chunk, "data")) {
            if (!samples) {
                samples = chunk + 8;
                sampleBytes = std::min(chunkSize, room);  // a recording cut short keeps what it has
            }
        } else if (chunkSize > room) {
            return refuse(error, "a chunk runs past the end of the file");
        } else if (isTag(chunk, "fmt ") && !format) {
            format = chunk + 8;
            formatSize = chunkSize;
        }
        if (chunkSize > room) break;
        at += 8 + chunkSize;
        if (chunkSize & 1) {
            if (at >= end) break;
            ++at;
        }
    }
    if (!format || formatSize < 16) return refuse(error, "no format chunk");
    if (!samples) return refuse(error, "no data chunk");

    std::uint16_t tag = le16(format);
    if (tag == 0xFFFE) {
        // WAVE_FORMAT_EXTENSIBLE: the sub-format GUID's first two bytes name the real format.
        if (formatSize < 40) return refuse(error, "extensible format chunk too short");
        tag = le16(format + 24);
    }
    if (tag != 1) return refuse(error, "not PCM");
    const std::uint16_t channels = le16(format + 2);
    const std::uint32_t rate = le32(format + 4);
    const std::uint16_t blockAlign = le16(format + 12);
    const std::uint16_t bits = le16(format + 14);
    if (channels < 1 || channels > 2) return refuse(error, "only mono and stereo are supported");
    if (bits != 8 && bits != 16) return refuse(error, "only 8 and 16-bit samples are supported");
    if (rate == 0 || rate > 768000) return refuse(error, "sample rate out of range");
    if (blockAlign != channels * bits / 8) return refuse(error, "block alignment does not match the format");

    const std::size_t frames = sampleBytes / blockAlign;
    if (frames == 0) return refuse(error, "no samples");
    auto sound = std::make_shared<DecodedSound>();
    sound->rate = static_cast<std::int32_t>(rate);
    sound->channels = channels;
    sound->sourceBits = bits;
    sound->samples.resize(frames * channels);
    if (bits == 8) {
        for (std::size_t i = 0; i < sound->samples.size(); ++i) sound->samples[i] = static_cast<std::int16_t>((samples[i] - 128) * 256);
    } else {
        for (std::size_t i = 0; i < sound->samples.size(); ++i) sound->samples[i] = static_cast<std::int16_t>(le16(samples + 2 * i));
    }
    return sound;
}

// ---------------------------------------------------------------------------------------------------
// Sound

HostSound::HostSound(SoundFactory& factory, std::int32_t id) : factory_(factory), id_(id), name_("sound" + std::to_string(id)) {
    interfaces.add("ISound", entryValueOf<ISound>(this));
    interfaces.add("IPreloadSound", entryValueOf<IPreloadSound>(this));
    interfaces.add("ISoundVolume", entryValueOf<ISoundVolume>(this));
    interfaces.add("ISoundPanorama", entryValueOf<ISoundPanorama>(this));
    interfaces.add("ISoundFrequency", entryValueOf<ISoundFrequency>(this));
    interfaces.add("ISoundQueue", entryValueOf<ISoundQueue>(this));
}

HostSound::~HostSound() { interfaces.teardown(); }

std::uint32_t HostSound::playLength() const {
    if (!data_ || data_->rate <= 0) return 0;
    double ms = std::ceil(static_cast<double>(data_->frames()) * 1000.0 / (data_->rate * frequency_));
    return static_cast<std::uint32_t>(std::min(ms, 86400000.0));
}

std::int32_t HostSound::isPlaying() {
    if (!playing_ || stopRequested_) return 0;
    std::uint32_t elapsed = factory_.engine_.currentTime() - startMs_;
    return elapsed < lengthMs_ ? 1 : 0;
}

std::int32_t HostSound::durationMs() { return static_cast<std::int32_t>(playLength()); }

void HostSound::stop() {
    if (!playing_ || stopRequested_) return;
    stopRequested_ = true;
    stopTicket_ = factory_.pollsBegun_;
    std::uint32_t now = factory_.engine_.currentTime();
    // Stopping after the sound has run out changes nothing about when it ended.
    if (now - startMs_ < lengthMs_)
        if (Playback* entry = factory_.logEntry(logIndex_)) {
            entry->endMs = now;
            entry->stopped = true;
        }
    factory_.schedulePoll();
}

std::int32_t HostSound::preload(StreamAdapterParts* stream) {
    try {
        if (playing_) stop();
        data_.reset();
        std::vector<std::uint8_t> bytes;
        if (!readWholeStream(stream, bytes)) return 0;
        data_ = decodeWav(bytes.data(), bytes.size());
        return data_ ? 1 : 0;
    } catch (...) {
        // The module is the caller: a host failure (memory) must come back as a failed preload.
        data_.reset();
        return 0;
    }
}

void HostSound::unload() {
    if (playing_) stop();
    data_.reset();
}

std::int32_t HostSound::play(IListener* listener, IReferenceCount* referenceCount) {
    if (!data_ || playing_) return 0;
    try {
        Playback entry;
        entry.soundId = id_;
        entry.name = name_;
        entry.startMs = factory_.engine_.currentTime();
        entry.endMs = entry.startMs + playLength();
        entry.volume = volume_;
        entry.panorama = panorama_;
        entry.frequency = frequency_;
        entry.sound = data_;
        factory_.log_.push_back(std::move(entry));
        factory_.schedulePoll();
    } catch (...) {
        return 0;
    }
    logIndex_ = static_cast<std::int64_t>(factory_.log_.size()) - 1;
    playing_ = true;
    stopRequested_ = false;
    startMs_ = factory_.log_.back().startMs;
    lengthMs_ = playLength();
    startTicket_ = factory_.pollsBegun_;
    listener_ = listener;
    referenceCount_ = referenceCount;
    return 1;
}

void HostSound::endPlayback(std::uint32_t atMs, bool stoppedEarly) {
    if (Playback* entry = factory_.logEntry(logIndex_)) {
        entry->ended = true;
        if (stoppedEarly && !entry->stopped) {
            entry->stopped = true;
            entry->endMs = atMs;
        }
    }
    playing_ = false;
    stopRequested_ = false;
    logIndex_ = -1;
    listener_ = nullptr;
    referenceCount_ = nullptr;
}

std::int32_t HostSound::setVolume(double volume) {
    if (!std::isfinite(volume)) return 0;
    volume_ = std::clamp(volume, 0.0, 1.0);
    return 1;
}

std::int32_t HostSound::setPanorama(double pan) {
    if (!std::isfinite(pan)) return 0;
    panorama_ = std::clamp(pan, -1.0, 1.0);
    return 1;
}

std::int32_t HostSound::setFrequency(double factor) {
    if (!std::isfinite(factor) || factor <= 0.0 || factor > 16.0) return 0;
    frequency_ = factor;
    return 1;
}

std::int32_t HostSound::queue(InterfaceTable*) { return 0; }

// ---------------------------------------------------------------------------------------------------
// Factory

SoundFactory::SoundFactory(HostEngine& engine, const char* objectName) : HostObject(objectName), engine_(engine) {
    interfaces.add("ISoundFactory", entryValueOf<ISoundFactory>(this));
}

SoundFactory::~SoundFactory() {
    *alive_ = false;
    sounds_.clear();
}

InterfaceTable* SoundFactory::create(ResourceInfo*) {
    try {
        auto sound = std::make_unique<HostSound>(*this, nextId_++);
        InterfaceTable* handle = sound->handle();
        sounds_.emplace(handle, std::move(sound));
        return handle;
    } catch (...) {
        return nullptr;
    }
}

void SoundFactory::destroy(InterfaceTable* handle) {
    auto found = sounds_.find(handle);
    if (found == sounds_.end()) return;
    HostSound& sound = *found->second;
    if (sound.playing_) {
        std::uint32_t now = engine_.currentTime();
        bool early = !sound.stopRequested_ && now - sound.startMs_ < sound.lengthMs_;
        sound.endPlayback(now, early);
    }
    sounds_.erase(found);
}

HostSound* SoundFactory::soundOf(InterfaceTable* handle) {
    auto found = sounds_.find(handle);
    return found == sounds_.end() ? nullptr : found->second.get();
}

void SoundFactory::clearPlaybackLog() {
    log_.clear();
    for (auto& [handle, sound] : sounds_) sound->logIndex_ = -1;
}

// The engine has no per-pass hook: while any playback awaits its notice, one poll event stays queued,
// re-posted by each pass, so that every pumpEvents looks at the clock once.
void SoundFactory::schedulePoll() {
    if (pollPosted_) return;
    std::weak_ptr<bool> alive = alive_;
    try {
        engine_.post([this, alive] {
            auto still = alive.lock();
            if (!still || !*still) return;
            pollPosted_ = false;
            poll();
        });
        pollPosted_ = true;
    } catch (...) {
        // Out of memory: the next stop or play tries again.
    }
}

void SoundFactory::poll() {
    const std::uint64_t ticket = ++pollsBegun_;
    // One notice at a time, looking afresh after each: a listener may destroy, stop or start sounds.
    // Only playbacks started (or stopped) before this pass began end in it, so a listener that plays
    // again at once is heard out at a later pass.
    for (;;) {
        const std::uint32_t now = engine_.currentTime();
        HostSound* over = nullptr;
        for (auto& [handle, sound] : sounds_) {
            if (!sound->playing_) continue;
            bool stopped = sound->stopRequested_ && sound->stopTicket_ < ticket;
            bool ranOut = !sound->stopRequested_ && sound->startTicket_ < ticket && now - sound->startMs_ >= sound->lengthMs_;
            if (stopped || ranOut) {
                over = sound.get();
                break;
            }
        }
        if (!over) break;
        IListener* listener = over->listener_;
        if (Playback* entry = logEntry(over->logIndex_)) entry->notified = listener != nullptr;
        over->endPlayback(now, false);
        // Events may run inside the module's own pumpEvents call: nothing may be thrown from here.
        if (listener)
            if (auto* notice = new (std::nothrow) SoundEndNotice(listener)) {
                ++notices_;
                listener->receive(notice);
            }
    }
    for (auto& [handle, sound] : sounds_)
        if (sound->playing_) {
            schedulePoll();
            break;
        }
}

// ---------------------------------------------------------------------------------------------------
// Mixing

void SoundFactory::mixTo(std::int16_t* stereo, std::size_t frames, std::int64_t firstFrame) const {
    if (!stereo || frames == 0) return;
    std::vector<float> mix(frames * 2, 0.0f);
    const std::int64_t lastFrame = firstFrame + static_cast<std::int64_t>(frames);
    for (const Playback& playback : log_) {
        const DecodedSound* sound = playback.sound.get();
        if (!sound || sound->frames() == 0 || sound->rate <= 0) continue;
        const std::int64_t start = frameAt(playback.startMs);
        // The end as a length from the start, so a clock that wrapped in between still measures right.
        const std::int64_t end = start + static_cast<std::int64_t>(playback.endMs - playback.startMs) * kMixRate / 1000;
        const std::int64_t from = std::max(start, firstFrame), to = std::min(end, lastFrame);
        if (from >= to) continue;
        const double step = sound->rate * playback.frequency / kMixRate;
        const float left = static_cast<float>(playback.volume * std::min(1.0, 1.0 - playback.panorama));
        const float right = static_cast<float>(playback.volume * std::min(1.0, 1.0 + playback.panorama));
        const std::int64_t count = sound->frames();
        const std::int16_t* samples = sound->samples.data();
        for (std::int64_t f = from; f < to; ++f) {
            double position = static_cast<double>(f - start) * step;
            std::int64_t i = static_cast<std::int64_t>(position);
            if (i >= count) break;
            float fraction = static_cast<float>(position - static_cast<double>(i));
            std::int64_t j = std::min(i + 1, count - 1);
            float l, r;
            if (sound->channels == 1) {
                l = r = samples[i] + (samples[j] - samples[i]) * fraction;
            } else {
                l = samples[2 * i] + (samples[2 * j] - samples[2 * i]) * fraction;
                r = samples[2 * i + 1] + (samples[2 * j + 1] - samples[2 * i + 1]) * fraction;
            }
            std::size_t at = static_cast<std::size_t>(f - firstFrame) * 2;
            mix[at] += l * left;
            mix[at + 1] += r * right;
        }
    }
    for (std::size_t i = 0; i < frames * 2; ++i) {
        float value = stereo[i] + mix[i];
        stereo[i] = static_cast<std::int16_t>(std::lround(std::clamp(value, -32768.0f, 32767.0f)));
    }
}

}  // namespace hostengine
