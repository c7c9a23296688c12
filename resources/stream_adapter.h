// The module's stream over a host stream: a blocking read through the host's "IRead", or, for streams
// that only read asynchronously, a blocking read emulated by pumping host events until the completion.
#pragma once

#include "core/abi.h"

class StreamAdapter : public StreamAdapterParts {
public:
    explicit StreamAdapter(InterfaceTable* streamHandle);
    ~StreamAdapter();  // tears the table down; closing the host stream is the archive's (closeStream)
    StreamAdapter(const StreamAdapter&) = delete;
    StreamAdapter& operator=(const StreamAdapter&) = delete;

    InterfaceTable* handle() { return &interfaces; }
    std::int32_t read(void* buffer, std::int32_t size);  // the IRead operation

    // IListener (+ the two operations of the adapter's own), IStream
    std::int32_t receive(Message* message) override;
    std::int32_t unusedQuery() override { return 0; }
    std::int32_t isAsynchronous() override { return hostAsyncRead != nullptr; }
    std::int32_t size() override;

    InterfaceTable* wrapped = nullptr;
    IStream* hostStream = nullptr;
    std::int32_t waiting = 0;
    std::int32_t result = 0;

private:
    struct ReadPart : IRead {
        std::int32_t read(void* buffer, std::int32_t size) override;
    } readPart_;  // the IRead part, placed after the fields above

public:
    IRead* hostRead = nullptr;
    IASyncRead* hostAsyncRead = nullptr;
    ISeekable* hostSeekable = nullptr;
};
