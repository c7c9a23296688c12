#include "core/allocator.h"

#include <cstdlib>
#include <cstring>

namespace {

AllocationStats stats{};
std::int64_t countdown = 0;  // 0: no fault armed
bool failForever = false;

bool shouldFail() noexcept {
    if (countdown == 0) return false;
    if (countdown > 1) {
        --countdown;
        return false;
    }
    if (!failForever) countdown = 0;
    ++stats.failures;
    return true;
}

}  // namespace

void* allocateBytes(std::size_t bytes) noexcept {
    if (shouldFail()) return nullptr;
    void* block = std::malloc(bytes ? bytes : 1);
    if (block) {
        ++stats.allocations;
        ++stats.live;
    }
    return block;
}

void* reallocateBytes(void* block, std::size_t bytes) noexcept {
    if (!block) return allocateBytes(bytes);
    if (shouldFail()) return nullptr;
    void* grown = std::realloc(block, bytes ? bytes : 1);
    if (grown) ++stats.allocations;
    return grown;
}

void freeBytes(void* block) noexcept {
    if (!block) return;
    --stats.live;
    std::free(block);
}

char* copyString(const char* text) noexcept {
    if (!text) return nullptr;
    std::size_t length = std::strlen(text) + 1;
    char* copy = static_cast<char*>(allocateBytes(length));
    if (copy) std::memcpy(copy, text, length);
    return copy;
}

AllocationStats allocationStats() noexcept { return stats; }

void failAllocation(std::int64_t n, bool andAfter) noexcept {
    countdown = n > 0 ? n : 0;
    failForever = andAfter && n > 0;
}
