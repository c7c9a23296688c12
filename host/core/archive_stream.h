// The host streams that the reference archives open on their entries: over a file or over bytes in
// memory. A direct stream offers "IStream", "IRead" and "ISeekable"; an asynchronous one offers
// "IStream" and "IASyncRead" only, and delivers each read's completion later, from pumpEvents, as a
// message of family 0x0002 (0x00020004 with the byte count; 0x00020005 with 0 when a read starts at
// the end of the data).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/abi.h"
#include "host/core/host_engine.h"

namespace hostengine {

enum class StreamMode { Direct, Asynchronous };

// Where a stream's bytes come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t size() const = 0;
    // Bytes copied from `offset` on, at most `count`; 0 at or past the end.
    virtual std::size_t readAt(std::int64_t offset, void* buffer, std::size_t count) = 0;
};

std::shared_ptr<ByteSource> fileSource(const std::string& path);  // null when the file cannot be opened
std::shared_ptr<ByteSource> memorySource(std::shared_ptr<const std::string> bytes);

// A completion the host sends to a stream's listener; the receiver deletes it through slot 0.
class StreamCompletion final : public Message {
public:
    StreamCompletion(std::uint32_t messageCode, std::int32_t value);
    void* deletingDestructor(unsigned flags) override;
};

class ArchiveStream : public HostObject, public IStream, public IRead, public ISeekable, public IASyncRead {
public:
    ArchiveStream(HostEngine& engine, std::shared_ptr<ByteSource> source, StreamMode mode);
    ~ArchiveStream() override;  // completions still queued for it are dropped

    std::int32_t size() override;  // -1 when the data does not fit 31 bits
    std::int32_t read(void* buffer, std::int32_t size) override;
    std::int32_t seek(std::int32_t offset, std::int32_t origin) override;  // the new position, -1 when refused
    std::int32_t tell() override;
    std::int32_t read(void* buffer, std::int32_t size, IListener* listener) override;

private:
    struct State {
        std::shared_ptr<ByteSource> source;
        std::int64_t position = 0;
        std::int32_t readNow(void* buffer, std::int32_t size);
    };
    HostEngine& engine_;
    std::shared_ptr<State> state_;  // queued completions hold it weakly
};

}  // namespace hostengine
