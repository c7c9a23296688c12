// Pawns driven by the input as a game would drive them, through the player factory and IKTPlayer:
// messages of every kind (and of other families) with any parameter, score operations, bonuses and
// the penguin, freezing levels, hiding, the clock moved forward, backward and across 2^32, host event
// passes that end sounds, draws onto a surface, and pawns destroyed and made again. At the end every
// pawn goes back to the factory and the plug-in object is released: the module must hold nothing.
//
// Run: build/fuzz/fuzz/pawn_driver_fuzzer fuzz/corpus/pawn_driver -max_total_time=600
#include "fuzz/fuzz_host.h"
#include "module/plugin_object.h"

using namespace fuzzhost;

namespace {

constexpr std::int32_t kFrames = 4;       // frames of every pawn sequence
constexpr std::int32_t kFigureSize = 12;  // pixels of every figure

// Everything the pawns find through the host: their archive tree, the video and sound factories,
// the producer and its media, and a screen.
struct World {
    explicit World(FuzzInput& in)
        : video(19 * kFrames + in.range(-2, 2), Point(kFigureSize, kFigureSize)),
          colour(kFigureSize, kFigureSize, 16),
          alpha(kFigureSize, kFigureSize, 8, MemoryBitmap::pitchFor(kFigureSize, 8, 4, true)),
          surface(160, 120) {
        colour.fillRandom(1);
        alpha.fillRandom(2);
        video.bitmaps = {&colour.table, &alpha.table};
        videos.video = &video;
        sounds.createsNothing = in.below(8) == 0;

        addFigureArchive(rootArchive, "pawn", pawnTable(kFrames));
        for (int i = 1; i <= 4; ++i)
            rootArchive.addArchive("buzz" + std::to_string(i) + ".wav")->add("data", "RIFF", "wav").mode = readModeFrom(in);
        if (in.flag()) rootArchive.add("scorefontphase", in.text(20));
        addFigureArchive(mediaArchive, "pingouin", pawnTable(kFrames));
        mediaArchive.add("scoresnd", "RIFF", "wav");

        producer.nullForAll = in.below(16) == 0;
        producer.fontSource = create<TextDisplay>(0, 0, &font, "");
        if (ResourceEntry* penguin = mediaRoot.findEntry(nullptr, "pingouin", nullptr)) producer.penguin = create<KTAlphaVideo>(penguin);
        if (ResourceEntry* sound = mediaRoot.find("scoresnd")) producer.scoreSound = create<SoundResource>(sound);
    }

    MemArchiveFactory archives;
    FakeVideoFactory videos;
    FakeSoundFactory sounds;
    FakeVideo video;
    MemoryBitmap colour;
    MemoryBitmap alpha;
    MemorySurface surface;
    Canvas canvas = canvasOver(surface);
    RecordingFont font{12, 6, false};
    MemArchive rootArchive;
    MemArchive mediaArchive;
    MemRoot root{rootArchive};
    MemRoot mediaRoot{mediaArchive};
    FakeProducer producer;
};

// A pawn the factory made, or the nothing it made instead.
struct Player {
    Player(IKTPlayerFactory* factory, ResourceDir* root, std::int32_t index, bool missingArchive)
        : handle(factory->createPlayer(root, missingArchive ? "nopawn" : "pawn", index)),
          player(handle ? handle->find<IKTPlayer>("IKTPlayer") : nullptr),
          visible(handle ? handle->find<IVisible>("IVisible") : nullptr) {}

    InterfaceTable* handle;
    IKTPlayer* player;
    IVisible* visible;
};

void drive(FuzzInput& in, World& world, IKTPlayerFactory* factory) {
    std::vector<Player> pawns;
    const std::uint32_t count = 1 + in.below(3);
    for (std::uint32_t i = 0; i < count; ++i) pawns.emplace_back(factory, &world.root, static_cast<std::int32_t>(i), in.below(8) == 0);

    for (int step = 0; step < 400 && !in.empty(); ++step) {
        Player& pawn = pawns[in.below(static_cast<std::uint32_t>(pawns.size()))];
        const std::uint32_t op = in.below(22);
        if (!pawn.player) {
            if (op == 21) pawn = Player(factory, &world.root, in.value(), false);
            continue;
        }
        IKTPlayer& player = *pawn.player;
        switch (op) {
            case 0: case 1: case 2: {
                // Mostly the pawn's own family; now and then a sound's notice or anything at all.
                const std::uint32_t pick = in.below(8);
                const std::uint32_t code = pick < 6 ? 0x000B0000u | in.below(13) : pick == 6 ? kSoundEnded : in.u32();
                require(player.receive(gameMessage(code, in.below(3) == 0 ? in.value() : in.range(-2, 600))) == 1,
                        "receive must answer 1");
                break;
            }
            case 3: case 4: player.update(); break;
            case 5: fuzzhost::host().advance(in.below(3) == 0 ? in.u32() : in.range(0, 1000)); break;
            case 6: fuzzhost::host().setTime(fuzzhost::host().currentTime() - in.range(0, 5000)); break;
            case 7: fuzzhost::host().setTime(0xFFFFFFFFu - static_cast<std::uint32_t>(in.range(0, 3000))); break;
            case 8: fuzzhost::host().pumpEvents(); break;
            case 9: player.addScore(in.value()); break;
            case 10: player.addBonusScore(in.value()); break;
            case 11: {
                const std::int32_t lost = in.value();
                player.loseScore(lost, in.value());
                break;
            }
            case 12: player.subtractScore(in.value()); break;
            case 13: player.setBonus(in.below(3) == 0 ? in.value() : in.range(-3, 17)); break;
            case 14:
                world.surface.failing = in.below(8) == 0;
                world.canvas.clip = in.below(4) == 0 ? rectIn(in, -50, 200, -10, 300) : Rect(0, 0, 160, 120);
                if (pawn.visible) pawn.visible->draw(&world.canvas);
                world.surface.failing = false;
                require(world.surface.outstanding() == 0 && world.colour.outstanding() == 0 && world.alpha.outstanding() == 0,
                        "rows left locked after a draw");
                break;
            case 15: player.countAnswer(in.value()); break;
            case 16: player.setActivity(in.range(-3, 2)); break;
            case 17: player.thaw(); break;
            case 18: player.setHidden(in.range(0, 1)); break;
            case 19: player.showScore(in.range(0, 1)); player.setScorePhase(in.range(0, 4)); break;
            case 20:
                if (pawn.visible) {
                    const std::int32_t x = in.range(-200, 400);
                    pawn.visible->setPosition(x, in.range(-200, 600));
                }
                break;
            default: {
                factory->destroyPlayer(pawn.handle);
                const std::int32_t index = in.value();
                pawn = Player(factory, &world.root, index, in.below(8) == 0);
                break;
            }
        }
        if (pawn.player) require(pawn.player->isFrozen() == (pawn.player->getActivity() < 1 ? 1 : 0), "frozen exactly below activity 1");
    }
    for (Player& pawn : pawns) factory->destroyPlayer(pawn.handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runInput(data, size, [](FuzzInput& in) {
        fuzzhost::host().setTime(in.u32());
        World world(in);
        InterfaceTable* plugin = initPlugin(&fuzzhost::host(), nullptr);
        IKTPlayerFactory* factory = plugin ? plugin->find<IKTPlayerFactory>("IKTPlayerFactory") : nullptr;
        if (factory) drive(in, world, factory);
        // Sounds stopped by their holders end at the next pass; their notices free them.
        fuzzhost::host().drainEvents(100);
        releasePlugin();
    });
}
