#include "tools/pawnstage/live_show.h"

#include <cstdio>

#include "media/alpha_video.h"
#include "media/dual_video.h"
#include "tools/pawnstage/file_watch.h"
#include "tools/pawnstage/options.h"

namespace pawnstage {

namespace {

std::string seconds(std::uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", ms / 1000.0);
    return text;
}

// Where a pawn's figure stands now: the game placed it and its slides moved it. A pawn without a
// figure has no place to read.
bool figurePlace(IKTPlayer& player, Point& place) {
    const KTAlphaVideo* video = player.getVideo();
    if (!video || !video->video) return false;
    place = video->video->position;
    return true;
}

// Whether the score of a slot is shown: the last showScore cue for it up to `ms`.
bool scoreShownBy(const ShowScript& script, std::int32_t number, std::uint32_t ms) {
    bool shown = false;
    for (const Cue& cue : script.cues)
        if (cue.timeMs <= ms && cue.action == Action::ShowScore && (cue.player == kAllPlayers || cue.player == number)) shown = cue.first != 0;
    return shown;
}

}  // namespace

LiveShow::LiveShow(const std::string& scriptPath, const StageSetup& setup) : scriptPath_(scriptPath), setup_(setup) {
    if (!scriptPath_.empty()) scriptDigest_ = fileDigest(scriptPath_);
    const ScriptSource source = readScript(scriptPath_);
    build(parseShowScript(source.text, source.name));
}

void LiveShow::build(const ShowScript& script) {
    stage_.reset();  // one plug-in at a time: the old show goes before the new one loads it
    ++generation_;
    clock_ = 0;
    script_ = script;
    stage_ = std::make_unique<Stage>(script_, setup_);
    watchArchives();
}

void LiveShow::watchArchives() {
    archiveDirs_.clear();
    archiveDigests_.clear();
    for (const PlayerSlot& slot : script_.players) {
        archiveDirs_.push_back(archiveDirectory(setup_.samplesDir, slot.archive));
        archiveDigests_.push_back(fileDigest(archiveDirs_.back()));
    }
}

void LiveShow::advance(std::uint32_t ms) {
    clock_ += ms;
    if (stage_) stage_->runFrame(clock_);
}

void LiveShow::restart() { build(script_); }

LiveShow::Reload LiveShow::poll() {
    if (!scriptPath_.empty()) {
        const std::uint64_t digest = fileDigest(scriptPath_);
        if (digest != scriptDigest_) {
            scriptDigest_ = digest;
            return reloadScript();
        }
    }
    if (!stage_) return {};
    std::string text;
    for (std::size_t i = 0; i < archiveDirs_.size(); ++i) {
        // The directory is looked for again: an archive may appear, move or go.
        const std::string dir = archiveDirectory(setup_.samplesDir, script_.players[i].archive);
        const std::uint64_t digest = fileDigest(dir);
        if (dir == archiveDirs_[i] && digest == archiveDigests_[i]) continue;
        archiveDirs_[i] = dir;
        archiveDigests_[i] = digest;
        text += (text.empty() ? "" : "; ") + reloadArchive(i);
    }
    return Reload{text, false};
}

LiveShow::Reload LiveShow::reloadScript() {
    ShowScript script;
    try {
        const ScriptSource source = readScript(scriptPath_);
        script = parseShowScript(source.text, source.name);
    } catch (const ScriptError& error) {
        return Reload{error.what(), true};
    }
    if (stage_ && stage_->adoptScript(script)) {
        script_ = script;
        return Reload{"reloaded " + scriptPath_ + " at " + seconds(clock_), false};
    }
    try {
        build(script);
    } catch (const StageError& error) {
        stage_.reset();
        return Reload{scriptPath_ + ": " + error.what(), true};
    }
    return Reload{"reloaded " + scriptPath_ + ": players changed, the show starts again", false};
}

std::string LiveShow::reloadArchive(std::size_t slotIndex) {
    const PlayerSlot& slot = script_.players[slotIndex];
    Point place(slot.x, slot.y);
    std::int32_t score = 0;
    if (stage_->hasPawn(slotIndex)) {
        figurePlace(stage_->player(slotIndex), place);
        score = stage_->player(slotIndex).getScore();
    }
    const std::string what = "archive " + slot.archive + " of player " + std::to_string(slot.number);
    try {
        stage_->remakePawn(slotIndex, place.x, place.y);
    } catch (const StageError& error) {
        return what + ": " + error.what();
    }
    IKTPlayer& player = stage_->player(slotIndex);
    // The game gives a remade pawn what the player had: the score rolls up to it again.
    player.showScore(scoreShownBy(script_, slot.number, clock_) ? 1 : 0);
    if (score > 0) player.addScore(score);
    return "reloaded " + what;
}

}  // namespace pawnstage
