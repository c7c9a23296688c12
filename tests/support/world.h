// A game's world on real files, shared by the tests that drive pawns as a game does: the files in a
// temporary directory (pawn archives with an uncompressed dual.avi and a sequence table, buzz and
// score WAVs, the penguin, bonus pictures, a score font phase), the reference host over them (archives,
// sounds, videos, a recording font, the producer, a screen), and the game's side: a plug-in (pawn.kvx
// or its test twin pawn_testhooks.kvx) loaded through the plug-in loader, with the pawns it made.
//
// Every frame of a test video has a colour of its own (red and green count the frame, blue names the
// figure), so the frame on show can be read back from the pixels; every buzz WAV has a length of its
// own, so the playback log tells which one played.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/abi.h"
#include "core/allocator.h"
#include "host/core/bitmap_font.h"
#include "host/core/host_engine.h"
#include "host/core/plugin_loader.h"
#include "host/core/producer.h"
#include "host/core/raw_avi.h"
#include "host/core/resource_root.h"
#include "host/core/sound_factory.h"
#include "host/core/surface.h"
#include "media/alpha_video.h"
#include "tests/support/counted_message.h"
#include "tests/support/temp_dir.h"

namespace pawntest {

namespace fs = std::filesystem;

constexpr int kPawnColours = 1;  // colour sets of the test videos; 0 is the black background
constexpr int kPenguinColours = 2;
constexpr int kFigureSize = 8;        // pawn and penguin frames are 8 x 8 pixels
constexpr int kBuzzFrameUnit = 800;   // buzzN.wav holds N x 800 samples at 8 kHz: N x 100 ms
constexpr int kScoreSoundFrames = 4000;

struct SequenceRun {
    std::string name;
    int count;
    int first;
};

// Sequences one after another: for each (name, numbered, count), name01..name0<numbered> of `count`
// frames each, or the name alone when `numbered` is 0.
inline std::vector<SequenceRun> sequencesOf(std::initializer_list<std::tuple<const char*, int, int>> groups) {
    std::vector<SequenceRun> runs;
    int next = 0;
    for (const auto& [name, numbered, count] : groups)
        for (int i = numbered ? 1 : 0; i <= numbered; ++i, next += count)
            runs.push_back(SequenceRun{numbered ? name + std::string("0") + std::to_string(i) : name, count, next});
    return runs;
}
inline std::vector<SequenceRun> pawnSequences() {
    return sequencesOf({{"wait", 7, 4}, {"buzz", 3, 6}, {"hppy", 3, 5}, {"uhppy", 3, 5}, {"l_left", 0, 4}, {"l_rght", 0, 4}, {"freeze", 0, 2}});
}
inline std::vector<SequenceRun> penguinSequences() { return sequencesOf({{"wait", 3, 3}, {"buzz", 3, 4}, {"freeze", 0, 2}}); }

using testfiles::TempDir;
using testfiles::writeFile;

// Mono 16-bit PCM at 8 kHz holding `frames` samples of a quiet saw.
inline void writeWav(const std::string& path, int frames) {
    std::string out;
    auto put = [&out](std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    out += "RIFF";
    put(36 + static_cast<std::uint32_t>(frames) * 2, 4);
    out += "WAVEfmt ";
    for (auto [value, width] : {std::pair{16, 4}, {1, 2}, {1, 2}, {8000, 4}, {16000, 4}, {2, 2}, {16, 2}}) put(value, width);
    out += "data";
    put(static_cast<std::uint32_t>(frames) * 2, 4);
    for (int i = 0; i < frames; ++i) put(static_cast<std::uint32_t>((i % 64) * 64), 2);
    writeFile(path, out);
}

// A square video of `pictures.size()` frames, each of one colour (8-bit components), opaque inside a
// transparent border of one pixel when `border` is set.
inline void writeVideo(const std::string& path, int size, const std::vector<Colour>& pictures, bool border) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (const Colour& colour : pictures) {
        std::vector<std::uint8_t>& bgra = frames.emplace_back();
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const bool clear = border && (x == 0 || y == 0 || x == size - 1 || y == size - 1);
                for (int component : {colour.blue, colour.green, colour.red, clear ? 0 : 255}) bgra.push_back(static_cast<std::uint8_t>(component));
            }
    }
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(hostengine::writeRawAvi(path, size, size, 12, frames)) << path;
}

