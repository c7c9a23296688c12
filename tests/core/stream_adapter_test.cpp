// The stream adapter over host streams: direct reads, the emulated blocking read driven by the host's
// pumpEvents, and the interfaces it passes through.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/allocator.h"
#include "host/core/archive_stream.h"
#include "host/core/debugger.h"
#include "host/core/host_engine.h"
#include "resources/stream_adapter.h"
#include "tests/support/counted_message.h"

using namespace hostengine;

namespace {

int deletedMessages = 0;

// A read completion: its value in word 4; every deletion counted.
Message* completion(std::uint32_t code, std::int32_t value) { return new CountedMessage(code, 0, value, &deletedMessages); }

// A host stream whose asynchronous reads are answered by a script: each started read posts the given
// steps, each as its own event, so each arrives on a later pass of pumpEvents.
class ScriptedStream : public HostObject, public IStream, public IRead, public IASyncRead, public ISeekable {
public:
    ScriptedStream(HostEngine& engine, std::vector<const char*> offer) : HostObject(nullptr), engine_(engine) {
        for (const char* name : offer) {
            const std::string n = name;
            interfaces.add(name, n == "IStream" ? entryValueOf<IStream>(this) : n == "IRead" ? entryValueOf<IRead>(this)
                                 : n == "ISeekable" ? entryValueOf<ISeekable>(this) : entryValueOf<IASyncRead>(this));
        }
    }
    std::int32_t size() override { return 1234; }
    std::int32_t read(void*, std::int32_t size) override { return ++directReads, size / 2; }
    std::int32_t seek(std::int32_t offset, std::int32_t) override { return offset; }
    std::int32_t tell() override { return 0; }
    std::int32_t read(void*, std::int32_t size, IListener* listener) override {
        ++asyncReads;
        lastSize = size;
        for (auto& step : script) engine_.post([step, listener] { step(listener); });
        script.clear();
        return 1;
    }
    void thenSend(std::uint32_t code, std::int32_t value) {
        script.push_back([code, value](IListener* listener) { listener->receive(completion(code, value)); });
    }

    int directReads = 0, asyncReads = 0;
    std::int32_t lastSize = 0;
    std::vector<std::function<void(IListener*)>> script;

private:
    HostEngine& engine_;
};

using AdapterPtr = std::unique_ptr<StreamAdapter, void (*)(StreamAdapter*)>;
AdapterPtr adapt(InterfaceTable* handle) { return {create<StreamAdapter>(handle), [](StreamAdapter* a) { destroy(a); }}; }

class Adapter : public ::testing::Test {
protected:
    void SetUp() override {
        deletedMessages = 0;
        clearDebuggerLines();
    }
    HostEngine engine;
    char buffer[40] = {};
};

TEST_F(Adapter, PassesDirectReadsAndSeeksToTheHostStreamSilently) {
    ScriptedStream host(engine, {"IStream", "IRead", "IASyncRead", "ISeekable"}), plain(engine, {"IStream", "IASyncRead"}), mute(engine, {});
    auto adapter = adapt(host.handle());
    IRead* read = adapter->handle()->find<IRead>("iread");  // as a host reads it
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->read(buffer, 10), 5);
    EXPECT_EQ(std::pair(host.directReads, host.asyncReads), std::pair(1, 0));
    EXPECT_EQ(adapter->interfaces.lookup("ISeekable"), host.interfaces.lookup("ISeekable"));
    EXPECT_EQ(adapt(plain.handle())->interfaces.lookup("ISeekable"), 0u);
    // A host stream that cannot read, or none, gives nothing.
    for (InterfaceTable* handle : {mute.handle(), static_cast<InterfaceTable*>(nullptr)}) {
        auto nothing = adapt(handle);
        EXPECT_EQ(std::vector<std::int32_t>({nothing->read(buffer, 8), nothing->size(), nothing->isAsynchronous()}), (std::vector<std::int32_t>{0, -1, 0}));
    }
    EXPECT_TRUE(engine.logLines().empty());
    ArchiveStream direct(engine, memorySource(std::make_shared<const std::string>("0123456789")), StreamMode::Direct);
    auto overHost = adapt(direct.handle());
    ISeekable* seek = overHost->handle()->find<ISeekable>("ISeekable");
    ASSERT_NE(seek, nullptr);
    EXPECT_EQ(seek->seek(-4, 2), 6);
    EXPECT_EQ(overHost->read(buffer, 8), 4);
    EXPECT_STREQ(buffer, "6789");
}

