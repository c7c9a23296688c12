// `pawnstage check` on archives made here with planted faults, and on the bundled samples.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "tools/pawnstage/check_archive.h"
#include "tools/pawnstage/check_command.h"
#include "tools/archive/alpha_avi_writer.h"
#include "tools/samplegen/raster.h"
#include "tools/samplegen/sounds.h"
#include "tests/media/stage_program.h"

namespace {

namespace fs = std::filesystem;
using testfiles::TempDir;
using testfiles::writeFile;
using pawnstage::ArchiveReport;
using pawnstage::CheckStatus;

// A small but complete pawn: 2 frames for each of the 19 sequences (38 frames of a soft disc on
// transparency), the four buzz sounds and "scorefontphase" in the root above it.
struct Archive {
    int width = 32, height = 32, frames = 38;
    bool alpha = true;
    bool opaque = false;   // alpha 255 everywhere
    int opaqueFrame = -1;  // one frame with alpha 255 everywhere
    std::vector<std::string> lines;  // sequence.ini's [color] lines

    explicit Archive(const std::vector<std::string>& names = pawnstage::pawnSequenceNames()) {
        for (const std::string& name : names) lines.push_back(name + "=2@" + std::to_string(2 * lines.size()));
    }
    void replace(const std::string& name, const std::string& line) {
        for (std::string& existing : lines)
            if (existing.rfind(name + "=", 0) == 0) existing = line;
    }
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
        const fs::path dir = root / "pawns" / name;
        fs::create_directories(dir);
        writeVideo(dir / "dual.avi");
        writeFile(dir / "sequence.ini", table());
        for (int number = 1; number <= 4; ++number) samplegen::writeWav((root / ("buzz" + std::to_string(number) + ".wav")).string(), samplegen::buzzerSound(number));
        writeFile(root / "scorefontphase", "2\n");
        return dir;
    }
};

ArchiveReport check(const fs::path& archive, const fs::path& root, bool penguin = false) {
    pawnstage::CheckOptions options;
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

stagerun::Printed runCheck(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "check");
    return stagerun::runCommand(runCheckCommand, arguments);
}

