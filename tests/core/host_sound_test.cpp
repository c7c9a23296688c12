#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "core/allocator.h"
#include "host/core/archive_stream.h"
#include "host/core/sound_factory.h"
#include "resources/stream_adapter.h"

using namespace hostengine;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A RIFF WAVE file with a PCM format chunk and the given sample bytes; tags are written as numbers.
Bytes makeWav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate, const Bytes& data, std::uint16_t blockAlign = 0) {
    if (!blockAlign) blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    const auto size = static_cast<std::uint32_t>(data.size());
    Bytes out;
    for (auto [value, width] : {std::pair{0x46464952u, 4}, {36 + size, 4}, {0x45564157u, 4}, {0x20746D66u, 4}, {16u, 4}, {1u, 2},
                                {std::uint32_t{channels}, 2}, {rate, 4}, {rate * blockAlign, 4}, {std::uint32_t{blockAlign}, 2},
                                {std::uint32_t{bits}, 2}, {0x61746164u, 4}, {size, 4}})
        for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes samples16(const std::vector<std::int16_t>& values) {
    Bytes out;
    for (std::int16_t v : values) out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8)});
    return out;
}

// Keeps the notices it receives, as a module Sound would before passing them on.
struct NoticeCatcher : IListener {
    std::vector<std::intptr_t> word3;
    std::function<void()> onNotice;
    std::int32_t receive(Message* message) override {
        EXPECT_EQ(message->code, kSoundEnded);
        word3.push_back(message->word3);
        deleteMessage(message);
        if (onNotice) onNotice();
        return 1;
    }
};

// Loads `wav` into `sound` through a module stream over the bytes, as the module hands one over.
std::int32_t preload(HostEngine& engine, InterfaceTable* sound, const Bytes& wav) {
    ArchiveStream stream(engine, memorySource(std::make_shared<const std::string>(wav.begin(), wav.end())), StreamMode::Direct);
    StreamAdapter* adapter = create<StreamAdapter>(stream.handle());
    const std::int32_t loaded = sound->find<IPreloadSound>("IPreloadSound")->preload(adapter);
    destroy(adapter);
    return loaded;
}

struct Rig {
    HostEngine engine;
    SoundFactory factory{engine};

    std::int32_t preload(InterfaceTable* sound, const Bytes& wav) { return ::preload(engine, sound, wav); }
    // A loaded sound of `ms` milliseconds of mono 16-bit at `rate`.
    InterfaceTable* loaded(int ms, std::uint32_t rate = 1000, Bytes samples = {}) {
        InterfaceTable* sound = factory.create(nullptr);
        if (samples.empty()) samples = samples16(std::vector<std::int16_t>(static_cast<std::size_t>(ms) * rate / 1000, 1000));
        EXPECT_EQ(preload(sound, makeWav(1, 16, rate, samples)), 1);
        return sound;
    }
    static IPreloadSound* preloader(InterfaceTable* sound) { return sound->find<IPreloadSound>("IPreloadSound"); }
    static std::int32_t play(InterfaceTable* sound, IListener* listener) { return preloader(sound)->play(listener, nullptr); }
};

}  // namespace

