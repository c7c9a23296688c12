// Imports pawn.kvx directly, one export by name and one by ordinal, as a host linked against the
// module would: the loader binds image to image.
#include "guest_harness.h"

extern "C" __declspec(dllimport) const char* const* dependencies();
extern "C" __declspec(dllimport) void release();

extern "C" int evening(const EveningHarness*)
{
    release();
    return dependencies() == nullptr ? 5 : 6;
}
