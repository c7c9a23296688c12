#include <gtest/gtest.h>

#include "core/abi.h"

TEST(Abi, EntryValueIsFourPastTheInterface) {
    struct Part : IListener {
        std::int32_t receive(Message*) override { return 1; }
    } part;
    EXPECT_EQ(entryValueOf<IListener>(&part), reinterpret_cast<EntryValue>(&part) + 4);
    EXPECT_EQ(interfaceFrom<IListener>(entryValueOf<IListener>(&part)), &part);
    EXPECT_EQ(interfaceFrom<IListener>(0), nullptr);
}