// An archive directory: dual.avi with a colour per frame (red and green count the frame, blue is
// `set`) and sequence.ini whose section "color" holds the sequences as "count@first".
inline void writeFigureArchive(const std::string& directory, const std::vector<SequenceRun>& runs, int set) {
    int frames = 1;
    for (const SequenceRun& run : runs) frames = std::max(frames, run.first + run.count);
    std::vector<Colour> pictures;
    for (int f = 0; f < frames; ++f) pictures.push_back(Colour((f & 31) << 3, ((f >> 5) & 31) << 3, (set & 31) << 3));
    writeVideo(directory + "/dual.avi", kFigureSize, pictures, false);
    std::string ini = "[color]\n";
    for (const SequenceRun& run : runs) ini += run.name + "=" + std::to_string(run.count) + "@" + std::to_string(run.first) + "\n";
    writeFile(directory + "/sequence.ini", ini);
}

struct WorldOptions {
    bool producer = true;                  // registered under "IKTProducer"
    bool scoreSound = true;                // media/scoresnd.wav
    bool penguin = true;                   // media/pingouin
    std::set<int> bonusVideos = {3};       // media/bonusNN.avi; the other numbers get badges
    const char* scoreFontPhase = nullptr;  // the bytes of root/scorefontphase, when it is written
    std::vector<SequenceRun> sequences = pawnSequences();  // of root/pawn
};

struct DrawnText {
    std::string text;
    std::int32_t x;
    std::int32_t y;
    Colour colour;       // the context's colour at the call
    std::int32_t phase;  // the font's phase at the call
};

// The producer's font, recording what it is asked to draw.
class RecordingFont : public hostengine::BitmapFont {
public:
    RecordingFont() : BitmapFont(2, 1) {}
    void drawText(Canvas* canvas, std::int32_t x, std::int32_t y, const char* text) override {
        calls.push_back(DrawnText{text ? text : "", x, y, canvas ? canvas->colour : Colour(), phase()});
        BitmapFont::drawText(canvas, x, y, text);
    }
    std::vector<DrawnText> calls;
};

// The reference host over a world's files.
struct Stage {
    static constexpr int kScreenWidth = 640;
    static constexpr int kScreenHeight = 480;

    Stage(const TempDir& dir, const WorldOptions& options) {
        root = archives.makeRootDir(dir / "root");
        mediaRoot = archives.makeRootDir(dir / "media");
        if (options.producer) producer = std::make_unique<hostengine::Producer>(host, mediaRoot, font.font());
        canvas = hostengine::makeCanvas(surface);
    }
    ~Stage() {
        producer.reset();
        host.drainEvents();
    }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    hostengine::HostEngine host;
    hostengine::SoundFactory sounds{host};
    std::unique_ptr<hostengine::HostVideoFactory> videos = hostengine::registerRawAviVideoFactory(host);
    hostengine::HostArchives archives{host};
    RecordingFont font;
    std::unique_ptr<hostengine::Producer> producer;
    ResourceDir* root = nullptr;
    ResourceDir* mediaRoot = nullptr;
    hostengine::Surface surface{kScreenWidth, kScreenHeight};
    Canvas canvas;
};

// A world's files: root/ the game's archive root, media/ the producer's.
struct WorldFiles {
    explicit WorldFiles(const WorldOptions& options) {
        writeFigureArchive(dir / "root/pawn", options.sequences, kPawnColours);
        for (int i = 1; i <= 4; ++i) writeWav(dir / ("root/buzz" + std::to_string(i) + ".wav"), i * kBuzzFrameUnit);
        if (options.scoreFontPhase) writeFile(dir / "root/scorefontphase", options.scoreFontPhase);
        fs::create_directories(dir / "media");
        if (options.scoreSound) writeWav(dir / "media/scoresnd.wav", kScoreSoundFrames);
        if (options.penguin) writeFigureArchive(dir / "media/pingouin", penguinSequences(), kPenguinColours);
        for (int n : options.bonusVideos) {
            char name[32];
            std::snprintf(name, sizeof name, "media/bonus%02d.avi", n);
            writeVideo(dir / name, 16, {Colour(40, 200, 96)}, true);
        }
    }
    TempDir dir{"pawn-world"};
};

