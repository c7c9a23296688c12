// The stream adapter's emulated blocking read: host streams offering "IASyncRead" (some also "IRead",
// "IStream", "ISeekable") whose completions come from the host's event passes as the input scripts
// them: any code of any family with any value, several per pass or none, and callbacks into the
// module while it waits (a second read on the waiting adapter, a read on another adapter that waits
// in turn, messages handed to the listener directly). The script always ends with a completion, so
// every read returns.
//
// Run: build/fuzz/fuzz/stream_adapter_fuzzer fuzz/corpus/stream_adapter -max_total_time=600
#include "fuzz/fuzz_host.h"
#include "resources/stream_adapter.h"

using namespace fuzzhost;

namespace {

// A read completion: its value in word 4, and in word 3 too, where a careless adapter might look.
Message* completion(std::uint32_t code, std::int32_t value) { return new CountedMessage(code, value, value); }

struct Script {
    FuzzInput& in;
    std::vector<StreamAdapter*> adapters;
    int depth = 0;

    // One event pass's worth of the host's doing for a read that waits on `listener`.
    void deliver(IListener* listener, void* buffer, std::int32_t wanted) {
        if (in.empty()) {
            listener->receive(completion(0x00020004, 0));
            return;
        }
        bool ended = false;
        const std::uint32_t steps = in.below(4);
        for (std::uint32_t i = 0; i < steps && !ended; ++i) {
            switch (in.below(6)) {
                case 0: case 1: {
                    // A message of the stream family (kinds 0 to 7) or another family.
                    const std::uint32_t code = in.flag() ? (0x00020000u | in.below(8)) : in.u32();
                    ended = (code >= 0x00020001u && code <= 0x00020006u && code != 0x00020003u);
                    listener->receive(completion(code, in.value()));
                    break;
                }
                case 2:
                    // The data itself, as far as the caller's buffer goes.
                    if (buffer && wanted > 0) {
                        const std::uint8_t value = in.byte();  // read before the index, as the assignment orders them
                        static_cast<std::uint8_t*>(buffer)[in.below(static_cast<std::uint32_t>(wanted))] = value;
                    }
                    break;
                case 3: case 4:
                    // A callback into the module: a read on one of the adapters, the waiting one included.
                    if (!adapters.empty() && depth < 4) {
                        ++depth;
                        char inner[8];
                        adapters[in.below(static_cast<std::uint32_t>(adapters.size()))]->read(inner, in.range(0, 8));
                        --depth;
                    }
                    break;
                default:
                    break;  // nothing this pass
            }
        }
        if (!ended) repost(listener, buffer, wanted);
    }

    void repost(IListener* listener, void* buffer, std::int32_t wanted) {
        host().post([this, listener, buffer, wanted] { deliver(listener, buffer, wanted); });
    }
};

// A host stream whose asynchronous reads complete as the script says.
class ScriptedStream : public IStream, public IRead, public IASyncRead, public ISeekable {
public:
    ScriptedStream(Script& playing, std::uint8_t parts) : script(playing) {
        if (parts & 1) table.add("IStream", entryValueOf<IStream>(this));
        if (parts & 2) table.add("IRead", entryValueOf<IRead>(this));
        if (parts & 4) table.add("IASyncRead", entryValueOf<IASyncRead>(this));
        if (parts & 8) table.add("ISeekable", entryValueOf<ISeekable>(static_cast<ISeekable*>(this)));
    }
    ~ScriptedStream() { table.teardown(); }
    std::int32_t size() override { return 16; }
    std::int32_t read(void*, std::int32_t wanted) override { return wanted; }
    std::int32_t read(void* buffer, std::int32_t wanted, IListener* listener) override {
        if (listener) script.repost(listener, buffer, wanted);
        return 1;
    }
    std::int32_t seek(std::int32_t, std::int32_t) override { return 0; }
    std::int32_t tell() override { return 0; }

    InterfaceTable table;
    Script& script;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runInput(data, size, [](FuzzInput& in) {
        Script script{in, {}, 0};
        std::vector<std::unique_ptr<ScriptedStream>> streams;
        const std::uint32_t count = 1 + in.below(3);
        for (std::uint32_t i = 0; i < count; ++i) {
            // Mostly asynchronous only; now and then with a direct read or with nothing to read by.
            const std::uint8_t parts = static_cast<std::uint8_t>(in.below(4) == 0 ? in.byte() : (4 | (in.byte() & 9)));
            streams.push_back(std::make_unique<ScriptedStream>(script, parts));
            if (StreamAdapter* adapter = create<StreamAdapter>(&streams.back()->table)) script.adapters.push_back(adapter);
        }
        for (int step = 0; step < 16 && !in.empty() && !script.adapters.empty(); ++step) {
            StreamAdapter* adapter = script.adapters[in.below(static_cast<std::uint32_t>(script.adapters.size()))];
            char buffer[16] = {};
            switch (in.below(4)) {
                case 0:
                    adapter->read(buffer, in.range(-1, 16));
                    break;
                case 1:
                    if (IRead* reader = adapter->interfaces.find<IRead>("IRead")) reader->read(buffer, in.range(0, 16));
                    break;
                case 2: {
                    // A completion that arrives while no read waits still sets the result.
                    const std::uint32_t code = in.flag() ? (0x00020000u | in.below(8)) : in.u32();
                    adapter->receive(completion(code, in.value()));
                    break;
                }
                default:
                    (void)adapter->size();
                    (void)adapter->isAsynchronous();
                    break;
            }
            for (StreamAdapter* each : script.adapters) require(each->waiting == 0, "a read returned while still waiting");
        }
        host().drainEvents(1000);
        for (StreamAdapter* adapter : script.adapters) destroy(adapter);
    });
}
