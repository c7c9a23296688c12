#include "tools/pawnstage/stage_notes.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/names.h"
#include "host/core/archive_dir.h"
#include "media/alpha_video.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

bool reaches(const ShowScript& script, bool everything, bool (*wanted)(const Cue&)) {
    if (everything) return true;
    for (const Cue& cue : script.cues)
        if (wanted(cue)) return true;
    return false;
}

bool logged(const std::vector<hostengine::LogLine>& lines, const std::string& text) {
    for (const hostengine::LogLine& line : lines)
        if (line.text.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

std::vector<std::string> producerNotes(const ShowScript& script, bool everything, const std::string& mediaDir,
                                       hostengine::Producer& producer) {
    std::vector<std::string> notes;
    if (reaches(script, everything, [](const Cue& cue) { return cue.action == Action::Bonus && cue.first == 16; })) {
        const KTAlphaVideo* penguin = producer.penguin();
        if (!penguin)
            notes.push_back(mediaDir + " has no penguin (pingouin/): a pawn given bonus 16 shows no figure until the bonus ends");
        else if (!penguin->video)
            notes.push_back(mediaDir + "/pingouin has no dual.avi: a pawn given bonus 16 shows no figure until the bonus ends");
    }
    std::string badges;
    for (std::int32_t number = 1; number <= 10; ++number) {
        const bool used = everything || [&] {
            for (const Cue& cue : script.cues)
                if (cue.action == Action::Bonus && cue.first == number) return true;
            return false;
        }();
        if (!used) continue;
        char name[16];
        std::snprintf(name, sizeof name, "bonus%02d.avi", static_cast<int>(number));
        std::error_code error;
        if (!fs::is_regular_file(fs::path(mediaDir) / name, error)) badges += (badges.empty() ? "" : ", ") + std::string(name);
    }
    if (!badges.empty()) notes.push_back(mediaDir + " lacks " + badges + ": those bonuses are drawn as plain numbered badges");
    if (reaches(script, everything, [](const Cue& cue) { return cue.action == Action::AddScore || cue.action == Action::AddBonusScore; }) &&
        !producer.scoreSound())
        notes.push_back(mediaDir + " has no readable scoresnd.wav: scores are gained without the score sound");
    return notes;
}

std::vector<std::string> pawnNotes(const PlayerSlot& slot, const std::vector<hostengine::LogLine>& creation,
                                   const std::vector<std::string>& directories) {
    std::vector<std::string> notes;
    const std::string who = "player " + std::to_string(slot.number) + ": ";
    if (logged(creation, "missing resource:<<dual.avi>>")) {
        std::string archive = "'" + slot.archive + "'";
        std::string what;
        for (const std::string& directory : directories)
            if (sameName(fs::path(directory).filename().c_str(), slot.archive.c_str())) {
                archive += " (" + directory + ")";
                what = hostengine::leftOutKind((fs::path(directory) / "dual.avi").string());
                break;
            }
        notes.push_back(who + "the archive " + archive + (what.empty() ? " has no dual.avi" : " holds a dual.avi that is " + what + ", not a file") +
                        ": the pawn has no figure, and every sequence it selects is logged as not found");
    }
    if (logged(creation, "ResourceDir::findEntry: search cut"))
        notes.push_back(who + "the search for '" + slot.archive +
                        "' was cut short (the samples directory is too deep or too large); the pawn may lie beyond where it stopped");
    return notes;
}

}  // namespace pawnstage