TEST_F(Adapter, EmulatedReadEndsWithTheCompletionsValue) {
    const struct {
        std::uint32_t code;
        std::int32_t value, result;
        bool outOfData;
    } cases[] = {{0x00020001, 77, 1, false}, {0x00020002, 77, 1, false}, {0x00020004, 10, 10, false},
                 {0x00020005, 0, 0, true},   {0x00020005, 3, 3, true},   {0x00020006, -2, -2, false}};
    for (const auto& c : cases) {
        engine.clearLog();
        clearDebuggerLines();
        deletedMessages = 0;
        ScriptedStream host(engine, {"IStream", "IASyncRead"});
        auto adapter = adapt(host.handle());
        host.thenSend(c.code, c.value);
        EXPECT_EQ(adapter->read(buffer, 16), c.result) << std::hex << c.code;
        EXPECT_EQ(std::vector<std::int32_t>({host.lastSize, adapter->waiting, deletedMessages}), (std::vector<std::int32_t>{16, 0, 1}));
        ASSERT_EQ(engine.logLines().size(), 1u);
        EXPECT_EQ(engine.logLines()[0].text, "emulating blocking read\n");
        EXPECT_EQ(debuggerLines(), c.outOfData ? std::vector<std::string>{"revc outofdata"} : std::vector<std::string>{}) << std::hex << c.code;
    }
}

TEST_F(Adapter, ProgressAndForeignMessagesDoNotEndTheWaitButAreDeleted) {
    ScriptedStream host(engine, {"IStream", "IASyncRead"});
    auto adapter = adapt(host.handle());
    for (std::uint32_t code : {0x00020003u, 0x00050001u, 0x000B0004u, 0x00020007u, 0x00020000u}) host.thenSend(code, 99);
    host.thenSend(0x00020006, 5);
    EXPECT_EQ(adapter->read(buffer, 8), 5);
    EXPECT_EQ(deletedMessages, 6);
    EXPECT_EQ(engine.pendingEvents(), 0u);
    // Messages while idle: only a completion touches the result, and a null one is survived.
    adapter->result = 41;
    std::vector<std::int32_t> results;
    for (Message* message : {completion(0x00020003, 7), completion(0x00020004, 7), static_cast<Message*>(nullptr)})
        results.insert(results.end(), {adapter->receive(message), adapter->result});
    EXPECT_EQ(results, (std::vector<std::int32_t>{1, 41, 1, 7, 1, 7}));
    EXPECT_EQ(deletedMessages, 8);
}

TEST_F(Adapter, ASecondReadFromInsidePumpEventsIsRefused) {
    ScriptedStream host(engine, {"IStream", "IASyncRead"});
    auto adapter = adapt(host.handle());
    std::int32_t nested = -1;
    host.script.push_back([&](IListener*) { nested = adapter->read(buffer, 4); });
    host.thenSend(0x00020004, 3);
    EXPECT_EQ(adapter->read(buffer, 8), 3);
    EXPECT_EQ(std::pair(nested, host.asyncReads), std::pair(0, 1));
    EXPECT_EQ(engine.countLog("blocking read emulation already in progress\n"), 1);
}

TEST_F(Adapter, AClosedHostStreamDropsItsPendingCompletion) {
    auto async = std::make_unique<ArchiveStream>(engine, memorySource(std::make_shared<const std::string>("abc")), StreamMode::Asynchronous);
    struct Listener : IListener {
        int received = 0;
        std::int32_t receive(Message* message) override { return ++received, deleteMessage(message), 1; }
    } listener;
    async->handle()->find<IASyncRead>("IASyncRead")->read(buffer, 3, &listener);
    EXPECT_EQ(listener.received, 0);  // never inside the call that starts the read
    async.reset();
    engine.drainEvents();
    EXPECT_EQ(listener.received, 0);
}

}  // namespace
