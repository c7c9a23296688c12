// Progress of a render on stderr: a bar redrawn in place on a terminal, a few plain lines otherwise
// (a log file or a CI job gets no carriage returns).
#pragma once

#include <cstdio>
#include <string>

namespace pawnstage {

class Progress {
public:
    Progress(std::string label, long total, std::FILE* to = stderr);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(long done);
    // Takes the bar off the line so that other text can be printed; the next update draws it again.
    void clear();
    void finish();

    bool onTerminal() const { return terminal_; }

private:
    std::string label_;
    long total_;
    std::FILE* to_;
    bool terminal_;
    bool shown_ = false;
    int lastPercent_ = -1;
    int lastQuarter_ = -1;
};

}  // namespace pawnstage
