#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "media/sound.h"
#include "tests/support/host_doubles.h"

using namespace doubles;

namespace {

struct RecordingListener : IListener {
    std::int32_t receive(Message* message) override {
        words.push_back(message->word3);
        deleteMessage(message);
        return 1;
    }
    std::vector<std::intptr_t> words;  // word 3 of each message received
};

// A buzz sound in an archive, made into a SoundResource the way a pawn makes its own; the test ends
// each playback itself.
struct Buzz {
    Buzz() {
        factory.endsOnNextPass = false;
        archive.add("buzz1.wav", "RIFF....WAVE");
        entry = root.find("buzz1.wav");
        resource = create<SoundResource>(entry);
        sound = resource->sound();
    }
    ~Buzz() { destroySoundResource(resource); }
    FakeSound& host() { return *factory.last(); }

    hostengine::HostEngine engine;
    FakeSoundFactory factory;
    MemArchive archive;
    MemRoot root{archive};
    ResourceEntry* entry = nullptr;
    SoundResource* resource = nullptr;
    Sound* sound = nullptr;
    int deletions = 0;
};

}  // namespace

TEST(Sound, PlaysOnceUntilTheEndNoticeThenPassesItOn) {
    Buzz buzz;
    Sound* sound = buzz.sound;
    ASSERT_NE(sound, nullptr);
    RecordingListener first, second;
    EXPECT_EQ(sound->play(&first), 1);
    EXPECT_EQ(buzz.host().listener, static_cast<IListener*>(sound));
    EXPECT_EQ(sound->references, 2);
    EXPECT_EQ(sound->play(&second), 0);  // not restarted; only the listener changes
    EXPECT_EQ(sound->references, 2);
    sound->stop();
    EXPECT_EQ(sound->play(&second), 0);  // stopped, but the notice has not come yet
    sound->forgetListener(&first);       // not the stored one: kept

    buzz.host().finish(&buzz.deletions);
    EXPECT_TRUE(first.words.empty());
    EXPECT_EQ(second.words, (std::vector<std::intptr_t>{reinterpret_cast<std::intptr_t>(static_cast<IListener*>(sound))}));
    EXPECT_EQ(sound->references, 1);
    EXPECT_EQ(sound->play(&first), 1);  // playable again
    sound->forgetListener(&first);      // no late notice for it: the Sound deletes the notice
    buzz.host().finish(&buzz.deletions);
    EXPECT_TRUE(first.words.empty());
    EXPECT_EQ(buzz.deletions, 2);
    // A duplicate notice is deleted too; a message of another kind stays its sender's.
    EXPECT_EQ(sound->receive(new CountedMessage(kSoundEnded, 0, 0, &buzz.deletions)), 1);
    auto* other = new CountedMessage(kFreeze, 0, 0, &buzz.deletions);
    EXPECT_EQ(sound->receive(other), 1);
    EXPECT_EQ(buzz.deletions, 3);
    EXPECT_EQ(sound->references, 1);
    deleteMessage(other);
    EXPECT_EQ(sound->setVolume(0.9), 5);
    EXPECT_EQ(buzz.host().volumes, (std::vector<double>{0.9}));
}

TEST(Sound, AFailedHostPlayGivesTheReferenceBackAndAFailedPreloadLeavesItUnplayableSilently) {
    Buzz buzz;
    buzz.host().playResult = 0;
    EXPECT_EQ(buzz.sound->play(nullptr), 0);
    EXPECT_EQ(buzz.engine.countLog("sound won't play!\n"), 1);
    EXPECT_EQ(buzz.sound->references, 1);
    buzz.engine.clearLog();
    ResourceInfo info{};
    Sound* streamless = Sound::makeSound(&info, nullptr);  // no stream: nothing to preload from
    EXPECT_EQ(streamless->play(nullptr), 0);
    EXPECT_TRUE(buzz.factory.last()->calls.empty());  // the host is not handed a null stream
    streamless->releaseRef();
    buzz.sound->unload();
    buzz.factory.sounds.front()->preloadResult = 0;
    buzz.factory.sounds.front()->playResult = 1;
    StreamAdapter* stream = buzz.root.openStream(buzz.entry, buzz.root.infoOf(buzz.entry));
    EXPECT_EQ(buzz.sound->load(stream), 0);
    buzz.root.closeStream(stream);
    EXPECT_EQ(buzz.sound->play(nullptr), 0);
    EXPECT_TRUE(buzz.engine.logLines().empty());
}

