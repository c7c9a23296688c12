#include "tools/pawnstage/check_producer.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "host/core/archive_base.h"
#include "host/core/sound_factory.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNoPenguin = "; a pawn given bonus 16 shows no figure until the bonus ends";

void checkScoreSound(const fs::path& producer, const std::string& shown, std::vector<CheckResult>& results) {
    std::string bytes, why = "not a RIFF WAVE file";
    std::error_code error;
    if (!fs::is_regular_file(producer / "scoresnd.wav", error)) {
        results.push_back({CheckStatus::Warn, "scoresnd.wav", shown + "/scoresnd.wav: not found; scores are gained without the score sound"});
        return;
    }
    if (!hostengine::readWholeFile((producer / "scoresnd.wav").string(), bytes)) why = "cannot be read";
    else if (hostengine::decodeWav(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &why)) {
        results.push_back({CheckStatus::Ok, "scoresnd.wav", shown + "/scoresnd.wav: the score sound"});
        return;
    }
    results.push_back({CheckStatus::Warn, "scoresnd.wav", shown + "/scoresnd.wav: the host cannot play it (" + why + "); scores are gained silently"});
}

}  // namespace

void checkProducer(const std::string& root, const std::string& rootShown, std::vector<CheckResult>& results) {
    const fs::path producer = fs::path(root) / "producer";
    const std::string shown = (fs::path(rootShown) / "producer").string();
    std::error_code error;
    // A root without a producer is one whose game brings its media from elsewhere: nothing to check.
    if (!fs::is_directory(producer, error)) return;
    checkScoreSound(producer, shown, results);

    if (!fs::is_directory(producer / "pingouin", error)) {
        results.push_back({CheckStatus::Warn, "pingouin", shown + "/pingouin: not found" + std::string(kNoPenguin)});
    } else {
        CheckOptions penguin;
        penguin.penguin = true;
        const ArchiveReport report = checkArchive(shown + "/pingouin", penguin);
        for (const CheckResult& result : report.results) results.push_back({result.status, "pingouin " + result.check, result.message});
    }

    std::string missing;
    for (int number = 1; number <= 10; ++number) {
        char name[16];
        std::snprintf(name, sizeof name, "bonus%02d.avi", number);
        if (!fs::is_regular_file(producer / name, error)) missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    if (missing.empty())
        results.push_back({CheckStatus::Ok, "bonus pictures", shown + ": bonus01.avi .. bonus10.avi"});
    else
        results.push_back({CheckStatus::Warn, "bonus pictures", shown + ": no " + missing + "; those bonuses are drawn as plain numbered badges"});
}

}  // namespace pawnstage
