// The module's one allocator. It never throws: a failed allocation yields null, and the caller leaves
// the field null and goes on without the feature. Tests can make allocations fail on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

void* allocateBytes(std::size_t bytes) noexcept;                    // null on failure
void* reallocateBytes(void* block, std::size_t bytes) noexcept;     // null on failure; block is then kept
void freeBytes(void* block) noexcept;                               // nothing for null
char* copyString(const char* text) noexcept;                        // heap copy, or null for null / failure

// Builds a T in module memory; null when the memory cannot be had.
template <class T, class... Args>
T* create(Args&&... args) noexcept {
    void* memory = allocateBytes(sizeof(T));
    return memory ? new (memory) T(std::forward<Args>(args)...) : nullptr;
}

template <class T>
void destroy(T* object) noexcept {
    if (!object) return;
    object->~T();
    freeBytes(object);
}

// Fault injection and accounting, for tests.
struct AllocationStats {
    std::int64_t allocations;  // successful allocations so far
    std::int64_t live;         // blocks not yet freed
    std::int64_t failures;     // allocations refused on purpose
};

AllocationStats allocationStats() noexcept;
// Refuse the n-th allocation from now (1 = the next one); with `andAfter`, every one from then on. 0 disarms.
void failAllocation(std::int64_t n, bool andAfter = false) noexcept;
