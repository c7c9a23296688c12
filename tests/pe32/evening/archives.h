// The evening's archives, all in memory: directories, INI files whose sections open as archives of
// text entries, WAV files holding one sound entry, and the host's root of the resource tree.
#pragma once

#include "core/abi.h"
#include "tests/pe32/evening/host_tables.h"

namespace evening {

class MemoryArchive;

// One listed entry: the shared record first, so an entry pointer is also one of these.
struct MemoryEntry {
    ResourceEntry entry;
    ResourceInfo info;
    const char* data;          // the entry's bytes, or null when it has no stream
    std::int32_t size;
    bool asynchronous;         // its streams read only through "IASyncRead"
    MemoryArchive* opensAs;    // the archive a factory opens on it, or null
};

class MemoryArchive : public Offered<IArchive> {
public:
    explicit MemoryArchive(const char* name);
    MemoryEntry* add(const char* name, const char* typeName, const char* data, std::int32_t size, bool container = false);

    ResourceEntry* nextEntry(ResourceEntry* previous) override;
    ResourceInfo* infoOf(ResourceEntry* entry) override;
    InterfaceTable* open(ResourceEntry* entry, ResourceInfo* info) override;
    void close(InterfaceTable* stream) override;

    const char* name;
    MemoryEntry* entries[24] = {};
    std::int32_t count = 0;
};

// Registers the factories of the four archive kinds.
void offerArchiveFactories();
std::int32_t openStreams();  // host streams opened and not yet closed
// Reads what a module stream holds, through the "IRead" its adapter offers, NUL-terminated; the count.
std::int32_t readThrough(InterfaceTable* stream, char* buffer, std::int32_t capacity);

// The root node of the resource tree, laid out as the module's nodes are (operation table with the
// one slot `find`, factory, archive, archive handle, entry, info, stream, parent, children), over
// `archive`. The module opens the nodes below it itself, except those its `find` opens.
ResourceDir* makeRoot(MemoryArchive* archive);

}  // namespace evening
