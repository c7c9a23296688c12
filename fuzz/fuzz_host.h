// The fuzz targets' host: the in-memory doubles, made afresh for each input and torn down after it so
// that every input starts from the same host, and the checks that stop a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/allocator.h"
#include "fuzz/fuzz_input.h"
#include "tests/support/host_doubles.h"

namespace fuzzhost {

using namespace doubles;

// Ends an input: runs what the host still has queued and forgets the log, so that a long run does
// not grow it without end.
inline void settleHost() {
    host().drainEvents(100);
    host().clearLog();
}

// Stops the run when the module leaves something behind: libFuzzer reports the input.
inline void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// One input: `body` builds its world from the input, drives the module and tears the world down;
// then the host settles, and every message must be gone and the module's memory back where it was.
template <class Body>
int runInput(const std::uint8_t* data, std::size_t size, Body body) {
    FuzzInput in(data, size);
    const AllocationStats before = allocationStats();
    body(in);
    settleHost();
    require(CountedMessage::live() == 0, "a message neither deleted nor kept");
    require(allocationStats().live == before.live, "module memory left behind");
    return 0;
}

}  // namespace fuzzhost
