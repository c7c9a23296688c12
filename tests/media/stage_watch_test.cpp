// `pawnstage play --watch` under Xvfb, as an author uses it: the show runs in its window while the
// test edits the script, then the pawn's archive, then breaks the script; after each edit the
// window's picture (taken by --reload-shots) must show the change, and the broken script its error
// line, with the window still open.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/core/raw_avi.h"
#include "host/media/png_writer.h"
#include "tools/pawnstage/live_show.h"
#include "tools/pawnstage/stage_overlay.h"
#include "tests/media/scratch_files.h"

namespace fs = std::filesystem;
using scratch::readFile;
using scratch::writeFile;

namespace {

constexpr int kBoxWidth = 48;
constexpr int kBoxHeight = 64;

// A pawn that is one opaque box of one colour in every frame: whatever it plays, it looks the same.
void writeBoxPawn(const fs::path& dir, std::uint8_t red, std::uint8_t green, std::uint8_t blue, bool withTable = true) {
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(kBoxWidth) * kBoxHeight * 4);
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        bgra[i] = blue;
        bgra[i + 1] = green;
        bgra[i + 2] = red;
        bgra[i + 3] = 255;
    }
    fs::create_directories(dir);
    // Written beside and renamed, as editors and exporters do: the stage never reads half a file.
    const fs::path temporary = dir / "dual.avi.new";
    ASSERT_TRUE(hostengine::writeRawAvi(temporary.string(), kBoxWidth, kBoxHeight, 12, std::vector<std::vector<std::uint8_t>>(4, bgra)));
    fs::rename(temporary, dir / "dual.avi");
    if (!withTable) return;
    std::string table = "[color]\n";
    for (const char* name : {"wait01", "wait02", "wait03", "wait04", "wait05", "wait06", "wait07", "buzz01", "buzz02", "buzz03", "hppy01",
                             "hppy02", "hppy03", "uhppy01", "uhppy02", "uhppy03", "l_left", "l_rght", "freeze"})
        table += std::string(name) + "=4@0\n";
    writeFile(dir / "sequence.ini", table);
}

struct Rgb {
    int r, g, b;
};

class Shot {
public:
    explicit Shot(const fs::path& path) {
        std::string error;
        EXPECT_TRUE(hostengine::readPng(path.string(), width_, height_, rgb_, &error)) << path << ": " << error;
    }
    Rgb at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return {-1, -1, -1};
        const std::uint8_t* p = &rgb_[(static_cast<std::size_t>(y) * width_ + x) * 3];
        return {p[0], p[1], p[2]};
    }
    // Pixels of the rectangle whose colour passes `test`.
    template <typename Test>
    int count(int x0, int y0, int x1, int y1, Test test) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += test(at(x, y));
        return n;
    }

private:
    std::int32_t width_ = 0, height_ = 0;
    std::vector<std::uint8_t> rgb_;
};

bool green(Rgb c) { return c.g > 200 && c.r < 60 && c.b < 60; }
bool blue(Rgb c) { return c.b > 200 && c.r < 60 && c.g < 60; }
bool errorRed(Rgb c) { return c.r > 120 && c.g < 40 && c.b < 40; }
bool white(Rgb c) { return c.r > 200 && c.g > 200 && c.b > 200; }

