#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/allocator.h"
#include "host/core/host_engine.h"
#include "host/core/plugin_loader.h"
#include "module/platform.h"
#include "module/plugin_object.h"
#include "module/services.h"

using hostengine::HostEngine;
using hostengine::HostObject;
using hostengine::PluginLoader;

namespace {

int nodesOfTable(const ObjectRegistry& registry, const InterfaceTable* table) {
    int found = 0;
    for (const RegistryNode* node = registry.head; node; node = node->next) found += node->table == table;
    return found;
}

// The plug-in's object as this build lays it out; only its data is read.
const KTPlayerFactory& objectOf(const PluginLoader& loader) { return *static_cast<KTPlayerFactory*>(loader.factory()); }

class PluginFrame : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(loader.open()) << loader.error(); }

    HostEngine host;      // outlives the loader, which releases the plug-in first
    PluginLoader loader;
};

}  // namespace

TEST_F(PluginFrame, InitEntersThePluginObjectAtTheRegistryHead) {
    InterfaceTable* handle = loader.init(&host);
    ASSERT_NE(handle, nullptr);
    const ObjectRegistry& registry = *host.objectRegistry();
    ASSERT_NE(registry.head, nullptr);
    EXPECT_EQ(registry.head->next, nullptr);
    EXPECT_STREQ(registry.head->objectName, "pawn");
    EXPECT_EQ(registry.head->table, handle);
    EXPECT_EQ(registry.cursor, registry.head);
    EXPECT_EQ(host.findInterface("PAWN", "iktplayerfactory"), registry.head->value);
    EXPECT_EQ(handle->lookup("iKtPlAyErFaCtOrY"), registry.head->value);
    EXPECT_EQ(loader.factory(), interfaceFrom<IKTPlayerFactory>(registry.head->value));

    // The table directly follows the interface part, whose first word is its table of operations:
    // on 32-bit builds the handle is the entry value itself, on 64-bit builds 4 bytes past it.
    const EntryValue value = registry.head->value;
    EXPECT_EQ(reinterpret_cast<EntryValue>(handle), sizeof(void*) == 4 ? value : value + 4);
}

TEST_F(PluginFrame, InitCopiesTheFourStringsAndARepeatedInitReplacesThem) {
    std::optional<std::string> first("first argument"), third("third");
    const char* args[4] = {first->c_str(), nullptr, third->c_str(), nullptr};
    InterfaceTable* handle = loader.init(&host, args);
    ASSERT_NE(handle, nullptr);
    first.reset();  // the host may let its own strings go once init returns
    third->assign("overwritten");
    const KTPlayerFactory& object = objectOf(loader);
    ASSERT_NE(object.args, nullptr);
    EXPECT_STREQ(object.args->strings[0], "first argument");
    EXPECT_EQ(object.args->strings[1], nullptr);
    EXPECT_STREQ(object.args->strings[2], "third");
    EXPECT_EQ(object.buzzCounter, -1);

    const char* secondArgs[4] = {nullptr, "two", nullptr, nullptr};
    EXPECT_EQ(loader.init(&host, secondArgs), handle);
    EXPECT_EQ(nodesOfTable(*host.objectRegistry(), handle), 1);
    EXPECT_EQ(objectOf(loader).args->strings[0], nullptr);
    EXPECT_STREQ(objectOf(loader).args->strings[1], "two");
    ASSERT_EQ(loader.init(&host, nullptr), handle);
    for (const char* copy : objectOf(loader).args->strings) EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(loader.dependencies(), nullptr);
}

TEST_F(PluginFrame, ReleaseLeavesNoNodeBehindAndASecondReleaseDoesNothing) {
    HostObject producer("producer");
    producer.interfaces.add("IKTProducer", 0x10);
    ASSERT_NE(loader.init(&host), nullptr);
    ObjectRegistry& registry = *host.objectRegistry();
    loader.release();
    ASSERT_NE(registry.head, nullptr);
    EXPECT_EQ(registry.head->table, producer.handle());
    EXPECT_EQ(registry.head->next, nullptr);
    EXPECT_EQ(registry.cursor, registry.head);

    registry.cursor = nullptr;  // a teardown would set it back to the head
    loader.callRelease();
    EXPECT_EQ(registry.head->table, producer.handle());
    EXPECT_EQ(registry.cursor, nullptr);
}

