// A game's world for driving pawns as a game does: real files in a temporary directory (pawn archives
// with an uncompressed dual.avi and a sequence table, buzz and score WAVs, the penguin, bonus
// pictures), the reference host with its archives, sound and video factories, a recording font and
// the producer, and pawn.kvx loaded through the plug-in loader.
//
// Every frame of a test video has a colour of its own (see frameColour), so the frame on show can be
// read back from the pixels a pawn draws; every buzz WAV has a length of its own, so the playback log
// tells which one played.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/abi.h"
#include "tests/support/counted_message.h"
#include "host/core/bitmap_font.h"
#include "host/core/host_engine.h"
#include "host/core/plugin_loader.h"
#include "host/core/producer.h"
#include "host/core/raw_avi.h"
#include "host/core/resource_root.h"
#include "host/core/sound_factory.h"
#include "host/core/surface.h"
#include "media/alpha_video.h"

namespace pawntest {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------------
// Messages as the game builds them


// ---------------------------------------------------------------------------------------------------
// Pictures: one colour per frame

// Colour sets of the test videos; 0 is the black background.
constexpr int kPawnColours = 1;
constexpr int kPenguinColours = 2;
constexpr int kOtherPawnColours = 3;

// Frame `frame` (0..1023) of colour set `set` as an RGB555 pixel: red and green count the frame, blue
// names the set.
inline std::uint16_t frameColour(int set, int frame) {
    return static_cast<std::uint16_t>(((frame & 31) << 10) | (((frame >> 5) & 31) << 5) | (set & 31));
}

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
        for (int i = numbered ? 1 : 0; i <= numbered; ++i) {
            runs.push_back(SequenceRun{numbered ? name + std::string("0") + std::to_string(i) : name, count, next});
            next += count;
        }
    return runs;
}

// A pawn's full set: wait01..wait07 (4 frames), buzz01..buzz03 (6), hppy01..hppy03 and uhppy01..uhppy03
// (5), l_left and l_rght (4), freeze (2).
inline std::vector<SequenceRun> pawnSequences() {
    return sequencesOf({{"wait", 7, 4}, {"buzz", 3, 6}, {"hppy", 3, 5}, {"uhppy", 3, 5}, {"l_left", 0, 4}, {"l_rght", 0, 4}, {"freeze", 0, 2}});
}

// The penguin's set: wait01..wait03 (3 frames), buzz01..buzz03 (4), freeze (2).
inline std::vector<SequenceRun> penguinSequences() { return sequencesOf({{"wait", 3, 3}, {"buzz", 3, 4}, {"freeze", 0, 2}}); }

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

// ---------------------------------------------------------------------------------------------------
// Files

constexpr int kFigureSize = 8;        // pawn and penguin frames are 8 x 8 pixels
constexpr int kBuzzFrameUnit = 800;   // buzzN.wav holds N x 800 samples at 8 kHz: N x 100 ms
constexpr int kScoreSoundFrames = 4000;
constexpr int kWavRate = 8000;

// A directory made for one world and removed with it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "pawn-world-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return (fs::path(path_) / relative).string(); }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Mono 16-bit PCM at 8 kHz holding `frames` samples of a quiet saw.
inline void writeWav(const std::string& path, int frames) {
    std::string out;
    auto put = [&out](std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames) * 2;
    out += "RIFF";
    put(36 + dataBytes, 4);
    out += "WAVEfmt ";
    for (auto [value, width] : {std::pair{16, 4}, {1, 2}, {1, 2}, {kWavRate, 4}, {kWavRate * 2, 4}, {2, 2}, {16, 2}}) put(value, width);
    out += "data";
    put(dataBytes, 4);
    for (int i = 0; i < frames; ++i) put(static_cast<std::uint32_t>((i % 64) * 64), 2);
    writeFile(path, out);
}

