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

// Loads `wav` into `sound` through the module's adapter over a host stream of the bytes; without
// "IStream" on the host stream the size is unknown and the whole stream is read to its end.
std::int32_t preload(HostEngine& engine, InterfaceTable* sound, const Bytes& wav, bool sizeKnown = true) {
    ArchiveStream stream(engine, memorySource(std::make_shared<const std::string>(wav.begin(), wav.end())), StreamMode::Direct);
    HostObject readOnly(nullptr);
    readOnly.interfaces.add("IRead", stream.handle()->lookup("IRead"));
    StreamAdapter* adapter = create<StreamAdapter>(sizeKnown ? stream.handle() : readOnly.handle());
    const std::int32_t loaded = sound->find<IPreloadSound>("IPreloadSound")->preload(adapter);
    destroy(adapter);
    return loaded;
}

// Keeps the notices it receives, as a module Sound would before passing them on.
struct NoticeCatcher : IListener {
    std::vector<std::intptr_t> word3;
    std::function<void()> onNotice;
    std::int32_t receive(Message* message) override {
        word3.push_back(message->code == kSoundEnded ? message->word3 : -1);
        deleteMessage(message);
        if (onNotice) onNotice();
        return 1;
    }
};

struct Rig {
    HostEngine engine;
    SoundFactory factory{engine};
    // A loaded sound of `ms` milliseconds of mono 16-bit at `rate`.
    InterfaceTable* loaded(int ms, std::uint32_t rate = 1000, Bytes samples = {}) {
        InterfaceTable* sound = factory.create(nullptr);
        if (samples.empty()) samples = samples16(std::vector<std::int16_t>(static_cast<std::size_t>(ms) * rate / 1000, 1000));
        EXPECT_EQ(preload(engine, sound, makeWav(1, 16, rate, samples)), 1);
        return sound;
    }
    void pumpAfter(std::uint32_t ms) {
        engine.advance(ms);
        engine.pumpEvents();
    }
};

IPreloadSound* preloader(InterfaceTable* sound) { return sound->find<IPreloadSound>("IPreloadSound"); }
std::int32_t play(InterfaceTable* sound, IListener* listener) { return preloader(sound)->play(listener, nullptr); }

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

TEST(HostSound, PreloadTakesTheWholeStreamWhetherOrNotItsSizeIsKnown) {
    Rig rig;
    const std::int64_t before = allocationStats().live;
    InterfaceTable* sound = rig.factory.create(nullptr);
    ISound* control = sound->find<ISound>("ISound");
    for (bool sizeKnown : {true, false}) {
        EXPECT_EQ(preload(rig.engine, sound, makeWav(1, 16, 8000, samples16(std::vector<std::int16_t>(200000, 5))), sizeKnown), 1);
        EXPECT_EQ(control->durationMs(), 25000);
    }
    EXPECT_EQ(std::vector<std::int32_t>({preload(rig.engine, sound, {'R', 'I', 'F', 'F', 1, 2}), control->durationMs(), preloader(sound)->preload(nullptr),
                                         play(sound, nullptr), sound->find<ISoundVolume>("ISoundVolume")->setVolume(std::nan(""))}),
              std::vector<std::int32_t>(5, 0));
    for (InterfaceTable* handle : {sound, static_cast<InterfaceTable*>(nullptr)}) rig.factory.destroy(handle);
    EXPECT_EQ(allocationStats().live, before);
}

TEST(HostSound, EndNoticeArrivesOnceFromThePumpAfterTheDuration) {
    Rig rig;
    rig.engine.setTime(1000);
    InterfaceTable* sound = rig.loaded(250);
    NoticeCatcher listener;
    EXPECT_EQ(play(sound, &listener), 1);
    EXPECT_EQ(play(sound, &listener), 0);  // no second playback over the first
    rig.pumpAfter(249);
    rig.engine.advance(1);
    EXPECT_EQ(sound->find<ISound>("ISound")->isPlaying(), 0);
    EXPECT_TRUE(listener.word3.empty());  // only the pump delivers
    rig.pumpAfter(0);
    EXPECT_EQ(listener.word3, std::vector<std::intptr_t>{reinterpret_cast<std::intptr_t>(static_cast<IListener*>(&listener))});
    rig.pumpAfter(1000);
    EXPECT_EQ(std::pair(listener.word3.size(), rig.factory.playbackLog().at(0).endMs), (std::pair<std::size_t, std::uint32_t>(1, 1250)));
    EXPECT_EQ(play(sound, &listener), 1);  // and again once the notice is out
}