// Without a factory at all is the host-fault tests' case; here the factory's sound lacks parts.
TEST(Sound, MissingHostPartsLeaveAnInertSound) {
    struct Case {
        const char* what;
        bool creates;
        std::vector<std::string> parts;
        const char* line;  // these lines end without a line break
    };
    const Case cases[] = {
        {"factory makes nothing", false, {"ISound", "IPreloadSound", "ISoundVolume"}, "Sound: SoundFactory is unable to create sound."},
        {"no ISound", true, {"IPreloadSound", "ISoundVolume"}, "Sound: Sound has no ISound."},
        {"no IPreloadSound", true, {"ISound"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hostengine::HostEngine host;
        FakeSoundFactory factory;
        factory.createsNothing = !c.creates;
        factory.parts = c.parts;
        ResourceInfo info{};
        Sound* sound = Sound::makeSound(&info, nullptr);
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(host.logLines().size(), c.line ? 1u : 0u);
        if (c.line) { EXPECT_EQ(host.countLog(c.line), 1); }
        EXPECT_EQ(sound->play(nullptr), 0);
        sound->stop();
        EXPECT_EQ(sound->setVolume(0.9), 0);
        sound->releaseRef();
        // The factory destroys what it made, and is asked to also when it made nothing; a sound the
        // module cannot use is never called.
        EXPECT_EQ(factory.destroyed.size(), 1u);
        if (factory.last()) { EXPECT_TRUE(factory.last()->calls.empty()); }
    }
}

TEST(SoundResource, CopiesTheEntrysRecordReadOnceThroughAStreamAndWithoutOneMakesNoSound) {
    Buzz buzz;
    ResourceInfo* record = buzz.root.infoOf(buzz.entry);
    EXPECT_EQ(std::memcmp(buzz.resource->info.words, record->words, sizeof record->words), 0);
    EXPECT_EQ(buzz.factory.infos, (std::vector<ResourceInfo*>{record}));  // the archive's record itself
    EXPECT_EQ(buzz.archive.opens, 1);
    EXPECT_EQ(buzz.archive.closes, 1);
    // An entry without a record (its owner has no archive), or none, gives no Sound.
    struct NoArchive : ResourceDir {
        NoArchive() : ResourceDir(static_cast<IArchive*>(nullptr), nullptr) {}
    } orphanage;
    ResourceEntry orphan{};
    orphan.name = "lost.wav";
    orphan.owner = &orphanage;
    for (ResourceEntry* entry : {&orphan, static_cast<ResourceEntry*>(nullptr)}) {
        SoundResource* resource = create<SoundResource>(entry);
        ASSERT_NE(resource, nullptr);
        EXPECT_EQ(resource->sound(), nullptr);
        EXPECT_EQ(resource->info.words[0], typeId("none"));
        EXPECT_EQ(resource->info.words[1], 0u);
        destroySoundResource(resource);
    }
    EXPECT_EQ(buzz.factory.infos.size(), 1u);  // the buzz's own
}

TEST(Sound, LayoutKeepsItsPartsAndFieldsInOrder) {
    // Hosts read the producer's "scoresnd" through these offsets.
    Buzz buzz;
    Sound* s = buzz.sound;
    SoundResource* r = buzz.resource;
    auto at = [](const void* object, const void* field) { return static_cast<const char*>(field) - static_cast<const char*>(object); };
    const std::vector<std::ptrdiff_t> offsets{at(s, static_cast<IReferenceCount*>(s)), at(s, &s->interfaces), at(s, &s->info),
                                              at(s, &s->soundFactory), at(s, &s->listener), at(s, &s->references),
                                              at(s, &s->soundHandle), at(r, &r->info), at(r, &r->heldSound)};
    if (sizeof(void*) == 4) { EXPECT_EQ(offsets, (std::vector<std::ptrdiff_t>{4, 8, 20, 56, 84, 96, 100, 4, 40})); }
    EXPECT_TRUE(std::is_sorted(offsets.begin(), offsets.begin() + 7));
}
