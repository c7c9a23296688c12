// Calls through a null function pointer, as a host with an unset slot would.
#include "guest_harness.h"

extern "C" int evening(const EveningHarness* h) {
    void (*volatile slot)() = nullptr;
    h->report("before");
    slot();
    return 0;
}
