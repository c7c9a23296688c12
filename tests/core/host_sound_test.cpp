#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "core/allocator.h"
#include "host/core/sound_factory.h"

using namespace hostengine;

namespace {

void put(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A RIFF WAVE file with a PCM format chunk and the given sample bytes; tags are written as numbers.
std::vector<std::uint8_t> makeWav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate, const std::vector<std::uint8_t>& data,
                                  std::uint16_t blockAlign = 0) {
    if (!blockAlign) blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    const auto bytes = static_cast<std::uint32_t>(data.size());
    const std::pair<std::uint32_t, int> fields[] = {
        {0x46464952, 4}, {36 + bytes, 4}, {0x45564157, 4}, {0x20746D66, 4}, {16, 4},     {1, 2},
        {channels, 2},   {rate, 4},       {rate * blockAlign, 4},          {blockAlign, 2}, {bits, 2}, {0x61746164, 4}, {bytes, 4},
    };
    std::vector<std::uint8_t> out;
    for (auto [value, width] : fields) put(out, value, width);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<std::uint8_t> samples16(const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> out;
    for (std::int16_t v : values) put(out, static_cast<std::uint16_t>(v), 2);
    return out;
}

// A module stream as the host's preload sees one: an IRead over bytes, and a size (or -1).
class ByteStream : public StreamAdapterParts {
public:
    explicit ByteStream(std::vector<std::uint8_t> bytes, bool sizeKnown = true) : bytes_(std::move(bytes)), sizeKnown_(sizeKnown) {
        interfaces.add("IStream", entryValueOf<IStream>(this));
        interfaces.add("IRead", entryValueOf<IRead>(&reader_));
    }
    ~ByteStream() { interfaces.teardown(); }
    std::int32_t receive(Message* message) override {
        deleteMessage(message);
        return 1;
    }
    std::int32_t unusedQuery() override { return 0; }
    std::int32_t isAsynchronous() override { return 0; }
    std::int32_t size() override { return sizeKnown_ ? static_cast<std::int32_t>(bytes_.size()) : -1; }

private:
    struct Reader : IRead {
        ByteStream* owner;
        explicit Reader(ByteStream* from) : owner(from) {}
        std::int32_t read(void* buffer, std::int32_t size) override {
            std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), owner->bytes_.size() - owner->at_);
            std::memcpy(buffer, owner->bytes_.data() + owner->at_, n);
            owner->at_ += n;
            return static_cast<std::int32_t>(n);
        }
    };
    std::vector<std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool sizeKnown_;
    Reader reader_{this};
};

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

struct Rig {
    HostEngine engine;
    SoundFactory factory{engine};

    // A loaded sound of `ms` milliseconds of mono 16-bit at 1 kHz.
    InterfaceTable* loaded(int ms) {
        InterfaceTable* sound = factory.create(nullptr);
        ByteStream stream(makeWav(1, 16, 1000, samples16(std::vector<std::int16_t>(static_cast<std::size_t>(ms), 1000))));
        EXPECT_EQ(preloader(sound)->preload(&stream), 1);
        return sound;
    }
    static IPreloadSound* preloader(InterfaceTable* sound) { return sound->find<IPreloadSound>("IPreloadSound"); }
};

}  // namespace

TEST(HostSoundWav, DecodesPcmAndRefusesEverythingElse) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
        std::int64_t frames;  // 0: refused
    };
    std::vector<std::uint8_t> twoFrames16 = samples16({100, -100, 200, -200});
    std::vector<std::uint8_t> cutShort = makeWav(2, 16, 8000, twoFrames16);
    cutShort.resize(cutShort.size() - 3);  // half of the second frame gone
    auto changed = [](std::vector<std::uint8_t> file, std::size_t at, const char* bytes, std::size_t count) {
        std::memcpy(&file[at], bytes, count);
        return file;
    };
    const Case cases[] = {
        {"8-bit mono", makeWav(1, 8, 11025, {0, 128, 255}), 3},
        {"16-bit stereo", makeWav(2, 16, 44100, twoFrames16), 2},
        {"data cut short keeps whole frames", cutShort, 1},
        {"empty file", {}, 0},
        {"just RIFF", {'R', 'I', 'F', 'F'}, 0},
        {"not WAVE", changed(makeWav(1, 8, 8000, {1}), 8, "A", 1), 0},
        {"no samples", makeWav(1, 16, 8000, {}), 0},
        {"odd byte of a 16-bit frame only", makeWav(1, 16, 8000, {7}), 0},
        {"24-bit", makeWav(1, 24, 8000, {1, 2, 3}), 0},
        {"three channels", makeWav(3, 16, 8000, samples16({1, 2, 3})), 0},
        {"zero rate", makeWav(1, 16, 0, twoFrames16), 0},
        {"wrong block alignment", makeWav(2, 16, 8000, twoFrames16, 2), 0},
        {"format chunk past the end", changed(makeWav(1, 8, 8000, {1, 2, 3}), 16, "\xFF", 1), 0},
        {"not PCM", changed(makeWav(1, 16, 8000, twoFrames16), 20, "\x03", 1), 0},
        {"no format chunk", changed(makeWav(1, 8, 8000, {1, 2}), 12, "junk", 4), 0},
        {"no data chunk", changed(makeWav(1, 8, 8000, {1, 2}), 36, "junk", 4), 0},
    };
    for (const Case& c : cases) {
        std::string error;
        auto sound = decodeWav(c.file.data(), c.file.size(), &error);
        if (c.frames == 0) {
            EXPECT_FALSE(sound) << c.name;
            EXPECT_FALSE(error.empty()) << c.name;
        } else {
            ASSERT_TRUE(sound) << c.name << ": " << error;
            EXPECT_EQ(sound->frames(), c.frames) << c.name;
        }
    }
    EXPECT_EQ(decodeWav(cases[0].file.data(), cases[0].file.size())->samples, (std::vector<std::int16_t>{-32768, 0, 127 * 256}));
    EXPECT_EQ(decodeWav(cases[1].file.data(), cases[1].file.size())->samples, (std::vector<std::int16_t>{100, -100, 200, -200}));
}

