#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/allocator.h"
#include "host/core/debugger.h"
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
    EXPECT_STREQ(registry.head->interfaceName, "IKTPlayerFactory");
    EXPECT_EQ(registry.head->table, handle);
    EXPECT_EQ(registry.head->value, handle->lookup("IKTPlayerFactory"));
    EXPECT_EQ(registry.cursor, registry.head);
    EXPECT_EQ(host.findInterface("PAWN", "iktplayerfactory"), registry.head->value);

    // The table directly follows the interface part, whose first word is its table of operations:
    // on 32-bit builds the handle is the entry value itself, on 64-bit builds 4 bytes past it.
    const EntryValue value = registry.head->value;
    const EntryValue expected = sizeof(void*) == 4 ? value : value + 4;
    EXPECT_EQ(reinterpret_cast<EntryValue>(handle), expected);
}

TEST_F(PluginFrame, TheHandleFindsTheFactoryInAnyLetterCase) {
    InterfaceTable* handle = loader.init(&host);
    ASSERT_NE(handle, nullptr);
    const EntryValue value = handle->lookup("IKTPlayerFactory");
    ASSERT_NE(value, 0u);
    for (const char* name : {"iktplayerfactory", "IKTPLAYERFACTORY", "iKtPlAyErFaCtOrY"}) EXPECT_EQ(handle->lookup(name), value) << name;
    EXPECT_EQ(handle->lookup("IKTPlayer"), 0u);
    EXPECT_EQ(loader.factory(), interfaceFrom<IKTPlayerFactory>(value));
}

TEST_F(PluginFrame, TheFactoryAnnouncesEachPawnWithThePlayersNumber) {
    ASSERT_NE(loader.init(&host), nullptr);
    IKTPlayerFactory* factory = loader.factory();
    ASSERT_NE(factory, nullptr);
    host.clearLog();
    InterfaceTable* pawn = factory->createPlayer(nullptr, "pawn1", 7);
    if (pawn) factory->destroyPlayer(pawn);
    ASSERT_GE(host.logLines().size(), 1u);
    EXPECT_EQ(host.logLines()[0].level, 1);
    EXPECT_EQ(host.logLines()[0].text, "KTPlayerFactory::Loading pawn 7...\n");
    factory->destroyPlayer(nullptr);
}

TEST_F(PluginFrame, InitCopiesTheFourStringsAndNullsStayNull) {
    std::optional<std::string> first("first argument"), third("third");
    const char* args[4] = {first->c_str(), nullptr, third->c_str(), nullptr};
    ASSERT_NE(loader.init(&host, args), nullptr);
    first.reset();  // the host may let its own strings go once init returns
    third->assign("overwritten");

    const KTPlayerFactory& object = objectOf(loader);
    ASSERT_NE(object.args, nullptr);
    EXPECT_STREQ(object.args->strings[0], "first argument");
    EXPECT_EQ(object.args->strings[1], nullptr);
    EXPECT_STREQ(object.args->strings[2], "third");
    EXPECT_EQ(object.args->strings[3], nullptr);
    EXPECT_EQ(object.buzzCounter, -1);
}

TEST_F(PluginFrame, InitWithoutArgumentsKeepsFourNulls) {
    ASSERT_NE(loader.init(&host, nullptr), nullptr);
    const KTPlayerFactory& object = objectOf(loader);
    ASSERT_NE(object.args, nullptr);
    for (const char* copy : object.args->strings) EXPECT_EQ(copy, nullptr);
}

TEST_F(PluginFrame, ReleaseLeavesNoNodeBehindAndASecondReleaseDoesNothing) {
    HostObject producer("producer");
    producer.interfaces.add("IKTProducer", 0x10);
    InterfaceTable* handle = loader.init(&host);
    ASSERT_NE(handle, nullptr);
    ObjectRegistry& registry = *host.objectRegistry();
    EXPECT_EQ(nodesOfTable(registry, handle), 1);

    loader.release();
    EXPECT_EQ(nodesOfTable(registry, handle), 0);
    ASSERT_NE(registry.head, nullptr);
    EXPECT_EQ(registry.head->table, producer.handle());
    EXPECT_EQ(registry.cursor, registry.head);

    registry.cursor = nullptr;  // a teardown would set it back to the head
    loader.callRelease();
    EXPECT_EQ(registry.head->table, producer.handle());
    EXPECT_EQ(registry.head->next, nullptr);
    EXPECT_EQ(registry.cursor, nullptr);
}

TEST_F(PluginFrame, DependenciesAreNullWhetherOrNotInitRan) {
    EXPECT_EQ(loader.dependencies(), nullptr);
    ASSERT_NE(loader.init(&host), nullptr);
    EXPECT_EQ(loader.dependencies(), nullptr);
    loader.release();
    EXPECT_EQ(loader.dependencies(), nullptr);
}

TEST_F(PluginFrame, ARepeatedInitKeepsOneObjectWithTheNewArguments) {
    const char* firstArgs[4] = {"one", nullptr, nullptr, nullptr};
    const char* secondArgs[4] = {nullptr, "two", nullptr, nullptr};
    InterfaceTable* handle = loader.init(&host, firstArgs);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(loader.init(&host, secondArgs), handle);
    EXPECT_EQ(nodesOfTable(*host.objectRegistry(), handle), 1);
    EXPECT_EQ(objectOf(loader).args->strings[0], nullptr);
    EXPECT_STREQ(objectOf(loader).args->strings[1], "two");
}

