// The whole module over a long evening: eight pawns of the test twin of pawn.kvx, each updated on
// every frame, with random messages of every kind, score changes, bonuses and the penguin, draws, host
// event passes that end the sounds, pawns given back and made again from the archives (now and then
// over streams that only read asynchronously), on a clock that runs across 2^32 again and again. The
// module's own heap, read through the twin's accounting, must stay flat: no higher in the last
// quarter of the evening than in the first, and empty once everything is given back.
//
// The suite runs 24,000 updates; PAWN_SOAK_NIGHTLY=1 runs a million (for the sanitizer build at night).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/allocator.h"
#include "host/core/raw_avi.h"
#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

constexpr int kPawns = 8;

long updatesWanted() {
    const char* nightly = std::getenv("PAWN_SOAK_NIGHTLY");
    return nightly && *nightly && *nightly != '0' ? 1000000L : 24000L;
}

struct Twin {
    void (*stats)(AllocationStats*) = nullptr;
    ResourceDir* (*makeRoot)(IArchive*, InterfaceTable*) = nullptr;
    void (*freeRoot)(ResourceDir*) = nullptr;
    std::int64_t live() const {
        AllocationStats s{};
        stats(&s);
        return s.live;
    }
};

class Evening {
public:
    Evening() {
        writeFigureArchive(dir / "root/pawn", pawnSequences(), kPawnColours);
        for (int i = 1; i <= 4; ++i) writeWav(dir / ("root/buzz" + std::to_string(i) + ".wav"), i * kBuzzFrameUnit);
        writeFile(dir / "root/scorefontphase", "1\n");
        writeWav(dir / "media/scoresnd.wav", kScoreSoundFrames);
        writeFigureArchive(dir / "media/pingouin", penguinSequences(), kPenguinColours);
        hostRoot = archives.makeRootDir(dir / "root");
        mediaRoot = archives.makeRootDir(dir / "media");
        producer = std::make_unique<hostengine::Producer>(host, mediaRoot, font.font());
        canvas = hostengine::makeCanvas(surface);
    }
    ~Evening() {
        producer.reset();
        host.drainEvents();
    }

    TempDir dir;
    hostengine::HostEngine host;
    hostengine::SoundFactory sounds{host};
    std::unique_ptr<hostengine::HostVideoFactory> videos = hostengine::registerRawAviVideoFactory(host);
    hostengine::HostArchives archives{host};
    RecordingFont font;
    ResourceDir* hostRoot = nullptr;
    ResourceDir* mediaRoot = nullptr;
    std::unique_ptr<hostengine::Producer> producer;
    hostengine::Surface surface{kPawns * 80, 480};
    Canvas canvas;
};

struct Player {
    InterfaceTable* handle = nullptr;
    IKTPlayer* player = nullptr;
    IVisible* visible = nullptr;
};

