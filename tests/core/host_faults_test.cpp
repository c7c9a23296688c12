// Hosts that fail the module: archive factories that return null, hand out objects without "IArchive"
// or are missing; streams that read short, negative or claimed counts, only asynchronously or not at
// all; surfaces and bitmaps whose rows cannot be locked; a sound factory that makes nothing; a
// producer that hands out nothing; a clock that jumps backwards. pawn.kvx is loaded as a game loads
// it; each time the module logs what failed and the pawn plays on without the piece.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/host_doubles.h"
#include "tests/support/world.h"

using namespace doubles;
using pawntest::PawnHandle;

namespace {

constexpr std::int32_t kFrames = 4;  // of every pawn sequence
constexpr std::int32_t kFigure = 8;  // figure width and height
constexpr std::int32_t kScreenW = 64;
constexpr std::int32_t kScreenH = 48;
constexpr std::uint16_t kFigureColour = 0x1234;

struct WorldSetup {
    OpenAs pawnArchive = OpenAs::Archive;    // how the pawn's archive opens
    OpenAs sequenceIni = OpenAs::Archive;    // how its sequence.ini opens
    OpenAs buzzArchive = OpenAs::Archive;    // how the buzz WAVs open
    ReadMode tableReads = ReadMode::Direct;  // the streams of the sequence table's entries
    ReadMode soundReads = ReadMode::Direct;  // the streams of the buzz sounds
    bool soundFactory = true;
    bool soundsCreated = true;
    bool producer = true;
    bool producerObjects = true;
    std::string scoreFontPhase = {};  // written as "scorefontphase" when not empty
    ReadMode phaseReads = ReadMode::Direct;
};

// A game's world of host doubles with pawn.kvx loaded.
struct FaultWorld {
    explicit FaultWorld(const WorldSetup& setup = {})
        : video(19 * kFrames, Point(kFigure, kFigure)), colour(kFigure, kFigure, 16, kFigure * 2), alpha(kFigure, kFigure, 8, kFigure) {
        for (std::int32_t y = 0; y < kFigure; ++y)
            for (std::int32_t x = 0; x < kFigure; ++x) std::memcpy(colour.row(y) + 2 * x, &kFigureColour, 2), alpha.row(y)[x] = 255;
        video.bitmaps = {&colour.table, &alpha.table};
        videos.video = &video;
        if (setup.soundFactory) (sounds = std::make_unique<FakeSoundFactory>())->createsNothing = !setup.soundsCreated;

        MemArchive* pawn = rootArchive.addArchive("pawn", setup.pawnArchive);
        pawn->setLocator(pawn->add("dual.avi", "", "video"), "mem://pawn/dual.avi");
        MemArchive* color = pawn->addArchive("sequence.ini", setup.sequenceIni)->addArchive("color");
        for (const SequenceText& sequence : pawnTable(kFrames)) color->add(sequence.name, sequence.text).mode = setup.tableReads;
        for (int i = 1; i <= 4; ++i)
            rootArchive.addArchive("buzz" + std::to_string(i) + ".wav", setup.buzzArchive)->add("data", "RIFF", "wav").mode = setup.soundReads;
        if (!setup.scoreFontPhase.empty()) rootArchive.add("scorefontphase", setup.scoreFontPhase).mode = setup.phaseReads;
        addFigureArchive(mediaArchive, "pingouin", pawnTable(kFrames));
        mediaArchive.add("scoresnd", "RIFF", "wav");

        if (setup.producer) {
            producer = std::make_unique<FakeProducer>();
            producer->nullForAll = !setup.producerObjects;
            producer->fontSource = create<TextDisplay>(0, 0, &font, "");
            if (ResourceEntry* penguin = mediaRoot.findEntry(nullptr, "pingouin", nullptr)) producer->penguin = create<KTAlphaVideo>(penguin);
            if (ResourceEntry* sound = mediaRoot.find("scoresnd")) producer->scoreSound = create<SoundResource>(sound);
        }
        host.clearLog();
        game.emplace(host);
    }
    ~FaultWorld() { game->close(host, producer); }

