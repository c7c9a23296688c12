#include "core/abi.h"
#include "core/allocator.h"

#include <cstring>

namespace {
constexpr std::int32_t kStep = 16;
}

PtrArray::PtrArray() {
    data = static_cast<std::uintptr_t*>(allocateBytes(sizeof(std::uintptr_t) * kStep));
    capacity = data ? kStep : 0;
}

PtrArray::~PtrArray() { release(); }

void PtrArray::release() {
    freeBytes(data);
    data = nullptr;
    capacity = 0;
    count = 0;
}

std::uintptr_t PtrArray::get(std::int32_t index) const {
    if (index < 0 || index >= count) return 0;
    return data[index];
}

void PtrArray::set(std::int32_t index, std::uintptr_t value) {
    if (index < 0 || index == INT32_MAX) return;
    std::int32_t needed = index + 1;
    if (needed > capacity) {
        // The smallest multiple of 16 strictly greater than the slots needed.
        std::int64_t grown = std::int64_t{kStep} * (needed / kStep + 1);
        if (grown > INT32_MAX) return;
        auto* block = static_cast<std::uintptr_t*>(reallocateBytes(data, sizeof(std::uintptr_t) * static_cast<std::size_t>(grown)));
        if (!block) return;
        data = block;
        capacity = static_cast<std::int32_t>(grown);
    }
    // Slots skipped over read as 0 until set.
    if (index > count) std::memset(data + count, 0, sizeof(std::uintptr_t) * static_cast<std::size_t>(index - count));
    data[index] = value;
    if (needed > count) count = needed;
}

std::int32_t PtrArray::append(std::uintptr_t value) {
    // -1 when the block could not grow, rather than the index of the slot before.
    const std::int32_t before = count;
    set(count, value);
    return count > before ? count - 1 : -1;
}

void PtrArray::assign(const PtrArray& other) {
    if (&other == this) return;
    freeBytes(data);
    data = static_cast<std::uintptr_t*>(allocateBytes(sizeof(std::uintptr_t) * kStep));
    capacity = data ? kStep : 0;
    count = 0;
    for (std::int32_t i = 0; i < other.size(); ++i) set(i, other.get(i));
}
