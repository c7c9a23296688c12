// Hosts that fail the module: archive factories that return null, hand out objects without "IArchive"
// or are missing; streams that read short, negative or claimed counts, only asynchronously or not at
// all; surfaces and bitmaps whose rows cannot be locked; a
// sound factory that makes nothing; a producer that hands out nothing; a clock that jumps backwards
// or wraps past 2^32. pawn.kvx is loaded as a game loads it; each time the module logs what failed
// and the pawn plays on without the missing piece.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/abi.h"
#include "tests/support/counted_message.h"
#include "fuzz/fuzz_host.h"
#include "host/core/host_engine.h"
#include "host/core/surface.h"
#include "host/core/plugin_loader.h"

using namespace fuzzhost;

namespace {

constexpr std::int32_t kFrames = 4;  // of every pawn sequence
constexpr std::int32_t kFigure = 8;  // figure width and height
constexpr std::int32_t kScreenW = 64;
constexpr std::int32_t kScreenH = 48;
constexpr std::uint16_t kFigureColour = 0x1234;

// A font that keeps every text it draws.
class TextFont : public Font {
public:
    struct Renderer : IFontRenderer {
        TextFont* owner = nullptr;
        void unusedSlot0() override {}
        std::int32_t textWidth(const char* text) override { return 6 * static_cast<std::int32_t>(std::strlen(text)); }
        void drawText(Canvas*, std::int32_t, std::int32_t, const char* text) override { owner->drawn.push_back(text); }
    };
    TextFont() {
        glyphHeight = 12;
        renderer_.owner = this;
        renderer = &renderer_;
    }
    std::vector<std::string> drawn;

private:
    Renderer renderer_;
};

struct WorldSetup {
    OpenAs pawnArchive = OpenAs::Archive;   // how the pawn's archive opens
    OpenAs sequenceIni = OpenAs::Archive;   // how its sequence.ini opens
    OpenAs buzzArchive = OpenAs::Archive;   // how buzz1.wav opens
    ReadMode tableReads = ReadMode::Direct;  // the streams of the sequence table's entries
    ReadMode soundReads = ReadMode::Direct;  // the stream of the buzz sound
    bool soundFactory = true;
    bool soundsCreated = true;
    bool producer = true;
    bool producerObjects = true;
    std::string scoreFontPhase;              // written as "scorefontphase" when not empty
    ReadMode phaseReads = ReadMode::Direct;
};

// A game's world of host doubles with pawn.kvx loaded.
class FaultWorld {
public:
    explicit FaultWorld(const WorldSetup& setup = {})
        : video(19 * kFrames, Point(kFigure, kFigure)),
          colour(kFigure, kFigure, 16, kFigure * 2),
          alpha(kFigure, kFigure, 8, kFigure),
          surface(kScreenW, kScreenH, kScreenW * 2) {
        for (std::int32_t y = 0; y < kFigure; ++y)
            for (std::int32_t x = 0; x < kFigure; ++x) {
                std::memcpy(colour.row(y) + 2 * x, &kFigureColour, 2);
                alpha.row(y)[x] = 255;
            }
        video.bitmaps = {&colour.table, &alpha.table};
        videos.video = &video;
        if (setup.soundFactory) {
            sounds = std::make_unique<FuzzSoundFactory>();
            sounds->createsNothing = !setup.soundsCreated;
        }

        MemArchive* pawn = rootArchive.addArchive("pawn", setup.pawnArchive);
        MemArchive::Item& dual = pawn->add("dual.avi", "", "video");
        pawn->setLocator(dual, "mem://pawn/dual.avi");
        MemArchive* color = pawn->addArchive("sequence.ini", setup.sequenceIni)->addArchive("color");
        for (const SequenceText& sequence : pawnTable(kFrames)) color->add(sequence.name, sequence.text).mode = setup.tableReads;
        for (int i = 1; i <= 4; ++i)
            rootArchive.addArchive("buzz" + std::to_string(i) + ".wav", setup.buzzArchive)->add("data", "RIFF", "wav").mode = setup.soundReads;
        if (!setup.scoreFontPhase.empty()) rootArchive.add("scorefontphase", setup.scoreFontPhase).mode = setup.phaseReads;
        addFigureArchive(mediaArchive, "pingouin", pawnTable(kFrames));
        mediaArchive.add("scoresnd", "RIFF", "wav");
        registerArchives(archives, rootArchive);
        registerArchives(archives, mediaArchive);
        root = std::make_unique<MemRoot>(rootArchive);
        mediaRoot = std::make_unique<MemRoot>(mediaArchive);

        if (setup.producer) {
            producer = std::make_unique<FuzzProducer>();
            producer->nullForAll = !setup.producerObjects;
            producer->fontSource = create<TextDisplay>(0, 0, &font, "");
            if (ResourceEntry* penguin = mediaRoot->findEntry(nullptr, "pingouin", nullptr)) producer->penguin = create<KTAlphaVideo>(penguin);
            if (ResourceEntry* sound = mediaRoot->find("scoresnd")) producer->scoreSound = create<SoundResource>(sound);
        }
        canvas.surface = &surface;
        canvas.clip = Rect(0, 0, kScreenW, kScreenH);
        host.clearLog();

        if (!loader.open()) ADD_FAILURE() << loader.error();
        else if (!loader.init(&host)) ADD_FAILURE() << loader.error();
        factory = loader.factory();
    }

