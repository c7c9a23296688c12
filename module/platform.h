// What the module needs of the operating system beyond the host: one debugger line.
#pragma once

// Writes one line to the debugger with OutputDebugStringA. Elsewhere the process that loaded the module
// plays the debugger: an exported C function `OutputDebugStringA(const char*)` in it receives the line
// (the reference host has one); without one the line goes to stderr.
void debuggerLine(const char* text);