// What a game keeps of one pawn: its handle and the two interfaces it looked up by name.
struct PawnHandle {
    InterfaceTable* handle = nullptr;
    IKTPlayer* player = nullptr;
    IVisible* visible = nullptr;
    KTAlphaVideo* ownVideo = nullptr;  // the figure on show right after creation
    explicit operator bool() const { return handle != nullptr; }
};

// createPlayer as a game calls it, and the two interfaces looked up by name.
inline PawnHandle createPawn(IKTPlayerFactory* factory, ResourceDir* root, const char* archiveName, std::int32_t playerIndex) {
    PawnHandle pawn;
    if (!factory || !(pawn.handle = factory->createPlayer(root, archiveName, playerIndex))) return pawn;
    pawn.player = pawn.handle->find<IKTPlayer>("IKTPlayer");
    pawn.visible = pawn.handle->find<IVisible>("IVisible");
    pawn.ownVideo = pawn.player ? pawn.player->getVideo() : nullptr;
    return pawn;
}

// The game's side: the plug-in loaded and started as a game does, and the pawns it made, given back
// when the game closes.
class Game {
public:
    explicit Game(Host& host, const std::string& plugin = {}) {
        if (!loader.open(plugin)) ADD_FAILURE() << loader.error();
        else if (!loader.init(&host)) ADD_FAILURE() << loader.error();
        if (!(factory = loader.factory())) ADD_FAILURE() << "no IKTPlayerFactory";
    }
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    PawnHandle create(ResourceDir* root, const char* archiveName, std::int32_t playerIndex) {
        PawnHandle pawn = createPawn(factory, root, archiveName, playerIndex);
        if (pawn) pawns_.push_back(pawn);
        return pawn;
    }
    void destroy(PawnHandle& pawn) {
        std::erase_if(pawns_, [&](const PawnHandle& kept) { return kept.handle == pawn.handle; });
        factory->destroyPlayer(pawn.handle);
        pawn = PawnHandle{};
    }
    // The game's message, handed to the pawn's receive.
    std::int32_t send(const PawnHandle& pawn, std::uint32_t code, std::int32_t parameter = 0) {
        ++sent;
        return pawn.player->receive(gameMessage(code, parameter, &deletions));
    }
    // The pawns still alive are given back; sounds stopped by their teardown end at the next pass and
    // their notices free them; the producer goes before the plug-in is released.
    template <class Producer>
    void close(hostengine::HostEngine& host, std::unique_ptr<Producer>& producer) {
        for (PawnHandle& pawn : pawns_) factory->destroyPlayer(pawn.handle);
        pawns_.clear();
        host.drainEvents();
        producer.reset();
        host.drainEvents();
        loader.release();
    }

    hostengine::PluginLoader loader;
    IKTPlayerFactory* factory = nullptr;
    int sent = 0;       // game messages handed to pawns
    int deletions = 0;  // and deleted by them

private:
    std::vector<PawnHandle> pawns_;
};

// The test twin's own exports, found once the loader has opened pawn_testhooks.kvx: its allocator,
// armed to refuse and counted, and resource roots of its own.
struct TestHooks {
    void (*fail)(std::int64_t, std::int32_t) = nullptr;
    void (*stats)(AllocationStats*) = nullptr;
    ResourceDir* (*makeRoot)(IArchive*, InterfaceTable*) = nullptr;
    void (*freeRoot)(ResourceDir*) = nullptr;

