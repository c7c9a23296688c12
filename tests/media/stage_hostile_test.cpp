// The stage against hostile input and a careful user, through the built program: loops and huge
// files it must not hang on, outputs it must never lose, and messages that name the real cause.
// Runs that could hang are bounded by the runner's deadline and a memory ceiling of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/media/stage_program.h"

namespace fs = std::filesystem;
using testfiles::readFile;
using testfiles::TempDir;
using stagerun::runStage;

namespace {

const std::string kSamples = PAWN_SAMPLES_DIR;

// Files whose names mark an unfinished output.
std::vector<std::string> leftovers(const TempDir& work) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(work.path()))
        if (entry.path().filename().string().find(".partial-") != std::string::npos) found.push_back(entry.path().string());
    return found;
}

// A samples directory of links to the bundled one's parts, so a test can add its own twists.
fs::path linkedSamples(const TempDir& work) {
    const fs::path samples = work / "samples";
    fs::create_directories(samples / "pawns");
    for (const char* file : {"buzz1.wav", "buzz2.wav", "buzz3.wav", "buzz4.wav", "scorefontphase"}) fs::create_symlink(fs::path(kSamples) / file, samples / file);
    fs::create_directory_symlink(fs::path(kSamples) / "pawns" / "robot", samples / "pawns" / "robot");
    return samples;
}

}  // namespace

TEST(StageHostile, AnInterruptedOrFailedRenderLeavesTheOldOutputUntouched) {
    TempDir work;
    const std::string shortShow = work.write("short.show", "player 1 robot at 100 280\n0 1 buzz\n0.5 end\n");
    const std::string longShow = work.write("long.show", "player 1 robot at 100 280\n0 1 buzz\n1 1 addScore 100\n60 end\n");
    for (const char* name : {"good.mp4", "good.gif"}) {
        const std::string good = (work / name).string();
        ASSERT_EQ(runStage({"render", "--script", shortShow, "--samples", kSamples, "--out", good, "--size", "160x120", "--fps", "10"}, work.path()).status, 0);
        const std::string before = readFile(good);
        ASSERT_FALSE(before.empty());
        // During the set-up, in the first frames and well into the show.
        for (const int signal : {SIGINT, SIGTERM})
            for (const int afterMs : {50, 400, 1500}) {
                SCOPED_TRACE(std::string(name) + " signal " + std::to_string(signal) + " after " + std::to_string(afterMs) + " ms");
                const auto run = runStage({"render", "--script", longShow, "--samples", kSamples, "--out", good, "--size", "160x120"}, work.path(),
                                          {std::chrono::seconds(120), signal, std::chrono::milliseconds(afterMs)});
                ASSERT_TRUE(run.finished);
                EXPECT_EQ(run.status, -signal) << run.err;
                EXPECT_EQ(readFile(good), before);
                EXPECT_EQ(leftovers(work), std::vector<std::string>{});
            }
        // A full disk, as a file-size limit makes it: the write fails, the old file stays.
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const auto full = runStage({"render", "--script", longShow, "--samples", kSamples, "--out", good, "--size", "320x240"}, work.path());
        ::setrlimit(RLIMIT_FSIZE, &old);
        ASSERT_TRUE(full.finished);
        EXPECT_EQ(full.status, 1) << full.err;
        EXPECT_EQ(readFile(good), before) << name;
        EXPECT_EQ(leftovers(work), std::vector<std::string>{});
    }
}

