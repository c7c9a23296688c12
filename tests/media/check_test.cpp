// `pawnstage check` on archives made here with planted faults, and on the bundled samples.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tools/pawnstage/check_archive.h"
#include "tools/pawnstage/check_command.h"
#include "tools/archive/alpha_avi_writer.h"
#include "tools/samplegen/raster.h"
#include "tools/samplegen/sounds.h"
#include "tests/media/scratch_files.h"

namespace {

namespace fs = std::filesystem;
using scratch::TempDir;
using scratch::writeFile;
using pawnstage::ArchiveReport;
using pawnstage::CheckOptions;
using pawnstage::CheckStatus;

// A small but complete pawn: 2 frames for each of the 19 sequences (38 frames of a soft disc on
// transparency), the four buzz sounds and "scorefontphase" in the root above it.
struct Archive {
    int width = 32;
    int height = 32;
    int frames = 38;
    bool alpha = true;
    bool opaque = false;  // alpha 255 everywhere
    int opaqueFrame = -1;  // one frame with alpha 255 everywhere
    std::vector<std::string> lines;  // sequence.ini's [color] lines

    Archive() {
        int first = 0;
        for (const std::string& name : pawnstage::pawnSequenceNames()) {
            lines.push_back(name + "=2@" + std::to_string(first));
            first += 2;
        }
    }

    void replace(const std::string& name, const std::string& line) {
        for (std::string& existing : lines)
            if (existing.rfind(name + "=", 0) == 0) existing = line;
    }
    void remove(const std::string& name) { std::erase_if(lines, [&](const std::string& line) { return line.rfind(name + "=", 0) == 0; }); }

    std::string table() const {
        std::string text = "; test pawn\n[color]\n";
        for (const std::string& line : lines) text += line + "\n";
        return text;
    }

    void writeVideo(const fs::path& path) const {
        std::vector<std::vector<std::uint8_t>> pictures;
        for (int frame = 0; frame < frames; ++frame) {
            samplegen::Image image(width, height);
            if (opaque || frame == opaqueFrame) image.fill(samplegen::roundedBox({width / 2.0f, height / 2.0f}, width / 2.0f + 2, height / 2.0f + 2, 0), samplegen::rgb(40, 40, 40));
            image.fill(samplegen::circle({width / 2.0f, height / 2.0f}, 6.0f + frame % 5), samplegen::rgb(200, 60 + frame * 4, 90));
            pictures.push_back(image.toBgra());
        }
        pawnarchive::writeAlphaAvi(path.string(), width, height, pictures, alpha);
    }