TEST(ModuleSoak, EightPawnsThroughTheEveningKeepTheHeapFlat) {
    Evening evening;
    hostengine::PluginLoader loader;
    ASSERT_TRUE(loader.open(PAWN_TESTHOOKS_PLUGIN_PATH)) << loader.error();
    void* library = dlopen(PAWN_TESTHOOKS_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    Twin twin;
    twin.stats = reinterpret_cast<void (*)(AllocationStats*)>(dlsym(library, "pawnAllocationStats"));
    twin.makeRoot = reinterpret_cast<ResourceDir* (*)(IArchive*, InterfaceTable*)>(dlsym(library, "pawnMakeRoot"));
    twin.freeRoot = reinterpret_cast<void (*)(ResourceDir*)>(dlsym(library, "pawnFreeRoot"));
    dlclose(library);
    ASSERT_TRUE(twin.stats && twin.makeRoot && twin.freeRoot);
    const std::int64_t liveBefore = twin.live();

    ResourceDir* root = twin.makeRoot(evening.hostRoot->archive, evening.hostRoot->archiveHandle);
    ASSERT_NE(root, nullptr);
    ASSERT_NE(loader.init(&evening.host), nullptr);
    IKTPlayerFactory* factory = loader.factory();
    ASSERT_NE(factory, nullptr);

    std::mt19937 random(20261206);
    auto below = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto make = [&](int index) {
        Player made;
        made.handle = factory->createPlayer(root, "pawn", index);
        if (made.handle) {
            made.player = made.handle->find<IKTPlayer>("IKTPlayer");
            made.visible = made.handle->find<IVisible>("IVisible");
            made.visible->setPosition(index * 80, 280);
            made.player->showScore(1);
        }
        return made;
    };
    std::vector<Player> pawns;
    for (int i = 0; i < kPawns; ++i) pawns.push_back(make(i));
    for (const Player& pawn : pawns) ASSERT_NE(pawn.player, nullptr);

    int sent = 0;
    int deleted = 0;
    const long wanted = updatesWanted();
    const long quarter = wanted / 4;
    std::int64_t firstQuarterPeak = 0;
    std::int64_t lastQuarterPeak = 0;
    long updates = 0;
    evening.host.setTime(0xFFFFFFFFu - 5000u);
    while (updates < wanted) {
        // Frames of 20 to 60 ms; the clock wraps every 2^32 ms of play, so it is also set near the
        // wrap now and then rather than only once.
        evening.host.advance(static_cast<std::uint32_t>(20 + below(41)));
        if (below(5000) == 0) evening.host.setTime(0xFFFFFFFFu - static_cast<std::uint32_t>(below(3000)));
        evening.host.pumpEvents();

        Player& pawn = pawns[static_cast<std::size_t>(below(kPawns))];
        IKTPlayer& player = *pawn.player;
        switch (below(40)) {
            case 0: case 1: case 2: case 3: case 4: case 5: {
                // Mostly pawn messages, with parameters a game uses; now and then another family.
                const std::uint32_t code = below(12) == 0 ? 0x00050001u : 0x000B0000u | static_cast<std::uint32_t>(1 + below(11));
                const std::int32_t parameter = code == 0x000B0001u ? -below(3) : code >= 0x000B0009u ? 200 + below(800) : below(3);
                ++sent;
                player.receive(new GameMessage(code, parameter, &deleted));
                break;
            }
            case 6: player.addScore(below(300)); break;
            case 7: player.addBonusScore(below(100)); break;
            case 8: player.loseScore(below(100), below(50)); break;
            case 9: player.subtractScore(below(50)); break;
            case 10: player.setBonus(std::array<int, 6>{1 + below(10), -1, -2, 0, 16, 7}[static_cast<std::size_t>(below(6))]); break;
            case 11: player.countAnswer(below(3) - 1); break;
            case 12: player.thaw(); break;
            case 13:
                if (below(20) == 0) {
                    // Given back and made again, sometimes over streams that only read asynchronously.
                    const std::int32_t index = player.getPlayerIndex();
                    evening.archives.setStreamMode(below(3) == 0 ? hostengine::StreamMode::Asynchronous : hostengine::StreamMode::Direct);
                    factory->destroyPlayer(pawn.handle);
                    pawn = make(index);
                    ASSERT_NE(pawn.player, nullptr);
                }
                break;
            default: break;
        }
        for (Player& each : pawns) {
            each.player->update();
            ++updates;
        }
        if (updates % (kPawns * 4) == 0) {
            evening.surface.fill(0);
            for (Player& each : pawns) each.visible->draw(&evening.canvas);
        }
        const std::int64_t live = twin.live();
        if (updates < quarter) firstQuarterPeak = std::max(firstQuarterPeak, live);
        if (updates >= wanted - quarter) lastQuarterPeak = std::max(lastQuarterPeak, live);
        ASSERT_EQ(evening.surface.locks().outstanding(), 0);
    }

    for (Player& pawn : pawns) factory->destroyPlayer(pawn.handle);
    evening.host.drainEvents();
    loader.release();
    twin.freeRoot(root);

    std::printf("[ soak     ] %ld updates; module heap peak %lld blocks in the first quarter, %lld in the last\n", updates,
                static_cast<long long>(firstQuarterPeak), static_cast<long long>(lastQuarterPeak));
    // A block per pawn of slack: which curves happen to run together at the peak is chance; a leak
    // of anything per update or per pawn made would pass it by thousands.
    EXPECT_LE(lastQuarterPeak, firstQuarterPeak + kPawns) << "the module's heap grew over the evening";
    EXPECT_EQ(twin.live(), liveBefore) << "memory left in the module after everything was given back";
    EXPECT_EQ(sent, deleted);
}

}  // namespace
