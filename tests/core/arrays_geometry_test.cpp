#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>

#include "core/abi.h"
#include "core/allocator.h"

namespace {

void fill(PtrArray& array, int slots) {
    for (int i = 0; i < slots; ++i) EXPECT_EQ(array.append(static_cast<std::uintptr_t>(1000 + i)), i);
}

}  // namespace

// Slots never set read as null, inside the array and outside it.
TEST(PtrArray, GrowsToTheNextMultipleOfSixteenAboveTheSlotsNeeded) {
    const struct {
        const char* name;
        std::function<void(PtrArray&)> steps;
        std::int32_t size, capacity, slot;
        std::uintptr_t value;  // of that slot
    } cases[] = {
        {"fresh", [](PtrArray&) {}, 0, 16, 0, 0},
        {"16 appends", [](PtrArray& a) { fill(a, 16); }, 16, 16, 15, 1015},
        {"17 appends", [](PtrArray& a) { fill(a, 17); }, 17, 32, 16, 1016},
        {"set 15", [](PtrArray& a) { a.set(15, 1); }, 16, 16, 14, 0},
        {"set 31", [](PtrArray& a) { a.set(31, 1); }, 32, 48, 31, 1},  // strictly above: 32 slots need 48
        {"set 40 after 3", [](PtrArray& a) { fill(a, 3); a.set(40, 9); }, 41, 48, 20, 0},
        {"negative", [](PtrArray& a) { a.set(-1, 7); a.set(INT_MIN, 7); }, 0, 16, 0, 0},
        {"last index", [](PtrArray& a) { a.set(INT_MAX, 7); }, 0, 16, 0, 0},
        {"assign 5 to 40", [](PtrArray& a) { PtrArray five; fill(five, 5); fill(a, 40); a.assign(five); }, 5, 16, 4, 1004},
        {"assign itself", [](PtrArray& a) { fill(a, 3); a.set(40, 9); a.assign(a); }, 41, 48, 40, 9},
        // A growth that cannot be had keeps the array as it was.
        {"growth refused",
         [](PtrArray& a) {
             fill(a, 16);
             failAllocation(1, true);
             EXPECT_EQ(a.append(5), -1);
             a.set(40, 5);
             failAllocation(0);
         },
         16, 16, 15, 1015},
    };
    for (const auto& c : cases) {
        PtrArray array;
        c.steps(array);
        EXPECT_EQ(array.size(), c.size) << c.name;
        EXPECT_EQ(array.capacity, c.capacity) << c.name;
        EXPECT_EQ(array.get(c.slot), c.value) << c.name;
        EXPECT_EQ(array.get(c.size) + array.get(-1) + array.get(INT_MIN), 0u) << c.name;
    }
}

TEST(Rect, IntersectionKeepsThePairOfMaximaAndNeverGoesNegative) {
    const struct {
        Rect a, b, expected;
    } cases[] = {
        {{0, 0, 10, 10}, {5, 5, 10, 10}, {5, 5, 5, 5}},
        {{0, 0, 10, 10}, {10, 0, 5, 5}, {10, 0, 0, 5}},          // touching
        {{0, 0, 10, 10}, {20, 30, 5, 5}, {20, 30, 0, 0}},        // disjoint
        {{0, 0, -5, 10}, {-20, -20, 50, 50}, {0, 0, 0, 10}},     // negative width
        {{3, 4, 10, -1}, {0, 0, 50, 50}, {3, 4, 10, 0}},         // negative height
        {{-10, -10, 5, 5}, {-8, -9, 100, 100}, {-8, -9, 3, 4}},
        // Edges past the 32-bit range must not wrap round into a wrong extent.
        {{INT_MAX - 10, 0, 100, 10}, {INT_MAX - 20, 0, 100, 10}, {INT_MAX - 10, 0, 90, 10}},
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 10, 10}, {0, 0, 0, 0}},
        {{INT_MIN, 0, INT_MAX, 1}, {-5, 0, INT_MAX, 1}, {-5, 0, 4, 1}},
        {{0, 0, INT_MAX, INT_MAX}, {1, 1, INT_MAX, INT_MAX}, {1, 1, INT_MAX - 1, INT_MAX - 1}},
    };
    for (const auto& c : cases)
        for (const Rect& r : {c.a.intersect(c.b), c.b.intersect(c.a)})
            EXPECT_EQ((std::array<std::int32_t, 4>{r.x, r.y, r.width, r.height}),
                      (std::array<std::int32_t, 4>{c.expected.x, c.expected.y, c.expected.width, c.expected.height}))
                << c.a.x << "," << c.a.y << "," << c.a.width << "," << c.a.height << " with " << c.b.x << "," << c.b.y;
}
