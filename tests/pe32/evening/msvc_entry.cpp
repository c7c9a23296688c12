// The evening host as a Windows program built with Microsoft's compiler conventions, freestanding:
// no C runtime, so the few things a compiler expects of one are here, and the loader that runs it
// passes the harness to its entry point.
#include "tests/pe32/evening/evening_harness.h"

extern "C" {

// The compiler marks every object that uses floating point with a reference to this symbol.
int _fltused = 0;

// Record copies and clears compile to calls of these two.
void* memcpy(void* to, const void* from, std::size_t count) {
    auto* out = static_cast<unsigned char*>(to);
    const auto* in = static_cast<const unsigned char*>(from);
    while (count--) *out++ = *in++;
    return to;
}

void* memset(void* to, int value, std::size_t count) {
    auto* out = static_cast<unsigned char*>(to);
    while (count--) *out++ = static_cast<unsigned char>(value);
    return to;
}

// Abstract classes' tables point their pure slots here; no call ever reaches one.
int _purecall() {
    __builtin_trap();
}

int __cdecl evening(const EveningHarness* harness) { return playEvening(*harness); }

}  // extern "C"
