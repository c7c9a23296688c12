// The shipping DLL's evening: pawn.kvx as MinGW built it and the evening host as Microsoft's compiler
// conventions build it, both on an emulated 32-bit x86 with SSE2 and no AVX, against the same evening
// through the 64-bit plug-in. Passes when the emulated run ends cleanly, every check of the host held,
// and its transcript (host calls, log lines, results, bounds, frame checksums) and debugger lines
// equal the native ones; otherwise it names what failed or the first difference. The native evening
// runs first, in this process: the same host source, built by this build's compiler, so that a
// difference between the two is the shipping DLL's (or its conventions').
//
//   pe32_evening_test DLL EXE PLUGIN KEEP-DIR: the shipping pawn.kvx, evening.exe, the 64-bit plug-in, and
//   where both runs' transcripts are written
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pe32_loader.h"
#include "tests/pe32/evening/evening_harness.h"

namespace {

std::vector<std::string>* nativeLines = nullptr;
std::vector<std::string>* nativeDebuggerLines = nullptr;

void reportLine(const char* line) { nativeLines->emplace_back(line); }

// The shipping DLL draws from msvcrt's generator, seeded from the calendar time: this process gives
// the 64-bit plug-in the same generator and the same fixed time the emulated one gets, so both
// evenings make the same random choices.
std::uint32_t generatorState = 1;
constexpr std::uint32_t kFixedTime = 1700000000;

void writeLines(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::ofstream out(path);
    for (const std::string& line : lines) out << line << '\n';
}

// The first difference between two runs' lines, with the lines before it so that the operation in
// progress is plain; empty when the runs agree.
std::string firstDifference(const std::vector<std::string>& native, const std::vector<std::string>& emulated) {
    std::size_t at = 0;
    while (at < native.size() && at < emulated.size() && native[at] == emulated[at]) ++at;
    if (at == native.size() && at == emulated.size()) return "";
    std::ostringstream out;
    out << "the first difference is at line " << at + 1 << ":\n"
        << "  native: " << (at < native.size() ? native[at] : "(transcript ends)") << "\n"
        << "  emulated: " << (at < emulated.size() ? emulated[at] : "(transcript ends)") << "\n  lines before it:\n";
    for (std::size_t i = at >= 8 ? at - 8 : 0; i < at; ++i) out << "    " << native[i] << "\n";
    return out.str();
}

int failWith(const std::string& message) {
    std::fprintf(stderr, "pe32_evening_test: %s\n", message.c_str());
    return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void srand(unsigned seed) { generatorState = seed; }

extern "C" __attribute__((visibility("default"))) int rand() {
    generatorState = generatorState * 214013u + 2531011u;
    return static_cast<int>((generatorState >> 16) & 0x7FFFu);
}

extern "C" __attribute__((visibility("default"))) std::time_t time(std::time_t* out) noexcept {
    if (out) *out = kFixedTime;
    return kFixedTime;
}

// The plug-in's debugger line on this platform: it looks for this symbol in the process.
extern "C" __attribute__((visibility("default"))) void OutputDebugStringA(const char* text) {
    if (nativeDebuggerLines) nativeDebuggerLines->emplace_back(text ? text : "");
}

int main(int argc, char** argv) {
    if (argc != 5) return failWith("usage: pe32_evening_test DLL EXE PLUGIN KEEP-DIR");
    const std::string dll = argv[1], exe = argv[2];
    const std::filesystem::path keep = argv[4];
    std::filesystem::create_directories(keep);

    // An absolute path, so that the loader opens this file rather than searching its library path. The
    // plug-in stays loaded: the evening host's objects point into it to the end of the process.
    const std::string plugin = std::filesystem::absolute(argv[3]).string();
    void* native = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!native) return failWith("cannot load " + plugin + ": " + dlerror());
    EveningHarness harness{reinterpret_cast<PluginInitFunction>(dlsym(native, "init")), reinterpret_cast<PluginReleaseFunction>(dlsym(native, "release")),
                           reinterpret_cast<PluginDependenciesFunction>(dlsym(native, "dependencies")), reportLine};
    if (!harness.init || !harness.release || !harness.dependencies) return failWith(plugin + " lacks init, release or dependencies");
    std::vector<std::string> expected, expectedDebugger;
    nativeLines = &expected, nativeDebuggerLines = &expectedDebugger;
    const int nativeResult = playEvening(harness);
    nativeDebuggerLines = nullptr;
    writeLines(keep / "native.transcript", expected);
    writeLines(keep / "native.debugger", expectedDebugger);
    if (nativeResult != 0) return failWith("checks of the evening host failed in the native run; see " + (keep / "native.transcript").string());

    const Pe32EveningResult emulated = runPe32Evening(exe, dll, Pe32Options{.timeLimitSeconds = 600, .fixedTime = kFixedTime});
    writeLines(keep / "emulated.transcript", emulated.transcript);
    writeLines(keep / "emulated.debugger", emulated.debugStrings);
    std::printf("emulated CPU: %s\n", emulated.cpuid.c_str());
    for (const std::string& name : emulated.unresolvedImports) std::printf("unresolved import (never called): %s\n", name.c_str());
    if (!emulated.ok) return failWith("the emulated run ended: " + emulated.failure);
    // The kernels' SSE2 path is what ran only if the emulated CPU has SSE2 and no AVX of any width.
    for (const char* feature : {" +sse2 ", " -avx ", " -avx2 ", " -avx512f "})
        if ((emulated.cpuid + " ").find(feature) == std::string::npos) return failWith(std::string("the emulated CPU lacks") + feature);
    // The native run's checks held, so a check that fails only here shows as the first difference.
    if (std::string difference = firstDifference(expected, emulated.transcript); !difference.empty())
        return failWith("the transcripts differ; " + difference + "  (both are in " + keep.string() + ")");
    if (std::string difference = firstDifference(expectedDebugger, emulated.debugStrings); !difference.empty())
        return failWith("the debugger lines differ; " + difference);
    if (emulated.exitCode != 0) return failWith("checks of the evening host failed in the emulated run alone");

    std::printf("pe32 evening: %zu transcript lines equal to the native run, %zu debugger lines; %.2f s emulated, "
                "%zu guest heap blocks held after detach (the resource tree's nodes live to the end)\n",
                emulated.transcript.size(), emulated.debugStrings.size(), emulated.seconds, emulated.liveBlocks);
    return 0;
}
