// Compares two evenings' transcripts line by line and names the first difference by what it is: a
// frame whose surface differs, a host operation called differently, a log line, or anything else.
#pragma once

#include <string>
#include <vector>

struct TranscriptDifference {
    bool same = true;
    std::string description;  // empty when same
};

TranscriptDifference compareTranscripts(const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                                        const char* expectedName, const char* actualName);
