#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/allocator.h"
#include "tests/support/host_doubles.h"
#include "host/core/host_engine.h"
#include "media/sound.h"

using doubles::FakeSoundFactory;
using doubles::MemArchive;
using doubles::MemRoot;
using hostengine::HostEngine;

namespace {

struct RecordingListener : IListener {
    std::int32_t receive(Message* message) override {
        words.push_back(message->word3);
        deleteMessage(message);
        return 1;
    }
    std::vector<std::intptr_t> words;  // word 3 of each message received
};

// A buzz sound in an archive, made into a SoundResource the way a pawn makes its own.
struct BuzzFixture {
    BuzzFixture() {
        factory.endsOnNextPass = false;
        archive.add("buzz1.wav", "RIFF....WAVE");
        entry = root.find("buzz1.wav");
    }
    SoundResource* make() { return create<SoundResource>(entry); }

    HostEngine host;
    FakeSoundFactory factory;
    MemArchive archive;
    MemRoot root{archive};
    ResourceEntry* entry = nullptr;
    int deletions = 0;
};

std::intptr_t listenerAddress(Sound* sound) { return reinterpret_cast<std::intptr_t>(static_cast<IListener*>(sound)); }

}  // namespace

TEST(Sound, PlaysOnceUntilTheEndNoticeThenPassesItOn) {
    BuzzFixture f;
    SoundResource* resource = f.make();
    Sound* sound = resource->sound();
    ASSERT_NE(sound, nullptr);
    RecordingListener first, second;

    EXPECT_EQ(sound->play(&first), 1);
    doubles::FakeSound& host = *f.factory.last();
    EXPECT_EQ(host.listener, static_cast<IListener*>(sound));
    EXPECT_EQ(sound->references, 2);
    EXPECT_EQ(sound->play(&second), 0);  // not restarted; only the listener changes
    EXPECT_EQ(sound->listener, &second);
    EXPECT_EQ(sound->references, 2);

    sound->stop();
    EXPECT_EQ(sound->play(&second), 0);  // stopped, but the notice has not come yet

    host.finish(&f.deletions);
    EXPECT_TRUE(first.words.empty());
    EXPECT_EQ(second.words, (std::vector<std::intptr_t>{listenerAddress(sound)}));
    EXPECT_EQ(sound->playing, 0);
    EXPECT_EQ(sound->references, 1);
    EXPECT_EQ(sound->play(nullptr), 1);  // playable again
    host.finish(&f.deletions);           // without a listener the Sound deletes the notice
    EXPECT_EQ(f.deletions, 2);
    destroySoundResource(resource);
}

TEST(Sound, ReleasedWhilePlayingItLivesUntilTheNotice) {
    BuzzFixture f;
    SoundResource* resource = f.make();
    Sound* sound = resource->sound();
    RecordingListener listener;
    sound->play(&listener);
    doubles::FakeSound& host = *f.factory.last();
    destroySoundResource(resource);
    EXPECT_EQ(host.calls.back(), "stop");  // the release asks the host to stop
    EXPECT_TRUE(f.factory.destroyed.empty());
    host.finish(&f.deletions);
    EXPECT_EQ(listener.words.size(), 1u);
    EXPECT_EQ(f.factory.destroyed, (std::vector<InterfaceTable*>{&host.table}));
    EXPECT_EQ(host.calls.back(), "unload");
}

TEST(Sound, ADuplicateNoticeIsLoggedAndDeletedAndOtherMessagesAreLeftAlone) {
    BuzzFixture f;
    SoundResource* resource = f.make();
    Sound* sound = resource->sound();
    sound->play(nullptr);
    f.factory.last()->finish(&f.deletions);
    EXPECT_EQ(f.deletions, 1);

    EXPECT_EQ(sound->receive(new CountedMessage(kSoundEnded, 0, 0, &f.deletions)), 1);
    EXPECT_EQ(f.host.countLog("||||||||| duplicate stop message!\n"), 1);
    EXPECT_EQ(f.deletions, 2);
    EXPECT_EQ(sound->references, 1);

    auto* other = new CountedMessage(0x000B0001, 0, 0, &f.deletions);
    EXPECT_EQ(sound->receive(other), 1);
    EXPECT_EQ(f.deletions, 2);  // still the sender's
    EXPECT_EQ(sound->references, 1);
    deleteMessage(other);
    destroySoundResource(resource);
}

TEST(Sound, AFailedHostPlayGivesTheReferenceBack) {
    BuzzFixture f;
    SoundResource* resource = f.make();
    Sound* sound = resource->sound();
    f.factory.last()->playResult = 0;
    EXPECT_EQ(sound->play(nullptr), 0);
    EXPECT_EQ(f.host.countLog("sound won't play!\n"), 1);
    EXPECT_EQ(sound->references, 1);
    destroySoundResource(resource);
    EXPECT_EQ(f.factory.destroyed.size(), 1u);  // freed with its holder: nothing waits for a notice
}

TEST(Sound, AForgottenListenerGetsNoLateNotice) {
    BuzzFixture f;
    SoundResource* resource = f.make();
    Sound* sound = resource->sound();
    RecordingListener pawn, other;
    sound->play(&pawn);
    sound->forgetListener(&other);  // not the stored one: kept
    EXPECT_EQ(sound->listener, &pawn);
    sound->forgetListener(&pawn);
    f.factory.last()->finish(&f.deletions);
    EXPECT_TRUE(pawn.words.empty());
    EXPECT_EQ(f.deletions, 1);
    destroySoundResource(resource);
}

