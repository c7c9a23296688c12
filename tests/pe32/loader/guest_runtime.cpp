// What MSVC-built code calls that no import provides, linked into every guest program.
// The loader's stack is mapped whole, so the frame allocator need not touch each page on the way down.

// A frame larger than a page calls _chkstk with its size in EAX; on return ESP is lower by that
// much, and every other register is as it was.
extern "C" __attribute__((naked)) void _chkstk()
{
    asm("pushl %ecx\n"
        "leal 8(%esp), %ecx\n"    // ESP before the call
        "subl %eax, %ecx\n"       // the frame's new ESP
        "xchgl %ecx, %esp\n"      // ECX now points at the saved ECX
        "pushl 4(%ecx)\n"         // the return address, on the new top
        "movl (%ecx), %ecx\n"
        "ret\n");
}