    // Writes root/pawns/<name>/ and the root's sounds; returns the archive directory.
    fs::path write(const fs::path& root, const std::string& name = "tester") const {
        fs::path dir = root / "pawns" / name;
        fs::create_directories(dir);
        writeVideo(dir / "dual.avi");
        writeFile(dir / "sequence.ini", table());
        for (int number = 1; number <= 4; ++number) samplegen::writeWav((root / ("buzz" + std::to_string(number) + ".wav")).string(), samplegen::buzzerSound(number));
        writeFile(root / "scorefontphase", "2\n");
        return dir;
    }
};

ArchiveReport check(const fs::path& archive, const fs::path& root, bool penguin = false) {
    CheckOptions options;
    options.root = root.string();
    options.penguin = penguin;
    return pawnstage::checkArchive(archive.string(), options);
}

std::string describe(const ArchiveReport& report) {
    std::string text;
    for (const auto& result : report.results) text += std::string(pawnstage::statusName(result.status)) + " " + result.check + ": " + result.message + "\n";
    return text;
}

bool reports(const ArchiveReport& report, const std::string& check, CheckStatus status, const std::string& words) {
    for (const auto& result : report.results)
        if (result.check == check && result.status == status && result.message.find(words) != std::string::npos) return true;
    return false;
}

// runCheckCommand with its standard output captured.
int runCheck(std::vector<std::string> arguments, std::string* output = nullptr) {
    arguments.insert(arguments.begin(), "check");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = runCheckCommand(static_cast<int>(argv.size()), argv.data());
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    if (output) *output = out;
    return status;
}

TEST(CheckCommand, SmallCompleteArchivePassesEveryCheck) {
    TempDir temp("pawn_check");
    fs::path archive = Archive().write(temp.path());
    ArchiveReport report = check(archive, temp.path());
    EXPECT_EQ(report.count(CheckStatus::Error) + report.count(CheckStatus::Warn), 0) << describe(report);
    for (const std::string& name : pawnstage::pawnSequenceNames()) EXPECT_TRUE(reports(report, name, CheckStatus::Ok, "frames")) << name;
    EXPECT_TRUE(reports(report, "alpha", CheckStatus::Ok, "soft"));
    EXPECT_TRUE(reports(report, "scorefontphase", CheckStatus::Ok, "phase 2"));
}

struct Fault {
    const char* name;
    std::function<void(Archive&, const fs::path& root, const fs::path& archive)> plant;  // after write, on disk
    const char* check;
    CheckStatus status;
    const char* words;
};

TEST(CheckCommand, ReportsEachPlantedFault) {
    auto table = [](std::function<void(Archive&)> edit) {
        return [edit](Archive& planted, const fs::path&, const fs::path& archive) {
            edit(planted);
            writeFile(archive / "sequence.ini", planted.table());
        };
    };
    auto video = [](std::function<void(Archive&)> edit) {
        return [edit](Archive& planted, const fs::path&, const fs::path& archive) {
            edit(planted);
            planted.writeVideo(archive / "dual.avi");
        };
    };
    const std::vector<Fault> faults = {
        {"missing sequence", table([](Archive& a) { a.remove("hppy02"); }), "hppy02", CheckStatus::Error, "missing"},
        {"sequence beyond the video", table([](Archive& a) { a.replace("freeze", "freeze=2@37"); }), "freeze", CheckStatus::Error, "run past the video's last frame 37"},
        {"zero-length sequence", table([](Archive& a) { a.replace("buzz02", "buzz02=0@10"); }), "buzz02", CheckStatus::Error, "zero-length"},
        {"negative first frame", table([](Archive& a) { a.replace("l_left", "l_left=2@-4"); }), "l_left", CheckStatus::Error, "before the video's first frame"},
        {"entry without @", table([](Archive& a) { a.replace("wait03", "wait03=2"); }), "wait03", CheckStatus::Warn, "no '@'"},
        {"entry without @ leaves the sequence missing", table([](Archive& a) { a.replace("wait03", "wait03=2"); }), "wait03", CheckStatus::Error, "missing"},
        {"numbers that are not numbers", table([](Archive& a) { a.replace("wait04", "wait04=2 frames@6"); }), "wait04", CheckStatus::Warn, "reads 2@6"},
        {"duplicated name", table([](Archive& a) { a.lines.push_back("wait01=2@6"); }), "wait01", CheckStatus::Warn, "wait01=2@0 is listed again as wait01=2@6"},
        {"names differing in case", table([](Archive& a) { a.lines.push_back("WAIT02=2@2"); }), "WAIT02", CheckStatus::Warn, "differ only in letter case"},
        {"shadowing entry out of range", table([](Archive& a) { a.lines.push_back("uhppy01=4@36"); }), "uhppy01", CheckStatus::Error, "run past"},
        {"line that is not name=value", table([](Archive& a) { a.lines.push_back("wait05 2@8"); }), "sequence.ini", CheckStatus::Warn, "line 22: 'wait05 2@8' is not name=count@first"},
        {"second [color] section", table([](Archive& a) { a.lines.push_back("[color]"); }), "sequence.ini", CheckStatus::Warn, "a second [color] section"},
        {"third [color] section", table([](Archive& a) { a.lines.insert(a.lines.end(), {"[color]", "[color]"}); }), "sequence.ini", CheckStatus::Warn,
         "line 23: a third [color] section"},
        {"numbers held to 32 bits", table([](Archive& a) { a.replace("freeze", "freeze=4294967295@4294967295"); }), "freeze", CheckStatus::Error,
         "freeze=4294967295@4294967295 (read as 2147483647@2147483647: numbers beyond 2147483647 are held to it): frames 2147483647..4294967293 run past"},
        {"negative count", table([](Archive& a) { a.replace("buzz02", "buzz02=-14@10"); }), "buzz02", CheckStatus::Error, ": negative count (-14);"},
        {"video of one frame", video([](Archive& a) { a.frames = 1; }), "freeze", CheckStatus::Error, "(dual.avi has 1 frame)"},
        {"dual.avi that is a FIFO", [](Archive&, const fs::path&, const fs::path& a) { fs::remove(a / "dual.avi"); ::mkfifo((a / "dual.avi").c_str(), 0644); },
         "dual.avi", CheckStatus::Error, "dual.avi: a FIFO (named pipe), not a file the host reads"},
        {"producer without the penguin", [](Archive&, const fs::path& root, const fs::path&) { fs::create_directories(root / "producer"); }, "pingouin",
         CheckStatus::Warn, "producer/pingouin: not found; a pawn given bonus 16 shows no figure"},
        {"unused entry beyond the video", table([](Archive& a) { a.lines.push_back("extra=5@36"); }), "extra", CheckStatus::Warn, "no pawn selects"},
        {"misspelt name", table([](Archive& a) { a.lines.push_back("wiat01=2@0"); }), "wiat01", CheckStatus::Warn, "'wiat01' is a name a pawn never selects"},
        {"one opaque frame", video([](Archive& a) { a.opaqueFrame = 5; }), "alpha", CheckStatus::Warn, "frame 5 without a transparent pixel"},
        {"missing dual.avi", [](Archive&, const fs::path&, const fs::path& a) { fs::remove(a / "dual.avi"); }, "dual.avi", CheckStatus::Error, "missing"},
        {"non-AVI dual.avi", [](Archive&, const fs::path&, const fs::path& a) { writeFile(a / "dual.avi", "RIFF this is no video at all"); }, "dual.avi",
         CheckStatus::Error, "cannot decode it"},
        {"truncated dual.avi", [](Archive&, const fs::path&, const fs::path& a) { fs::resize_file(a / "dual.avi", fs::file_size(a / "dual.avi") / 2); },
         "dual.avi", CheckStatus::Error, "cannot decode it"},
        {"video without an alpha channel", video([](Archive& a) { a.alpha = false; }), "alpha", CheckStatus::Error, "no alpha channel"},
        {"alpha opaque everywhere", video([](Archive& a) { a.opaque = true; }), "alpha", CheckStatus::Warn, "every alpha value is 255"},
        {"video shorter than the table", video([](Archive& a) { a.frames = 30; }), "freeze", CheckStatus::Error, "dual.avi has 30 frames"},
        {"frame larger than the blended draw", video([](Archive& a) { a.width = 520; }), "frame size", CheckStatus::Warn, "520 x 32 is larger than 512 x 512"},
        {"missing sequence.ini", [](Archive&, const fs::path&, const fs::path& a) { fs::remove(a / "sequence.ini"); }, "sequence.ini", CheckStatus::Error,
         "missing"},
        {"no [color] section", [](Archive&, const fs::path&, const fs::path& a) { writeFile(a / "sequence.ini", "[colour]\nwait01=2@0\n"); }, "sequence.ini",
         CheckStatus::Error, "no [color] section"},
        {"missing buzz sound", [](Archive&, const fs::path& root, const fs::path&) { fs::remove(root / "buzz3.wav"); }, "buzz3.wav", CheckStatus::Warn,
         "not found"},
        {"buzz sound that is no WAV", [](Archive&, const fs::path& root, const fs::path&) { writeFile(root / "buzz4.wav", "honk"); }, "buzz4.wav",
         CheckStatus::Warn, "cannot play it"},
        {"score phase that is no number", [](Archive&, const fs::path& root, const fs::path&) { writeFile(root / "scorefontphase", "bold\n"); },
         "scorefontphase", CheckStatus::Warn, "'bold\\n' is not a number; the pawn reads phase 0"},
        {"missing score phase", [](Archive&, const fs::path& root, const fs::path&) { fs::remove(root / "scorefontphase"); }, "scorefontphase",
         CheckStatus::Warn, "not found"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        TempDir temp("pawn_check");
        Archive planted;
        fs::path archive = planted.write(temp.path());
        fault.plant(planted, temp.path(), archive);
        ArchiveReport report = check(archive, temp.path());
        EXPECT_TRUE(reports(report, fault.check, fault.status, fault.words)) << describe(report);
        // A warning alone does not fail the archive; the one fault that also removes a sequence does.
        if (fault.status == CheckStatus::Error || fault.check == std::string("wait03")) {
            EXPECT_GT(report.count(CheckStatus::Error), 0);
        } else {
            EXPECT_EQ(report.count(CheckStatus::Error), 0) << describe(report);
        }
    }
}

TEST(CheckCommand, ArchiveThatIsNoDirectoryIsAnError) {
    TempDir temp("pawn_check");
    writeFile(temp.path() / "pawn.zip", "PK");
    EXPECT_TRUE(reports(check(temp.path() / "pawn.zip", temp.path()), "archive", CheckStatus::Error, "not a directory"));
    EXPECT_TRUE(reports(check(temp.path() / "nowhere", temp.path()), "archive", CheckStatus::Error, "no such directory"));
}

TEST(CheckCommand, PenguinOptionAsksOnlyForThePenguinsSequences) {
    TempDir temp("pawn_check");
    Archive planted;
    planted.lines.clear();
    int first = 0;
    for (const std::string& name : pawnstage::penguinSequenceNames()) {
        planted.lines.push_back(name + "=2@" + std::to_string(first));
        first += 2;
    }
    fs::path archive = planted.write(temp.path(), "pingouin");
    ArchiveReport asPenguin = check(archive, temp.path(), true);
    EXPECT_EQ(asPenguin.count(CheckStatus::Error), 0) << describe(asPenguin);
    EXPECT_EQ(asPenguin.find("hppy01"), nullptr);
    EXPECT_TRUE(reports(check(archive, temp.path(), false), "hppy01", CheckStatus::Error, "missing"));
}

TEST(CheckCommand, WarnsWhenTheRootFindsAnotherArchiveOfTheSameNameFirst) {
    TempDir temp("pawn_check");
    Archive().write(temp.path() / "a", "robot");
    fs::path second = Archive().write(temp.path() / "b", "robot");
    Archive().write(temp.path(), "unused");  // the root's own sounds
    ArchiveReport report = check(second, temp.path());
    EXPECT_TRUE(reports(report, "lookup", CheckStatus::Warn, "loads that one instead")) << describe(report);
}

TEST(CheckCommand, WithoutRootTheSoundsAreLookedForNextToTheArchive) {
    TempDir temp("pawn_check");
    fs::path archive = Archive().write(temp.path());  // sounds in the root, two levels up
    ArchiveReport report = pawnstage::checkArchive(archive.string(), CheckOptions{});
    EXPECT_TRUE(reports(report, "buzz1.wav", CheckStatus::Warn, "--root")) << describe(report);
    EXPECT_EQ(report.count(CheckStatus::Error), 0);
}

TEST(CheckCommand, ExitStatusTellsUsageErrorsFromBrokenArchives) {
    TempDir temp("pawn_check");
    fs::path good = Archive().write(temp.path(), "good");
    Archive broken;
    broken.remove("freeze");
    fs::path bad = broken.write(temp.path(), "bad");
    const std::string root = temp.path().string();

    for (const auto& usage : std::vector<std::vector<std::string>>{{}, {"--frobnicate", good.string()}, {"--root"}}) EXPECT_EQ(runCheck(usage), 2);
    EXPECT_EQ(runCheck({"--help"}), 0);
    std::string table;
    EXPECT_EQ(runCheck({"--root", root, good.string()}, &table), 0);
    EXPECT_NE(table.find("0 errors, 0 warnings"), std::string::npos) << table;
    EXPECT_EQ(runCheck({"--root=" + root, good.string(), bad.string()}, &table), 1);
    EXPECT_NE(table.find("2 archives checked: 1 error, 0 warnings"), std::string::npos) << table;
    EXPECT_NE(table.find("ERROR  freeze"), std::string::npos) << table;
}

TEST(CheckCommand, JsonCarriesTheSameResults) {
    TempDir temp("pawn_check");
    Archive broken;
    broken.replace("wait06", "wait06=\"quoted\"");
    fs::path archive = broken.write(temp.path());
    std::string json;
    EXPECT_EQ(runCheck({"--json", "--root", temp.path().string(), archive.string()}, &json), 1);
    EXPECT_EQ(json.rfind("{\"archives\": [", 0), 0u) << json;
    EXPECT_NE(json.find("{\"status\": \"WARN\", \"check\": \"wait06\", \"message\": \"sequence.ini [color] wait06=\\\"quoted\\\": no '@'"), std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"status\": \"ERROR\", \"check\": \"wait06\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"errors\": 1, \"warnings\": 1}"), std::string::npos) << json;
}

TEST(CheckCommand, BundledSamplesPass) {
    const fs::path samples = PAWN_SAMPLES_DIR;
    for (const char* figure : {"pawns/robot", "pawns/blob", "producer/pingouin"}) {
        ArchiveReport report = check(samples / figure, samples, std::string(figure) == "producer/pingouin");
        EXPECT_EQ(report.count(CheckStatus::Error) + report.count(CheckStatus::Warn), 0) << figure << "\n" << describe(report);
    }
    EXPECT_EQ(runCheck({"--penguin", (samples / "producer" / "pingouin").string()}), 0);
}

}  // namespace
