// What MSVC-built code calls that no import provides, linked into every guest program.
#include <stddef.h>

extern "C" {

// The compiler marks every object that uses floating point with a reference to this symbol.
int _fltused = 0;

// Abstract classes' tables point their pure slots here; no call ever reaches one.
int _purecall() { __builtin_trap(); }

// Record copies and clears compile to calls of these two, even freestanding.
void* memcpy(void* to, const void* from, size_t count) {
    auto* out = static_cast<unsigned char*>(to);
    const auto* in = static_cast<const unsigned char*>(from);
    while (count--) *out++ = *in++;
    return to;
}

void* memset(void* to, int value, size_t count) {
    auto* out = static_cast<unsigned char*>(to);
    while (count--) *out++ = static_cast<unsigned char>(value);
    return to;
}

}  // extern "C"