TEST(CheckCommand, ReportsEachPlantedFault) {
    using Plant = std::function<void(Archive&, const fs::path& root, const fs::path& archive)>;
    auto table = [](std::function<void(Archive&)> edit) -> Plant {
        return [edit](Archive& planted, const fs::path&, const fs::path& archive) { edit(planted), writeFile(archive / "sequence.ini", planted.table()); };
    };
    auto line = [table](const char* name, const char* entry) { return table([=](Archive& a) { a.replace(name, entry); }); };
    auto extra = [table](std::vector<std::string> entries) { return table([=](Archive& a) { a.lines.insert(a.lines.end(), entries.begin(), entries.end()); }); };
    auto video = [](std::function<void(Archive&)> edit) -> Plant {
        return [edit](Archive& planted, const fs::path&, const fs::path& archive) { edit(planted), planted.writeVideo(archive / "dual.avi"); };
    };
    auto file = [](const char* name, std::function<void(const fs::path&)> edit, bool inRoot = false) -> Plant {
        return [=](Archive&, const fs::path& root, const fs::path& archive) { edit((inRoot ? root : archive) / name); };
    };
    auto contents = [file](const char* name, const char* bytes, bool inRoot = false) { return file(name, [=](const fs::path& p) { writeFile(p, bytes); }, inRoot); };
    auto removed = [file](const char* name, bool inRoot = false) { return file(name, [](const fs::path& p) { fs::remove(p); }, inRoot); };
    const struct {
        const char* name;
        Plant plant;  // after the archive is written, on disk
        const char* check;
        CheckStatus status;
        const char* words;
    } faults[] = {
        {"missing sequence", table([](Archive& a) { std::erase(a.lines, "hppy02=2@22"); }), "hppy02", CheckStatus::Error, "missing"},
        {"sequence beyond the video", line("freeze", "freeze=2@37"), "freeze", CheckStatus::Error, "run past the video's last frame 37"},
        {"zero-length sequence", line("buzz02", "buzz02=0@10"), "buzz02", CheckStatus::Error, "zero-length"},
        {"negative first frame", line("l_left", "l_left=2@-4"), "l_left", CheckStatus::Error, "before the video's first frame"},
        {"entry without @", line("wait03", "wait03=2"), "wait03", CheckStatus::Warn, "no '@'"},
        {"entry without @ leaves the sequence missing", line("wait03", "wait03=2"), "wait03", CheckStatus::Error, "missing"},
        {"numbers that are not numbers", line("wait04", "wait04=2 frames@6"), "wait04", CheckStatus::Warn, "reads 2@6"},
        {"duplicated name", extra({"wait01=2@6"}), "wait01", CheckStatus::Warn, "wait01=2@0 is listed again as wait01=2@6"},
        {"names differing in case", extra({"WAIT02=2@2"}), "WAIT02", CheckStatus::Warn, "differ only in letter case"},
        {"shadowing entry out of range", extra({"uhppy01=4@36"}), "uhppy01", CheckStatus::Error, "run past"},
        {"line that is not name=value", extra({"wait05 2@8"}), "sequence.ini", CheckStatus::Warn, "line 22: 'wait05 2@8' is not name=count@first"},
        {"second [color] section", extra({"[color]"}), "sequence.ini", CheckStatus::Warn, "a second [color] section"},
        {"third [color] section", extra({"[color]", "[color]"}), "sequence.ini", CheckStatus::Warn, "line 23: a third [color] section"},
        {"numbers held to 32 bits", line("freeze", "freeze=4294967295@4294967295"), "freeze", CheckStatus::Error,
         "freeze=4294967295@4294967295 (read as 2147483647@2147483647: numbers beyond 2147483647 are held to it): frames 2147483647..4294967293 run past"},
        {"negative count", line("buzz02", "buzz02=-14@10"), "buzz02", CheckStatus::Error, ": negative count (-14);"},
        {"unused entry beyond the video", extra({"extra=5@36"}), "extra", CheckStatus::Warn, "no pawn selects"},
        {"misspelt name", extra({"wiat01=2@0"}), "wiat01", CheckStatus::Warn, "'wiat01' is a name a pawn never selects"},
        {"video of one frame", video([](Archive& a) { a.frames = 1; }), "freeze", CheckStatus::Error, "(dual.avi has 1 frame)"},
        {"video shorter than the table", video([](Archive& a) { a.frames = 30; }), "freeze", CheckStatus::Error, "dual.avi has 30 frames"},
        {"one opaque frame", video([](Archive& a) { a.opaqueFrame = 5; }), "alpha", CheckStatus::Warn, "frame 5 without a transparent pixel"},
        {"video without an alpha channel", video([](Archive& a) { a.alpha = false; }), "alpha", CheckStatus::Error, "no alpha channel"},
        {"alpha opaque everywhere", video([](Archive& a) { a.opaque = true; }), "alpha", CheckStatus::Warn, "every alpha value is 255"},
        {"frame larger than the blended draw", video([](Archive& a) { a.width = 520; }), "frame size", CheckStatus::Warn, "520 x 32 is larger than 512 x 512"},
        {"dual.avi that is a FIFO", file("dual.avi", [](const fs::path& p) { fs::remove(p), ::mkfifo(p.c_str(), 0644); }), "dual.avi", CheckStatus::Error,
         "dual.avi: a FIFO (named pipe), not a file the host reads"},
        {"missing dual.avi", removed("dual.avi"), "dual.avi", CheckStatus::Error, "missing"},
        {"non-AVI dual.avi", contents("dual.avi", "RIFF this is no video at all"), "dual.avi", CheckStatus::Error, "cannot decode it"},
        {"truncated dual.avi", file("dual.avi", [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) / 2); }), "dual.avi", CheckStatus::Error, "cannot decode it"},
        {"missing sequence.ini", removed("sequence.ini"), "sequence.ini", CheckStatus::Error, "missing"},
        {"no [color] section", contents("sequence.ini", "[colour]\nwait01=2@0\n"), "sequence.ini", CheckStatus::Error, "no [color] section"},
        {"producer without the penguin", file("producer", [](const fs::path& p) { fs::create_directories(p); }, true), "pingouin", CheckStatus::Warn,
         "producer/pingouin: not found; a pawn given bonus 16 shows no figure"},
        {"missing buzz sound", removed("buzz3.wav", true), "buzz3.wav", CheckStatus::Warn, "not found"},
        {"buzz sound that is no WAV", contents("buzz4.wav", "honk", true), "buzz4.wav", CheckStatus::Warn, "cannot play it"},
        {"score phase that is no number", contents("scorefontphase", "bold\n", true), "scorefontphase", CheckStatus::Warn, "'bold\\n' is not a number; the pawn reads phase 0"},
        {"missing score phase", removed("scorefontphase", true), "scorefontphase", CheckStatus::Warn, "not found"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        TempDir temp("pawn_check");
        Archive planted;
        const fs::path archive = planted.write(temp.path());
        fault.plant(planted, temp.path(), archive);
        const ArchiveReport report = check(archive, temp.path());
        EXPECT_TRUE(reports(report, fault.check, fault.status, fault.words)) << describe(report);
        // A warning alone does not fail the archive; the one fault that also removes a sequence does.
        EXPECT_EQ(report.count(CheckStatus::Error) > 0, fault.status == CheckStatus::Error || fault.check == std::string("wait03")) << describe(report);
    }
}

