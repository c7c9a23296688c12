// What the program that runs the evening hands the evening host: the plug-in's three exports and a
// place for the transcript. Four 32-bit words on the 32-bit target; a loader writes the record into the
// emulated process and passes its address to the evening's entry point.
#pragma once

#include "core/abi.h"

extern "C" {
using EveningLineFunction = void (*)(const char* line);
}

struct EveningHarness {
    PluginInitFunction init;
    PluginReleaseFunction release;
    PluginDependenciesFunction dependencies;
    EveningLineFunction report;  // one line of the transcript
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(EveningHarness) == 16);
#endif

// Plays the whole evening through the plug-in; 0 when every check of the host held.
int playEvening(const EveningHarness& harness);
