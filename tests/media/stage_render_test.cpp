// The stage as an author uses it: small shows on small content of the test's own, run through the
// built `pawnstage` program (PNG frames, MP4, the window under Xvfb) and through the Stage in-process,
// looking at what comes out: pixels, streams, sounds played, log lines.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <iterator>
#include <string>
#include <vector>

#include "host/core/raw_avi.h"
#include "host/core/surface.h"
#include "host/media/png_writer.h"
#include "tools/pawnstage/show_script.h"
#include "tools/pawnstage/stage.h"
#include "tools/samplegen/sounds.h"
#include "tests/media/scratch_files.h"

namespace fs = std::filesystem;
using scratch::readFile;
using scratch::writeFile;

namespace {

// ---------------------------------------------------------------------------------------------------
// Content: a pawn "dot" (a 48 x 64 figure of eight frames in different colours, every sequence four
// of them), short buzz sounds and a score sound. The producer draws its own bonus badges.

constexpr int kFigureWidth = 48;
constexpr int kFigureHeight = 64;

// 16-bit mono PCM: a square tone of `ms` milliseconds.
void writeTone(const fs::path& path, int ms, int hertz) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(22050 * ms / 1000));
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = ((i * hertz * 2 / 22050) % 2) ? 8000 : -8000;
    fs::create_directories(path.parent_path());
    samplegen::writeWav(path.string(), samples, 22050);
}

void writeDotPawn(const fs::path& directory) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (int k = 0; k < 8; ++k) {
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(kFigureWidth) * kFigureHeight * 4, 0);
        for (int y = 0; y < kFigureHeight; ++y)
            for (int x = 0; x < kFigureWidth; ++x) {
                const double dx = (x - 23.5) / 24.0, dy = (y - 31.5) / 32.0;
                if (dx * dx + dy * dy > 1.0) continue;
                std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * kFigureWidth + x) * 4];
                p[0] = static_cast<std::uint8_t>(40 + 25 * k);   // blue
                p[1] = static_cast<std::uint8_t>(200 - 20 * k);  // green
                p[2] = static_cast<std::uint8_t>(250);           // red
                p[3] = 255;
            }
        frames.push_back(std::move(bgra));
    }
    fs::create_directories(directory);
    ASSERT_TRUE(hostengine::writeRawAvi((directory / "dual.avi").string(), kFigureWidth, kFigureHeight, 12, frames));
    std::string table = "[color]\n";
    const char* names[] = {"wait01", "wait02", "wait03", "wait04", "wait05", "wait06", "wait07", "buzz01", "buzz02", "buzz03",
                           "hppy01", "hppy02", "hppy03", "uhppy01", "uhppy02", "uhppy03", "l_left", "l_rght", "freeze"};
    int first = 0;
    for (const char* name : names) {
        table += std::string(name) + "=4@" + std::to_string(first) + "\n";
        first = (first + 1) % 5;
    }
    writeFile(directory / "sequence.ini", table);
}

fs::path samplesPath() { return fs::temp_directory_path() / ("stage_test_samples_" + std::to_string(::getpid())); }

// The samples directory of these tests, made on first use.
const fs::path& samples() {
    static const fs::path root = [] {
        const fs::path dir = samplesPath();
        fs::remove_all(dir);
        writeDotPawn(dir / "pawns" / "dot");
        for (int i = 1; i <= 4; ++i) writeTone(dir / ("buzz" + std::to_string(i) + ".wav"), 100, 300 + 100 * i);
        writeTone(dir / "producer" / "scoresnd.wav", 150, 900);
        return dir;
    }();
    return root;
}

struct SamplesCleanup : testing::Environment {
    void TearDown() override { fs::remove_all(samplesPath()); }
};
testing::Environment* const cleanup = testing::AddGlobalTestEnvironment(new SamplesCleanup);

