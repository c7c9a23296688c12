#include "tools/pawnstage/stage_log.h"

#include "tools/pawnstage/progress.h"
#include "tools/pawnstage/terminal_text.h"

namespace pawnstage {

void StageLog::print(const std::vector<hostengine::LogLine>& lines) {
    bool cleared = false;
    for (const hostengine::LogLine& line : lines) {
        if (line.level < level_) continue;
        if (progress_ && !cleared) {
            progress_->clear();
            cleared = true;
        }
        // Most lines end in a line break; the few that do not get one here.
        const bool ended = !line.text.empty() && line.text.back() == '\n';
        // Names in the lines come from scripts and directories: nothing in them may steer the terminal.
        const std::string text = terminalSafe(std::string_view(line.text).substr(0, line.text.size() - (ended ? 1 : 0)), false);
        std::fprintf(to_, "[%d] %s\n", static_cast<int>(line.level), text.c_str());
    }
    if (cleared) std::fflush(to_);
}

}  // namespace pawnstage