    ~FaultWorld() {
        for (InterfaceTable* pawn : pawns_)
            if (factory) factory->destroyPlayer(pawn);
        host.drainEvents();
        producer.reset();
        host.drainEvents();
        loader.release();
        mediaRoot.reset();
        root.reset();
    }

    IKTPlayer* makePawn(std::int32_t index = 1, const char* archiveName = "pawn") {
        InterfaceTable* handle = factory ? factory->createPlayer(root.get(), archiveName, index) : nullptr;
        if (!handle) return nullptr;
        pawns_.push_back(handle);
        return handle->find<IKTPlayer>("IKTPlayer");
    }
    void send(IKTPlayer* player, std::uint32_t code, std::int32_t parameter = 0) {
        ++sent;
        player->receive(gameMessage(code, parameter, &deleted));
    }
    void draw(IKTPlayer* player) {
        surface.fillRandom(7);
        font.drawn.clear();
        EXPECT_TRUE(hostengine::clipInsideSurface(canvas, kScreenW, kScreenH)) << "the host keeps the clip on its surface";
        visibleFrom(player)->draw(&canvas);
    }
    std::uint16_t pixel(std::int32_t x, std::int32_t y) {
        std::uint16_t value;
        std::memcpy(&value, surface.row(y) + 2 * x, 2);
        return value;
    }
    bool logged(std::int32_t level, const std::string& text) const {
        for (const hostengine::LogLine& line : host.logLines())
            if (line.level == level && line.text == text) return true;
        return false;
    }
    std::string logText() const {
        std::string all;
        for (const hostengine::LogLine& line : host.logLines()) all += std::to_string(line.level) + ": " + line.text + "|";
        return all;
    }

    hostengine::HostEngine host;
    HostScope scope{host};
    MemArchiveFactory archives;
    FuzzVideoFactory videos;
    std::unique_ptr<FuzzSoundFactory> sounds;
    FuzzVideo video;
    FuzzBitmap colour;
    FuzzBitmap alpha;
    FuzzSurface surface;
    Canvas canvas;
    TextFont font;
    MemArchive rootArchive;
    MemArchive mediaArchive;
    std::unique_ptr<MemRoot> root;
    std::unique_ptr<MemRoot> mediaRoot;
    std::unique_ptr<FuzzProducer> producer;
    hostengine::PluginLoader loader;
    IKTPlayerFactory* factory = nullptr;
    int sent = 0;
    int deleted = 0;

