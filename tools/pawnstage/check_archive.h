// The checks behind `pawnstage check`: one pawn archive (a directory holding "dual.avi" and
// "sequence.ini") read through the reference host's archives, resource tree and "avifile" video
// factory, so the checker sees exactly what a pawn sees, and judged as its author needs.
#pragma once

#include <string>
#include <vector>

namespace pawnstage {

enum class CheckStatus { Ok, Warn, Error };

const char* statusName(CheckStatus status);  // "OK", "WARN", "ERROR"

struct CheckResult {
    CheckStatus status;
    std::string check;    // what was checked: "dual.avi", "wait01", "buzz2.wav", ...
    std::string message;  // names the file and entry concerned
};

struct ArchiveReport {
    std::string archive;  // as given on the command line
    std::vector<CheckResult> results;

    int count(CheckStatus status) const;
    // The first result of `check` (exact name), or null.
    const CheckResult* find(const std::string& check) const;
};

struct CheckOptions {
    bool penguin = false;  // check the penguin's sequences instead of a pawn's
    std::string root;      // the resource root holding the buzz sounds and "scorefontphase"; empty: the archive's parent
};

// The sequences a pawn selects, in the order they are reported; the penguin's subset.
const std::vector<std::string>& pawnSequenceNames();
const std::vector<std::string>& penguinSequenceNames();

// Frame sizes above this on either side are clipped by the blended draw.
constexpr int kLargestDrawnSide = 512;

ArchiveReport checkArchive(const std::string& archive, const CheckOptions& options);

}  // namespace pawnstage
