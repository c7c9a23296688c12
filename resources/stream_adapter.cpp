#include "resources/stream_adapter.h"

#include <cstddef>

#include "module/platform.h"
#include "module/services.h"

StreamAdapter::StreamAdapter(InterfaceTable* streamHandle) {
    interfaces.add("IListener", entryValueOf<IListener>(static_cast<IStreamListener*>(this)));
    interfaces.add("IStream", entryValueOf<IStream>(static_cast<IStream*>(this)));
    interfaces.add("IRead", entryValueOf<IRead>(&readPart_));

    wrapped = streamHandle;
    if (!streamHandle) return;
    hostStream = streamHandle->find<IStream>("IStream");
    hostRead = streamHandle->find<IRead>("IRead");
    hostAsyncRead = streamHandle->find<IASyncRead>("IASyncRead");
    EntryValue seekable = streamHandle->lookup("ISeekable");
    hostSeekable = interfaceFrom<ISeekable>(seekable);
    // Seeking goes straight to the host stream: the adapter hands out the host's own entry.
    if (seekable) interfaces.add("ISeekable", seekable);
}

StreamAdapter::~StreamAdapter() { interfaces.teardown(); }

std::int32_t StreamAdapter::read(void* buffer, std::int32_t size) {
    if (hostRead) return hostRead->read(buffer, size);
    if (!hostAsyncRead) return 0;
    if (waiting) {
        logLine(1, "blocking read emulation already in progress\n");
        return 0;
    }
    // Without a host nothing could ever deliver the completion, and the wait would never end.
    Host* host = services().host;
    if (!host) return 0;
    logLine(1, "emulating blocking read\n");
    hostAsyncRead->read(buffer, size, static_cast<IStreamListener*>(this));
    // Set only now: the host delivers the completion from pumpEvents, never inside the call above.
    waiting = 1;
    while (waiting) host->pumpEvents();
    return result;
}

std::int32_t StreamAdapter::receive(Message* message) {
    if (!message) return 1;
    switch (message->code) {
        case 0x00020001:
        case 0x00020002:
            result = 1;
            waiting = 0;
            break;
        case 0x00020004:
        case 0x00020006:
            result = message->value();
            waiting = 0;
            break;
        case 0x00020005:
            debuggerLine("revc outofdata");
            result = message->value();
            waiting = 0;
            break;
        default:  // 0x00020003 and every other code leave the wait as it is
            break;
    }
    deleteMessage(message);
    return 1;
}

std::int32_t StreamAdapter::size() { return hostStream ? hostStream->size() : -1; }

// The IRead part sits among the adapter's fields, so its operation finds the adapter by the part's
// fixed offset. The adapter is not standard-layout, but a class without virtual bases has its members
// at fixed offsets under every compiler the module is built with.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
std::int32_t StreamAdapter::ReadPart::read(void* buffer, std::int32_t size) {
    auto* adapter = reinterpret_cast<StreamAdapter*>(reinterpret_cast<char*>(this) - offsetof(StreamAdapter, readPart_));
    return adapter->read(buffer, size);
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
