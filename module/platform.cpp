#include "module/platform.h"

#ifdef _WIN32
#include <windows.h>

void debuggerLine(const char* text) { OutputDebugStringA(text); }

#else
#include <dlfcn.h>

#include <cstdio>

void debuggerLine(const char* text) {
    using DebuggerSink = void (*)(const char*);
    static auto sink = reinterpret_cast<DebuggerSink>(dlsym(RTLD_DEFAULT, "OutputDebugStringA"));
    if (sink)
        sink(text);
    else
        std::fprintf(stderr, "%s\n", text);
}
#endif