// An archive directory: dual.avi with one colour per frame (set `set`, every pixel opaque) and
// sequence.ini whose section "color" holds the sequences as "count@first".
inline void writeFigureArchive(const std::string& directory, const std::vector<SequenceRun>& runs, int set,
                               int frames = -1) {
    if (frames < 0) {
        frames = 1;
        for (const SequenceRun& run : runs) frames = std::max(frames, run.first + run.count);
    }
    std::vector<std::vector<std::uint8_t>> pictures;
    for (int f = 0; f < frames; ++f) {
        const std::uint16_t colour = frameColour(set, f);
        std::vector<std::uint8_t> bgra;
        for (int p = 0; p < kFigureSize * kFigureSize; ++p) {
            bgra.push_back(static_cast<std::uint8_t>((colour & 31) << 3));
            bgra.push_back(static_cast<std::uint8_t>(((colour >> 5) & 31) << 3));
            bgra.push_back(static_cast<std::uint8_t>(((colour >> 10) & 31) << 3));
            bgra.push_back(255);
        }
        pictures.push_back(std::move(bgra));
    }
    fs::create_directories(directory);
    ASSERT_TRUE(hostengine::writeRawAvi((fs::path(directory) / "dual.avi").string(), kFigureSize, kFigureSize, 12, pictures));
    std::string ini = "[color]\n";
    for (const SequenceRun& run : runs) ini += run.name + "=" + std::to_string(run.count) + "@" + std::to_string(run.first) + "\n";
    writeFile((fs::path(directory) / "sequence.ini").string(), ini);
}

// A one-frame video for a bonus picture: a square of `colour` (8-bit components), opaque inside a
// transparent border of one pixel.
inline void writePictureVideo(const std::string& path, int size, Colour colour) {
    std::vector<std::uint8_t> bgra;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const bool border = x == 0 || y == 0 || x == size - 1 || y == size - 1;
            bgra.push_back(static_cast<std::uint8_t>(colour.blue));
            bgra.push_back(static_cast<std::uint8_t>(colour.green));
            bgra.push_back(static_cast<std::uint8_t>(colour.red));
            bgra.push_back(border ? 0 : 255);
        }
    ASSERT_TRUE(hostengine::writeRawAvi(path, size, size, 12, {bgra}));
}

// ---------------------------------------------------------------------------------------------------
// A font that records what it is asked to draw

struct DrawnText {
    std::string text;
    std::int32_t x;
    std::int32_t y;
    Colour colour;       // the context's colour at the call
    std::int32_t phase;  // the font's phase at the call
};

class RecordingFont : public hostengine::BitmapFont {
public:
    RecordingFont() : BitmapFont(2, 1) {}
    void drawText(Canvas* canvas, std::int32_t x, std::int32_t y, const char* text) override {
        calls.push_back(DrawnText{text ? text : "", x, y, canvas ? canvas->colour : Colour(), phase()});
        BitmapFont::drawText(canvas, x, y, text);
    }
    std::vector<DrawnText> calls;
};

// ---------------------------------------------------------------------------------------------------
// The world

struct WorldOptions {
    bool producer = true;           // registered under "IKTProducer"
    bool producerFont = true;       // the producer's "allalpha" carries the recording font
    bool scoreSound = true;         // media/scoresnd.wav
    bool penguin = true;            // media/pingouin
    std::set<int> bonusVideos = {3};  // media/bonusNN.avi; the other numbers get badges
    const char* scoreFontPhase = nullptr;  // the bytes of root/scorefontphase, when it is written
    std::vector<SequenceRun> sequences = pawnSequences();  // of root/pawn
};

// What a game keeps of one pawn: its handle and the two interfaces it looked up by name.
struct PawnHandle {
    InterfaceTable* handle = nullptr;
    IKTPlayer* player = nullptr;
    IVisible* visible = nullptr;
    KTAlphaVideo* ownVideo = nullptr;  // the figure on show right after creation
    explicit operator bool() const { return handle != nullptr; }
};

class PawnWorld {
public:
    static constexpr int kScreenWidth = 640;
    static constexpr int kScreenHeight = 480;
    static Colour bonusVideoColour() { return Colour(40, 200, 96); }

    explicit PawnWorld(WorldOptions options = {}) : options_(std::move(options)) {
        layOutFiles();
        root = archives.makeRootDir(dir / "root");
        mediaRoot = archives.makeRootDir(dir / "media");
        if (options_.producer) producer = std::make_unique<hostengine::Producer>(host, mediaRoot, options_.producerFont ? font.font() : nullptr);
        canvas = hostengine::makeCanvas(surface);
        if (!loader.open()) {
            ADD_FAILURE() << loader.error();
            return;
        }
        if (!loader.init(&host)) ADD_FAILURE() << loader.error();
        factory = loader.factory();
        if (!factory) ADD_FAILURE() << "no IKTPlayerFactory";
    }