// A fresh directory for one test's script and output.
struct Workspace {
    Workspace() : dir_(fs::temp_directory_path() / ("stage_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++))) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~Workspace() { fs::remove_all(dir_); }
    fs::path operator/(const std::string& name) const { return dir_ / name; }
    std::string script(const std::string& text) const {
        writeFile(dir_ / "test.show", text);
        return (dir_ / "test.show").string();
    }
    static inline int counter_ = 0;
    fs::path dir_;
};

// ---------------------------------------------------------------------------------------------------
// Running the program

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Outcome runCommand(const std::string& command, const Workspace& work) {
    const fs::path out = work / "stdout.txt", err = work / "stderr.txt";
    const int raw = std::system((command + " >" + quote(out.string()) + " 2>" + quote(err.string())).c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
}

Outcome runStage(const std::vector<std::string>& args, const Workspace& work, const std::string& prefix = {}) {
    std::string command = prefix + quote(PAWNSTAGE_PROGRAM);
    for (const std::string& arg : args) command += " " + quote(arg);
    return runCommand(command, work);
}

// ---------------------------------------------------------------------------------------------------
// Pictures

struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> rgb;

    const std::uint8_t* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

Picture readPicture(const fs::path& path) {
    Picture picture;
    std::string error;
    EXPECT_TRUE(hostengine::readPng(path.string(), picture.width, picture.height, picture.rgb, &error)) << path << ": " << error;
    return picture;
}

Picture frame(const Workspace& work, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame%05d.png", index);
    return readPicture(work / "frames" / name);
}

// The empty stage as the frames show it.
Picture backdrop() {
    hostengine::Surface surface(pawnstage::kStageWidth, pawnstage::kStageHeight);
    const std::vector<std::uint16_t> pixels = pawnstage::makeBackdrop();
    for (int y = 0; y < pawnstage::kStageHeight; ++y) std::copy_n(&pixels[static_cast<std::size_t>(y) * pawnstage::kStageWidth], pawnstage::kStageWidth, surface.row(y));
    return Picture{pawnstage::kStageWidth, pawnstage::kStageHeight, surface.toRgb24()};
}

// Pixels of `area` (x0, y0, x1, y1 exclusive) that differ between two pictures by more than
// `tolerance` in a component, and the first row of them.
struct Difference {
    int pixels = 0;
    int firstRow = -1;
};

Difference compare(const Picture& a, const Picture& b, int x0, int y0, int x1, int y1, int tolerance = 0) {
    Difference d;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c)
                if (std::abs(a.at(x, y)[c] - b.at(x, y)[c]) > tolerance) {
                    ++d.pixels;
                    if (d.firstRow < 0) d.firstRow = y;
                    break;
                }
    return d;
}

std::vector<std::string> renderArgs(const std::string& script, const std::string& out) {
    return {"render", "--script", script, "--samples", samples().string(), "--out", out, "--fps", "10"};
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Rendered frames

TEST(StageRender, FramesShowThePawnMovingItsScoreOnRow430AndItsBonusAtXPlus95) {
    Workspace work;
    const std::string script = work.script(
        "player 1 dot at 100 280\n"
        "player 2 dot at 300 280\n"
        "0 1 buzz\n"
        "0.45 1 showScore 1\n"
        "0.45 1 addScore 100\n"
        "0.35 2 bonus 3\n"
        "1 end\n");
    const Outcome run = runStage(renderArgs(script, (work / "frames/").string()), work);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(fs::exists(work / "frames" / "frame00009.png"));
    EXPECT_FALSE(fs::exists(work / "frames" / "frame00010.png"));  // 1 s at 10 fps
    const Picture stage = backdrop();

    // The buzz plays its sequence: the figure (rows 280..343) changes from frame to frame.
    const Picture first = frame(work, 0), second = frame(work, 1), third = frame(work, 2);
    EXPECT_GT(compare(first, stage, 100, 280, 148, 344).pixels, 1000);  // the figure is drawn
    EXPECT_GT(compare(first, second, 100, 280, 148, 344).pixels, 100);
    EXPECT_GT(compare(second, third, 100, 280, 148, 344).pixels, 100);

    // Before showScore nothing is drawn below the figure; afterwards the score's line starts at row 430
    // in the pawn's 150-pixel column, its glyphs inside the 40-pixel line.
    EXPECT_EQ(compare(frame(work, 4), stage, 100, 344, 250, 480).pixels, 0);
    const Difference score = compare(frame(work, 6), stage, 100, 344, 250, 480);
    EXPECT_GT(score.pixels, 50);
    EXPECT_TRUE(score.firstRow >= 430 && score.firstRow < 445) << score.firstRow;
    EXPECT_EQ(compare(frame(work, 6), stage, 100, 471, 250, 480).pixels, 0);

    // Player 2's bonus picture: nothing at (395, 440) before it is given, then the picture there, and
    // nothing of it left of x + 95 or above row 440.
    EXPECT_EQ(compare(frame(work, 3), stage, 300, 344, 640, 480).pixels, 0);
    const Picture withBonus = frame(work, 4);
    const Difference bonus = compare(withBonus, stage, 395, 344, 640, 480);
    EXPECT_GT(bonus.pixels, 100);
    EXPECT_EQ(bonus.firstRow, 440);
    EXPECT_EQ(compare(withBonus, stage, 300, 344, 395, 480).pixels, 0);
}

TEST(StageRender, SameScriptAndSeedGiveIdenticalFrames) {
    Workspace work;
    const std::string script = work.script(
        "player 1 dot at 100\n"
        "player 2 dot at 300\n"
        "0 all comingUp 500\n"
        "0.6 all buzz\n"
        "+0.6 all buzz\n"
        "+0.5 1 happy 1\n"
        "+0 2 unhappy 2\n"
        "4 end\n");
    std::vector<std::string> args = renderArgs(script, (work / "a/").string());
    args.insert(args.end(), {"--size", "160x120", "--seed", "7"});
    ASSERT_EQ(runStage(args, work).status, 0);
    args[6] = (work / "b/").string();
    // The pawns seed the generator from the wall clock when they are built; a second later the
    // frames must still come out the same.
    ::sleep(1);
    ASSERT_EQ(runStage(args, work).status, 0);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(work / "a")) {
        ++files;
        const fs::path other = work / "b" / entry.path().filename();
        ASSERT_TRUE(fs::exists(other)) << other;
        EXPECT_EQ(readFile(entry.path()), readFile(other)) << entry.path().filename();
    }
    EXPECT_EQ(files, 40);
}

TEST(StageRender, MissingArchiveIsReportedAtLevelOneAndThePawnShowsOnlyItsScore) {
    Workspace work;
    const std::string script = work.script(
        "player 1 nosuch at 100 280\n"
        "player 2 dot at 300 280\n"
        "0 all showScore 1\n"
        "0.2 all addScore 40\n"
        "0.5 end\n");
    std::vector<std::string> args = renderArgs(script, (work / "frames/").string());
    args.insert(args.end(), {"--log-level", "1"});
    const Outcome verbose = runStage(args, work);
    ASSERT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_NE(verbose.err.find("[1] Pawn::Pawn archive 'nosuch' not found!\n"), std::string::npos) << verbose.err;
    EXPECT_NE(verbose.err.find("[1] KTPlayerFactory::Loading pawn 1...\n"), std::string::npos);

    const Picture last = frame(work, 4), stage = backdrop();
    EXPECT_EQ(compare(last, stage, 100, 0, 250, 430).pixels, 0);   // no figure
    EXPECT_GT(compare(last, stage, 100, 430, 250, 471).pixels, 50);  // but its score
    EXPECT_GT(compare(last, stage, 300, 280, 348, 344).pixels, 1000);  // the other pawn is whole

    // By default only failures are shown: the missing archive is the author's business at level 1.
    const Outcome quiet = runStage(renderArgs(script, (work / "frames/").string()), work);
    ASSERT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err.find("not found"), std::string::npos) << quiet.err;
}

TEST(StageRender, Mp4HoldsOneH264StreamAtTheChosenSizeAndAacSoundAsLongAsTheShow) {
    if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
    Workspace work;
    const std::string script = work.script(
        "player 1 dot at 100\n"
        "0 1 comingUp 300\n"
        "0.5 1 buzz\n"
        "1 1 addScore 10\n"
        "2.4 end\n");
    std::vector<std::string> args = renderArgs(script, (work / "show.mp4").string());
    args.insert(args.end(), {"--size", "320x240"});
    const Outcome run = runStage(args, work);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, fs::absolute(work / "show.mp4").string() + "\n");  // where the show is

