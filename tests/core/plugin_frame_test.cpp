#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/core/host_engine.h"
#include "host/core/plugin_loader.h"
#include "module/plugin_object.h"

using hostengine::HostEngine;
using hostengine::HostObject;
using hostengine::PluginLoader;

namespace {

// The plug-in's object as this build lays it out; only its data is read.
const KTPlayerFactory& objectOf(const PluginLoader& loader) { return *static_cast<KTPlayerFactory*>(loader.factory()); }

}  // namespace

TEST(PluginFrame, InitEntersTheObjectAtTheRegistryHeadWithCopiesOfTheFourStringsAndReleaseTakesItOut) {
    HostEngine host;  // outlives the loader, which releases the plug-in first
    PluginLoader loader;
    ASSERT_TRUE(loader.open()) << loader.error();
    EXPECT_EQ(loader.init(nullptr), nullptr);  // no host, no handle
    std::optional<std::string> first("first argument"), third("third");
    const char* args[4] = {first->c_str(), nullptr, third->c_str(), nullptr};
    InterfaceTable* handle = loader.init(&host, args);
    ASSERT_NE(handle, nullptr);
    first.reset();  // the host may let its own strings go once init returns
    third->assign("overwritten");
    const ObjectRegistry& registry = *host.objectRegistry();
    ASSERT_NE(registry.head, nullptr);
    EXPECT_EQ(registry.head->next, nullptr);
    EXPECT_EQ(registry.head->table, handle);
    EXPECT_EQ(host.findInterface("PAWN", "iktplayerfactory"), registry.head->value);
    // The table directly follows the interface part, whose first word is its table of operations:
    // on 32-bit builds the handle is the entry value itself, on 64-bit builds 4 bytes past it.
    EXPECT_EQ(reinterpret_cast<EntryValue>(handle), registry.head->value + (sizeof(void*) == 4 ? 0 : 4));
    EXPECT_STREQ(objectOf(loader).args->strings[0], "first argument");
    EXPECT_EQ(objectOf(loader).args->strings[1], nullptr);
    EXPECT_STREQ(objectOf(loader).args->strings[2], "third");

    // A repeated init replaces the strings and enters no second node.
    const char* secondArgs[4] = {nullptr, "two", nullptr, nullptr};
    EXPECT_EQ(loader.init(&host, secondArgs), handle);
    EXPECT_EQ(registry.head->next, nullptr);
    EXPECT_EQ(objectOf(loader).args->strings[0], nullptr);
    EXPECT_STREQ(objectOf(loader).args->strings[1], "two");
    ASSERT_EQ(loader.init(&host, nullptr), handle);
    for (const char* copy : objectOf(loader).args->strings) EXPECT_EQ(copy, nullptr);

    // Release leaves no node behind, and a second release does nothing.
    HostObject producer("producer");
    producer.interfaces.add("IKTProducer", 0x10);
    loader.release();
    EXPECT_EQ(registry.head->table, producer.handle());
    EXPECT_EQ(registry.head->next, nullptr);
    EXPECT_EQ(registry.cursor, registry.head);
    host.objectRegistry()->cursor = nullptr;  // a teardown would set it back to the head
    loader.callRelease();
    EXPECT_EQ(registry.head->table, producer.handle());
    EXPECT_EQ(registry.cursor, nullptr);

    PluginLoader missing;
    EXPECT_FALSE(missing.open("/nonexistent/pawn.kvx"));
    EXPECT_NE(missing.error().find("/nonexistent/pawn.kvx"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------------
// The host's own services

TEST(HostEngine, LogKeepsEveryLineWholeAndEchoesTheLowLevels) {
    HostEngine host;
    host.setEchoLevel(1);
    const std::string longName(3000, 'x');
    testing::internal::CaptureStderr();
    host.log(3, "Sound: %s", longName.c_str());
    host.log(1, "Pawn::comingUp,pawn=%i\n", 2);
    host.log(0, "Sound: no break");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[1] Pawn::comingUp,pawn=2\n[0] Sound: no break\n");
    ASSERT_EQ(host.logLines().size(), 3u);
    EXPECT_EQ(host.logLines()[0].text, "Sound: " + longName);
}

TEST(HostEngine, AnEventPostedDuringAPassWaitsForTheNextOneUnlessANestedPassRuns) {
    HostEngine host;
    std::string order;
    host.post([&] {
        order += 'a';
        host.post([&] { order += 'c'; });
    });
    host.post([&] { order += 'b'; });
    host.pumpEvents();
    order += '|';
    host.pumpEvents();
    // A blocking read pumps from inside an event and waits for a completion queued behind it.
    host.post([&] {
        order += 'r';
        host.post([&] { order += 'x'; });
        host.pumpEvents();
        order += ')';
    });
    host.post([&] { order += 'c'; });
    host.pumpEvents();
    EXPECT_EQ(order, "ab|crcx)");
    EXPECT_EQ(host.pendingEvents(), 0u);
}