    bool find() {
        void* library = dlopen(PAWN_TESTHOOKS_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (!library) return false;
        fail = reinterpret_cast<decltype(fail)>(dlsym(library, "pawnFailAllocation"));
        stats = reinterpret_cast<decltype(stats)>(dlsym(library, "pawnAllocationStats"));
        makeRoot = reinterpret_cast<decltype(makeRoot)>(dlsym(library, "pawnMakeRoot"));
        freeRoot = reinterpret_cast<decltype(freeRoot)>(dlsym(library, "pawnFreeRoot"));
        dlclose(library);  // the loader keeps it open
        return fail && stats && makeRoot && freeRoot;
    }
    AllocationStats now() const {
        AllocationStats s{};
        stats(&s);
        return s;
    }
    // A root of the twin's own over the host root's archive, so resource nodes count on its heap.
    ResourceDir* rootOver(ResourceDir* hostRoot) const { return makeRoot(hostRoot->archive, hostRoot->archiveHandle); }
};

// ---------------------------------------------------------------------------------------------------
// A game's evening of random play: on each frame the clock moves on (now and then it pauses for ten
// minutes, stands still or is set near its wrap again), the host runs a pass of its events, one pawn
// is acted on (messages of every kind with extreme parameters too, score changes, bonuses and the
// penguin, freezing, hiding, moves, score draws; now and then it is given back and made again, over
// direct or asynchronous streams) and every pawn is updated and checked; every 8th frame all are
// drawn. Each pawn draws its acts from a generator of its own, so a pawn that could not be made
// changes nothing of what the others do.
class Evening {
public:
    struct Slot {
        PawnHandle pawn;
        std::mt19937 random;
        bool hidden = false, scoreShown = true;
    };

    Evening(Stage& stage, IKTPlayerFactory* factory, ResourceDir* root, int pawns, std::uint32_t seed)
        : stage_(stage), factory_(factory), root_(root), random_(seed) {
        for (int i = 0; i < pawns; ++i) slots.push_back(Slot{{}, std::mt19937(seed + static_cast<std::uint32_t>(i) + 1)});
    }

    // The sixth pawn's archive is missing.
    void make(int i) {
        Slot& slot = slots[static_cast<std::size_t>(i)];
        slot = Slot{createPawn(factory_, root_, i == 5 ? "nobody" : "pawn", i + 1), slot.random};
        if (!playable(slot)) return;
        slot.pawn.visible->setPosition(i * 78, 280);
        slot.pawn.player->showScore(1);
    }
    void giveBack() {
        for (Slot& slot : slots)
            if (slot.pawn) factory_->destroyPlayer(slot.pawn.handle);
        slots.clear();
    }

    // With `whole`, every pawn is known to have all its parts: what it draws is checked too.
    void frame(bool whole) {
        const std::int32_t pause = pick(random_, 200);
        stage_.host.advance(pause == 0 ? 600000u : pause == 1 ? 0u : static_cast<std::uint32_t>(5 + pick(random_, 30)));
        if (pick(random_, 5000) == 0) stage_.host.setTime(0xFFFFFFFFu - static_cast<std::uint32_t>(pick(random_, 3000)));
        stage_.host.pumpEvents();
        Slot& acted = slots[static_cast<std::size_t>(pick(random_, static_cast<std::int32_t>(slots.size())))];
        if (playable(acted)) act(acted);
        for (Slot& slot : slots) {
            if (!playable(slot)) continue;
            slot.pawn.player->update();
            ++updates;
            const bool penguin = (slot.pawn.player->getBonusState() & 0xFF) == 16;
            EXPECT_EQ(slot.pawn.player->getVideo(), penguin ? stage_.producer->penguin() : slot.pawn.ownVideo);
            EXPECT_EQ(slot.pawn.player->isHidden(), slot.pawn.visible->isHidden());
        }
        if (++frames_ % 8 == 0) drawAll(whole);
        EXPECT_EQ(stage_.surface.locks().outstanding(), 0);
    }

    std::vector<Slot> slots;
    long updates = 0;
    long scoresChecked = 0;
    int sent = 0;
    int deleted = 0;

private:
    static bool playable(const Slot& slot) { return slot.pawn.player && slot.pawn.visible; }
    static std::int32_t pick(std::mt19937& random, std::int32_t n) { return std::uniform_int_distribution<std::int32_t>(0, n - 1)(random); }