TEST(HostSound, PreloadReadsTheWholeStreamWhetherOrNotItsSizeIsKnown) {
    Rig rig;
    const std::int64_t before = allocationStats().live;
    InterfaceTable* sound = rig.factory.create(nullptr);
    IPreloadSound* preloader = Rig::preloader(sound);
    ISound* control = sound->find<ISound>("ISound");
    for (bool sizeKnown : {true, false}) {
        ByteStream stream(makeWav(1, 16, 8000, samples16(std::vector<std::int16_t>(200000, 5))), sizeKnown);
        EXPECT_EQ(preloader->preload(&stream), 1);
        EXPECT_EQ(control->durationMs(), 25000);
    }
    {
        ByteStream broken(std::vector<std::uint8_t>{'R', 'I', 'F', 'F', 1, 2});
        EXPECT_EQ(preloader->preload(&broken), 0);
        EXPECT_EQ(control->durationMs(), 0);
    }
    EXPECT_EQ(preloader->preload(nullptr), 0);
    EXPECT_EQ(preloader->play(nullptr, nullptr), 0);
    EXPECT_EQ(sound->find<ISoundVolume>("ISoundVolume")->setVolume(std::nan("")), 0);
    rig.factory.destroy(sound);
    rig.factory.destroy(nullptr);
    EXPECT_EQ(allocationStats().live, before);
}

TEST(HostSound, EndNoticeArrivesOnceFromThePumpAfterTheDuration) {
    Rig rig;
    rig.engine.setTime(1000);
    InterfaceTable* sound = rig.loaded(250);
    ISound* control = sound->find<ISound>("ISound");
    NoticeCatcher listener;
    EXPECT_EQ(Rig::preloader(sound)->play(&listener, nullptr), 1);
    EXPECT_EQ(Rig::preloader(sound)->play(&listener, nullptr), 0);  // no second playback over the first

    rig.engine.advance(249);
    rig.engine.pumpEvents();
    EXPECT_TRUE(listener.word3.empty());
    rig.engine.advance(1);
    EXPECT_EQ(control->isPlaying(), 0);
    EXPECT_TRUE(listener.word3.empty());  // only the pump delivers
    rig.engine.pumpEvents();
    EXPECT_EQ(listener.word3, std::vector<std::intptr_t>{reinterpret_cast<std::intptr_t>(static_cast<IListener*>(&listener))});
    rig.engine.advance(1000);
    rig.engine.drainEvents();
    EXPECT_EQ(listener.word3.size(), 1u);
    EXPECT_EQ(rig.factory.playbackLog()[0].endMs, 1250u);
    EXPECT_EQ(Rig::preloader(sound)->play(&listener, nullptr), 1);  // and again once the notice is out
}

