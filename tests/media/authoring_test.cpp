// pawnstage pack, unpack and sheet as an artist uses them: frame folders made here with planted
// faults, the bundled robot taken apart and put together again, and the pictures that come out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>

#include "host/media/ffmpeg_video.h"
#include "host/media/png_writer.h"
#include "tools/archive/frame_folder.h"
#include "tools/pawnstage/check_archive.h"
#include "tools/pawnstage/check_command.h"
#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/contact_sheet.h"
#include "tools/pawnstage/frame_sources.h"
#include "tools/pawnstage/show_script.h"
#include "tools/pawnstage/stage.h"
#include "tests/media/stage_program.h"

namespace {

namespace fs = std::filesystem;
using testfiles::readFile;
using stagerun::runCommand;
using testfiles::TempDir;

const fs::path kSamples = PAWN_SAMPLES_DIR;

// A soft disc on transparency whose colours change with every frame and every pixel, so that any
// frame out of place or any colour bit lost shows.
std::vector<std::uint8_t> discFrame(int width, int height, int serial, bool opaque = false) {
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            const double edge = width / 2.5 - std::hypot(x - width / 2.0, y - height / 2.0);
            p[0] = static_cast<std::uint8_t>(x * 7 + serial * 13), p[1] = static_cast<std::uint8_t>(y * 5 + serial * 29);
            p[2] = static_cast<std::uint8_t>((x ^ y) + serial * 3), p[3] = opaque ? 255 : static_cast<std::uint8_t>(std::clamp(edge * 64.0, 0.0, 255.0));
        }
    return bgra;
}

// Two frames of 32 x 32 for every sequence a pawn selects, as an artist's export lays them out.
fs::path writeFrames(const fs::path& folder, const std::vector<std::string>& names = pawnstage::pawnSequenceNames()) {
    int serial = 0;
    for (const std::string& name : names)
        for (int frame = 0; frame < 2; ++frame) pawnarchive::writeFrameFile(folder, name, frame, 32, 32, discFrame(32, 32, serial++));
    return folder;
}

int pack(std::vector<std::string> arguments) { return runCommand(pawnstage::runPackCommand, std::move(arguments)).status; }

