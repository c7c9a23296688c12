// The stage against hostile input and a careful user, through the built program: loops and huge
// files it must not hang on, outputs it must never lose, and messages that name the real cause.
// Runs that could hang are bounded here, by a deadline and a memory ceiling of the test's own.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/media/scratch_files.h"

namespace fs = std::filesystem;
using scratch::readFile;

namespace {

constexpr long kMemoryCeilingKb = 200 * 1024;

struct Outcome {
    bool finished = false;  // within the deadline
    int status = -1;        // exit status, or -signal
    long maxRssKb = 0;
    std::string err;
};

// The program with `args`, killed at `deadline`; with `signal`, that signal is sent after `signalAfter`.
Outcome runStage(const std::vector<std::string>& args, const fs::path& work, std::chrono::milliseconds deadline = std::chrono::seconds(60),
             int signal = 0, std::chrono::milliseconds signalAfter = {}) {
    const fs::path errFile = work / "stderr.txt";
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = ::open("/dev/null", O_WRONLY);
        ::dup2(err, 2);
        ::dup2(out, 1);
        std::vector<char*> argv{const_cast<char*>(PAWNSTAGE_PROGRAM)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(PAWNSTAGE_PROGRAM, argv.data());
        ::_exit(127);
    }
    Outcome run;
    const auto start = std::chrono::steady_clock::now();
    bool signalled = signal == 0;
    for (;;) {
        int raw = 0;
        rusage usage{};
        if (::wait4(child, &raw, WNOHANG, &usage) == child) {
            run.finished = true;
            run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
            run.maxRssKb = usage.ru_maxrss;
            break;
        }
        const auto spent = std::chrono::steady_clock::now() - start;
        if (!signalled && spent >= signalAfter) {
            ::kill(child, signal);
            signalled = true;
        }
        if (spent > deadline) {
            ::kill(-child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.err = readFile(errFile);
    return run;
}

struct Workspace {
    Workspace() : dir(fs::temp_directory_path() / ("stage_hostile_" + std::to_string(::getpid()) + "_" + std::to_string(counter++))) {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Workspace() { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text) const {
        fs::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }
    // Files of `dir` whose names mark an unfinished output.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            if (entry.path().filename().string().find(".partial-") != std::string::npos) found.push_back(entry.path().string());
        return found;
    }
    static inline int counter = 0;
    fs::path dir;
};

const std::string kSamples = PAWN_SAMPLES_DIR;

// A samples directory of links to the bundled one's parts, so a test can add its own twists.
fs::path linkedSamples(const Workspace& work) {
    const fs::path samples = work.dir / "samples";
    fs::create_directories(samples / "pawns");
    for (const char* file : {"buzz1.wav", "buzz2.wav", "buzz3.wav", "buzz4.wav", "scorefontphase"}) fs::create_symlink(fs::path(kSamples) / file, samples / file);
    fs::create_directory_symlink(fs::path(kSamples) / "pawns" / "robot", samples / "pawns" / "robot");
    return samples;
}

}  // namespace

TEST(StageHostile, LoopsHugeAndEndlessInputEndQuicklyInLittleMemory) {
    Workspace work;
    const fs::path looped = linkedSamples(work);
    fs::create_directory_symlink(".", looped / "pawns" / "loop");
    fs::create_directories(looped / "pawns" / "deep");
    fs::create_directory_symlink("..", looped / "pawns" / "deep" / "up");
    const std::string nosuch = work.write("nosuch.show", "player 1 nosuch at 100\n0.2 end\n");
    const std::string big = work.write("big.show", "");
    fs::resize_file(big, (std::size_t{64} << 20) + 1);
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {"two links up the samples tree", {"render", "--script", nosuch, "--samples", looped.string(), "--out", (work.dir / "f/").string(), "--fps", "5"}, 0, ""},
        {"a script that never ends", {"render", "--script", "/dev/zero", "--samples", kSamples}, 1, "/dev/zero: not a regular file"},
        {"a script past the limit", {"render", "--script", big, "--samples", kSamples}, 1, "larger than 64 MB"},
        {"a directory as the script", {"play", "--script", work.dir.string(), "--samples", kSamples}, 1, ": a directory, not a show script"},
    };
    long ceilingKb = kMemoryCeilingKb;
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer's own shadow and quarantine come first: the ceiling is above the same show on the
    // bundled samples.
    ceilingKb += runStage({"render", "--script", nosuch, "--samples", kSamples, "--out", (work.dir / "g/").string(), "--fps", "5"}, work.dir).maxRssKb;
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = runStage(c.args, work.dir, std::chrono::seconds(60));
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_LT(run.maxRssKb, ceilingKb);
    }
}

TEST(StageHostile, AnInterruptedOrFailedRenderLeavesTheOldOutputUntouched) {
    Workspace work;
    const std::string shortShow = work.write("short.show", "player 1 robot at 100 280\n0 1 buzz\n0.5 end\n");
    const std::string longShow = work.write("long.show", "player 1 robot at 100 280\n0 1 buzz\n1 1 addScore 100\n60 end\n");
    for (const char* name : {"good.mp4", "good.gif"}) {
        const fs::path good = work.dir / name;
        ASSERT_EQ(runStage({"render", "--script", shortShow, "--samples", kSamples, "--out", good.string(), "--size", "160x120", "--fps", "10"}, work.dir).status, 0);
        const std::string before = readFile(good);
        ASSERT_FALSE(before.empty());
        // During the set-up, in the first frames and well into the show.
        for (const int signal : {SIGINT, SIGTERM})
            for (const int afterMs : {50, 400, 1500}) {
                SCOPED_TRACE(std::string(name) + " signal " + std::to_string(signal) + " after " + std::to_string(afterMs) + " ms");
                const Outcome run = runStage({"render", "--script", longShow, "--samples", kSamples, "--out", good.string(), "--size", "160x120"}, work.dir,
                                         std::chrono::seconds(120), signal, std::chrono::milliseconds(afterMs));
                ASSERT_TRUE(run.finished);
                EXPECT_EQ(run.status, -signal) << run.err;
                EXPECT_EQ(readFile(good), before);
                EXPECT_EQ(work.leftovers(), std::vector<std::string>{});
            }
        // A full disk, as a file-size limit makes it: the write fails, the old file stays.
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const Outcome full = runStage({"render", "--script", longShow, "--samples", kSamples, "--out", good.string(), "--size", "320x240"}, work.dir,
                                  std::chrono::seconds(120));
        ::setrlimit(RLIMIT_FSIZE, &old);
        ASSERT_TRUE(full.finished);
        EXPECT_EQ(full.status, 1) << full.err;
        EXPECT_EQ(readFile(good), before) << name;
        EXPECT_EQ(work.leftovers(), std::vector<std::string>{});
    }
}

TEST(StageHostile, PngFramesOfAnOlderLongerRenderAreRemoved) {
    Workspace work;
    const fs::path frames = work.dir / "frames";
    for (const char* end : {"1", "0.4"}) {
        const std::string show = work.write("s.show", std::string("player 1 robot at 100 280\n") + end + " end\n");
        const Outcome run = runStage({"render", "--script", show, "--samples", kSamples, "--out", frames.string() + "/", "--fps", "10", "--size", "64x48"}, work.dir);
        ASSERT_EQ(run.status, 0) << run.err;
        if (std::string(end) == "0.4") {
            EXPECT_NE(run.err.find("(6 older frames beyond this render removed)"), std::string::npos) << run.err;
        }
    }
    EXPECT_TRUE(fs::exists(frames / "frame00003.png"));
    EXPECT_FALSE(fs::exists(frames / "frame00004.png"));
    EXPECT_EQ(work.leftovers(), std::vector<std::string>{});
}

TEST(StageHostile, OptionsAndShowsThatCannotBeRenderedAreRefused) {
    Workspace work;
    const std::string show = work.write("s.show", "player 1 robot at 100 280\n0.2 end\n");
    const std::string empty = work.write("empty.show", "player 1 robot at 100 280\n0 end\n");
    const std::string plugin = fs::path(PAWN_PLUGIN_PATH).filename().string();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"render", "--script", show, "--samples", kSamples, "--out", (work.dir / "a.gif").string(), "--fps", "60"}, 2, "a GIF shows at most 50 frames a second"},
        {{"render", "--script", show, "--samples", kSamples, "--out", (work.dir / "a.gif").string(), "--fps", "50"}, 0, "10 frames (0.200 s at 50 fps"},
        {{"render", "--script", empty, "--samples", kSamples, "--out", (work.dir / "a.mp4").string()}, 1, "empty.show:2:3: the show must end after 0 s"},
        {{"play", "--script", show, "--samples", kSamples, "--screenshot", (work.dir / "x.jpg").string(), "--frames", "1"}, 2, "--screenshot writes a PNG"},
        {{"\x1b]0;owned\x07"}, 2, "unknown command '\\x1B]0;owned\\x07'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const Outcome run = runStage(c.args, work.dir);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    // A plug-in named without a directory is the one in the current directory, not the system's.
    const fs::path here = fs::current_path();
    fs::current_path(fs::path(PAWN_PLUGIN_PATH).parent_path());
    const Outcome bare = runStage({"render", "--script", show, "--samples", kSamples, "--out", (work.dir / "b/").string(), "--plugin", plugin}, work.dir);
    fs::current_path(here);
    EXPECT_EQ(bare.status, 0) << bare.err;
}

