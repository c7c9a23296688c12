// The reference host plays the debugger for the module: lines the module writes with
// OutputDebugStringA arrive here.
#pragma once

#include <string>
#include <vector>

namespace hostengine {

std::vector<std::string> debuggerLines();
void clearDebuggerLines();

}  // namespace hostengine
