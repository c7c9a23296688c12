#include <gtest/gtest.h>

#include <set>

#include "players/random_picker.h"

// A previous choice outside the bound excludes nothing; a bound of one value takes it again rather
// than drawing for ever; no value at all, or a negative key, keeps no history.
TEST(RandomPicker, NeverRepeatsTheLastChoiceForAKeyAndKeysKeepTheirOwnHistory) {
    RandomPicker picker;
    for (std::int32_t n : {2, 3, 7}) {
        std::set<std::int32_t> seen;
        std::int32_t previous = picker.pick(0, n), lastOther = picker.pick(1, 3);
        for (int i = 0; i < 500; ++i) {
            const std::int32_t choice = picker.pick(0, n), other = picker.pick(1, 3);
            ASSERT_TRUE(choice >= 0 && choice < n && choice != previous && other != lastOther) << "bound " << n << ", pick " << i;
            seen.insert(previous = choice);
            lastOther = other;
        }
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(n)) << "every other value comes";
        picker.last.set(1, 5 + 1);  // wait sequence 5 was the last, of seven
        for (int i = 0; i < 100; ++i, picker.last.set(1, 5 + 1)) seen.insert(100 + picker.pick(1, 3));
        EXPECT_EQ(seen.count(100) + seen.count(101) + seen.count(102), 3u);
    }
    RandomPicker degenerate;
    for (auto [key, bound] : {std::pair{0, 0}, {0, -3}, {-1, 2}}) degenerate.pick(key, bound);
    EXPECT_EQ(degenerate.last.size(), 0);
    EXPECT_EQ(degenerate.pick(0, 1) + degenerate.pick(0, 1), 0);
}
