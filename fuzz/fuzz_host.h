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

// Stops the run when the module leaves something behind: libFuzzer reports the input.
inline void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// How a stream of the doubles reads, any of the ways.
inline ReadMode readModeFrom(FuzzInput& in) { return static_cast<ReadMode>(in.below(static_cast<std::uint32_t>(ReadMode::Count))); }

// Points and rectangles read field by field, in order.
inline Point pointIn(FuzzInput& in, std::int32_t low, std::int32_t high) {
    const std::int32_t x = in.range(low, high);
    return Point(x, in.range(low, high));
}
inline Rect rectIn(FuzzInput& in, std::int32_t low, std::int32_t high, std::int32_t sizeLow, std::int32_t sizeHigh) {
    const Point corner = pointIn(in, low, high);
    const std::int32_t width = in.range(sizeLow, sizeHigh);
    return Rect(corner.x, corner.y, width, in.range(sizeLow, sizeHigh));
}
inline Rect anyRect(FuzzInput& in) {
    const std::int32_t x = in.value(), y = in.value(), width = in.value();
    return Rect(x, y, width, in.value());
}

// One input: `body` builds its world from the input, drives the module and tears the world down;
// then the host settles, and every message must be gone and the module's memory back where it was.
template <class Body>
int runInput(const std::uint8_t* data, std::size_t size, Body body) {
    FuzzInput in(data, size);
    const AllocationStats before = allocationStats();
    body(in);
    // What the host still has queued runs, and the log is forgotten so that a long run does not grow
    // it without end.
    host().drainEvents(100);
    host().clearLog();
    require(CountedMessage::live() == 0, "a message neither deleted nor kept");
    require(allocationStats().live == before.live, "module memory left behind");
    return 0;
}

}  // namespace fuzzhost
