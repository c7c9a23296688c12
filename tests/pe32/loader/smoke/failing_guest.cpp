// Reports one line, then fails as its build says: MISSING_IMPORT calls a KERNEL32 function no shim
// provides, NULL_CALL calls through a null function pointer as a host with an unset slot would,
// ENDLESS_LOOP never returns, so only the time limit ends it.
#include "guest_harness.h"

extern "C" __declspec(dllimport) int NoSuchFunction(int);

extern "C" int evening(const EveningHarness* h) {
    h->report("before");
#if defined(MISSING_IMPORT)
    return NoSuchFunction(1);
#elif defined(NULL_CALL)
    void (*volatile slot)() = nullptr;
    slot();
    return 0;
#else
    for (volatile unsigned i = 0;; i = i + 1) {
    }
#endif
}
