// The show behind `pawnstage play`: a Stage on a clock of its own that pauses, steps and restarts,
// and, when watching, reloads what the author edits. A changed script is taken without remaking the
// pawns when its players are the same and the clock lies within it, else the show starts again from
// the new script; a script that does not read leaves the running show as it was. A changed archive
// has its pawn handed back to the factory and made again, where the old one stood, with its score.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/pawnstage/show_script.h"
#include "tools/pawnstage/stage.h"

namespace pawnstage {

class LiveShow {
public:
    // `scriptPath` empty: the bundled demo, which is never reloaded. Throws StageError (and
    // ScriptError for the first reading of the script).
    LiveShow(const std::string& scriptPath, const StageSetup& setup);

    // Null while a reload could not make the show (its error says why): the window shows the stage
    // empty until the next change.
    Stage* stage() { return stage_.get(); }
    std::uint32_t clock() const { return clock_; }
    // Counts every time the show starts again (restart or reloaded players): sound starts afresh.
    int generation() const { return generation_; }

    // One frame `ms` after the last.
    void advance(std::uint32_t ms);
    void restart();

    // What a reload did: nothing (empty text), a notice, or an error that stays on screen.
    struct Reload {
        std::string text;
        bool error = false;
    };
    // Looks at the script and the pawns' archives and reloads what changed since the last look.
    Reload poll();

private:
    void build(const ShowScript& script);  // a new stage from the start
    void watchArchives();
    Reload reloadScript();
    std::string reloadArchive(std::size_t slotIndex);

    std::string scriptPath_;
    StageSetup setup_;
    ShowScript script_;
    std::unique_ptr<Stage> stage_;
    std::uint32_t clock_ = 0;
    int generation_ = 0;
    std::uint64_t scriptDigest_ = 0;
    std::vector<std::string> archiveDirs_;      // per slot
    std::vector<std::uint64_t> archiveDigests_;  // per slot
};

}  // namespace pawnstage
