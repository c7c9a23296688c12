// Calls a KERNEL32 function no shim provides.
#include "guest_harness.h"

extern "C" __declspec(dllimport) int NoSuchFunction(int);

extern "C" int evening(const EveningHarness* h) {
    h->report("before");
    return NoSuchFunction(1);
}