std::vector<std::string> entriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Pack, ErrorsNameTheFileAndLeaveNothingBehindWarningsDoNotStopIt) {
    auto writeOne = [](const char* sequence, int index, std::vector<std::uint8_t> bgra, int width = 32) {
        return [=](const fs::path& frames) { pawnarchive::writeFrameFile(frames, sequence, index, width, 32, bgra); };
    };
    auto note = [](const char* name, const char* text) { return [=](const fs::path& frames) { std::ofstream(frames / name) << text; }; };
    const struct {
        const char* name;
        std::function<void(const fs::path& frames)> plant;
        int status;
        std::string file;  // relative to the frames folder
        const char* words;
    } cases[] = {
        {"a frame of another size", writeOne("buzz02", 1, discFrame(40, 32, 1), 40), 1, "buzz02/0001.png (40 x 32)", "not 32 x 32 like"},
        {"frames beyond the blended draw",
         [](const fs::path& frames) {
             fs::remove_all(frames);
             for (const std::string& name : pawnstage::pawnSequenceNames()) pawnarchive::writeFrameFile(frames, name, 0, 520, 8, discFrame(520, 8, 0));
         },
         1, "wait01/0000.png", "520 x 8 is larger than 512 x 512"},
        {"a frame without alpha",
         [](const fs::path& frames) { hostengine::writePng((frames / "hppy01" / "0001.png").string(), 32, 32, std::vector<std::uint8_t>(32 * 32 * 3, 90).data()); }, 1,
         "hppy01/0001.png", "no alpha channel"},
        {"a missing sequence", [](const fs::path& frames) { fs::remove_all(frames / "freeze"); }, 1, "freeze", "missing"},
        {"an empty sequence", [](const fs::path& frames) { fs::remove_all(frames / "l_left"), fs::create_directory(frames / "l_left"); }, 1, "l_left", "an empty sequence"},
        {"a file that is no PNG", note("wait03/notes.txt", "keep the blink"), 1, "wait03/notes.txt", "not a PNG file"},
        {"names differing in case", writeOne("WAIT05", 0, discFrame(32, 32, 5)), 1, "wait05", "differ only in letter case"},
        {"a name no pawn selects", writeOne("wiat01", 0, discFrame(32, 32, 7)), 0, "wiat01", "a name a pawn never selects"},
        {"a frame without a transparent pixel", writeOne("uhppy02", 0, discFrame(32, 32, 2, true)), 0, "uhppy02/0000.png", "no transparent pixel"},
        {"a stray file", note("README.txt", "robot v2"), 0, "README.txt", "not in a sequence folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir temp("pawn_authoring");
        const fs::path frames = writeFrames(temp / "frames");
        c.plant(frames);
        const stagerun::Printed packed = runCommand(pawnstage::runPackCommand, {frames.string(), (temp / "out").string()});
        EXPECT_EQ(packed.status, c.status) << packed.err;
        EXPECT_NE(packed.err.find((frames / c.file).string() + (c.status ? ": error: " : ": warning: ")), std::string::npos) << packed.err;
        EXPECT_NE(packed.err.find(c.words), std::string::npos) << packed.err;
        // A failed pack leaves the folder as it found it: no archive, no half-written one beside it.
        EXPECT_EQ(entriesOf(temp.path()), (c.status ? std::vector<std::string>{"frames"} : std::vector<std::string>{"frames", "out"}));
    }
}

TEST(Pack, MakesTheSameBytesEveryTimeReplacesOnlyArchivesAndCutsByTheirListAndUnpackRefusesEscapingNames) {
    TempDir temp("pawn_authoring");
    const fs::path frames = writeFrames(temp / "frames");
    std::ofstream(temp / "mine.txt") << "precious";
    const stagerun::Printed over = runCommand(pawnstage::runPackCommand, {frames.string(), temp.path().string()});
    EXPECT_EQ(over.status, 1);
    EXPECT_NE(over.err.find("already holds"), std::string::npos) << over.err;
    EXPECT_EQ(readFile(temp / "mine.txt"), "precious");

    // The same frames make the same bytes every time, and the table lists every sequence in the order a
    // pawn's table has them, end to end.
    ASSERT_EQ(pack({frames.string(), (temp / "a").string()}), 0);
    ASSERT_EQ(pack({frames.string(), (temp / "b").string()}), 0);
    EXPECT_EQ(readFile(temp / "a" / "dual.avi"), readFile(temp / "b" / "dual.avi"));
    std::string expected = "[color]\n";
    int first = 0;
    for (const std::string& name : pawnstage::pawnSequenceNames()) expected += name + "=2@" + std::to_string((first += 2) - 2) + "\n";
    const std::string table = readFile(temp / "a" / "sequence.ini");
    EXPECT_EQ(table.substr(table.find("[color]")), expected);

    // Sequence names that would leave the folder are refused by unpack and sheet, which write nothing.
    std::ofstream(temp / "b" / "sequence.ini", std::ios::app) << "../escape=2@0\n";
    for (const auto& [command, arguments] : std::vector<std::pair<int (*)(int, char**), std::vector<std::string>>>{
             {pawnstage::runUnpackCommand, {(temp / "b").string(), (temp / "out").string()}},
             {pawnstage::runSheetCommand, {(temp / "b").string(), "--gif", (temp / "out").string()}}}) {
        const stagerun::Printed refused = runCommand(command, arguments);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("sequence.ini:22: error: '../escape' cannot name a file or folder"), std::string::npos) << refused.err;
        EXPECT_EQ(entriesOf(temp.path()), (std::vector<std::string>{"a", "b", "frames", "mine.txt"}));
    }

    // An archive is replaced by a complete new one, and nothing of the old one is left beside it.
    fs::remove_all(frames / "wait07");
    for (int frame = 0; frame < 5; ++frame) pawnarchive::writeFrameFile(frames, "wait07", frame, 32, 32, discFrame(32, 32, 50 + frame));
    ASSERT_EQ(pack({frames.string(), (temp / "a").string()}), 0);
    EXPECT_NE(readFile(temp / "a" / "sequence.ini").find("wait07=5@12\n"), std::string::npos);
    EXPECT_EQ(entriesOf(temp.path()), (std::vector<std::string>{"a", "b", "frames", "mine.txt"}));

    // A video and a cut list; a run past its end is named with the list's file.
    std::ofstream(temp / "cuts.txt") << "wait01=2@0\nfreeze=4@40\n";
    const std::string cuts = (temp / "cuts.txt").string();
    const stagerun::Printed cut = runCommand(pawnstage::runPackCommand, {"--cuts", cuts, (temp / "a" / "dual.avi").string(), (temp / "c").string()});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find(cuts + ":2: error: freeze=4@40: frames 40..43 lie outside the video's 41 frames"), std::string::npos) << cut.err;
    EXPECT_NE(cut.err.find(cuts + ": error: 'wait02' is missing"), std::string::npos) << cut.err;
    EXPECT_FALSE(fs::exists(temp / "c"));

    // The penguin's frames make a penguin, not a pawn.
    const fs::path penguin = writeFrames(temp / "penguin", pawnstage::penguinSequenceNames());
    EXPECT_EQ(pack({"--penguin", penguin.string(), (temp / "pingouin").string()}), 0);
    EXPECT_EQ(pack({penguin.string(), (temp / "pawn").string()}), 1);
}