TEST(HostSoundWav, DecodesPcmAndRefusesEverythingElse) {
    const Bytes twoFrames16 = samples16({100, -100, 200, -200});
    Bytes cutShort = makeWav(2, 16, 8000, twoFrames16);
    cutShort.resize(cutShort.size() - 3);  // half of the second frame gone
    auto changed = [](Bytes file, std::size_t at, const char* bytes) {
        std::memcpy(&file[at], bytes, std::strlen(bytes));
        return file;
    };
    const struct {
        const char* name;
        Bytes file;
        std::vector<std::int16_t> samples;  // empty: refused
    } cases[] = {
        {"8-bit mono", makeWav(1, 8, 11025, {0, 128, 255}), {-32768, 0, 127 * 256}},
        {"16-bit stereo", makeWav(2, 16, 44100, twoFrames16), {100, -100, 200, -200}},
        {"data cut short keeps whole frames", cutShort, {100, -100}},
        {"empty file", {}, {}},
        {"just RIFF", {'R', 'I', 'F', 'F'}, {}},
        {"not WAVE", changed(makeWav(1, 8, 8000, {1}), 8, "A"), {}},
        {"no samples", makeWav(1, 16, 8000, {}), {}},
        {"odd byte of a 16-bit frame only", makeWav(1, 16, 8000, {7}), {}},
        {"24-bit", makeWav(1, 24, 8000, {1, 2, 3}), {}},
        {"three channels", makeWav(3, 16, 8000, samples16({1, 2, 3})), {}},
        {"zero rate", makeWav(1, 16, 0, twoFrames16), {}},
        {"wrong block alignment", makeWav(2, 16, 8000, twoFrames16, 2), {}},
        {"format chunk past the end", changed(makeWav(1, 8, 8000, {1, 2, 3}), 16, "\xFF"), {}},
        {"not PCM", changed(makeWav(1, 16, 8000, twoFrames16), 20, "\x03"), {}},
        {"no format chunk", changed(makeWav(1, 8, 8000, {1, 2}), 12, "junk"), {}},
        {"no data chunk", changed(makeWav(1, 8, 8000, {1, 2}), 36, "junk"), {}},
    };
    for (const auto& c : cases) {
        std::string error;
        auto sound = decodeWav(c.file.data(), c.file.size(), &error);
        EXPECT_EQ(sound ? sound->samples : std::vector<std::int16_t>{}, c.samples) << c.name << ": " << error;
        EXPECT_EQ(error.empty(), !c.samples.empty()) << c.name;
    }
}

TEST(HostSound, PreloadTakesTheWholeStreamAndRefusesWhatIsNotSound) {
    Rig rig;
    const std::int64_t before = allocationStats().live;
    InterfaceTable* sound = rig.loaded(25000, 8000);
    EXPECT_EQ(sound->find<ISound>("ISound")->durationMs(), 25000);
    EXPECT_EQ(rig.preload(sound, {'R', 'I', 'F', 'F', 1, 2}), 0);
    EXPECT_EQ(sound->find<ISound>("ISound")->durationMs(), 0);
    EXPECT_EQ(Rig::preloader(sound)->preload(nullptr), 0);
    EXPECT_EQ(Rig::play(sound, nullptr), 0);
    EXPECT_EQ(sound->find<ISoundVolume>("ISoundVolume")->setVolume(std::nan("")), 0);
    rig.factory.destroy(sound);
    rig.factory.destroy(nullptr);
    EXPECT_EQ(allocationStats().live, before);
}

TEST(HostSound, EndNoticeArrivesOnceFromThePumpAfterTheDuration) {
    Rig rig;
    rig.engine.setTime(1000);
    InterfaceTable* sound = rig.loaded(250);
    NoticeCatcher listener;
    EXPECT_EQ(Rig::play(sound, &listener), 1);
    EXPECT_EQ(Rig::play(sound, &listener), 0);  // no second playback over the first
    rig.engine.advance(249);
    rig.engine.pumpEvents();
    rig.engine.advance(1);
    EXPECT_EQ(sound->find<ISound>("ISound")->isPlaying(), 0);
    EXPECT_TRUE(listener.word3.empty());  // only the pump delivers
    rig.engine.pumpEvents();
    EXPECT_EQ(listener.word3, std::vector<std::intptr_t>{reinterpret_cast<std::intptr_t>(static_cast<IListener*>(&listener))});
    rig.engine.advance(1000);
    rig.engine.drainEvents();
    EXPECT_EQ(listener.word3.size(), 1u);
    EXPECT_EQ(rig.factory.playbackLog()[0].endMs, 1250u);
    EXPECT_EQ(Rig::play(sound, &listener), 1);  // and again once the notice is out
}