// The program in Xvfb, in a process group of its own so that the test can end all of it.
class Window {
public:
    Window(const std::vector<std::string>& args, const fs::path& out) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            ::setenv("SDL_AUDIODRIVER", "dummy", 1);
            ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            std::vector<std::string> all = {"xvfb-run", "-a", "-s", "-screen 0 1024x768x24", PAWNSTAGE_PROGRAM};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& arg : all) argv.push_back(arg.data());
            argv.push_back(nullptr);
            if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen((out.string() + ".err").c_str(), "w", stderr)) ::_exit(127);
            ::execvp("xvfb-run", argv.data());
            ::_exit(127);
        }
        ::setpgid(pid_, pid_);
    }
    ~Window() { stop(); }

    bool running() {
        if (status_ >= 0) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        return status_ < 0;
    }
    int stop() {
        if (running()) {
            ::kill(-pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Waits until the program has written shot `n` (it prints the path once the file is complete).
bool waitForShot(Window& window, const fs::path& out, const fs::path& shots, int n) {
    const std::string path = (shots / ("reload-" + std::to_string(n) + ".png")).string();
    for (int i = 0; i < 400; ++i) {
        if (readFile(out).find(path) != std::string::npos) return true;
        if (!window.running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

// The same reloads in-process, where what each one kept can be looked at.
TEST(StageWatch, ReloadKeepsTheClockForTheSamePlayersRestartsForNewOnesAndKeepsTheShowOnAnError) {
    const fs::path dir = fs::temp_directory_path() / ("live_show_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const fs::path samples = dir / "samples", script = dir / "live.show";
    writeBoxPawn(samples / "pawns" / "box", 0, 255, 0);
    writeFile(script, "player 1 box at 100 280\n0 1 showScore 1\n0 1 addScore 40\n10 end\n");
    pawnstage::LiveShow show(script.string(), pawnstage::StageSetup{samples.string(), PAWN_PLUGIN_PATH, false, 1});
    for (int i = 0; i < 60; ++i) show.advance(33);  // past the score's roll
    EXPECT_EQ(show.poll().text, "");
    const std::string before = pawnstage::describePawn(show.stage()->slot(0), show.stage()->player(0));
    EXPECT_NE(before.find("1 box  wait01 "), std::string::npos) << before;
    EXPECT_NE(before.find("score 40"), std::string::npos) << before;

    struct Edit {
        const char* script;      // null: the archive changes instead
        const char* says;        // the start of what the reload reports
        // The adopted script's later cue (2.5 s) is delivered; a remade pawn gets its score back.
        bool error;
        bool clockKept;
        int scoreAfter;
    };
    const Edit edits[] = {
        {"player 1 box at 100 280\n0 1 showScore 1\n0 1 addScore 40\n2.5 1 addScore 5\n10 end\n", "reloaded", false, true, 45},
        {nullptr, "reloaded archive box of player 1", false, true, 45},
        {"player 1 box at 100 280\n0 1 bogus\n", "", true, true, 45},
        {"player 1 box at 300 280\n0 1 showScore 1\n10 end\n", "reloaded", false, false, 0},
    };
    for (const Edit& edit : edits) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a modification time of its own
        if (edit.script) writeFile(script, edit.script);
        else writeBoxPawn(samples / "pawns" / "box", 0, 0, 255, false);
        const std::uint32_t clock = show.clock();
        const pawnstage::LiveShow::Reload reload = show.poll();
        EXPECT_EQ(reload.error, edit.error) << reload.text;
        EXPECT_EQ(reload.text.rfind(edit.error ? script.string() + ":2:" : edit.says, 0), 0u) << reload.text;
        EXPECT_EQ(show.clock() == clock, edit.clockKept) << reload.text;
        ASSERT_NE(show.stage(), nullptr);
        for (int i = 0; i < 60; ++i) show.advance(33);  // a remade pawn rolls its score up again
        EXPECT_EQ(show.stage()->player(0).getScore(), edit.scoreAfter) << reload.text;
        EXPECT_EQ(show.poll().text, "") << "one edit, one reload";
    }
    // A new sequence table reaches the remade pawn: the archive is read again, not remembered.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    writeFile(samples / "pawns" / "box" / "sequence.ini", "[color]\nwait01=2@0\n");
    EXPECT_EQ(show.poll().text, "reloaded archive box of player 1");
    const std::string after = pawnstage::describePawn(show.stage()->slot(0), show.stage()->player(0));
    EXPECT_NE(after.find("wait01 0/2"), std::string::npos) << after;
    fs::remove_all(dir);
}

TEST(StageWatch, ReloadsTheEditedScriptAndArchiveAndShowsAScriptErrorWithTheWindowOpen) {
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xvfb-run";
    const fs::path dir = fs::temp_directory_path() / ("stage_watch_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const fs::path samples = dir / "samples", script = dir / "live.show", shots = dir / "shots", out = dir / "out.txt";
    writeBoxPawn(samples / "pawns" / "box", 0, 255, 0);
    writeFile(script, "player 1 box at 100 280\n0 1 showScore 1\n120 end\n");

    Window window({"play", "--watch", "--reload-shots", shots.string(), "--script", script.string(), "--samples", samples.string()}, out);
    auto shot = [&](int n) {
        EXPECT_TRUE(waitForShot(window, out, shots, n)) << "no picture " << n << "; stderr:\n" << readFile(out.string() + ".err");
        return Shot(shots / ("reload-" + std::to_string(n) + ".png"));
    };
    const int boxMiddleY = 280 + kBoxHeight / 2;

    const Shot start = shot(0);
    EXPECT_TRUE(green(start.at(100 + 24, boxMiddleY)));

    // The player moves: a new show from the start, the box at its new place and gone from the old.
    writeFile(script, "player 1 box at 400 280\n0 1 showScore 1\n120 end\n");
    const Shot moved = shot(1);
    EXPECT_TRUE(green(moved.at(400 + 24, boxMiddleY)));
    EXPECT_FALSE(green(moved.at(100 + 24, boxMiddleY)));
    EXPECT_GT(moved.count(0, 0, 640, 12, white), 50) << "the reload's notice";

    // The archive's figure turns blue: the pawn is made again where it stood.
    writeBoxPawn(samples / "pawns" / "box", 0, 0, 255, false);  // one change, one reload
    const Shot remade = shot(2);
    EXPECT_EQ(remade.count(400, 280, 400 + kBoxWidth, 280 + kBoxHeight, blue), kBoxWidth * kBoxHeight);

    // A script that does not read: its error on screen, the show going on behind it.
    writeFile(script, "player 1 box at 400 280\n0 1 comingUp\n120 end\n");
    const Shot broken = shot(3);
    EXPECT_GT(broken.count(0, 0, 640, 12, errorRed), 2000) << "the error line";
    EXPECT_GT(broken.count(0, 0, 640, 12, white), 50) << "its text";
    EXPECT_TRUE(blue(broken.at(400 + 24, boxMiddleY)));
    EXPECT_TRUE(window.running()) << "the window closed on a broken script";
    EXPECT_NE(readFile(out.string() + ".err").find("live.show:2:"), std::string::npos) << readFile(out.string() + ".err");

    window.stop();  // Xvfb goes with it, so the program's own status says nothing here
    fs::remove_all(dir);
}