TEST(Pack, FramesComeInNameOrderWithNumbersComparedByValue) {
    const struct {
        const char* first;
        const char* second;
    } ordered[] = {{"frame2.png", "frame10.png"}, {"0009.png", "0010.png"}, {"a9b2", "a10b1"}, {"pose", "pose1"}, {"01.png", "1.png"}, {"A.png", "a.png"}};
    for (const auto& pair : ordered) {
        EXPECT_TRUE(pawnstage::namesInOrder(pair.first, pair.second)) << pair.first << " before " << pair.second;
        EXPECT_FALSE(pawnstage::namesInOrder(pair.second, pair.first)) << pair.second << " after " << pair.first;
    }
}

TEST(Pack, UnpackedAndPackedAgainTheRobotPlaysTheSameShowFrameByFrameWithOrWithoutTheFrameCache) {
    TempDir temp("pawn_authoring");
    const fs::path robot = kSamples / "pawns" / "robot";
    ASSERT_EQ(runCommand(pawnstage::runUnpackCommand, {robot.string(), (temp / "frames").string()}).status, 0);
    EXPECT_EQ(entriesOf(temp / "frames" / "hppy01").size(), 14u);
    ASSERT_EQ(pack({(temp / "frames").string(), (temp / "again").string()}), 0);
    // Unpacking refuses a folder that holds anything already.
    EXPECT_EQ(runCommand(pawnstage::runUnpackCommand, {robot.string(), (temp / "frames").string()}).status, 1);

    // The bundled samples with the robot replaced by its repacked self.
    const fs::path root = temp / "root";
    fs::copy(kSamples, root, fs::copy_options::recursive);
    fs::remove_all(root / "pawns" / "robot");
    fs::copy(temp / "again", root / "pawns" / "robot", fs::copy_options::recursive);

    const pawnstage::ShowScript script = pawnstage::parseShowScript(
        "player 1 robot at 245\n0 1 comingUp 600\n1 1 buzz\n+0.4 1 happy 1\n+1.5 1 lookLeft\n+1 1 unhappy 2\n+1.5 1 freeze\n+0.8 1 unfreeze\n8 end\n", "roundtrip.show");
    // One stage at a time: the pawns of both would share the process's random numbers, which the seed
    // alone must decide. The bundled robot plays from the frame cache, its repacked self decoded afresh
    // at every move: the cache may change how fast a show runs, never what it shows.
    struct Run {
        std::vector<std::size_t> frames;  // each frame's pixels, hashed: 240 whole frames would take 220 MB
        std::size_t framesHeld = 0;
    };
    auto render = [&](const fs::path& samples, std::size_t cacheBytes) {
        pawnstage::Stage stage(script, pawnstage::StageSetup{samples.string(), PAWN_PLUGIN_PATH, false, 3, cacheBytes});
        Run run;
        for (std::uint32_t ms = 0; ms < script.lengthMs(); ms += 33) {
            stage.runFrame(ms);
            stage.drawFrame();
            const std::vector<std::uint8_t> rgb = stage.surface().toRgb24();
            run.frames.push_back(std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(rgb.data()), rgb.size())));
        }
        run.framesHeld = stage.videos().cache().framesHeld();
        return run;
    };
    const Run original = render(kSamples, hostengine::kDefaultVideoCacheBytes), repacked = render(root, 0);
    EXPECT_EQ(original.frames, repacked.frames);
    EXPECT_GT(original.framesHeld, 50u);
    EXPECT_EQ(repacked.framesHeld, 0u);
    int moving = 0;
    for (std::size_t i = 1; i < original.frames.size(); ++i) moving += original.frames[i] != original.frames[i - 1];
    EXPECT_GT(moving, 75);  // of 240 frames: the figure rises, buzzes, reacts and freezes
}