    IVisible* visibleFrom(IKTPlayer* player) {
        for (InterfaceTable* handle : pawns_)
            if (handle->find<IKTPlayer>("IKTPlayer") == player) return handle->find<IVisible>("IVisible");
        return nullptr;
    }

private:
    std::vector<InterfaceTable*> pawns_;
};

// What every pawn of a failing host must still do: take messages, keep score, update and draw.
void playsOn(FaultWorld& world, IKTPlayer* pawn) {
    ASSERT_NE(pawn, nullptr);
    const std::int32_t score = pawn->getScore();
    world.send(pawn, 0x000B000A, 400);  // coming up
    world.send(pawn, 0x000B0003);       // buzz
    world.send(pawn, 0x000B0004, 1);    // happy
    pawn->addScore(120);
    pawn->loseScore(20, 0);
    pawn->showScore(1);
    for (int i = 0; i < 40; ++i) {
        world.host.advance(50);
        world.host.pumpEvents();
        pawn->update();
        world.draw(pawn);
    }
    EXPECT_EQ(pawn->getScore(), score + 100);
    EXPECT_EQ(world.sent, world.deleted) << "every message is deleted";
    EXPECT_EQ(world.surface.outstanding(), 0);
    EXPECT_EQ(world.colour.outstanding() + world.alpha.outstanding(), 0);
}

struct ArchiveFault {
    const char* name;
    WorldSetup setup;
    std::vector<std::string> lines;  // level 3 lines the module must write
};

TEST(HostFaults, ArchiveFactoriesThatFailAreLoggedAndThePawnPlaysOn) {
    auto with = [](OpenAs pawnArchive, OpenAs ini, OpenAs buzz) {
        WorldSetup setup;
        setup.pawnArchive = pawnArchive;
        setup.sequenceIni = ini;
        setup.buzzArchive = buzz;
        return setup;
    };
    const ArchiveFault cases[] = {
        {"pawn archive refused", with(OpenAs::Refused, OpenAs::Archive, OpenAs::Archive), {"ArchiveFactory memory returned NULL.\n"}},
        {"pawn archive without IArchive", with(OpenAs::Bare, OpenAs::Archive, OpenAs::Archive), {"Archive memory has no interface.\n"}},
        {"no factory for the pawn archive", with(OpenAs::NoFactory, OpenAs::Archive, OpenAs::Archive), {"No ArchiveFactory for nothing.\n"}},
        {"sequence table refused", with(OpenAs::Archive, OpenAs::Refused, OpenAs::Archive),
         {"ArchiveFactory memory returned NULL.\n", "KTAlphaVideo: Sequence 'wait01' not found.\n"}},
        {"buzz sound refused", with(OpenAs::Archive, OpenAs::Archive, OpenAs::Refused), {"ArchiveFactory memory returned NULL.\n"}},
    };
    for (const ArchiveFault& fault : cases) {
        SCOPED_TRACE(fault.name);
        FaultWorld world(fault.setup);
        IKTPlayer* pawn = world.makePawn();
        for (const std::string& line : fault.lines) EXPECT_TRUE(world.logged(3, line)) << line << " in " << world.logText();
        playsOn(world, pawn);
    }
}

TEST(HostFaults, StreamsThatReadShortNegativeOrNotAtAllLeaveTheTableOrSoundOut) {
    struct Case {
        ReadMode mode;
        bool tableRead;  // the table still yields its sequences
    } cases[] = {
        {ReadMode::Direct, true}, {ReadMode::Short, true}, {ReadMode::Negative, false},
        {ReadMode::Claims, true}, {ReadMode::Async, true},  {ReadMode::Nothing, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        WorldSetup setup;
        setup.tableReads = c.mode;
        setup.soundReads = c.mode;
        setup.scoreFontPhase = "3\n";
        setup.phaseReads = c.mode;
        FaultWorld world(setup);
        IKTPlayer* pawn = world.makePawn();
        // A table entry that reads nothing has no "@": the sequence is left out, and selecting it is logged.
        EXPECT_EQ(world.logged(3, "KTAlphaVideo: Sequence 'wait01' not found.\n"), !c.tableRead) << world.logText();
        if (c.mode == ReadMode::Async) {
            EXPECT_TRUE(world.logged(1, "emulating blocking read\n"));
        }
        playsOn(world, pawn);
    }
}

TEST(HostFaults, RowsThatCannotBeLockedDrawNothingAndLeaveNoLock) {
    FaultWorld world;
    IKTPlayer* pawn = world.makePawn();
    ASSERT_NE(pawn, nullptr);
    for (int failing = 0; failing < 3; ++failing) {
        world.surface.failing = failing == 0;
        world.colour.failing = failing == 1;
        world.alpha.failing = failing == 2;
        world.draw(pawn);
        EXPECT_NE(world.pixel(kFigure / 2, kFigure / 2), kFigureColour);
        EXPECT_EQ(world.surface.outstanding() + world.colour.outstanding() + world.alpha.outstanding(), 0);
    }
    world.surface.failing = world.colour.failing = world.alpha.failing = false;
    world.draw(pawn);
    EXPECT_EQ(world.pixel(kFigure / 2, kFigure / 2), kFigureColour);
}

TEST(HostFaults, ASoundFactoryThatMakesNothingLeavesThePawnSilent) {
    struct Case {
        bool factory;
        const char* line;
    } cases[] = {{true, "Sound: SoundFactory is unable to create sound."}, {false, "Sound: No SoundFactory found."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WorldSetup setup;
        setup.soundFactory = c.factory;
        setup.soundsCreated = false;
        FaultWorld world(setup);
        IKTPlayer* pawn = world.makePawn();
        EXPECT_TRUE(world.logged(3, c.line)) << world.logText();
        playsOn(world, pawn);
        if (world.sounds) {
            EXPECT_EQ(world.sounds->liveSounds(), 0u);
        }
    }
}

TEST(HostFaults, AProducerThatHandsOutNothingLeavesScoreBonusesAndPenguinOut) {
    for (bool registered : {true, false}) {
        SCOPED_TRACE(registered ? "producer with nothing" : "no producer");
        WorldSetup setup;
        setup.producer = registered;
        setup.producerObjects = false;
        FaultWorld world(setup);
        IKTPlayer* pawn = world.makePawn();
        ASSERT_NE(pawn, nullptr);
        EXPECT_EQ(world.logged(3, "Pawn::Pawn no IKTProducer found, playing without shared media!\n"), !registered);
        pawn->showScore(1);
        pawn->addScore(30);
        for (std::int32_t bonus : {3, -1, 16, -1, 0, 10, -1, -2}) {
            pawn->setBonus(bonus);
            world.host.advance(100);
            pawn->update();
            world.draw(pawn);
            EXPECT_TRUE(world.font.drawn.empty()) << "no score is drawn without the producer's font";
        }
        playsOn(world, pawn);
    }
}

TEST(HostFaults, AClockThatWrapsOrJumpsBackKeepsRollsAndFramesGoing) {
    FaultWorld world;
    IKTPlayer* pawn = world.makePawn();
    ASSERT_NE(pawn, nullptr);
    pawn->showScore(1);
    auto shownScore = [&] {
        world.draw(pawn);
        return world.font.drawn.empty() ? std::string() : world.font.drawn.back();
    };

    // A roll of 100 points lasts 1500 ms; it starts 500 ms before the clock wraps.
    world.host.setTime(0xFFFFFFFFu - 499u);
    pawn->addScore(100);
    world.host.advance(750);
    EXPECT_EQ(shownScore(), "50");
    world.host.advance(1000);
    EXPECT_EQ(shownScore(), "100");

    // A clock thrown back mid-roll shows where the roll started until it catches up.
    pawn->addScore(100);
    world.host.advance(300);
    world.host.setTime(world.host.currentTime() - 10000);
    EXPECT_EQ(shownScore(), "100");
    world.host.advance(10000 + 1600);
    EXPECT_EQ(shownScore(), "200");

    // A buzz across the wrap steps its frames every 83 ms and comes back to rest.
    world.host.setTime(0xFFFFFFFFu - 100u);
    world.send(pawn, 0x000B0003);
    std::int32_t steps = 0;
    std::int32_t previous = pawn->getVideo()->currentFrame();
    for (int i = 0; i < 30; ++i) {
        world.host.advance(20);
        pawn->update();
        if (pawn->getVideo()->currentFrame() != previous) ++steps;
        previous = pawn->getVideo()->currentFrame();
    }
    EXPECT_GE(steps, 3);

    // Thrown back by a minute, the frames wait; they go on once the clock is past the last step again.
    world.send(pawn, 0x000B0003);
    world.host.setTime(world.host.currentTime() - 60000);
    const std::int32_t held = pawn->getVideo()->currentFrame();
    for (int i = 0; i < 10; ++i) {
        world.host.advance(20);
        pawn->update();
    }
    EXPECT_EQ(pawn->getVideo()->currentFrame(), held);
    world.host.advance(60000);
    pawn->update();
    EXPECT_NE(pawn->getVideo()->currentFrame(), held);
    EXPECT_EQ(world.sent, world.deleted);
}

}  // namespace