    ~PawnWorld() {
        for (PawnHandle& pawn : pawns_)
            if (pawn.handle && factory) factory->destroyPlayer(pawn.handle);
        pawns_.clear();
        // Sounds stopped by their holders' teardown end at the next pass; their notices free them.
        host.drainEvents();
        producer.reset();
        host.drainEvents();
        loader.release();
    }

    PawnWorld(const PawnWorld&) = delete;
    PawnWorld& operator=(const PawnWorld&) = delete;

    // createPlayer as a game calls it, and the two interfaces looked up by name. The world destroys
    // the pawns still alive when it goes.
    PawnHandle create(const char* archiveName = "pawn", std::int32_t playerIndex = 1) {
        PawnHandle pawn;
        if (!factory) return pawn;
        pawn.handle = factory->createPlayer(root, archiveName, playerIndex);
        if (!pawn.handle) return pawn;
        pawn.player = pawn.handle->find<IKTPlayer>("IKTPlayer");
        pawn.visible = pawn.handle->find<IVisible>("IVisible");
        pawn.ownVideo = pawn.player ? pawn.player->getVideo() : nullptr;
        pawns_.push_back(pawn);
        return pawn;
    }

    void destroy(PawnHandle& pawn) {
        for (auto it = pawns_.begin(); it != pawns_.end(); ++it)
            if (it->handle == pawn.handle) {
                pawns_.erase(it);
                break;
            }
        factory->destroyPlayer(pawn.handle);
        pawn = PawnHandle{};
    }

    // The game's message, handed to the pawn's receive.
    std::int32_t send(const PawnHandle& pawn, std::uint32_t code, std::int32_t parameter = 0) {
        return pawn.player->receive(gameMessage(code, parameter, &deletions));
    }

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

    // The frame of the figure drawn with its top-left corner at (x, y), read from the screen (see
    // frameColour).
    SequenceFrame figureAt(std::int32_t x, std::int32_t y) const {
        const std::uint16_t pixel = surface.pixel(x + kFigureSize / 2, y + kFigureSize / 2);
        const int frame = ((pixel >> 10) & 31) | (((pixel >> 5) & 31) << 5);
        if (colourSetAt(x, y) == kPawnColours) return sequenceFrameOf(options_.sequences, frame);
        if (colourSetAt(x, y) == kPenguinColours) return sequenceFrameOf(penguinSequences(), frame);
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

    TempDir dir;
    hostengine::HostEngine host;
    hostengine::SoundFactory sounds{host};
    std::unique_ptr<hostengine::HostVideoFactory> videos = hostengine::registerRawAviVideoFactory(host);
    hostengine::HostArchives archives{host};
    RecordingFont font;
    std::unique_ptr<hostengine::Producer> producer;
    hostengine::PluginLoader loader;
    IKTPlayerFactory* factory = nullptr;
    ResourceDir* root = nullptr;
    ResourceDir* mediaRoot = nullptr;
    hostengine::Surface surface{kScreenWidth, kScreenHeight};
    Canvas canvas;
    int deletions = 0;  // game messages deleted so far

private:
    void layOutFiles() {
        writeFigureArchive(dir / "root/pawn", options_.sequences, kPawnColours);
        for (int i = 1; i <= 4; ++i) writeWav(dir / ("root/buzz" + std::to_string(i) + ".wav"), i * kBuzzFrameUnit);
        if (options_.scoreFontPhase) writeFile(dir / "root/scorefontphase", options_.scoreFontPhase);
        fs::create_directories(dir / "media");
        if (options_.scoreSound) writeWav(dir / "media/scoresnd.wav", kScoreSoundFrames);
        if (options_.penguin) writeFigureArchive(dir / "media/pingouin", penguinSequences(), kPenguinColours);
        for (int n : options_.bonusVideos) {
            char name[32];
            std::snprintf(name, sizeof name, "media/bonus%02d.avi", n);
            writePictureVideo(dir / name, 16, bonusVideoColour());
        }
    }

    WorldOptions options_;
    std::vector<PawnHandle> pawns_;
};

}  // namespace pawntest
