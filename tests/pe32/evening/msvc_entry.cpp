// The evening host as a Windows program built with Microsoft's compiler conventions, freestanding
// (the loader's guest runtime supplies what the compiler expects of a C runtime): the loader that runs
// it passes the harness to its entry point.
#include "tests/pe32/evening/evening_harness.h"

extern "C" int __cdecl evening(const EveningHarness* harness) { return playEvening(*harness); }
