#include "tests/pe32/evening/archives.h"

#include "tests/pe32/evening/host_engine.h"
#include "tests/pe32/evening/host_tables.h"
#include "tests/pe32/evening/kit.h"

namespace evening {
namespace {

std::int32_t streamsOpen = 0;

// ---------------------------------------------------------------------------------------------------
// Streams

// A stream over an entry's bytes, without "ISeekable" (the module never seeks a host stream).
// Synchronous ones offer "IRead"; asynchronous ones only "IASyncRead", whose completion (0x00020004,
// or 0x00020005 when the read reached the end) comes from pumpEvents.
class MemoryStream : public IStream, public IRead, public IASyncRead {
public:
    explicit MemoryStream(const MemoryEntry* source) : entry_(*source) {
        offer<IStream>(table, "IStream", this);
        if (source->asynchronous) offer<IASyncRead>(table, "IASyncRead", this);
        else offer<IRead>(table, "IRead", this);
    }

    std::int32_t size() override {
        note("call IStream::size %s -> %i", entry_.entry.name, entry_.size);
        return entry_.size;
    }
    std::int32_t read(void* buffer, std::int32_t size) override {
        const std::int32_t count = take(buffer, size);
        note("call IRead::read %s %i -> %i", entry_.entry.name, size, count);
        return count;
    }
    std::int32_t read(void* buffer, std::int32_t size, IListener* listener) override {
        const std::int32_t count = take(buffer, size);
        note("call IASyncRead::read %s %i -> %i later", entry_.entry.name, size, count);
        const std::uint32_t code = offset_ >= entry_.size ? 0x00020005u : 0x00020004u;
        host().post(host().now(), listener, make<HostMessage>(code, 0, count));
        return 1;
    }
    InterfaceTable table;

private:
    std::int32_t take(void* buffer, std::int32_t size) {
        std::int32_t count = entry_.size - offset_;
        if (size < count) count = size < 0 ? 0 : size;
        __builtin_memcpy(buffer, entry_.data + offset_, static_cast<std::size_t>(count));
        offset_ += count;
        return count;
    }

    const MemoryEntry& entry_;
    std::int32_t offset_ = 0;
};

// ---------------------------------------------------------------------------------------------------
// Factories

class KindFactory : public Offered<IArchiveFactory> {
public:
    explicit KindFactory(const char* kind) : Offered("IArchiveFactory", kind), kind_(kind) {}

    InterfaceTable* create(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) override {
        note("call IArchiveFactory::create %s %s stream %s info %s", kind_, entry->name, stream ? "given" : "none",
             info ? "given" : "none");
        auto* listed = reinterpret_cast<MemoryEntry*>(entry);
        if (sameText(kind_, "ini")) {
            // Its sections are the host's, but only if the module's stream over the entry delivers the entry's text.
            char text[2048];
            if (!stream || readThrough(stream, text, sizeof text) != listed->size || !sameText(text, listed->data)) return nullptr;
        }
        return listed->opensAs ? &listed->opensAs->table : nullptr;
    }

private:
    const char* kind_;
};

// ---------------------------------------------------------------------------------------------------
// The root

// A PtrArray's layout: the module appends the nodes it opens below the root here.
struct NodeChildren {
    std::uintptr_t* data;
    std::int32_t capacity;
    std::int32_t count;
};

// Laid out as a node of the module's tree. The module calls its own non-virtual operations on it
// (listing, searching, reading, opening streams) and this `find` through the table.
class HostNode {
public:
    virtual ResourceEntry* find(const char* path);