TEST(Sheet, RobotSheetHasOneRowPerSequenceWhoseFramesAreTheArchivesOnTheStageAndCheckDrawsIt) {
    TempDir temp("pawn_authoring");
    const fs::path robot = kSamples / "pawns" / "robot";
    const stagerun::Printed sheet = runCommand(pawnstage::runSheetCommand, {robot.string(), "--out", (temp / "sheet.png").string(), "--gif", (temp / "gifs").string()});
    ASSERT_EQ(sheet.status, 0) << sheet.err;
    // The check draws the same picture beside its report.
    const stagerun::Printed check = runCommand(runCheckCommand, {"check", "--sheet", (temp / "check.png").string(), robot.string()});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(readFile(temp / "check.png"), readFile(temp / "sheet.png"));

    pawnstage::Findings findings;
    const pawnstage::PawnFrames frames = pawnstage::readArchiveFrames(robot, findings);
    ASSERT_EQ(frames.sequences.size(), pawnstage::pawnSequenceNames().size());
    const pawnstage::SheetLayout layout = pawnstage::layoutSheet(frames);
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(hostengine::readPng((temp / "sheet.png").string(), width, height, rgb));
    EXPECT_EQ(width, layout.width);
    EXPECT_EQ(height, layout.height);
    // Every frame at real size (16 of the longest sequence side by side, 19 rows of 200) inside the picture.
    EXPECT_GE(width, 16 * 150);
    EXPECT_GE(height, 19 * 200);

    const std::vector<std::uint16_t> backdrop = pawnstage::makeBackdrop();
    for (std::size_t row = 0; row < frames.sequences.size(); ++row) {
        const pawnstage::FrameSequence& sequence = frames.sequences[row];
        SCOPED_TRACE(sequence.name);
        EXPECT_EQ(sequence.name, pawnstage::pawnSequenceNames()[row]);
        for (std::size_t column = 0; column < sequence.frames.size(); ++column) {
            const pawnstage::FramePicture& picture = sequence.frames[column];
            const Point at = layout.frameAt(row, column);
            int mismatches = 0;
            for (int y = 0; y < picture.height; ++y)
                for (int x = 0; x < picture.width; ++x) {
                    const std::uint8_t* frame = &picture.bgra[(static_cast<std::size_t>(y) * picture.width + x) * 4];
                    const std::uint8_t* shown = &rgb[(static_cast<std::size_t>(at.y + y) * width + at.x + x) * 3];
                    // Opaque pixels show the frame's colour in 5 bits, transparent ones the stage where a risen pawn stands.
                    const std::uint16_t stage = backdrop[static_cast<std::size_t>(280 + y) * 640 + 245 + x];
                    const std::uint8_t expected[3] = {
                        frame[3] == 255 ? hostengine::expand5(frame[2] >> 3) : hostengine::expand5(stage >> 10),
                        frame[3] == 255 ? hostengine::expand5(frame[1] >> 3) : hostengine::expand5(stage >> 5),
                        frame[3] == 255 ? hostengine::expand5(frame[0] >> 3) : hostengine::expand5(stage)};
                    if ((frame[3] == 0 || frame[3] == 255) && !std::equal(expected, expected + 3, shown)) ++mismatches;
                }
            EXPECT_EQ(mismatches, 0) << "frame " << column;
        }
        // Its GIF has a picture for every frame of the sequence.
        std::string error;
        auto gif = hostengine::FfmpegFrameSource::open((temp / "gifs" / (sequence.name + ".gif")).string(), error, true);
        ASSERT_TRUE(gif) << error;
        EXPECT_EQ(static_cast<std::size_t>(gif->frameCount()), sequence.frames.size());
    }
}

}  // namespace
