// The fuzz targets' host: the in-memory doubles, made afresh for each input and torn down after it so
// that every input starts from the same host, and the check that stops a run.
#pragma once

#include <cstdio>
#include <cstdlib>

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

// The names the fault tests know the doubles by. The doubles follow the host the module is bound to
// and the archive factory finds every archive through its entries, so neither needs setting up.
using FuzzBitmap = MemoryBitmap;
using FuzzSurface = MemorySurface;
using FuzzVideo = FakeVideo;
using FuzzVideoFactory = FakeVideoFactory;
using FuzzSoundFactory = FakeSoundFactory;
using FuzzProducer = FakeProducer;
struct HostScope {
    explicit HostScope(hostengine::HostEngine&) {}
};
inline void registerArchives(MemArchiveFactory&, MemArchive&) {}

}  // namespace fuzzhost
