#include "tests/pe32/native_evening.h"

#include <dlfcn.h>

#include <cstdio>
#include <ctime>

#include "tests/pe32/evening/evening_harness.h"

namespace {

NativeEvening* running = nullptr;

void reportLine(const char* line) { running->transcript.emplace_back(line); }
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
    if (running) running->debuggerLines.emplace_back(text ? text : "");
}

NativeEvening runNativeEvening(const std::string& pluginPath) {
    NativeEvening evening;
    running = &evening;
    void* plugin = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin) {
        evening.failure = std::string("cannot load ") + pluginPath + ": " + dlerror();
        return evening;
    }
    EveningHarness harness{};
    harness.init = reinterpret_cast<PluginInitFunction>(dlsym(plugin, "init"));
    harness.release = reinterpret_cast<PluginReleaseFunction>(dlsym(plugin, "release"));
    harness.dependencies = reinterpret_cast<PluginDependenciesFunction>(dlsym(plugin, "dependencies"));
    harness.report = reportLine;
    harness.debugLine = debugLine;
    if (!harness.init || !harness.release || !harness.dependencies) {
        evening.failure = pluginPath + " lacks init, release or dependencies";
        return evening;
    }
    evening.result = playEvening(harness);
    // The plug-in stays loaded: the evening host's objects still point into it.
    running = nullptr;
    return evening;
}