TEST(CheckCommand, WhereTheArchiveIsFoundAndWhatItMustHold) {
    TempDir temp("pawn_check");
    writeFile(temp / "pawn.zip", "PK");
    EXPECT_TRUE(reports(check(temp / "pawn.zip", temp.path()), "archive", CheckStatus::Error, "not a directory"));
    EXPECT_TRUE(reports(check(temp / "nowhere", temp.path()), "archive", CheckStatus::Error, "no such directory"));
    // The penguin asks only for its own sequences.
    const fs::path penguin = Archive(pawnstage::penguinSequenceNames()).write(temp / "p", "pingouin");
    const ArchiveReport asPenguin = check(penguin, temp / "p", true);
    EXPECT_EQ(asPenguin.count(CheckStatus::Error), 0) << describe(asPenguin);
    EXPECT_EQ(asPenguin.find("hppy01"), nullptr);
    EXPECT_TRUE(reports(check(penguin, temp / "p", false), "hppy01", CheckStatus::Error, "missing"));
    // The root finds another archive of the same name first.
    Archive().write(temp / "a", "robot");
    const fs::path second = Archive().write(temp / "b", "robot");
    Archive().write(temp.path(), "unused");  // the root's own sounds
    EXPECT_TRUE(reports(check(second, temp.path()), "lookup", CheckStatus::Warn, "loads that one instead")) << describe(check(second, temp.path()));
    // Without a root the sounds are looked for next to the archive, two levels up from the root's.
    const ArchiveReport rootless = pawnstage::checkArchive(second.string(), pawnstage::CheckOptions{});
    EXPECT_TRUE(reports(rootless, "buzz1.wav", CheckStatus::Warn, "--root")) << describe(rootless);
    EXPECT_EQ(rootless.count(CheckStatus::Error), 0);
}

TEST(CheckCommand, ExitStatusTellsUsageErrorsFromBrokenArchivesJsonCarriesTheSameResultsAndTheSamplesPass) {
    TempDir temp("pawn_check");
    const fs::path good = Archive().write(temp.path(), "good");
    Archive broken;
    broken.replace("wait06", "wait06=\"quoted\"");
    const fs::path bad = broken.write(temp.path(), "bad");
    const std::string root = temp.path().string();
    for (const auto& usage : std::vector<std::vector<std::string>>{{}, {"--frobnicate", good.string()}, {"--root"}}) EXPECT_EQ(runCheck(usage).status, 2);
    stagerun::Printed run = runCheck({"--root", root, good.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("0 errors, 0 warnings"), std::string::npos) << run.out;
    run = runCheck({"--root=" + root, good.string(), bad.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("2 archives checked: 1 error, 1 warning"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("ERROR  wait06"), std::string::npos) << run.out;
    run = runCheck({"--json", "--root", root, bad.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("{\"archives\": [", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("{\"status\": \"WARN\", \"check\": \"wait06\", \"message\": \"sequence.ini [color] wait06=\\\"quoted\\\": no '@'"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("{\"status\": \"ERROR\", \"check\": \"wait06\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"errors\": 1, \"warnings\": 1}"), std::string::npos) << run.out;

    // The bundled samples pass without a warning.
    const fs::path samples = PAWN_SAMPLES_DIR;
    for (const char* figure : {"pawns/robot", "pawns/blob", "producer/pingouin"}) {
        const ArchiveReport report = check(samples / figure, samples, std::string(figure) == "producer/pingouin");
        EXPECT_EQ(report.count(CheckStatus::Error) + report.count(CheckStatus::Warn), 0) << figure << "\n" << describe(report);
    }
    EXPECT_EQ(runCheck({"--penguin", (samples / "producer" / "pingouin").string()}).status, 0);
}

}  // namespace