TEST(PluginLoader, LoadInitReleaseAndUnloadRepeatInOneProcess) {
    for (int round = 0; round < 4; ++round) {
        HostEngine host;
        PluginLoader loader;
        ASSERT_TRUE(loader.open()) << loader.error();
        ASSERT_NE(loader.init(&host), nullptr) << "round " << round;
        loader.release();
        loader.close();
        EXPECT_EQ(host.objectRegistry()->head, nullptr);
    }
    PluginLoader unopened;
    ASSERT_TRUE(unopened.open());
    EXPECT_EQ(unopened.init(nullptr), nullptr);  // no host, no handle
    EXPECT_EQ(unopened.factory(), nullptr);
    PluginLoader missing;
    EXPECT_FALSE(missing.open("/nonexistent/pawn.kvx"));
    EXPECT_NE(missing.error().find("/nonexistent/pawn.kvx"), std::string::npos);
    EXPECT_EQ(missing.init(nullptr), nullptr);
}

// Allocation failures can only be provoked in this build's own copy of the plug-in classes.
TEST(PluginObject, InitWithoutMemoryForTheObjectYieldsNoHandle) {
    HostEngine host;
    failAllocation(1);
    EXPECT_EQ(initPlugin(&host, nullptr), nullptr);
    failAllocation(0);
    EXPECT_EQ(services().factory, nullptr);
    EXPECT_EQ(host.objectRegistry()->head, nullptr);
    releasePlugin();
}

TEST(PluginObject, ArgumentsThatCannotBeCopiedStayNull) {
    HostEngine host;
    const AllocationStats before = allocationStats();
    KTPlayerFactory* object = create<KTPlayerFactory>();
    ASSERT_NE(object, nullptr);
    const char* args[4] = {"a", "b", "c", "d"};

    failAllocation(1);  // the record itself
    object->setArgs(args);
    EXPECT_EQ(object->args, nullptr);

    failAllocation(2);  // the first copy
    object->setArgs(args);
    ASSERT_NE(object->args, nullptr);
    EXPECT_EQ(object->args->strings[0], nullptr);
    EXPECT_STREQ(object->args->strings[3], "d");
    failAllocation(0);

    destroy(object);
    EXPECT_EQ(allocationStats().live, before.live);
}

// ---------------------------------------------------------------------------------------------------
// The host's own services

TEST(HostEngine, LogKeepsEveryLineWholeAndEchoesTheLowLevels) {
    HostEngine host;
    host.setEchoLevel(1);
    const std::string longName(3000, 'x');
    testing::internal::CaptureStderr();
    host.log(3, "Sound: %s", longName.c_str());
    host.log(1, "Pawn::comingUp,pawn=%i,starty=%i\n", 2, 480);
    host.log(0, "Sound: no break");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[1] Pawn::comingUp,pawn=2,starty=480\n[0] Sound: no break\n");
    ASSERT_EQ(host.logLines().size(), 3u);
    EXPECT_EQ(host.logLines()[0].level, 3);
    EXPECT_EQ(host.logLines()[0].text, "Sound: " + longName);
    EXPECT_EQ(host.countLog("Pawn::comingUp,pawn=2,starty=480\n"), 1);
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
    EXPECT_EQ(order, "ab");
    host.pumpEvents();
    EXPECT_EQ(order, "abc");

    // A blocking read pumps from inside an event and waits for a completion queued behind it.
    order.clear();
    host.post([&] {
        order += 'r';
        host.post([&] { order += 'x'; });
        host.pumpEvents();
        order += ')';
    });
    host.post([&] { order += 'c'; });
    host.pumpEvents();
    EXPECT_EQ(order, "rcx)");
    EXPECT_EQ(host.pendingEvents(), 0u);
}

TEST(HostEngine, TheManualClockWrapsAndTheRealOneStartsNearZero) {
    HostEngine host;
    host.setTime(0xFFFFFFF0u);
    host.advance(0x20);
    EXPECT_EQ(host.currentTime(), 0x10u);
    host.useRealClock(true);
    const std::uint32_t first = host.currentTime();
    EXPECT_LT(first, 60000u);
    EXPECT_GE(host.currentTime(), first);
    host.useRealClock(false);
    EXPECT_EQ(host.currentTime(), 0x10u);
}
