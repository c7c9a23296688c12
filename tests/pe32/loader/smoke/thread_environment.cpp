// What a Windows thread finds and what pawn.kvx's runtime relies on, checked from MSVC-built code:
// the TEB through FS, the stack bounds, SSE2, _initterm calling guest pointers, a data import.
#include "guest_harness.h"

extern "C" __declspec(dllimport) void _initterm(void (**begin)(), void (**end)());
extern "C" __declspec(dllimport) int __mb_cur_max;

namespace {

int calls;
void first() { calls += 1; }
void second() { calls += 10; }

unsigned fs(unsigned offset) {
    unsigned value;
    asm volatile("movl %%fs:(%1), %0" : "=r"(value) : "r"(offset));
    return value;
}

typedef int Lanes __attribute__((vector_size(16)));

}  // namespace

extern "C" int evening(const EveningHarness* h) {
    void (*table[])() = {first, nullptr, second};
    _initterm(table, table + 3);
    h->report(calls == 11 ? "initterm: both entries, null skipped" : "initterm: wrong calls");

    unsigned self = fs(0x18);
    int local = 0;
    unsigned here = unsigned(&local);
    bool teb = fs(0) == 0xFFFFFFFFu && *reinterpret_cast<volatile unsigned*>(self + 0x18) == self && fs(0x2C) != 0 && fs(8) <= here &&
               here < fs(4);
    h->report(teb ? "teb: self, SEH end, TLS pointer, stack bounds" : "teb: wrong");

    volatile double x = 3;
    x = x * 1.5 + 0.25;
    volatile Lanes a = {1, 2, 3, 4};
    Lanes b = a + a;
    h->report(x == 4.75 && b[3] == 8 ? "sse2: scalar and packed" : "sse2: wrong");

    h->report(__mb_cur_max == 1 ? "data import: __mb_cur_max is 1" : "data import: wrong");
    return 0;
}
