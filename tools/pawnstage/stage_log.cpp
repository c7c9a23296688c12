#include "tools/pawnstage/stage_log.h"

#include "tools/pawnstage/progress.h"

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
        std::fprintf(to_, "[%d] %s%s", static_cast<int>(line.level), line.text.c_str(), ended ? "" : "\n");
    }
    if (cleared) std::fflush(to_);
}

}  // namespace pawnstage