TEST_F(PluginFrame, InitWithoutAHostYieldsNoHandle) {
    EXPECT_EQ(loader.init(nullptr), nullptr);
    EXPECT_EQ(loader.factory(), nullptr);
}

TEST(PluginLoader, LoadInitReleaseAndUnloadRepeatInOneProcess) {
    for (int round = 0; round < 4; ++round) {
        HostEngine host;
        PluginLoader loader;
        ASSERT_TRUE(loader.open()) << loader.error();
        InterfaceTable* handle = loader.init(&host);
        ASSERT_NE(handle, nullptr) << "round " << round;
        EXPECT_EQ(host.objectRegistry()->head->table, handle);
        loader.release();
        loader.close();
        EXPECT_EQ(host.objectRegistry()->head, nullptr);
    }
}

TEST(PluginLoader, AMissingLibraryIsReportedByName) {
    PluginLoader loader;
    EXPECT_FALSE(loader.open("/nonexistent/pawn.kvx"));
    EXPECT_NE(loader.error().find("/nonexistent/pawn.kvx"), std::string::npos);
    EXPECT_EQ(loader.init(nullptr), nullptr);
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
    EXPECT_EQ(host.objectRegistry()->head, nullptr);
}

// ---------------------------------------------------------------------------------------------------
// The host's own services

TEST(HostEngine, LogKeepsEveryLineWhole) {
    HostEngine host;
    const std::string longName(3000, 'x');
    host.log(3, "Sound: %s", longName.c_str());
    host.log(1, "Pawn::comingUp,pawn=%i,starty=%i\n", 2, 480);
    ASSERT_EQ(host.logLines().size(), 2u);
    EXPECT_EQ(host.logLines()[0].level, 3);
    EXPECT_EQ(host.logLines()[0].text, "Sound: " + longName);
    EXPECT_EQ(host.logLines()[1].text, "Pawn::comingUp,pawn=2,starty=480\n");
    EXPECT_EQ(host.countLog("Pawn::comingUp,pawn=2,starty=480\n"), 1);
    EXPECT_EQ(host.countLogContaining("starty="), 1);
}

TEST(HostEngine, LinesAtOrBelowTheEchoLevelGoToStderr) {
    HostEngine host;
    host.setEchoLevel(1);
    testing::internal::CaptureStderr();
    host.log(1, "shown %d\n", 1);
    host.log(3, "kept quiet");
    host.log(0, "Sound: no break");
    const std::string echoed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(echoed, "[1] shown 1\n[0] Sound: no break\n");
    EXPECT_EQ(host.logLines().size(), 3u);
}

TEST(HostEngine, AnEventPostedDuringAPassWaitsForTheNextOne) {
    HostEngine host;
    std::string order;
    host.post([&] {
        order += 'a';
        host.post([&] { order += 'c'; });
    });
    host.post([&] { order += 'b'; });
    host.pumpEvents();
    EXPECT_EQ(order, "ab");
    EXPECT_EQ(host.pendingEvents(), 1u);
    host.pumpEvents();
    EXPECT_EQ(order, "abc");
    host.pumpEvents();
    EXPECT_EQ(order, "abc");
}

TEST(HostEngine, ANestedPassDeliversWhatTheOuterPassHadQueued) {
    // A blocking read pumps from inside an event and waits for a completion queued behind it.
    HostEngine host;
    std::string order;
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

TEST(HostEngine, DrainRunsEventsThatPostEvents) {
    HostEngine host;
    int left = 5;
    std::function<void()> chain = [&] {
        if (--left > 0) host.post(chain);
    };
    host.post(chain);
    host.drainEvents();
    EXPECT_EQ(left, 0);
    EXPECT_EQ(host.pendingEvents(), 0u);
}

TEST(HostEngine, TheManualClockWrapsAndTheRealOneStartsNearZero) {
    HostEngine host;
    EXPECT_EQ(host.currentTime(), 0u);
    host.setTime(0xFFFFFFF0u);
    host.advance(0x20);
    EXPECT_EQ(host.currentTime(), 0x10u);
    EXPECT_EQ(static_cast<std::int32_t>(host.currentTime() - 0xFFFFFFF0u), 0x20);

    host.useRealClock(true);
    const std::uint32_t first = host.currentTime();
    EXPECT_LT(first, 60000u);
    EXPECT_GE(host.currentTime(), first);
    host.useRealClock(false);
    EXPECT_EQ(host.currentTime(), 0x10u);
}

TEST(HostEngine, TheModuleClassesFollowTheNewestEngine) {
    HostEngine outer;
    EXPECT_EQ(services().host, &outer);
    EXPECT_EQ(services().objectRegistry, outer.objectRegistry());
    EXPECT_NE(outer.spareServiceA(), outer.spareServiceB());
    EXPECT_EQ(services().spareServiceA, outer.spareServiceA());
    {
        HostEngine inner;
        EXPECT_EQ(services().host, &inner);
        EXPECT_EQ(services().typeRegistry, inner.typeRegistry());
    }
    EXPECT_EQ(services().host, &outer);
    EXPECT_EQ(services().objectRegistry, outer.objectRegistry());
}

TEST(HostEngine, DebuggerLinesOfTheModuleReachTheHost) {
    hostengine::clearDebuggerLines();
    debuggerLine("revc outofdata");
    ASSERT_EQ(hostengine::debuggerLines().size(), 1u);
    EXPECT_EQ(hostengine::debuggerLines()[0], "revc outofdata");
    hostengine::clearDebuggerLines();
}
