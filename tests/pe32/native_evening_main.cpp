// native_evening PLUGIN TRANSCRIPT DEBUGGER: plays the evening through the 64-bit plug-in and writes
// its transcript and its debugger lines, one per line. Exit status: the evening's result (0 when every
// check of the host held), 2 when the plug-in could not be loaded.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/pe32/native_evening.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: native_evening PLUGIN TRANSCRIPT DEBUGGER\n");
        return 2;
    }
    // An absolute path, so that the loader opens this file rather than searching its library path.
    const NativeEvening evening = runNativeEvening(std::filesystem::absolute(argv[1]).string());
    if (!evening.failure.empty()) {
        std::fprintf(stderr, "native_evening: %s\n", evening.failure.c_str());
        return 2;
    }
    std::ofstream transcript(argv[2]);
    for (const std::string& line : evening.transcript) transcript << line << '\n';
    std::ofstream debugger(argv[3]);
    for (const std::string& line : evening.debuggerLines) debugger << line << '\n';
    return evening.result;
}