TEST(HostSound, StoppedOrUnloadedSoundsEndAtTheNextPumpAndDestroyedOnesQuietly) {
    Rig rig;
    NoticeCatcher listener;
    InterfaceTable* sounds[] = {rig.loaded(500), rig.loaded(500), rig.loaded(500)};  // destroyed, unloaded, stopped
    for (InterfaceTable* sound : sounds) ASSERT_EQ(play(sound, &listener), 1);
    rig.engine.advance(50);
    rig.factory.destroy(sounds[0]);
    preloader(sounds[1])->unload();
    for (int twice = 0; twice < 2; ++twice) sounds[2]->find<ISound>("ISound")->stop();
    EXPECT_EQ(play(sounds[2], &listener), 0);  // the stopped playback has not reported yet
    rig.pumpAfter(0);
    EXPECT_EQ(listener.word3.size(), 2u);  // not the destroyed one
    rig.engine.advance(1000);
    rig.engine.drainEvents();
    EXPECT_EQ(listener.word3.size(), 2u);
    for (const Playback& played : rig.factory.playbackLog()) EXPECT_TRUE(played.stopped && played.endMs == 50u);
    EXPECT_FALSE(rig.factory.playbackLog().at(0).notified);
}

TEST(HostSound, ListenersMayPlayAgainOrDestroyFromTheNoticeAndTheFactoryMayGoFirst) {
    Rig rig;
    InterfaceTable* looping = rig.loaded(10);
    InterfaceTable* other = rig.loaded(10);
    NoticeCatcher again, destroyer;
    again.onNotice = [&] { play(looping, &again); };
    destroyer.onNotice = [&] { rig.factory.destroy(other); };
    play(looping, &again);
    play(other, &destroyer);
    // Both end; the replay starts then and is not ended in the same pass, nor before its time.
    std::vector<std::size_t> heard;
    for (std::uint32_t ms : {10u, 0u, 10u}) rig.pumpAfter(ms), heard.push_back(again.word3.size());
    EXPECT_EQ(heard, (std::vector<std::size_t>{1, 1, 2}));
    EXPECT_EQ(std::pair(destroyer.word3.size(), rig.factory.liveSounds()), (std::pair<std::size_t, std::size_t>(1, 1)));
    again.onNotice = nullptr;

    HostEngine engine;
    NoticeCatcher listener;
    {
        SoundFactory factory(engine);
        InterfaceTable* sound = factory.create(nullptr);
        preload(engine, sound, makeWav(1, 8, 1000, {1, 2, 3}));
        play(sound, &listener);
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
    play(sound, nullptr);
    rig.pumpAfter(200);
    EXPECT_FALSE(rig.factory.playbackLog().at(0).notified);  // no listener: no notice

    const std::int64_t start = SoundFactory::frameAt(20), end = SoundFactory::frameAt(120);
    std::vector<std::int16_t> out(2 * 44100 / 5, 0);  // 0 .. 200 ms
    out[0] = out[1] = 7;                               // mixing adds to what is there
    rig.factory.mixTo(out.data(), out.size() / 2, 0);
    const std::pair<std::int64_t, int> expected[] = {{0, 7},           {start - 1, 0},    {start, 0},          {start + 1, 250}, {start + 2, 500},
                                                     {start + 3, 750}, {start + 4, 1000}, {start + 58, 14500}, {end, 0}};
    for (auto [frame, value] : expected) EXPECT_EQ(std::pair(out[2 * frame], out[2 * frame + 1]), (std::pair<std::int16_t, std::int16_t>(value, value))) << frame;
    EXPECT_NE(out[2 * (end - 2)], 0);
    // A later window sees the same samples at the same clock times; loud playbacks saturate.
    std::vector<std::int16_t> window(2 * 10, 0), loud(2, 32000);
    rig.factory.mixTo(window.data(), 10, start + 2);
    rig.factory.mixTo(loud.data(), 1, start + 58);
    EXPECT_EQ(std::pair(window[0], loud[0]), (std::pair<std::int16_t, std::int16_t>(500, 32767)));
}
