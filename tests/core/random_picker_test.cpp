#include <gtest/gtest.h>

#include <set>

#include "players/random_picker.h"

TEST(RandomPicker, NeverRepeatsTheLastChoiceForAKeyAndKeysKeepTheirOwnHistory) {
    RandomPicker picker;
    for (std::int32_t n : {2, 3, 7}) {
        std::set<std::int32_t> seen;
        std::int32_t previous = picker.pick(0, n);
        std::int32_t lastOther = picker.pick(1, 3);
        for (int i = 0; i < 500; ++i) {
            const std::int32_t choice = picker.pick(0, n);
            ASSERT_GE(choice, 0);
            ASSERT_LT(choice, n);
            ASSERT_NE(choice, previous) << "bound " << n << ", pick " << i;
            seen.insert(choice);
            previous = choice;
            if (i % 3 == 0) {
                const std::int32_t other = picker.pick(1, 3);
                ASSERT_NE(other, lastOther);
                lastOther = other;
            }
        }
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(n)) << "every other value comes";
    }
    // A key set before lower ones leaves those with no choice made.
    RandomPicker fresh;
    fresh.pick(4, 7);
    for (std::int32_t key = 0; key < 4; ++key) EXPECT_EQ(fresh.last.get(key), 0u) << key;
}

TEST(RandomPicker, APreviousChoiceOutsideTheBoundExcludesNothing) {
    RandomPicker picker;
    std::set<std::int32_t> seen;
    for (int i = 0; i < 300; ++i) {
        picker.last.set(1, 5 + 1);  // wait sequence 5 was the last, of seven
        seen.insert(picker.pick(1, 3));
    }
    EXPECT_EQ(seen, (std::set<std::int32_t>{0, 1, 2}));
}

TEST(RandomPicker, DegenerateBoundsAndNegativeKeysKeepNoHistory) {
    RandomPicker picker;
    EXPECT_EQ(picker.pick(0, 0), 0);
    EXPECT_EQ(picker.pick(0, -3), 0);
    EXPECT_EQ(picker.last.size(), 0);
    // One value only: taken again rather than drawn for ever.
    EXPECT_EQ(picker.pick(0, 1), 0);
    EXPECT_EQ(picker.pick(0, 1), 0);

    RandomPicker negative;
    bool repeated = false;
    for (std::int32_t i = 0, previous = negative.pick(-1, 2); i < 100; ++i) {
        const std::int32_t choice = negative.pick(-1, 2);
        repeated |= choice == previous;
        previous = choice;
    }
    EXPECT_TRUE(repeated);
    EXPECT_EQ(negative.last.size(), 0);
}
