// native_evening PLUGIN TRANSCRIPT DEBUGGER: plays the evening through the 64-bit plug-in, in this
// process, with the same host source the emulated run uses, so that a difference between the two
// transcripts is the shipping DLL's (or its conventions'). Writes the transcript and the plug-in's
// debugger lines, one per line. Exit status: the evening's result (0 when every check of the host
// held), 2 when the plug-in could not be loaded.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "tests/pe32/evening/evening_harness.h"

namespace {

std::FILE* transcript = nullptr;
std::FILE* debugger = nullptr;

void reportLine(const char* line) { std::fprintf(transcript, "%s\n", line); }
void debugLine(const char* line) { std::fprintf(stderr, "evening: %s\n", line); }

// The shipping DLL draws from msvcrt's generator, seeded from the calendar time: this process gives
// the 64-bit plug-in the same generator and the same fixed time the emulated one gets, so both
// evenings make the same random choices.
std::uint32_t generatorState = 1;

}  // namespace

extern "C" __attribute__((visibility("default"))) void srand(unsigned seed) { generatorState = seed; }

extern "C" __attribute__((visibility("default"))) int rand() {
    generatorState = generatorState * 214013u + 2531011u;
    return static_cast<int>((generatorState >> 16) & 0x7FFFu);
}

extern "C" __attribute__((visibility("default"))) std::time_t time(std::time_t* out) noexcept {
    const std::time_t fixed = 1700000000;
    if (out) *out = fixed;
    return fixed;
}

// The plug-in's debugger line on this platform: it looks for this symbol in the process.
extern "C" __attribute__((visibility("default"))) void OutputDebugStringA(const char* text) {
    if (debugger) std::fprintf(debugger, "%s\n", text ? text : "");
}

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: native_evening PLUGIN TRANSCRIPT DEBUGGER\n");
        return 2;
    }
    // An absolute path, so that the loader opens this file rather than searching its library path.
    const std::string path = std::filesystem::absolute(argv[1]).string();
    void* plugin = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EveningHarness harness{};
    if (plugin) {
        harness.init = reinterpret_cast<PluginInitFunction>(dlsym(plugin, "init"));
        harness.release = reinterpret_cast<PluginReleaseFunction>(dlsym(plugin, "release"));
        harness.dependencies = reinterpret_cast<PluginDependenciesFunction>(dlsym(plugin, "dependencies"));
    }
    if (!harness.init || !harness.release || !harness.dependencies) {
        std::fprintf(stderr, "native_evening: %s: %s\n", path.c_str(), plugin ? "lacks init, release or dependencies" : dlerror());
        return 2;
    }
    transcript = std::fopen(argv[2], "w");
    debugger = std::fopen(argv[3], "w");
    if (!transcript || !debugger) {
        std::fprintf(stderr, "native_evening: cannot write %s or %s\n", argv[2], argv[3]);
        return 2;
    }
    harness.report = reportLine;
    harness.debugLine = debugLine;
    // The plug-in stays loaded and the files open to the end: the evening host's objects point into it.
    const int result = playEvening(harness);
    std::fclose(transcript);
    std::fclose(debugger);
    return result;
}
