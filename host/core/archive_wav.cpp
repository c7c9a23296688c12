#include "host/core/archive_wav.h"

#include <cerrno>
#include <cstring>

namespace hostengine {
namespace {

std::uint32_t littleEndian(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

}  // namespace

bool WavArchive::isWave(const std::string& bytes) {
    return bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "WAVE") == 0;
}

WavArchive::WavArchive(ArchiveContext& context, std::shared_ptr<const std::string> bytes, const std::string& locator)
    : Archive(context) {
    Item& item = addItem("sound", "sound/wav", false, locator);
    // Chunks follow the 12-byte RIFF header, each an id, a 32-bit size and the data padded to even.
    std::size_t at = 12;
    while (at + 8 <= bytes->size()) {
        std::uint32_t chunkSize = littleEndian(*bytes, at + 4, 4);
        if (bytes->compare(at, 4, "fmt ") == 0) {
            if (chunkSize >= 16 && at + 8 + 16 <= bytes->size()) {
                std::uint32_t channels = littleEndian(*bytes, at + 10, 2);
                std::uint32_t bitsPerSample = littleEndian(*bytes, at + 22, 2);
                item.info.words[2] = littleEndian(*bytes, at + 12, 4);
                item.info.words[3] = channels | (bitsPerSample << 16);
            }
            break;
        }
        std::uint64_t next = static_cast<std::uint64_t>(at) + 8 + chunkSize + (chunkSize & 1);
        if (next > bytes->size()) break;
        at = static_cast<std::size_t>(next);
    }
    setBytes(item, std::move(bytes));
}

std::unique_ptr<Archive> WavArchiveFactory::make(ResourceEntry* entry, ResourceInfo*, InterfaceTable* stream) {
    auto bytes = std::make_shared<std::string>();
    errno = 0;
    bool read = stream ? readWholeStream(stream, *bytes) : readWholeFile(filePathOfLocator(entry->locator), *bytes);
    const int why = errno;
    // The module's own line names only the kind: this one names the file and what is wrong with it.
    std::string file = filePathOfLocator(entry->locator);
    if (file.empty()) file = entry->name ? entry->name : "?";
    const char* name = file.c_str();
    if (!read) {
        context_.engine.log(3, "WavArchiveFactory: cannot read '%s' (%s)\n", name,
                            why ? std::strerror(why) : "unreadable, or larger than 64 MB");
        return nullptr;
    }
    if (!WavArchive::isWave(*bytes)) {
        context_.engine.log(3, "WavArchiveFactory: '%s' is not a RIFF WAVE file\n", name);
        return nullptr;
    }
    return std::make_unique<WavArchive>(context_, std::move(bytes), entry->locator ? entry->locator : "");
}

}  // namespace hostengine
