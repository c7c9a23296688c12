// The stage as an author uses it: small shows on a small pawn of the test's own, run through the
// built program (PNG frames, MP4) and through the Stage in-process, looking
// at what comes out: pixels, streams, sounds played, log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "host/core/surface.h"
#include "host/media/png_writer.h"
#include "tools/pawnstage/show_script.h"
#include "tools/pawnstage/stage.h"
#include "tools/samplegen/sounds.h"
#include "tests/media/figure_pawn.h"
#include "tests/media/stage_program.h"

namespace fs = std::filesystem;
using testfiles::readFile;
using testfiles::TempDir;
using stagerun::runStage;

namespace {

// A pawn "dot": a 48 x 64 box in eight colours, the buzzers and the score sound; the producer draws
// its own bonus badges.
fs::path makeSamples(const fs::path& dir) {
    std::vector<std::uint32_t> colours;
    for (std::uint32_t k = 0; k < 8; ++k) colours.push_back(0xFFFA0000 | (200 - 20 * k) << 8 | (40 + 25 * k));
    EXPECT_TRUE(writeFigurePawn(dir / "pawns" / "dot", 48, 64, boxFrames(48, 64, colours)));
    // Square tones short enough to be over before the next cue plays the same one.
    auto tone = [](const fs::path& path, int ms, int hertz) {
        std::vector<std::int16_t> samples(static_cast<std::size_t>(22050 * ms / 1000));
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = ((i * hertz * 2 / 22050) % 2) ? 8000 : -8000;
        fs::create_directories(path.parent_path());
        samplegen::writeWav(path.string(), samples, 22050);
    };
    for (int i = 1; i <= 4; ++i) tone(dir / ("buzz" + std::to_string(i) + ".wav"), 100, 300 + 100 * i);
    tone(dir / "producer" / "scoresnd.wav", 150, 900);
    return dir;
}

const fs::path& samples() {
    static const TempDir dir("stage_samples");
    static const fs::path root = makeSamples(dir.path());
    return root;
}

struct Picture {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    const std::uint8_t* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// Frame `index` (0..9) of the render in work/frames.
Picture frame(const TempDir& work, int index) {
    Picture picture;
    const fs::path path = work / ("frames/frame0000" + std::to_string(index) + ".png");
    std::string error;
    EXPECT_TRUE(hostengine::readPng(path.string(), picture.width, picture.height, picture.rgb, &error)) << path << ": " << error;
    return picture;
}

// The empty stage as the frames show it.
Picture backdrop() {
    hostengine::Surface surface(pawnstage::kStageWidth, pawnstage::kStageHeight);
    const std::vector<std::uint16_t> pixels = pawnstage::makeBackdrop();
    for (int y = 0; y < pawnstage::kStageHeight; ++y) std::copy_n(&pixels[static_cast<std::size_t>(y) * pawnstage::kStageWidth], pawnstage::kStageWidth, surface.row(y));
    return Picture{pawnstage::kStageWidth, pawnstage::kStageHeight, surface.toRgb24()};
}

// Pixels of the area (x1, y1 exclusive) that differ, and the first row of them.
struct Difference {
    int pixels = 0, firstRow = -1;
};

Difference compare(const Picture& a, const Picture& b, int x0, int y0, int x1, int y1) {
    Difference d;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (!std::equal(a.at(x, y), a.at(x, y) + 3, b.at(x, y))) d.firstRow = d.pixels++ ? d.firstRow : y;
    return d;
}

std::vector<std::string> renderArgs(const TempDir& work, const std::string& script, const std::string& out, std::vector<std::string> more = {}) {
    testfiles::writeFile(work / "test.show", script);
    std::vector<std::string> args = {"render", "--script", (work / "test.show").string(), "--samples", samples().string(), "--out", (work / out).string(), "--fps", "10"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST(StageRender, FramesShowThePawnMovingItsScoreOnRow430AndItsBonusAtXPlus95) {
    TempDir work;
    const auto run = runStage(renderArgs(work, "player 1 dot at 100 280\nplayer 2 dot at 300 280\n0 1 buzz\n0.45 1 showScore 1\n"
                                               "0.45 1 addScore 100\n0.35 2 bonus 3\n1 end\n", "frames/"), work.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(work / "frames/frame00009.png"));
    EXPECT_FALSE(fs::exists(work / "frames/frame00010.png"));  // 1 s at 10 fps
    const Picture stage = backdrop();

    // The buzz plays its sequence: the figure (rows 280..343) changes from frame to frame.
    EXPECT_GT(compare(frame(work, 0), stage, 100, 280, 148, 344).pixels, 1000);
    EXPECT_GT(compare(frame(work, 0), frame(work, 1), 100, 280, 148, 344).pixels, 100);
    EXPECT_GT(compare(frame(work, 1), frame(work, 2), 100, 280, 148, 344).pixels, 100);

    // The score's line starts at row 430 in the pawn's 150-pixel column once shown, its glyphs inside the 40-pixel line.
    EXPECT_EQ(compare(frame(work, 4), stage, 100, 344, 250, 480).pixels, 0);
    const Difference score = compare(frame(work, 6), stage, 100, 344, 250, 480);
    EXPECT_GT(score.pixels, 50);
    EXPECT_TRUE(score.firstRow >= 430 && score.firstRow < 445) << score.firstRow;
    EXPECT_EQ(compare(frame(work, 6), stage, 100, 471, 250, 480).pixels, 0);

    // Player 2's bonus picture: nothing before it is given, then its top row at 440 and nothing left of x + 95.
    EXPECT_EQ(compare(frame(work, 3), stage, 300, 344, 640, 480).pixels, 0);
    const Difference bonus = compare(frame(work, 4), stage, 395, 344, 640, 480);
    EXPECT_GT(bonus.pixels, 100);
    EXPECT_EQ(bonus.firstRow, 440);
    EXPECT_EQ(compare(frame(work, 4), stage, 300, 344, 395, 480).pixels, 0);
}

TEST(StageRender, Mp4HoldsOneH264StreamAtTheChosenSizeAndAacSoundAsLongAsTheShow) {
    if (!stagerun::haveProgram("ffprobe")) GTEST_SKIP() << "no ffprobe";
    TempDir work;
    const auto run = runStage(renderArgs(work, "player 1 dot at 100\n0 1 comingUp 300\n0.5 1 buzz\n1 1 addScore 10\n2.4 end\n", "show.mp4", {"--size", "320x240"}),
                              work.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, fs::absolute(work / "show.mp4").string() + "\n");  // where the show is
    const int probed = std::system(("ffprobe -v error -show_streams -show_format -of json '" + (work / "show.mp4").string() + "' >" + (work / "probe").string()).c_str());
    ASSERT_EQ(probed, 0);
    const std::string json = readFile(work / "probe");
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

TEST(StageShow, CuesReachTheirPlayersAtTheirTimes) {
    const pawnstage::ShowScript script = pawnstage::parseShowScript(
        "player 1 dot at 100 280\nplayer 2 dot at 300 280\n0.2 1 buzz\n0.5 all buzz\n0.6 2 buzzSilent\n0.3 2 addScore 100\n"
        "0.4 2 loseScore 30 5\n0.4 1 countAnswer right\n0.4 1 countAnswer right\n0.4 2 countAnswer wrong\n0.7 1 freeze -1\n"
        "0.8 1 thaw\n0.4 2 bonus 9\n0.45 2 useBonus\n0.4 1 setHidden 1\n",
        "cues.show");
    pawnstage::Stage stage(script, pawnstage::StageSetup{samples().string(), PAWN_PLUGIN_PATH, false, 1});
    for (std::uint32_t ms = 0; ms < 1000; ms += 100) stage.runFrame(ms);
    // Buzzes at their cues (the silent one plays none) and the score sound, quieter, with the gain.
    std::vector<std::uint32_t> played;
    for (const auto& playback : stage.sounds().playbackLog()) played.push_back(playback.startMs);
    EXPECT_EQ(played, (std::vector<std::uint32_t>{200, 300, 500, 500}));
    EXPECT_DOUBLE_EQ(stage.sounds().playbackLog()[1].volume, 0.9);
    IKTPlayer& one = stage.player(0);
    IKTPlayer& two = stage.player(1);
    EXPECT_EQ((std::vector<std::int32_t>{one.getScore(), one.getStreak(), one.getActivity(), one.isHidden()}), (std::vector<std::int32_t>{0, 2, 0, 1}));
    EXPECT_EQ((std::vector<std::int32_t>{two.getScore(), two.getStreak(), two.getBonusState(), two.getPlayerIndex()}),
              (std::vector<std::int32_t>{70, -1, 256 + 9, 2}));
}
