// The shipping DLL's evening: pawn.kvx as MinGW built it and the evening host as Microsoft's compiler
// conventions build it, both on an emulated 32-bit x86 with SSE2 and no AVX, against the same evening
// through the 64-bit plug-in. Passes when the emulated run ends cleanly, every check of the host held,
// and its transcript (host calls, log lines, results, bounds, frame checksums) and debugger lines
// equal the native ones; otherwise it names what failed or the first difference.
//
//   pe32_evening_test --dll pawn.kvx --exe evening.exe --native native_evening --plugin pawn.kvx [--keep DIR]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pe32_loader.h"

namespace {

std::vector<std::string> readLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void writeLines(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::ofstream out(path);
    for (const std::string& line : lines) out << line << '\n';
}

std::size_t framesIn(const std::vector<std::string>& transcript) {
    std::size_t frames = 0;
    for (const std::string& line : transcript) frames += line.rfind("frame ", 0) == 0 && line.find(" checksum ") != std::string::npos;
    return frames;
}

// The first difference between two runs' lines, named by what it is (a frame whose surface differs, a
// host operation called differently, a log line), with the frame it is in and the lines before it so
// that the operation in progress is plain; empty when the runs agree.
std::string firstDifference(const std::vector<std::string>& native, const std::vector<std::string>& emulated) {
    std::size_t at = 0;
    while (at < native.size() && at < emulated.size() && native[at] == emulated[at]) ++at;
    if (at == native.size() && at == emulated.size()) return "";
    const std::string& line = at < native.size() ? native[at] : emulated[at];
    const bool frame = line.rfind("frame ", 0) == 0 && line.find(" checksum ") != std::string::npos;
    const char* kind = frame ? "frame" : line.rfind("call ", 0) == 0 ? "host call" : line.rfind("log ", 0) == 0 ? "log line" : "line";
    std::string inFrame = "before the first frame";
    for (std::size_t i = std::min(at + 1, native.size()); i-- > 0;)
        if (native[i].rfind("frame ", 0) == 0 && native[i].find(" begins") != std::string::npos) {
            inFrame = native[i].substr(0, native[i].find(" begins"));
            break;
        }
    std::ostringstream out;
    out << "the first difference is a " << kind << " (line " << at + 1 << ", " << inFrame << "):\n"
        << "  native: " << (at < native.size() ? native[at] : "(transcript ends)") << "\n"
        << "  emulated: " << (at < emulated.size() ? emulated[at] : "(transcript ends)") << "\n  lines before it:\n";
    for (std::size_t i = at >= 4 ? at - 4 : 0; i < at; ++i) out << "    " << native[i] << "\n";
    return out.str();
}

int failWith(const std::string& message) {
    std::fprintf(stderr, "pe32_evening_test: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    for (const char* required : {"--dll", "--exe", "--native", "--plugin"})
        if (!options.count(required)) return failWith(std::string("missing ") + required);
    const std::filesystem::path keep = options.count("--keep") ? std::filesystem::path(options["--keep"]) : std::filesystem::temp_directory_path() / "pe32_evening";
    std::filesystem::create_directories(keep);

    // The native evening, in a process of its own: it replaces the C library's generator and clock.
    const std::filesystem::path nativeTranscript = keep / "native.transcript", nativeDebugger = keep / "native.debugger";
    const std::string command = "'" + options["--native"] + "' '" + options["--plugin"] + "' '" + nativeTranscript.string() + "' '" +
                                nativeDebugger.string() + "'";
    const int nativeStatus = std::system(command.c_str());
    if (nativeStatus != 0) return failWith("the native evening failed (status " + std::to_string(nativeStatus) + "); see " + nativeTranscript.string());
    const std::vector<std::string> expected = readLines(nativeTranscript);
    const std::vector<std::string> expectedDebugger = readLines(nativeDebugger);

    Pe32Options run;
    run.fixedTime = 1700000000;  // the native evening's calendar time
    run.timeLimitSeconds = 600;
    const Pe32EveningResult emulated = runPe32Evening(options["--exe"], options["--dll"], run);
    writeLines(keep / "emulated.transcript", emulated.transcript);
    writeLines(keep / "emulated.debugger", emulated.debugStrings);
    std::printf("emulated CPU: %s\n", emulated.cpuid.c_str());
    for (const std::string& name : emulated.unresolvedImports) std::printf("unresolved import (never called): %s\n", name.c_str());
    if (!emulated.ok) return failWith("the emulated run ended: " + emulated.failure);
    // The kernels' SSE2 path is what ran only if the emulated CPU has SSE2 and no AVX of any width.
    for (const char* feature : {" +sse2 ", " -avx ", " -avx2 ", " -avx512f "})
        if ((emulated.cpuid + " ").find(feature) == std::string::npos) return failWith(std::string("the emulated CPU lacks") + feature);
    if (emulated.exitCode != 0) {
        for (const std::string& line : emulated.transcript)
            if (line.rfind("FAILED", 0) == 0) std::fprintf(stderr, "  %s\n", line.c_str());
        return failWith("checks of the evening host failed in the emulated run");
    }

    if (std::string difference = firstDifference(expected, emulated.transcript); !difference.empty())
        return failWith("the transcripts differ; " + difference + "  (both are in " + keep.string() + ")");
    if (std::string difference = firstDifference(expectedDebugger, emulated.debugStrings); !difference.empty())
        return failWith("the debugger lines differ; " + difference);

    std::printf("pe32 evening: %zu transcript lines and %zu frames equal to the native run, %zu debugger lines; "
                "%.2f s emulated, %zu guest heap blocks held after detach (the resource tree's nodes live to the end)\n",
                emulated.transcript.size(), framesIn(emulated.transcript), emulated.debugStrings.size(), emulated.seconds,
                emulated.liveBlocks.size());
    return 0;
}
