// `pawnstage play --watch` as an author uses it: the show runs while the test edits the script, then
// the pawn's archive, then breaks the script. In-process, what each reload kept is looked at; under
// Xvfb, the window's picture after each edit (taken by --reload-shots) must show the change, and the
// broken script its error line, with the window still open.
#include <gtest/gtest.h>

#include "host/media/png_writer.h"
#include "tools/pawnstage/live_show.h"
#include "tools/pawnstage/stage_overlay.h"
#include "tests/media/figure_pawn.h"
#include "tests/media/stage_program.h"

namespace fs = std::filesystem;
using testfiles::readFile;
using testfiles::writeFile;

namespace {

// A pawn that is one opaque 48 x 64 box of one colour in every frame: whatever it plays, it looks the same.
void writeBoxPawn(const fs::path& samples, std::uint32_t bgra, bool withTable = true) {
    ASSERT_TRUE(writeFigurePawn(samples / "pawns" / "box", 48, 64, boxFrames(48, 64, {bgra, bgra, bgra, bgra}), withTable));
}
constexpr std::uint32_t kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// A modification time of its own for the next edit.
void tick() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

}  // namespace

TEST(StageWatch, ReloadKeepsTheClockForTheSamePlayersRestartsForNewOnesAndKeepsTheShowOnAnError) {
    testfiles::TempDir dir("live_show");
    const fs::path samples = dir / "samples", script = dir / "live.show";
    writeBoxPawn(samples, kGreen);
    writeFile(script, "player 1 box at 100 280\n0 1 showScore 1\n0 1 addScore 40\n10 end\n");
    pawnstage::LiveShow show(script.string(), pawnstage::StageSetup{samples.string(), PAWN_PLUGIN_PATH, false, 1});
    for (int i = 0; i < 60; ++i) show.advance(33);  // past the score's roll
    EXPECT_EQ(show.poll().text, "");
    const std::string before = pawnstage::describePawn(show.stage()->slot(0), show.stage()->player(0));
    EXPECT_NE(before.find("1 box  wait01 "), std::string::npos) << before;

    // The adopted script's later cue (2.5 s) is delivered; a remade pawn gets its score back.
    const struct {
        const char* script;  // null: the archive changes instead
        const char* says;    // the start of what the reload reports
        bool error, clockKept;
        int scoreAfter;
    } edits[] = {
        {"player 1 box at 100 280\n0 1 showScore 1\n0 1 addScore 40\n2.5 1 addScore 5\n10 end\n", "reloaded", false, true, 45},
        {nullptr, "reloaded archive box of player 1", false, true, 45},
        {"player 1 box at 100 280\n0 1 bogus\n", "", true, true, 45},
        {"player 1 box at 300 280\n0 1 showScore 1\n10 end\n", "reloaded", false, false, 0},
    };
    for (const auto& edit : edits) {
        tick();
        if (edit.script) writeFile(script, edit.script);
        else writeBoxPawn(samples, kBlue, false);
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
    tick();
    writeFile(samples / "pawns" / "box" / "sequence.ini", "[color]\nwait01=2@0\n");
    EXPECT_EQ(show.poll().text, "reloaded archive box of player 1");
    const std::string after = pawnstage::describePawn(show.stage()->slot(0), show.stage()->player(0));
    EXPECT_NE(after.find("wait01 0/2"), std::string::npos) << after;
}

TEST(StageWatch, ReloadsTheEditedScriptAndArchiveAndShowsAScriptErrorWithTheWindowOpen) {
    if (!stagerun::haveProgram("xvfb-run")) GTEST_SKIP() << "no xvfb-run";
    testfiles::TempDir dir("stage_watch");
    const fs::path samples = dir / "samples", script = dir / "live.show", shots = dir / "shots";
    writeBoxPawn(samples, kGreen);
    writeFile(script, "player 1 box at 100 280\n0 1 showScore 1\n120 end\n");
    const pid_t window = stagerun::startStage({"play", "--watch", "--reload-shots", shots.string(), "--script", script.string(), "--samples", samples.string()},
                                              dir.path(), stagerun::kInXvfb);
    bool open = true;
    // Shot `n` once the program has printed its path (it does when the file is complete); {r, g, b} at (x, y).
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    auto shot = [&](int n) {
        const std::string path = (shots / ("reload-" + std::to_string(n) + ".png")).string();
        for (int i = 0; i < 400 && open && readFile(dir / "stdout.txt").find(path) == std::string::npos; ++i) {
            open = ::waitpid(window, nullptr, WNOHANG) == 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(hostengine::readPng(path, width, height, rgb)) << "no picture " << n << "; stderr:\n" << readFile(dir / "stderr.txt");
    };
    auto count = [&](int x0, int y0, int x1, int y1, bool (*test)(const std::uint8_t*)) {
        int n = 0;
        for (int y = y0; y < y1 && y < height; ++y)
            for (int x = x0; x < x1 && x < width; ++x) n += test(&rgb[(static_cast<std::size_t>(y) * width + x) * 3]);
        return n;
    };
    auto green = [](const std::uint8_t* c) { return c[1] > 200 && c[0] < 60 && c[2] < 60; };
    auto blue = [](const std::uint8_t* c) { return c[2] > 200 && c[0] < 60 && c[1] < 60; };
    auto errorRed = [](const std::uint8_t* c) { return c[0] > 120 && c[1] < 40 && c[2] < 40; };
    auto white = [](const std::uint8_t* c) { return c[0] > 200 && c[1] > 200 && c[2] > 200; };
    constexpr int kMiddleY = 280 + 32;

    shot(0);
    EXPECT_EQ(count(124, kMiddleY, 125, kMiddleY + 1, green), 1);
    // The player moves: a new show from the start, the box at its new place and gone from the old.
    writeFile(script, "player 1 box at 400 280\n0 1 showScore 1\n120 end\n");
    shot(1);
    EXPECT_EQ(count(424, kMiddleY, 425, kMiddleY + 1, green), 1);
    EXPECT_EQ(count(124, kMiddleY, 125, kMiddleY + 1, green), 0);
    EXPECT_GT(count(0, 0, 640, 12, white), 50) << "the reload's notice";
    // The archive's figure turns blue: the pawn is made again where it stood.
    writeBoxPawn(samples, kBlue, false);  // one change, one reload
    shot(2);
    EXPECT_EQ(count(400, 280, 448, 344, blue), 48 * 64);
    // A script that does not read: its error on screen, the show going on behind it.
    writeFile(script, "player 1 box at 400 280\n0 1 comingUp\n120 end\n");
    shot(3);
    EXPECT_GT(count(0, 0, 640, 12, errorRed), 2000) << "the error line";
    EXPECT_GT(count(0, 0, 640, 12, white), 50) << "its text";
    EXPECT_EQ(count(424, kMiddleY, 425, kMiddleY + 1, blue), 1);
    EXPECT_TRUE(open && ::waitpid(window, nullptr, WNOHANG) == 0) << "the window closed on a broken script";
    EXPECT_NE(readFile(dir / "stderr.txt").find("live.show:2:"), std::string::npos) << readFile(dir / "stderr.txt");
    // Xvfb goes with it, so the program's own status says nothing here.
    ::kill(-window, SIGTERM);
    ::waitpid(window, nullptr, 0);
}
