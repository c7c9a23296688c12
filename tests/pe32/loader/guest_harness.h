// The harness as the guest (the MSVC-ABI test host) sees it: the same four words as the record
// runPe32Evening writes.
#pragma once

struct EveningHarness {
    void* (*init)(void* host, const char* const* args);
    void (*release)();
    const char* const* (*dependencies)();
    void (*report)(const char* line);
};
static_assert(sizeof(EveningHarness) == 16, "four 32-bit words");
