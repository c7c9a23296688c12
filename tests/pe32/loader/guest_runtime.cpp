// What MSVC-built code calls that no import provides, linked into every guest program.
#include <stddef.h>
// The loader's stack is mapped whole, so the frame allocator need not touch each page on the way down.

// A frame larger than a page calls _chkstk with its size in EAX; on return ESP is lower by that
// much, and every other register is as it was.
extern "C" __attribute__((naked)) void _chkstk() {
    asm("pushl %ecx\n"
        "leal 8(%esp), %ecx\n"  // ESP before the call
        "subl %eax, %ecx\n"     // the frame's new ESP
        "xchgl %ecx, %esp\n"    // ECX now points at the saved ECX
        "pushl 4(%ecx)\n"       // the return address, on the new top
        "movl (%ecx), %ecx\n"
        "ret\n");
}

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
