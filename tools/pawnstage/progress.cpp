#include "tools/pawnstage/progress.h"

#include <unistd.h>

namespace pawnstage {

Progress::Progress(std::string label, long total, std::FILE* to)
    : label_(std::move(label)), total_(total > 0 ? total : 1), to_(to), terminal_(::isatty(::fileno(to)) == 1) {}

void Progress::update(long done) {
    if (done > total_) done = total_;
    const int percent = static_cast<int>(done * 100 / total_);
    if (terminal_) {
        if (percent == lastPercent_ && shown_) return;
        constexpr int kWidth = 40;
        const int filled = static_cast<int>(done * kWidth / total_);
        std::fprintf(to_, "\r%s [%s%s] %3d%%  %ld/%ld", label_.c_str(), std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), '-').c_str(), percent, done, total_);
        std::fflush(to_);
        shown_ = true;
        lastPercent_ = percent;
        return;
    }
    // Plain lines at the start and at every quarter.
    const int quarter = percent / 25;
    if (quarter == lastQuarter_) return;
    lastQuarter_ = quarter;
    std::fprintf(to_, "%s: %d%% (%ld of %ld)\n", label_.c_str(), quarter * 25, done, total_);
    std::fflush(to_);
}

void Progress::clear() {
    if (!terminal_ || !shown_) return;
    std::fprintf(to_, "\r\033[K");
    shown_ = false;
    lastPercent_ = -1;
}

void Progress::finish() {
    update(total_);
    if (terminal_ && shown_) std::fputc('\n', to_);
    shown_ = false;
}

}  // namespace pawnstage
