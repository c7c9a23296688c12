#include "host/core/archive_stream.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace hostengine {
namespace {

class FileSource : public ByteSource {
public:
    FileSource(std::FILE* file, std::int64_t bytes) : file_(file), size_(bytes) {}
    ~FileSource() override { std::fclose(file_); }
    std::int64_t size() const override { return size_; }
    std::size_t readAt(std::int64_t offset, void* buffer, std::size_t count) override {
        if (offset < 0 || offset >= size_ || count == 0) return 0;
        if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
        return std::fread(buffer, 1, count, file_);
    }

private:
    std::FILE* file_;
    std::int64_t size_;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes_->size()); }
    std::size_t readAt(std::int64_t offset, void* buffer, std::size_t count) override {
        if (offset < 0 || static_cast<std::uint64_t>(offset) >= bytes_->size()) return 0;
        std::size_t available = bytes_->size() - static_cast<std::size_t>(offset);
        std::size_t copied = count < available ? count : available;
        std::memcpy(buffer, bytes_->data() + offset, copied);
        return copied;
    }

private:
    std::shared_ptr<const std::string> bytes_;
};

}  // namespace

std::shared_ptr<ByteSource> fileSource(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    std::int64_t bytes = -1;
    if (fseeko(file, 0, SEEK_END) == 0) bytes = static_cast<std::int64_t>(ftello(file));
    if (bytes < 0) {
        std::fclose(file);
        return nullptr;
    }
    return std::make_shared<FileSource>(file, bytes);
}

std::shared_ptr<ByteSource> memorySource(std::shared_ptr<const std::string> bytes) {
    if (!bytes) bytes = std::make_shared<const std::string>();
    return std::make_shared<MemorySource>(std::move(bytes));
}

StreamCompletion::StreamCompletion(std::uint32_t messageCode, std::int32_t value) {
    code = messageCode;
    word4 = value;
}

void* StreamCompletion::deletingDestructor(unsigned) { delete this; return this; }

ArchiveStream::ArchiveStream(HostEngine& engine, std::shared_ptr<ByteSource> source, StreamMode mode)
    : HostObject(nullptr), engine_(engine), state_(std::make_shared<State>()) {
    state_->source = std::move(source);
    interfaces.add("IStream", entryValueOf<IStream>(this));
    if (mode == StreamMode::Direct) {
        interfaces.add("IRead", entryValueOf<IRead>(this));
        interfaces.add("ISeekable", entryValueOf<ISeekable>(this));
    } else {
        interfaces.add("IASyncRead", entryValueOf<IASyncRead>(this));
    }
}

ArchiveStream::~ArchiveStream() = default;

std::int32_t ArchiveStream::State::readNow(void* buffer, std::int32_t size) {
    if (!source || !buffer || size <= 0) return 0;
    std::size_t copied = source->readAt(position, buffer, static_cast<std::size_t>(size));
    position += static_cast<std::int64_t>(copied);
    return static_cast<std::int32_t>(copied);
}

std::int32_t ArchiveStream::size() {
    std::int64_t bytes = state_->source ? state_->source->size() : 0;
    return bytes > std::numeric_limits<std::int32_t>::max() ? -1 : static_cast<std::int32_t>(bytes);
}

std::int32_t ArchiveStream::read(void* buffer, std::int32_t size) { return state_->readNow(buffer, size); }

std::int32_t ArchiveStream::seek(std::int32_t offset, std::int32_t origin) {
    std::int64_t base = 0;
    if (origin == 1)
        base = state_->position;
    else if (origin == 2)
        base = state_->source ? state_->source->size() : 0;
    else if (origin != 0)
        return -1;
    std::int64_t target = base + offset;
    if (target < 0 || target > std::numeric_limits<std::int32_t>::max()) return -1;
    state_->position = target;
    return static_cast<std::int32_t>(target);
}

std::int32_t ArchiveStream::tell() {
    std::int64_t position = state_->position;
    return position > std::numeric_limits<std::int32_t>::max() ? -1 : static_cast<std::int32_t>(position);
}

std::int32_t ArchiveStream::read(void* buffer, std::int32_t size, IListener* listener) {
    if (!listener) return 0;
    // The read happens when the event runs, never inside this call: the caller starts waiting only
    // after it returns.
    std::weak_ptr<State> weak = state_;
    engine_.post([weak, buffer, size, listener] {
        std::shared_ptr<State> state = weak.lock();
        if (!state) return;  // the stream was closed, and its reader with it
        bool atEnd = size > 0 && (!state->source || state->position >= state->source->size());
        std::int32_t count = state->readNow(buffer, size);
        listener->receive(new StreamCompletion(atEnd ? 0x00020005u : 0x00020004u, count));
    });
    return 1;
}

}  // namespace hostengine
