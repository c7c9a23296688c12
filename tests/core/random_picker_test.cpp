#include <gtest/gtest.h>

#include <set>

#include "players/random_picker.h"

TEST(RandomPicker, NeverRepeatsTheLastChoiceForAKeyAndKeysKeepTheirOwnHistory) {
    RandomPicker picker;
    for (std::int32_t n : {2, 3, 7}) {
        std::set<std::int32_t> seen;
        std::int32_t previous = picker.pick(0, n), lastOther = picker.pick(1, 3);
        for (int i = 0; i < 500; ++i) {
            const std::int32_t choice = picker.pick(0, n);
            ASSERT_TRUE(choice >= 0 && choice < n && choice != previous) << "bound " << n << ", pick " << i;
            seen.insert(previous = choice);
            if (i % 3 == 0) {
                const std::int32_t other = picker.pick(1, 3);
                ASSERT_NE(other, lastOther);
                lastOther = other;
            }
        }
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(n)) << "every other value comes";
    }
}

TEST(RandomPicker, APreviousChoiceOutsideTheBoundOrADegenerateBoundExcludesNothing) {
    RandomPicker picker;
    std::set<std::int32_t> seen;
    for (int i = 0; i < 300; ++i) {
        picker.last.set(1, 5 + 1);  // wait sequence 5 was the last, of seven
        seen.insert(picker.pick(1, 3));
    }
    EXPECT_EQ(seen, (std::set<std::int32_t>{0, 1, 2}));
    // One value only: taken again rather than drawn for ever; no value at all, or a negative key: no history.
    RandomPicker degenerate;
    for (auto [key, bound] : {std::pair{0, 0}, {0, -3}, {-1, 2}}) degenerate.pick(key, bound);
    EXPECT_EQ(degenerate.last.size(), 0);
    EXPECT_EQ(degenerate.pick(0, 1) + degenerate.pick(0, 1), 0);
}
