#include "core/abi.h"

#include <algorithm>

Rect Rect::intersect(const Rect& other) const {
    // Edges in 64 bits: x + width may pass the 32-bit range for far-out rectangles.
    std::int64_t left = std::max(x, other.x);
    std::int64_t top = std::max(y, other.y);
    std::int64_t right = std::min(std::int64_t{x} + width, std::int64_t{other.x} + other.width);
    std::int64_t bottom = std::min(std::int64_t{y} + height, std::int64_t{other.y} + other.height);
    auto extent = [](std::int64_t from, std::int64_t to) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(to - from, 0, INT32_MAX));
    };
    return Rect(static_cast<std::int32_t>(left), static_cast<std::int32_t>(top), extent(left, right), extent(top, bottom));
}
