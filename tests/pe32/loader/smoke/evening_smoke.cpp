// The smallest evening: the module's answers to a null host, reported for the loader's test.
#include "guest_harness.h"

extern "C" int evening(const EveningHarness* h)
{
    const char* args[4] = {"", "", "", ""};
    h->report(h->init(nullptr, args) ? "init: table" : "init: null");
    h->report(h->dependencies() ? "dependencies: list" : "dependencies: null");
    h->release();
    h->report(h->reserved == 0 ? "released" : "reserved is not zero");
    return 7;
}
