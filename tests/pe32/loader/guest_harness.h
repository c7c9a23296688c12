// The harness as the guest (the MSVC-ABI test host) sees it: the same six words as EveningHarness
// in pe32_loader.h.
#pragma once

struct EveningHarness {
    void* (*init)(void* host, const char* const* args);
    void (*release)();
    const char* const* (*dependencies)();
    void (*report)(const char* line);
    void (*debugLine)(const char* line);
    unsigned reserved;
};
static_assert(sizeof(EveningHarness) == 24, "six 32-bit words");
