#include "host/core/archive_base.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>

#include "core/names.h"

namespace hostengine {
namespace {

std::string lowerCase(std::string text) {
    for (char& c : text) c = asciiLower(c);
    return text;
}

std::uint32_t byteCountWord(std::uint64_t bytes) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Context

ArchiveContext::ArchiveContext(HostEngine& engine_) : engine(engine_) {
    mapExtension(".ini", "archive/ini", true);
    mapExtension(".wav", "archive/wav", true);
    mapExtension(".avi", "video/avi", false);
}

void ArchiveContext::mapExtension(const std::string& extension, const std::string& typeName, bool container) {
    extensions_[lowerCase(extension)] = FileType{typeName, container};
}

ArchiveContext::FileType ArchiveContext::typeOfFile(const std::string& fileName) const {
    std::size_t dot = fileName.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        auto known = extensions_.find(lowerCase(fileName.substr(dot)));
        if (known != extensions_.end()) return known->second;
    }
    return FileType{"text", false};
}

// ---------------------------------------------------------------------------------------------------
// Reading whole data

bool readWholeStream(InterfaceTable* stream, std::string& bytes, std::size_t limit) {
    bytes.clear();
    IRead* reader = stream ? stream->find<IRead>("IRead") : nullptr;
    if (!reader) return false;
    constexpr std::int32_t kChunk = 64 * 1024;
    std::string chunk(kChunk, '\0');
    for (;;) {
        std::int32_t count = reader->read(chunk.data(), kChunk);
        if (count <= 0) return true;
        // A stream that claims more than it was asked for is not trusted with the rest either.
        if (count > kChunk) return false;
        if (bytes.size() + static_cast<std::size_t>(count) > limit) return false;
        bytes.append(chunk.data(), static_cast<std::size_t>(count));
    }
}

std::string filePathOfLocator(const char* locator) {
    static const char kScheme[] = "file://";
    if (!locator || std::strncmp(locator, kScheme, sizeof kScheme - 1) != 0) return {};
    return locator + (sizeof kScheme - 1);
}

bool readWholeFile(const std::string& path, std::string& bytes, std::size_t limit) {
    bytes.clear();
    if (path.empty()) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    char chunk[64 * 1024];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        std::size_t count = static_cast<std::size_t>(file.gcount());
        if (bytes.size() + count > limit) return false;
        bytes.append(chunk, count);
    }
    return !file.bad();
}

// ---------------------------------------------------------------------------------------------------
// Archive

Archive::Archive(ArchiveContext& context) : HostObject(nullptr), context_(context) {
    interfaces.add("IArchive", entryValueOf<IArchive>(this));
}

Archive::~Archive() = default;

Archive::Item& Archive::addItem(const std::string& name, const std::string& typeName, bool container,
                                const std::string& locator) {
    auto item = std::make_unique<Item>();
    item->name = name;
    item->locator = locator;
    item->entry.typeId = context_.typeId(typeName);
    item->entry.container = container ? 1 : 0;
    item->entry.locator = item->locator.c_str();
    // The archive's own word is the entry's place in the listing, checked against the record itself
    // before it is trusted.
    item->entry.archiveWord = items_.size();
    item->entry.name = item->name.c_str();
    item->info.words[0] = item->entry.typeId;
    items_.push_back(std::move(item));
    return *items_.back();
}

void Archive::setBytes(Item& item, std::shared_ptr<const std::string> bytes) {
    item.info.words[1] = byteCountWord(bytes ? bytes->size() : 0);
    item.bytes = std::move(bytes);
}

void Archive::setFile(Item& item, const std::string& path, std::uint64_t size) {
    item.info.words[1] = byteCountWord(size);
    item.filePath = path;
}

Archive::Item* Archive::itemOf(const ResourceEntry* entry) const {
    if (!entry) return nullptr;
    std::uintptr_t index = entry->archiveWord;
    if (index >= items_.size() || &items_[index]->entry != entry) return nullptr;
    return items_[index].get();
}

ResourceEntry* Archive::nextEntry(ResourceEntry* previous) {
    std::size_t index = 0;
    if (previous) {
        Item* item = itemOf(previous);
        if (!item) return nullptr;
        index = item->entry.archiveWord + 1;
    }
    return index < items_.size() ? &items_[index]->entry : nullptr;
}

ResourceInfo* Archive::infoOf(ResourceEntry* entry) {
    Item* item = itemOf(entry);
    return item ? &item->info : nullptr;
}

InterfaceTable* Archive::open(ResourceEntry* entry, ResourceInfo*) {
    Item* item = itemOf(entry);
    if (!item) return nullptr;
    try {
        std::shared_ptr<ByteSource> source;
        if (item->bytes)
            source = memorySource(item->bytes);
        else if (!item->filePath.empty())
            source = fileSource(item->filePath);
        if (!source) return nullptr;
        streams_.push_back(std::make_unique<ArchiveStream>(context_.engine, std::move(source), context_.mode));
        ++streamsOpened_;
        return streams_.back()->handle();
    } catch (...) {
        return nullptr;  // nothing may be thrown into the module's frames
    }
}

void Archive::close(InterfaceTable* stream) {
    auto open = std::find_if(streams_.begin(), streams_.end(), [stream](const auto& s) { return s->handle() == stream; });
    if (open != streams_.end()) streams_.erase(open);
}

// ---------------------------------------------------------------------------------------------------
// Factory

ArchiveFactory::ArchiveFactory(const char* kind, ArchiveContext& context) : HostObject(kind), context_(context) {
    interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this));
}

InterfaceTable* ArchiveFactory::create(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) {
    ++creations_;
    if (!entry) return nullptr;
    // Nothing may be thrown into the module's frames: a failure here is a factory that returns null.
    try {
        std::unique_ptr<Archive> archive = make(entry, info, stream);
        return archive ? keep(std::move(archive))->handle() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

Archive* ArchiveFactory::keep(std::unique_ptr<Archive> archive) {
    archives_.push_back(std::move(archive));
    return archives_.back().get();
}

}  // namespace hostengine