    void draw(const PawnHandle& pawn) {
        surface.fillRandom(7);
        font.drawn.clear();
        EXPECT_TRUE(hostengine::clipInsideSurface(canvas, kScreenW, kScreenH)) << "the host keeps the clip on its surface";
        pawn.visible->draw(&canvas);
    }
    std::uint16_t figurePixel() {
        std::uint16_t value;
        std::memcpy(&value, surface.row(kFigure / 2) + kFigure, 2);
        return value;
    }
    std::string logText() const {
        std::string all;
        for (const hostengine::LogLine& line : host.logLines()) all += std::to_string(line.level) + ": " + line.text + "|";
        return all;
    }

    hostengine::HostEngine host;
    MemArchiveFactory archives;
    FakeVideoFactory videos;
    std::unique_ptr<FakeSoundFactory> sounds;
    FakeVideo video;
    MemoryBitmap colour;
    MemoryBitmap alpha;
    MemorySurface surface{kScreenW, kScreenH, kScreenW * 2};
    Canvas canvas = canvasOver(surface);
    RecordingFont font{16};
    MemArchive rootArchive;
    MemArchive mediaArchive;
    MemRoot root{rootArchive};
    MemRoot mediaRoot{mediaArchive};
    std::unique_ptr<FakeProducer> producer;
    std::optional<pawntest::Game> game;
};

// What every pawn of a failing host must still do: take messages, keep score, show bonuses, update and
// draw, with every message deleted and every lock given back.
void playsOn(FaultWorld& world, const PawnHandle& pawn) {
    ASSERT_TRUE(pawn.player);
    IKTPlayer& player = *pawn.player;
    const std::int32_t score = player.getScore();
    world.game->send(pawn, kComingUp, 400);
    world.game->send(pawn, kBuzz);
    world.game->send(pawn, kHappy, 1);
    player.addScore(120);
    player.loseScore(20, 0);
    player.showScore(1);
    const std::int32_t bonuses[] = {3, -1, 16, -1, 0, 10, -1, -2};
    for (int i = 0; i < 40; ++i) {
        if (i % 5 == 0) player.setBonus(bonuses[i / 5]);
        world.host.advance(50);
        world.host.pumpEvents();
        player.update();
        world.draw(pawn);
    }
    EXPECT_EQ(player.getScore(), score + 100);
    EXPECT_EQ(!world.font.drawn.empty(), world.producer && !world.producer->nullForAll) << "the score is drawn with the producer's font alone";
    EXPECT_EQ(world.game->sent, world.game->deletions) << "every message is deleted";
    EXPECT_EQ(world.surface.outstanding() + world.colour.outstanding() + world.alpha.outstanding(), 0);
}

TEST(HostFaults, EachFailingServiceIsLoggedAndThePawnPlaysOn) {
    const std::string noWait01 = "3 KTAlphaVideo: Sequence 'wait01' not found.\n";
    const std::string refused = "3 ArchiveFactory memory returned NULL.\n";
    auto reads = [](ReadMode mode) { return WorldSetup{.tableReads = mode, .soundReads = mode, .scoreFontPhase = "3\n", .phaseReads = mode}; };
    const struct {
        const char* name;
        WorldSetup setup;
        std::vector<std::string> logged;  // "level text" lines the module must write
        std::vector<std::string> absent;  // and must not
    } cases[] = {
        {"pawn archive refused", {.pawnArchive = OpenAs::Refused}, {refused}, {}},
        {"pawn archive without IArchive", {.pawnArchive = OpenAs::Bare}, {"3 Archive memory has no interface.\n"}, {}},
        {"no factory for the pawn archive", {.pawnArchive = OpenAs::NoFactory}, {"3 No ArchiveFactory for nothing.\n"}, {}},
        {"sequence table refused", {.sequenceIni = OpenAs::Refused}, {refused, noWait01}, {}},
        {"buzz sounds refused", {.buzzArchive = OpenAs::Refused}, {refused}, {}},
        {"direct reads", reads(ReadMode::Direct), {}, {noWait01}},
        {"short reads", reads(ReadMode::Short), {}, {noWait01}},
        {"claimed reads", reads(ReadMode::Claims), {}, {noWait01}},
        {"asynchronous reads", reads(ReadMode::Async), {"1 emulating blocking read\n"}, {noWait01}},
        // A table entry that reads nothing has no "@": the sequence is left out, and selecting it is logged.
        {"negative reads", reads(ReadMode::Negative), {noWait01}, {}},
        {"no reads", reads(ReadMode::Nothing), {noWait01}, {}},
        {"sounds not made", {.soundsCreated = false}, {"3 Sound: SoundFactory is unable to create sound."}, {}},
        {"no sound factory", {.soundFactory = false}, {"3 Sound: No SoundFactory found."}, {}},
        {"producer with nothing", {.producerObjects = false}, {}, {"3 Pawn::Pawn no IKTProducer found, playing without shared media!\n"}},
        {"no producer", {.producer = false}, {"3 Pawn::Pawn no IKTProducer found, playing without shared media!\n"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultWorld world(c.setup);
        const PawnHandle pawn = world.game->create(&world.root, "pawn", 1);
        // "L text": a line of level L.
        auto logged = [&](const std::string& line) {
            for (const hostengine::LogLine& written : world.host.logLines())
                if (written.level == line[0] - '0' && written.text == line.substr(2)) return true;
            return false;
        };
        for (const std::string& line : c.logged) EXPECT_TRUE(logged(line)) << line << " in " << world.logText();
        for (const std::string& line : c.absent) EXPECT_FALSE(logged(line)) << line;
        playsOn(world, pawn);
        if (world.sounds && !c.setup.soundsCreated) {
            EXPECT_EQ(world.sounds->liveSounds(), 0u);
        }
    }
}

TEST(HostFaults, RowsThatCannotBeLockedDrawNothingAndLeaveNoLock) {
    FaultWorld world;
    const PawnHandle pawn = world.game->create(&world.root, "pawn", 1);
    ASSERT_TRUE(pawn.visible);
    for (int failing = 0; failing < 4; ++failing) {
        world.surface.failing = failing == 0;
        world.colour.failing = failing == 1;
        world.alpha.failing = failing == 2;
        world.draw(pawn);
        EXPECT_EQ(world.figurePixel() == kFigureColour, failing == 3) << failing;
        EXPECT_EQ(world.surface.outstanding() + world.colour.outstanding() + world.alpha.outstanding(), 0);
    }
}

// Rolls and frames across the clock's wrap are the pawn tests' to see: their clocks start just before it.
// A clock thrown back holds a roll where it started and the frames where they stand, until it catches up.
TEST(HostFaults, AClockThatJumpsBackHoldsRollsAndFramesUntilItCatchesUp) {
    pawntest::PawnWorld world;
    const PawnHandle pawn = world.create();
    ASSERT_TRUE(pawn);
    pawn.player->showScore(1);
    auto shownScore = [&] {
        world.drawFresh(pawn);
        return world.font.calls.empty() ? std::string() : world.font.calls.back().text;
    };
    world.host.setTime(100000);
    pawn.player->addScore(100);  // rolls over 1500 ms
    world.host.advance(300);
    world.host.setTime(world.host.currentTime() - 10000);
    EXPECT_EQ(shownScore(), "0");
    world.host.advance(10000 + 1600);
    EXPECT_EQ(shownScore(), "100");

    world.send(pawn, kBuzz);
    for (int i = 0; i < 30; ++i) world.tick(pawn, 20);  // the whole buzz: the frames are paced from now on
    world.send(pawn, kBuzz);
    world.host.setTime(world.host.currentTime() - 60000);
    const pawntest::SequenceFrame held = world.videoState(pawn);
    for (int i = 0; i < 10; ++i) world.tick(pawn, 20);
    EXPECT_EQ(world.videoState(pawn), held);
    world.tick(pawn, 60000);
    EXPECT_FALSE(world.videoState(pawn) == held);
    EXPECT_EQ(world.sent, world.deletions);
}

}  // namespace