    IArchiveFactory* factory = nullptr;
    IArchive* archive = nullptr;
    InterfaceTable* archiveHandle = nullptr;
    ResourceEntry* entry = nullptr;
    ResourceInfo* info = nullptr;
    void* stream = nullptr;
    HostNode* parent = nullptr;
    NodeChildren children{};
};

// The first slots hold 16 nodes; the module grows the block with its own allocator only past that,
// which this evening never reaches (the block is the host's).
HostNode* makeNode(IArchive* archive, InterfaceTable* handle, ResourceEntry* entry, HostNode* parent) {
    auto* node = make<HostNode>();
    node->archive = archive;
    node->archiveHandle = handle;
    node->entry = entry;
    node->info = entry ? archive->infoOf(entry) : nullptr;
    node->parent = parent;
    node->children.data = static_cast<std::uintptr_t*>(allocate(16 * sizeof(std::uintptr_t)));
    node->children.capacity = 16;
    return node;
}

ResourceEntry* HostNode::find(const char* path) {
    note("call ResourceDir::find on %s: %s", entry ? entry->name : "<root>", path);
    char component[128];
    std::int32_t length = 0;
    while (path[length] && path[length] != '/' && length < 127) {
        component[length] = path[length];
        ++length;
    }
    component[length] = '\0';
    const char* rest = path[length] == '/' ? path + length + 1 : nullptr;
    const bool wildcard = sameText(component, "*");

    if (rest) {
        for (std::int32_t i = 0; i < children.count; ++i) {
            auto* child = reinterpret_cast<HostNode*>(children.data[i]);
            if (wildcard || (child->entry && sameTextNoCase(child->entry->name, component))) return child->find(rest);
        }
    }
    ResourceEntry* found = nullptr;
    for (ResourceEntry* listed = archive->nextEntry(nullptr); listed; listed = archive->nextEntry(listed)) {
        listed->owner = reinterpret_cast<ResourceDir*>(this);
        if (!found && (wildcard || sameTextNoCase(listed->name, component))) found = listed;
    }
    if (!found) {
        note("host: missing resource:<<%s>>", path);
        return nullptr;
    }
    if (!rest) return found;
    // A node the host opens itself: archives of this evening need no stream to open.
    auto* listed = reinterpret_cast<MemoryEntry*>(found);
    if (!listed->opensAs || children.count == children.capacity) return nullptr;
    HostNode* child = makeNode(listed->opensAs, &listed->opensAs->table, found, this);
    children.data[children.count++] = reinterpret_cast<std::uintptr_t>(child);
    return child->find(rest);
}

}  // namespace

MemoryArchive::MemoryArchive(const char* archiveName) : Offered("IArchive"), name(archiveName) {}

MemoryEntry* MemoryArchive::add(const char* entryName, const char* typeName, const char* data, std::int32_t size, bool container) {
    auto* listed = make<MemoryEntry>();
    listed->entry.typeId = typeIdOf(typeName);
    listed->entry.container = container ? 1 : 0;
    char locator[160];
    format(locator, sizeof locator, "mem://%s/%s", name, entryName);
    listed->entry.locator = copyText(locator);
    listed->entry.name = entryName;
    listed->info.words[0] = listed->entry.typeId;
    listed->info.words[1] = static_cast<std::uint32_t>(size);
    listed->data = data;
    listed->size = size;
    entries[count++] = listed;
    return listed;
}

ResourceEntry* MemoryArchive::nextEntry(ResourceEntry* previous) {
    note("call IArchive::nextEntry %s after %s", name, previous ? previous->name : "(start)");
    if (!previous) return count ? &entries[0]->entry : nullptr;
    for (std::int32_t i = 0; i + 1 < count; ++i)
        if (&entries[i]->entry == previous) return &entries[i + 1]->entry;
    return nullptr;
}

ResourceInfo* MemoryArchive::infoOf(ResourceEntry* entry) {
    note("call IArchive::infoOf %s %s", name, entry ? entry->name : "(null)");
    return entry ? &reinterpret_cast<MemoryEntry*>(entry)->info : nullptr;
}

InterfaceTable* MemoryArchive::open(ResourceEntry* entry, ResourceInfo* info) {
    auto* listed = reinterpret_cast<MemoryEntry*>(entry);
    note("call IArchive::open %s %s%s", name, entry->name, info == &listed->info ? "" : " (another record)");
    if (!listed->data) return nullptr;
    ++streamsOpen;
    return &make<MemoryStream>(listed)->table;
}

void MemoryArchive::close(InterfaceTable* stream) {
    note("call IArchive::close %s", name);
    if (stream) --streamsOpen;
}

void offerArchiveFactories() {
    static const char* const kinds[] = {"dir", "wav", "ini", "inisection"};
    for (const char* kind : kinds) make<KindFactory>(kind);
}

std::int32_t openStreams() { return streamsOpen; }

// Reads what a module stream holds, through the "IRead" its adapter offers: how a host archive that
// parses its data meets the module's side of a stream.
std::int32_t readThrough(InterfaceTable* stream, char* buffer, std::int32_t capacity) {
    IRead* reader = lookup<IRead>(stream, "IRead");
    if (!reader) {
        fail("a module stream without IRead");
        return 0;
    }
    std::int32_t total = 0;
    while (total < capacity - 1) {
        const std::int32_t got = reader->read(buffer + total, capacity - 1 - total);
        if (got <= 0) break;
        total += got;
    }
    buffer[total] = '\0';
    return total;
}


ResourceDir* makeRoot(MemoryArchive* archive) {
    return reinterpret_cast<ResourceDir*>(makeNode(archive, &archive->table, nullptr, nullptr));
}

}  // namespace evening