TEST(HostSound, StoppedOrUnloadedSoundsEndAtTheNextPumpAndDestroyedOnesQuietly) {
    Rig rig;
    NoticeCatcher listener;
    InterfaceTable* destroyed = rig.loaded(500);
    InterfaceTable* unloaded = rig.loaded(500);
    InterfaceTable* stopped = rig.loaded(500);
    for (InterfaceTable* sound : {destroyed, unloaded, stopped}) ASSERT_EQ(Rig::preloader(sound)->play(&listener, nullptr), 1);
    rig.engine.advance(50);
    rig.factory.destroy(destroyed);
    Rig::preloader(unloaded)->unload();
    stopped->find<ISound>("ISound")->stop();
    stopped->find<ISound>("ISound")->stop();
    EXPECT_EQ(Rig::preloader(stopped)->play(&listener, nullptr), 0);  // the stopped playback has not reported yet
    rig.engine.pumpEvents();
    EXPECT_EQ(listener.word3.size(), 2u);  // not the destroyed one
    rig.engine.advance(1000);
    rig.engine.drainEvents();
    EXPECT_EQ(listener.word3.size(), 2u);
    for (const Playback& played : rig.factory.playbackLog()) {
        EXPECT_TRUE(played.stopped);
        EXPECT_EQ(played.endMs, 50u);
    }
    EXPECT_FALSE(rig.factory.playbackLog()[0].notified);
}

TEST(HostSound, ListenersMayPlayAgainOrDestroyFromTheNotice) {
    Rig rig;
    InterfaceTable* looping = rig.loaded(10);
    InterfaceTable* other = rig.loaded(10);
    NoticeCatcher again, destroyer;
    again.onNotice = [&] { Rig::preloader(looping)->play(&again, nullptr); };
    destroyer.onNotice = [&] { rig.factory.destroy(other); };
    Rig::preloader(looping)->play(&again, nullptr);
    Rig::preloader(other)->play(&destroyer, nullptr);
    rig.engine.advance(10);
    rig.engine.pumpEvents();  // both end; the replay starts now and is not ended in the same pass
    EXPECT_EQ(again.word3.size(), 1u);
    EXPECT_EQ(destroyer.word3.size(), 1u);
    EXPECT_EQ(rig.factory.liveSounds(), 1u);
    rig.engine.pumpEvents();
    EXPECT_EQ(again.word3.size(), 1u);
    rig.engine.advance(10);
    rig.engine.pumpEvents();
    EXPECT_EQ(again.word3.size(), 2u);
    again.onNotice = nullptr;
}

TEST(HostSound, FactoryGoneBeforeItsQueuedCheckRuns) {
    HostEngine engine;
    NoticeCatcher listener;
    {
        SoundFactory factory(engine);
        InterfaceTable* sound = factory.create(nullptr);
        ByteStream stream(makeWav(1, 8, 1000, {1, 2, 3}));
        Rig::preloader(sound)->preload(&stream);
        Rig::preloader(sound)->play(&listener, nullptr);
        EXPECT_EQ(engine.pendingEvents(), 1u);
    }
    engine.advance(100);
    engine.drainEvents();
    EXPECT_TRUE(listener.word3.empty());
}

TEST(HostSound, MixRendersPlaybacksAtTheirTimesWithVolumeAndLinearResampling) {
    Rig rig;
    // A ramp 0, 1000, 2000, ... at 22050 Hz: every second output frame lies half-way between two.
    std::vector<std::int16_t> ramp;
    for (int i = 0; i < 2205; ++i) ramp.push_back(static_cast<std::int16_t>((i % 30) * 1000));
    InterfaceTable* sound = rig.factory.create(nullptr);
    ByteStream stream(makeWav(1, 16, 22050, samples16(ramp)));
    ASSERT_EQ(Rig::preloader(sound)->preload(&stream), 1);
    sound->find<ISoundVolume>("ISoundVolume")->setVolume(0.5);
    rig.engine.setTime(20);
    Rig::preloader(sound)->play(nullptr, nullptr);
    rig.engine.advance(200);
    rig.engine.drainEvents();

    const std::int64_t start = SoundFactory::frameAt(20);
    std::vector<std::int16_t> out(2 * 44100 / 5, 0);  // 0 .. 200 ms
    out[0] = 7;  // mixing adds to what is there
    rig.factory.mixTo(out.data(), out.size() / 2, 0);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[2 * (start - 1)], 0);
    const std::pair<int, int> expected[] = {{0, 0}, {1, 250}, {2, 500}, {3, 750}, {4, 1000}, {58, 14500}};
    for (auto [offset, value] : expected) {
        EXPECT_EQ(out[2 * (start + offset)], value) << offset;
        EXPECT_EQ(out[2 * (start + offset) + 1], value) << offset;
    }
    const std::int64_t end = SoundFactory::frameAt(120);  // 100 ms of samples
    EXPECT_NE(out[2 * (end - 2)], 0);
    EXPECT_EQ(out[2 * end], 0);

    // A later window sees the same samples at the same clock times.
    std::vector<std::int16_t> window(2 * 10, 0);
    rig.factory.mixTo(window.data(), 10, start + 2);
    EXPECT_EQ(window[0], 500);
    // Loud playbacks saturate instead of wrapping.
    std::vector<std::int16_t> loud(2, 32000);
    rig.factory.mixTo(loud.data(), 1, start + 58);
    EXPECT_EQ(loud[0], 32767);
}
