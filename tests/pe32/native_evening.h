// The evening through the 64-bit plug-in, in this process: the same host source the emulated run
// uses, built by this build's compiler, so that a difference between the two transcripts is the
// shipping DLL's (or its conventions').
#pragma once

#include <string>
#include <vector>

struct NativeEvening {
    std::vector<std::string> transcript;
    std::vector<std::string> debuggerLines;
    int result = -1;
    std::string failure;  // empty when the plug-in loaded
};

// Once per process: the evening host keeps its objects until the process ends.
NativeEvening runNativeEvening(const std::string& pluginPath);
