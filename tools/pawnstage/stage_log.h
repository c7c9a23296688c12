// The module's log lines on stderr with their levels ("[1] Pawn::Pawn archive 'x' not found!").
// Level 3 marks a failing host service, level 1 traces and missing resources; the stage shows the
// lines of the chosen level and above, so 3 (the default) shows failures only and 1 shows everything.
// A progress bar on the same terminal is taken off the line first.
#pragma once

#include <cstdio>
#include <vector>

#include "host/core/host_engine.h"

namespace pawnstage {

class Progress;

class StageLog {
public:
    explicit StageLog(int level, std::FILE* to = stderr) : level_(level), to_(to) {}
    void setProgress(Progress* progress) { progress_ = progress; }
    void print(const std::vector<hostengine::LogLine>& lines);

private:
    int level_;
    std::FILE* to_;
    Progress* progress_ = nullptr;
};

}  // namespace pawnstage