TEST(Sound, MissingHostPartsLeaveAnInertSound) {
    struct Case {
        const char* what;
        bool factory;
        bool creates;
        std::vector<std::string> parts;
        const char* line;  // these three lines end without a line break
    };
    const Case cases[] = {
        {"no factory", false, true, {"ISound", "IPreloadSound", "ISoundVolume"}, "Sound: No SoundFactory found."},
        {"factory makes nothing", true, false, {"ISound", "IPreloadSound", "ISoundVolume"},
         "Sound: SoundFactory is unable to create sound."},
        {"no ISound", true, true, {"IPreloadSound", "ISoundVolume"}, "Sound: Sound has no ISound."},
        {"no IPreloadSound", true, true, {"ISound"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostEngine host;
        std::unique_ptr<FakeSoundFactory> factory;
        if (c.factory) {
            factory = std::make_unique<FakeSoundFactory>();
            factory->createsNothing = !c.creates;
            factory->parts = c.parts;
        }
        ResourceInfo info{};
        Sound* sound = Sound::makeSound(&info, nullptr);
        ASSERT_NE(sound, nullptr);
        if (c.line) {
            EXPECT_EQ(host.countLog(c.line), 1);
            EXPECT_EQ(host.logLines().front().level, 3);
        } else {
            EXPECT_TRUE(host.logLines().empty());
        }
        EXPECT_EQ(sound->play(nullptr), 0);
        sound->stop();
        EXPECT_EQ(sound->setVolume(0.9), 0);
        EXPECT_EQ(sound->references, 1);
        sound->releaseRef();
        if (factory) {
            // The factory destroys what it made, and is asked to also when it made nothing.
            EXPECT_EQ(factory->destroyed.size(), 1u);
            if (factory->last()) {
                EXPECT_TRUE(factory->last()->calls.empty());
            }
        }
    }
}

TEST(Sound, VolumeGoesToTheHostWhenItHasAControl) {
    BuzzFixture f;
    SoundResource* resource = f.make();
    EXPECT_EQ(resource->sound()->setVolume(0.9), 5);
    EXPECT_EQ(f.factory.last()->volumes, (std::vector<double>{0.9}));
    destroySoundResource(resource);
}

TEST(Sound, AFailedPreloadLeavesItUnplayableWithoutALogLine) {
    BuzzFixture f;
    ResourceInfo info{};
    Sound* streamless = Sound::makeSound(&info, nullptr);  // no stream: nothing to preload from
    EXPECT_EQ(streamless->play(nullptr), 0);
    EXPECT_TRUE(f.factory.last()->calls.empty());  // the host is not handed a null stream
    streamless->releaseRef();
    SoundResource* resource = f.make();
    Sound* sound = resource->sound();
    sound->unload();
    f.factory.last()->preloadResult = 0;
    StreamAdapter* stream = f.root.openStream(f.entry, f.root.infoOf(f.entry));
    EXPECT_EQ(sound->load(stream), 0);
    f.root.closeStream(stream);
    EXPECT_EQ(sound->play(nullptr), 0);
    EXPECT_TRUE(f.host.logLines().empty());
    destroySoundResource(resource);
}

TEST(SoundResource, CopiesTheEntrysRecordAndReadsItOnceThroughAStream) {
    BuzzFixture f;
    SoundResource* resource = f.make();
    ResourceInfo* record = f.root.infoOf(f.entry);
    EXPECT_EQ(std::memcmp(resource->info.words, record->words, sizeof record->words), 0);
    EXPECT_EQ(f.factory.infos, (std::vector<ResourceInfo*>{record}));  // the archive's record itself
    EXPECT_EQ(f.archive.opens, 1);
    EXPECT_EQ(f.archive.closes, 1);
    destroySoundResource(resource);
}

TEST(SoundResource, AnEntryWithoutARecordGivesNoSound) {
    BuzzFixture f;
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
        EXPECT_EQ(resource->info.words[0], f.host.typeRegistry()->typeIdOf("none"));
        EXPECT_EQ(resource->info.words[1], 0u);
        destroySoundResource(resource);
    }
    EXPECT_TRUE(f.factory.infos.empty());
}

TEST(Sound, LayoutKeepsItsPartsAndFieldsInOrder) {
    BuzzFixture f;
    SoundResource* resource = f.make();
    Sound* s = resource->sound();
    auto at = [](const void* object, const void* field) {
        return static_cast<const char*>(field) - static_cast<const char*>(object);
    };
    const std::ptrdiff_t sound[] = {at(s, static_cast<IReferenceCount*>(s)), at(s, &s->interfaces), at(s, &s->info),
                                    at(s, &s->soundFactory), at(s, &s->listener), at(s, &s->references),
                                    at(s, &s->soundHandle)};
    const std::ptrdiff_t holder[] = {at(resource, &resource->info), at(resource, &resource->heldSound)};
    if (sizeof(void*) == 4) {
        const std::ptrdiff_t shipping[] = {4, 8, 20, 56, 84, 96, 100};
        for (int i = 0; i < 7; ++i) EXPECT_EQ(sound[i], shipping[i]) << i;
        EXPECT_EQ(holder[0], 4);
        EXPECT_EQ(holder[1], 40);
    }
    for (int i = 1; i < 7; ++i) EXPECT_GT(sound[i], sound[i - 1]) << i;
    destroySoundResource(resource);
}
