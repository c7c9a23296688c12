#include "tests/pe32/transcript_diff.h"

#include <algorithm>
#include <sstream>

namespace {

// The kind of a line, and for frame checksums the frame it belongs to.
std::string kindOf(const std::string& line) {
    if (line.rfind("call ", 0) == 0) return "host call";
    if (line.rfind("log ", 0) == 0) return "log line";
    if (line.rfind("frame ", 0) == 0 && line.find(" checksum ") != std::string::npos) return "frame";
    return "line";
}

// The frame the transcript was in at `index`: the last "frame N begins" before it.
std::string frameAt(const std::vector<std::string>& lines, std::size_t index) {
    for (std::size_t i = std::min(index + 1, lines.size()); i-- > 0;)
        if (lines[i].rfind("frame ", 0) == 0 && lines[i].find(" begins") != std::string::npos) return lines[i].substr(0, lines[i].find(" begins"));
    return "before the first frame";
}

}  // namespace

TranscriptDifference compareTranscripts(const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                                        const char* expectedName, const char* actualName) {
    TranscriptDifference result;
    const std::size_t common = std::min(expected.size(), actual.size());
    std::size_t at = 0;
    while (at < common && expected[at] == actual[at]) ++at;
    if (at == common && expected.size() == actual.size()) return result;
    result.same = false;
    std::ostringstream out;
    const std::string& reference = at < expected.size() ? expected[at] : actual[at];
    out << "the first difference is a " << kindOf(reference) << " (line " << at + 1 << ", " << frameAt(expected, at) << "):\n"
        << "  " << expectedName << ": " << (at < expected.size() ? expected[at] : "(transcript ends)") << "\n"
        << "  " << actualName << ": " << (at < actual.size() ? actual[at] : "(transcript ends)") << "\n";
    // A few lines of context before it, so that the operation in progress is plain.
    const std::size_t from = at >= 4 ? at - 4 : 0;
    out << "  lines before it:\n";
    for (std::size_t i = from; i < at; ++i) out << "    " << expected[i] << "\n";
    result.description = out.str();
    return result;
}
