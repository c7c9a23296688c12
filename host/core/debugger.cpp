#include "host/core/debugger.h"

#include <cstdio>
#include <cstdlib>

namespace hostengine {
namespace {
std::vector<std::string>& lines() {
    static std::vector<std::string> kept;
    return kept;
}
}  // namespace

std::vector<std::string> debuggerLines() { return lines(); }
void clearDebuggerLines() { lines().clear(); }

}  // namespace hostengine

// Exported by every executable that links the host (ENABLE_EXPORTS): the module finds it by name.
extern "C" __attribute__((visibility("default"))) void OutputDebugStringA(const char* text) {
    hostengine::lines().emplace_back(text ? text : "");
    if (std::getenv("PAWN_DEBUGGER_ECHO")) std::fprintf(stderr, "debugger: %s\n", text ? text : "");
}