    static std::int32_t anyParameter(std::mt19937& random) {
        static const std::int32_t kExtremes[] = {INT32_MIN, INT32_MIN + 1, -1000, -1, 0, 1, 2, 3, 1000, INT32_MAX - 1, INT32_MAX};
        const std::int32_t kind = pick(random, 4);
        if (kind == 3) return static_cast<std::int32_t>(random());
        return kind == 0 ? kExtremes[pick(random, 11)] : kind == 1 ? pick(random, 2001) : pick(random, 30) - 5;
    }
    static std::int32_t points(std::mt19937& random) { return pick(random, 20) == 0 ? anyParameter(random) : pick(random, 1100) - 100; }

    void act(Slot& slot) {
        IKTPlayer* player = slot.pawn.player;
        std::mt19937& random = slot.random;
        static const std::int32_t kBonuses[] = {-3, -2, -1, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, 16, 17, INT32_MIN};
        static const std::int32_t kPhases[] = {0, 1, 2, 3, 7};  // never 4, the rolling phase
        const std::int32_t what = pick(random, 20);
        if (what < 6) {
            // Mostly pawn messages; now and then a sound's end notice or any code at all.
            const std::int32_t family = pick(random, 30);
            std::uint32_t code = 0x000B0000u + static_cast<std::uint32_t>(pick(random, 13));
            if (family < 2) code = family == 0 ? static_cast<std::uint32_t>(random()) : 0x00050001u;
            const int before = deleted;
            ++sent;
            EXPECT_EQ(player->receive(gameMessage(code, anyParameter(random), &deleted)), 1);
            EXPECT_EQ(deleted, before + 1) << std::hex << code;
        } else if (what < 10) {
            const std::int32_t kind = pick(random, 4);
            const std::int32_t amount = points(random);
            if (kind == 0) player->addScore(amount);
            if (kind == 1) player->addBonusScore(amount);
            if (kind == 2) player->loseScore(amount, points(random));
            if (kind == 3) player->subtractScore(amount);
            if (kind >= 2) { EXPECT_GE(player->getScore(), 0); }
        } else if (what < 12) {
            player->setBonus(kBonuses[pick(random, static_cast<std::int32_t>(std::size(kBonuses)))]);
        } else if (what == 12) {
            pick(random, 2) ? player->setActivity(anyParameter(random)) : static_cast<void>(player->thaw());
        } else if (what == 13) {
            player->countAnswer(anyParameter(random));
            player->setScorePhase(kPhases[pick(random, 5)]);
        } else if (what == 14) {
            player->showScore(slot.scoreShown = pick(random, 4) != 0);
        } else if (what == 15) {
            player->setHidden(slot.hidden = pick(random, 6) == 0);
        } else if (what == 16) {
            slot.pawn.visible->setPosition(pick(random, 700) - 30, pick(random, 20) == 0 ? anyParameter(random) : 280);
        } else if (what == 17) {
            player->drawScore(&stage_.canvas);
        } else if (pick(random, 20) == 0) {
            stage_.archives.setStreamMode(pick(random, 3) == 0 ? hostengine::StreamMode::Asynchronous : hostengine::StreamMode::Direct);
            factory_->destroyPlayer(slot.pawn.handle);
            make(static_cast<int>(&slot - slots.data()));
        }
    }

    // A draw whose score is not rolling (the font never sees phase 4) shows the score itself.
    void drawAll(bool whole) {
        stage_.surface.fill(0);
        for (const Slot& slot : slots) {
            if (!playable(slot)) continue;
            stage_.font.calls.clear();
            slot.pawn.visible->draw(&stage_.canvas);
            const std::vector<DrawnText>& calls = stage_.font.calls;
            if (!whole) continue;
            EXPECT_EQ(calls.empty(), slot.hidden || !slot.scoreShown);
            if (calls.empty() || std::any_of(calls.begin(), calls.end(), [](const DrawnText& call) { return call.phase == 4; })) continue;
            ++scoresChecked;
            for (const DrawnText& call : calls) EXPECT_EQ(call.text, std::to_string(slot.pawn.player->getScore()));
        }
    }