    const Outcome probe = runCommand("ffprobe -v error -show_streams -show_format -of json " + quote((work / "show.mp4").string()), work);
    ASSERT_EQ(probe.status, 0) << probe.err;
    const std::string& json = probe.out;
    for (const char* field : {"\"codec_type\": \"video\"", "\"codec_type\": \"audio\"", "\"codec_name\": \"h264\"", "\"codec_name\": \"aac\"",
                              "\"width\": 320,", "\"height\": 240,", "\"pix_fmt\": \"yuv420p\"", "\"sample_rate\": \"44100\"", "\"channels\": 2,"}) {
        const std::regex re(field);
        EXPECT_EQ(std::distance(std::sregex_iterator(json.begin(), json.end(), re), std::sregex_iterator()), 1) << field;
    }
    std::smatch duration;
    const std::string format = json.substr(json.find("\"format\""));
    ASSERT_TRUE(std::regex_search(format, duration, std::regex("\"duration\": \"([0-9.]+)\"")));
    EXPECT_NEAR(std::stod(duration[1]), 2.4, 0.1);
}

TEST(StageRender, CommandLineAndScriptFaultsAreReportedWithoutAShow) {
    Workspace work;
    const std::string bad = work.script("player 1 dot at 100\n0 1 comingUp\n");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"render", "--script", bad, "--samples", samples().string(), "--out", (work / "x/").string()}, 1,
         ":2:13: expected a number of milliseconds after 'comingUp'"},
        {{"render", "--fps", "0"}, 2, "--fps expects a whole number from 1 to 120, found '0'"},
        {{"render", "--size", "321x240", "--samples", samples().string()}, 2, "an MP4 needs an even width and height"},
        {{"render", "--out", "show.avi"}, 2, "is neither a video"},
        {{"render", "--bogus"}, 2, "unknown option '--bogus'"},
        {{"render", "--samples", (work / "none").string()}, 2, "is not a directory"},
        {{"dance"}, 2, "unknown command 'dance'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const Outcome run = runStage(c.args, work);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

// ---------------------------------------------------------------------------------------------------
// The stage in-process

namespace {

pawnstage::StageSetup setup() { return pawnstage::StageSetup{samples().string(), PAWN_PLUGIN_PATH, false, 1}; }

}  // namespace

TEST(StageShow, CuesReachTheirPlayersAtTheirTimes) {
    const pawnstage::ShowScript script = pawnstage::parseShowScript(
        "player 1 dot at 100 280\n"
        "player 2 dot at 300 280\n"
        "0.2 1 buzz\n"
        "0.5 all buzz\n"
        "0.6 2 buzzSilent\n"
        "0.3 2 addScore 100\n"
        "0.4 2 loseScore 30 5\n"
        "0.4 1 countAnswer right\n"
        "0.4 1 countAnswer right\n"
        "0.4 2 countAnswer wrong\n"
        "0.7 1 freeze -1\n"
        "0.8 1 thaw\n"
        "0.4 2 bonus 9\n"
        "0.45 2 useBonus\n"
        "0.4 1 setHidden 1\n",
        "cues.show");
    pawnstage::Stage stage(script, setup());
    for (std::uint32_t ms = 0; ms < 1000; ms += 100) stage.runFrame(ms);

    // Buzz sounds at the times of the buzz cues (player 1 at 0.2 and 0.5, player 2 at 0.5 only: the
    // silent buzz plays none), and the score sound with the score gain.
    std::vector<std::uint32_t> played;
    for (const auto& playback : stage.sounds().playbackLog()) played.push_back(playback.startMs);
    EXPECT_EQ(played, (std::vector<std::uint32_t>{200, 300, 500, 500}));
    EXPECT_DOUBLE_EQ(stage.sounds().playbackLog()[1].volume, 0.9);

    IKTPlayer& one = stage.player(0);
    IKTPlayer& two = stage.player(1);
    // Player 1 frozen at -1 and thawed once.
    EXPECT_EQ((std::vector<std::int32_t>{one.getScore(), one.getStreak(), one.getActivity(), one.isHidden()}),
              (std::vector<std::int32_t>{0, 2, 0, 1}));
    EXPECT_EQ((std::vector<std::int32_t>{two.getScore(), two.getStreak(), two.getBonusState(), two.getPlayerIndex()}),
              (std::vector<std::int32_t>{70, -1, 256 + 9, 2}));
}

// ---------------------------------------------------------------------------------------------------
// The window

TEST(StagePlay, ScreenshotUnderXvfbShowsThePawns) {
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xvfb-run";
    Workspace work;
    const std::string script = work.script(
        "player 1 dot at 100 280\n"
        "player 2 dot at 400 280\n"
        "0 all showScore 1\n");
    const fs::path shot = work / "shot.png";
    // No sound device here; SDL's system libraries (D-Bus) keep memory to the end, which is not the stage's.
    const Outcome run = runStage({"play", "--script", script, "--samples", samples().string(), "--screenshot", shot.string(), "--frames", "5"},
                             work, "SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 xvfb-run -a ");
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture picture = readPicture(shot), stage = backdrop();
    ASSERT_EQ(picture.width, 640);
    ASSERT_EQ(picture.height, 480);
    // The window's own conversion from 5 bits to 8 may round differently from the host's.
    constexpr int kTolerance = 8;
    EXPECT_GT(compare(picture, stage, 100, 280, 148, 344, kTolerance).pixels, 1000);
    EXPECT_GT(compare(picture, stage, 400, 280, 448, 344, kTolerance).pixels, 1000);
    EXPECT_GT(compare(picture, stage, 100, 430, 250, 471, kTolerance).pixels, 20);  // the score
    EXPECT_EQ(compare(picture, stage, 160, 0, 390, 430, kTolerance).pixels, 0);    // and nothing between them
}