TEST(StageHostile, TheStageNamesWhatTheModuleWouldLeaveUnsaid) {
    Workspace work;
    const fs::path samples = linkedSamples(work);
    fs::create_directories(samples / "pawns" / "empty");
    fs::create_symlink(fs::path(kSamples) / "pawns" / "robot" / "sequence.ini", samples / "pawns" / "empty" / "sequence.ini");
    fs::create_directories(samples / "pawns" / "piped");
    ::mkfifo((samples / "pawns" / "piped" / "dual.avi").c_str(), 0644);
    fs::create_directories(samples / "producer");
    const std::string show = work.write("s.show",
                                        "player 1 empty at 0 280\nplayer 2 piped at 200 280\nplayer 3 robot at 400 280\n"
                                        "0 3 bonus 16\n0.1 3 bonus 4\n0.2 all addScore 10\n0.3 end\n");
    const Outcome run = runStage({"render", "--script", show, "--samples", samples.string(), "--out", (work.dir / "f/").string(), "--fps", "10"}, work.dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string producer = (samples / "producer").string();
    for (const std::string& note : {
             "pawnstage: " + producer + " has no penguin (pingouin/): a pawn given bonus 16 shows no figure",
             "pawnstage: " + producer + " lacks bonus04.avi: those bonuses are drawn as plain numbered badges",
             "pawnstage: " + producer + " has no readable scoresnd.wav",
             "pawnstage: player 1: the archive 'empty' (" + (samples / "pawns" / "empty").string() + ") has no dual.avi: the pawn has no figure",
             "pawnstage: player 2: the archive 'piped' (" + (samples / "pawns" / "piped").string() +
                 ") holds a dual.avi that is a FIFO (named pipe), not a file",
         })
        EXPECT_NE(run.err.find(note), std::string::npos) << note << "\n" << run.err;
    // Said before the module's lines that follow from it.
    EXPECT_LT(run.err.find("player 1: the archive"), run.err.find("KTAlphaVideo: Sequence"));
}