TEST(HostSound, StoppedOrUnloadedSoundsEndAtTheNextPumpAndDestroyedOnesQuietly) {
    Rig rig;
    NoticeCatcher listener;
    InterfaceTable* sounds[] = {rig.loaded(500), rig.loaded(500), rig.loaded(500)};  // destroyed, unloaded, stopped
    for (InterfaceTable* sound : sounds) ASSERT_EQ(Rig::play(sound, &listener), 1);
    rig.engine.advance(50);
    rig.factory.destroy(sounds[0]);
    Rig::preloader(sounds[1])->unload();
    sounds[2]->find<ISound>("ISound")->stop();
    sounds[2]->find<ISound>("ISound")->stop();
    EXPECT_EQ(Rig::play(sounds[2], &listener), 0);  // the stopped playback has not reported yet
    rig.engine.pumpEvents();
    rig.engine.advance(1000);
    rig.engine.drainEvents();
    EXPECT_EQ(listener.word3.size(), 2u);  // not the destroyed one
    for (const Playback& played : rig.factory.playbackLog()) EXPECT_TRUE(played.stopped && played.endMs == 50u);
    EXPECT_FALSE(rig.factory.playbackLog()[0].notified);
}

TEST(HostSound, ListenersMayPlayAgainOrDestroyFromTheNoticeAndTheFactoryMayGoFirst) {
    Rig rig;
    InterfaceTable* looping = rig.loaded(10);
    InterfaceTable* other = rig.loaded(10);
    NoticeCatcher again, destroyer;
    again.onNotice = [&] { Rig::play(looping, &again); };
    destroyer.onNotice = [&] { rig.factory.destroy(other); };
    Rig::play(looping, &again);
    Rig::play(other, &destroyer);
    rig.engine.advance(10);
    rig.engine.pumpEvents();  // both end; the replay starts now and is not ended in the same pass
    EXPECT_EQ(destroyer.word3.size(), 1u);
    EXPECT_EQ(rig.factory.liveSounds(), 1u);
    rig.engine.pumpEvents();
    EXPECT_EQ(again.word3.size(), 1u);
    rig.engine.advance(10);
    rig.engine.pumpEvents();
    EXPECT_EQ(again.word3.size(), 2u);
    again.onNotice = nullptr;

    HostEngine engine;
    NoticeCatcher listener;
    {
        SoundFactory factory(engine);
        InterfaceTable* sound = factory.create(nullptr);
        preload(engine, sound, makeWav(1, 8, 1000, {1, 2, 3}));
        Rig::play(sound, &listener);
        EXPECT_EQ(engine.pendingEvents(), 1u);
    }
    engine.advance(100);
    engine.drainEvents();  // the factory's queued check finds it gone
    EXPECT_TRUE(listener.word3.empty());
}

TEST(HostSound, MixRendersPlaybacksAtTheirTimesWithVolumeAndLinearResampling) {
    Rig rig;
    // A ramp 0, 1000, 2000, ... at 22050 Hz: every second output frame lies half-way between two.
    std::vector<std::int16_t> ramp;
    for (int i = 0; i < 2205; ++i) ramp.push_back(static_cast<std::int16_t>((i % 30) * 1000));
    InterfaceTable* sound = rig.loaded(100, 22050, samples16(ramp));
    sound->find<ISoundVolume>("ISoundVolume")->setVolume(0.5);
    rig.engine.setTime(20);
    Rig::play(sound, nullptr);
    rig.engine.advance(200);
    rig.engine.drainEvents();

    const std::int64_t start = SoundFactory::frameAt(20), end = SoundFactory::frameAt(120);
    std::vector<std::int16_t> out(2 * 44100 / 5, 0);  // 0 .. 200 ms
    out[0] = out[1] = 7;  // mixing adds to what is there
    rig.factory.mixTo(out.data(), out.size() / 2, 0);
    const std::pair<std::int64_t, int> expected[] = {{0, 7},           {start - 1, 0},  {start, 0},          {start + 1, 250}, {start + 2, 500},
                                                     {start + 3, 750}, {start + 4, 1000}, {start + 58, 14500}, {end, 0}};
    for (auto [frame, value] : expected) {
        EXPECT_EQ(out[2 * frame], value) << frame;
        EXPECT_EQ(out[2 * frame + 1], value) << frame;
    }
    EXPECT_NE(out[2 * (end - 2)], 0);
    // A later window sees the same samples at the same clock times; loud playbacks saturate.
    std::vector<std::int16_t> window(2 * 10, 0), loud(2, 32000);
    rig.factory.mixTo(window.data(), 10, start + 2);
    EXPECT_EQ(window[0], 500);
    rig.factory.mixTo(loud.data(), 1, start + 58);
    EXPECT_EQ(loud[0], 32767);
}