TEST(StageHostile, PngFramesOfAnOlderLongerRenderAreRemoved) {
    TempDir work;
    for (const char* end : {"1", "0.4"}) {
        const std::string show = work.write("s.show", std::string("player 1 robot at 100 280\n") + end + " end\n");
        const auto run = runStage({"render", "--script", show, "--samples", kSamples, "--out", (work / "frames/").string(), "--fps", "10", "--size", "64x48"}, work.path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(std::string(end) == "1" || run.err.find("(6 older frames beyond this render removed)") != std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::exists(work / "frames/frame00003.png"));
    EXPECT_FALSE(fs::exists(work / "frames/frame00004.png"));
    EXPECT_EQ(leftovers(work), std::vector<std::string>{});
}

TEST(StageHostile, CommandLinesAndInputsThatCannotBeRenderedAreRefusedWithTheirCauseQuicklyInLittleMemory) {
    TempDir work;
    const fs::path looped = linkedSamples(work);
    fs::create_directory_symlink(".", looped / "pawns" / "loop");
    fs::create_directories(looped / "pawns" / "deep");
    fs::create_directory_symlink("..", looped / "pawns" / "deep" / "up");
    const std::string nosuch = work.write("nosuch.show", "player 1 nosuch at 100\n0.2 end\n");
    const std::string big = work.write("big.show", "");
    fs::resize_file(big, (std::size_t{64} << 20) + 1);
    const std::string show = work.write("s.show", "player 1 robot at 100 280\n0.2 end\n");
    const std::string bad = work.write("bad.show", "player 1 robot at 100\n0 1 comingUp\n");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        // Two links up the samples tree, a script that never ends, one past the limit, a directory.
        {{"render", "--script", nosuch, "--samples", looped.string(), "--out", (work / "f/").string(), "--fps", "5"}, 0, "(0.200 s at 5 fps"},
        {{"render", "--script", "/dev/zero", "--samples", kSamples}, 1, "/dev/zero: not a regular file"},
        {{"render", "--script", big, "--samples", kSamples}, 1, "larger than 64 MB"},
        {{"play", "--script", work.path().string(), "--samples", kSamples}, 1, ": a directory, not a show script"},
        {{"render", "--script", bad, "--samples", kSamples, "--out", (work / "x/").string()}, 1, "bad.show:2:13: expected a number of milliseconds after 'comingUp'"},
        {{"render", "--script", show, "--samples", kSamples, "--out", (work / "a.gif").string(), "--fps", "60"}, 2, "a GIF shows at most 50 frames a second"},
        {{"render", "--script", show, "--samples", kSamples, "--out", (work / "a.gif").string(), "--fps", "50"}, 0, "10 frames (0.200 s at 50 fps"},
        {{"play", "--script", show, "--samples", kSamples, "--screenshot", (work / "x.jpg").string(), "--frames", "1"}, 2, "--screenshot writes a PNG"},
        {{"render", "--script", "/nonexistent/dir/none.show", "--samples", kSamples}, 1, "/nonexistent/dir/none.show: cannot read the show script"},
        {{"render", "--fps", "0"}, 2, "--fps expects a whole number from 1 to 120, found '0'"},
        {{"render", "--size", "321x240", "--samples", kSamples}, 2, "an MP4 needs an even width and height"},
        {{"render", "--out", "show.avi"}, 2, "is neither a video"},
        {{"render", "--bogus"}, 2, "unknown option '--bogus'"},
        {{"render", "--samples", (work / "none").string()}, 2, "is not a directory"},
        {{"\x1b]0;owned\x07"}, 2, "unknown command '\\x1B]0;owned\\x07'"},
    };
    long ceilingKb = 200 * 1024;
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer's own shadow and quarantine come first: the ceiling is above the same show on the bundled samples.
    ceilingKb += runStage({"render", "--script", nosuch, "--samples", kSamples, "--out", (work / "g/").string(), "--fps", "5"}, work.path()).maxRssKb;
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const auto run = runStage(c.args, work.path(), {std::chrono::seconds(60)});
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_LT(run.maxRssKb, ceilingKb);
    }
    // A plug-in named without a directory is the one in the current directory, not the system's.
    const fs::path here = fs::current_path();
    fs::current_path(fs::path(PAWN_PLUGIN_PATH).parent_path());
    const auto bare = runStage({"render", "--script", show, "--samples", kSamples, "--out", (work / "b/").string(), "--plugin",
                                fs::path(PAWN_PLUGIN_PATH).filename().string()}, work.path());
    fs::current_path(here);
    EXPECT_EQ(bare.status, 0) << bare.err;
}

TEST(StageHostile, TheStageNamesWhatTheModuleWouldLeaveUnsaid) {
    TempDir work;
    const fs::path samples = linkedSamples(work);
    fs::create_directories(samples / "pawns" / "empty");
    fs::create_symlink(fs::path(kSamples) / "pawns" / "robot" / "sequence.ini", samples / "pawns" / "empty" / "sequence.ini");
    fs::create_directories(samples / "pawns" / "piped");
    ::mkfifo((samples / "pawns" / "piped" / "dual.avi").c_str(), 0644);
    fs::create_directories(samples / "producer");
    const std::string show = work.write("s.show", "player 1 empty at 0 280\nplayer 2 piped at 200 280\nplayer 3 robot at 400 280\nplayer 4 nosuch at 500\n"
                                                   "0 3 bonus 16\n0.1 3 bonus 4\n0.2 all addScore 10\n0.3 end\n");
    const auto run = runStage({"render", "--script", show, "--samples", samples.string(), "--out", (work / "f/").string(), "--fps", "10", "--log-level", "1"},
                              work.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string producer = (samples / "producer").string();
    for (const std::string& note : {
             "pawnstage: " + producer + " has no penguin (pingouin/): a pawn given bonus 16 shows no figure",
             "pawnstage: " + producer + " lacks bonus04.avi: those bonuses are drawn as plain numbered badges",
             "pawnstage: " + producer + " has no readable scoresnd.wav",
             "pawnstage: player 1: the archive 'empty' (" + (samples / "pawns" / "empty").string() + ") has no dual.avi: the pawn has no figure",
             "pawnstage: player 2: the archive 'piped' (" + (samples / "pawns" / "piped").string() + ") holds a dual.avi that is a FIFO (named pipe), not a file",
             std::string("[1] Pawn::Pawn archive 'nosuch' not found!\n"),
         })
        EXPECT_NE(run.err.find(note), std::string::npos) << note << "\n" << run.err;
    // By default only failures are shown: the missing archive is the author's business at level 1.
    EXPECT_EQ(runStage({"render", "--script", show, "--samples", samples.string(), "--out", (work / "f/").string()}, work.path()).err.find("archive 'nosuch' not found"),
              std::string::npos);
    // Said before the module's lines that follow from it.
    EXPECT_LT(run.err.find("player 1: the archive"), run.err.find("KTAlphaVideo: Sequence"));
}
