// Exports of the test-only twin of pawn.kvx (pawn_testhooks.kvx), never of the shipping plug-in: they
// reach the allocator of the loaded copy of the module, which a test program cannot reach otherwise,
// since the plug-in keeps all its own symbols hidden.
#include "core/allocator.h"
#include "resources/resource_dir.h"

#define PAWN_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// A root made by this copy of the module, so that every node below it is opened, counted and freed by
// this copy too (a root the host makes runs the host's own copy of `find`).
class TestRoot : public ResourceDir {
public:
    TestRoot(IArchive* archive, InterfaceTable* archiveHandle) : ResourceDir(archive, archiveHandle) {}
    ~TestRoot() { releaseDescendants(); }
};

}  // namespace

// Refuses the n-th allocation from now (1: the next one) and, with `andAfter` nonzero, every one after
// it; 0 disarms.
PAWN_TEST_EXPORT void pawnFailAllocation(std::int64_t n, std::int32_t andAfter) { failAllocation(n, andAfter != 0); }

// Successful allocations so far, blocks still held and allocations refused on purpose.
PAWN_TEST_EXPORT void pawnAllocationStats(AllocationStats* stats) {
    if (stats) *stats = allocationStats();
}

// A root node over the host's opened archive; null without memory.
PAWN_TEST_EXPORT ResourceDir* pawnMakeRoot(IArchive* archive, InterfaceTable* archiveHandle) {
    return create<TestRoot>(archive, archiveHandle);
}

// Frees a root of pawnMakeRoot with every node opened below it (closing their streams in the host's
// archives); the module itself never frees nodes.
PAWN_TEST_EXPORT void pawnFreeRoot(ResourceDir* root) { destroy(static_cast<TestRoot*>(root)); }