    Stage& stage_;
    IKTPlayerFactory* factory_;
    ResourceDir* root_;
    std::mt19937 random_;
    long frames_ = 0;
};

// ---------------------------------------------------------------------------------------------------
// pawn.kvx in a world, and what a test reads back of a pawn: the frame on show from the screen's pixels
// or from its video, and which sounds played.

// The sequence and the frame within it that an absolute frame belongs to ("" when none does).
struct SequenceFrame {
    std::string name;
    int index = 0;
    bool operator==(const SequenceFrame& other) const { return name == other.name && index == other.index; }
};

inline SequenceFrame sequenceFrameOf(const std::vector<SequenceRun>& runs, int frame) {
    for (const SequenceRun& run : runs)
        if (frame >= run.first && frame < run.first + run.count) return SequenceFrame{run.name, frame - run.first};
    return SequenceFrame{};
}

inline std::ostream& operator<<(std::ostream& out, const SequenceFrame& shown) {
    return out << (shown.name.empty() ? "<nothing>" : shown.name) << " frame " << shown.index;
}

class PawnWorld : public WorldFiles, public Stage, public Game {
public:
    explicit PawnWorld(WorldOptions options = {})
        : WorldFiles(options), Stage(dir, options), Game(host), sequences_(std::move(options.sequences)) {}
    ~PawnWorld() { close(host, producer); }

    PawnHandle create(const char* archiveName = "pawn", std::int32_t playerIndex = 1) { return Game::create(root, archiveName, playerIndex); }

    // One pass of the game loop: the clock moves on, the host delivers its events, the pawn updates.
    void tick(const PawnHandle& pawn, std::uint32_t milliseconds) {
        host.advance(milliseconds);
        host.pumpEvents();
        pawn.player->update();
    }

    // Draws the pawn on a cleared screen, with a fresh record of the font's calls.
    void drawFresh(const PawnHandle& pawn) {
        surface.fill(0);
        font.calls.clear();
        EXPECT_TRUE(hostengine::clipInsideSurface(canvas, surface.width(), surface.height())) << "the host keeps the clip on its surface";
        pawn.visible->draw(&canvas);
    }

    // The frame of the figure drawn with its top-left corner at (x, y), read from its centre pixel.
    SequenceFrame figureAt(std::int32_t x, std::int32_t y) const {
        const std::uint16_t pixel = surface.pixel(x + kFigureSize / 2, y + kFigureSize / 2);
        const int frame = ((pixel >> 10) & 31) | (((pixel >> 5) & 31) << 5);
        const int set = colourSetAt(x, y);
        if (set == kPawnColours) return sequenceFrameOf(sequences_, frame);
        if (set == kPenguinColours) return sequenceFrameOf(penguinSequences(), frame);
        return SequenceFrame{};
    }
    // 0: the background, nothing drawn there.
    int colourSetAt(std::int32_t x, std::int32_t y) const { return surface.pixel(x + kFigureSize / 2, y + kFigureSize / 2) & 31; }

    // The sequence and frame the pawn's figure stands at, as its video reports them.
    static SequenceFrame videoState(const PawnHandle& pawn) {
        KTAlphaVideo* video = pawn.player->getVideo();
        if (!video || !video->current) return SequenceFrame{};
        return SequenceFrame{video->current->name, video->currentFrame()};
    }

    // Playbacks of the buzz WAVs (1..4 by length) and of the score sound.
    std::vector<int> buzzesPlayed() const {
        std::vector<int> played;
        for (const auto& playback : sounds.playbackLog()) {
            const std::int64_t frames = playback.sound ? playback.sound->frames() : 0;
            if (frames && frames % kBuzzFrameUnit == 0 && frames / kBuzzFrameUnit <= 4) played.push_back(static_cast<int>(frames / kBuzzFrameUnit));
        }
        return played;
    }
    std::vector<hostengine::Playback> scoreSoundsPlayed() const {
        std::vector<hostengine::Playback> played;
        for (const auto& playback : sounds.playbackLog())
            if (playback.sound && playback.sound->frames() == kScoreSoundFrames) played.push_back(playback);
        return played;
    }

private:
    std::vector<SequenceRun> sequences_;
};

}  // namespace pawntest
