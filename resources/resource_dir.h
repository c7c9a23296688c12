// One node of the archive tree: an opened archive and the nodes opened from its entries. The host
// makes the root; every other node is opened on demand and lives until the process ends.
#pragma once

#include "core/abi.h"

class StreamAdapter;

class ResourceDir {
public:
    // Opens the archive of `entry` through the factory of its type; joins entry->owner's children.
    ResourceDir(ResourceEntry* entry, ResourceInfo* info);
    // The host's root: an opened archive, no entry, no parent.
    ResourceDir(IArchive* rootArchive, InterfaceTable* rootArchiveHandle);
    ResourceDir(const ResourceDir&) = delete;
    ResourceDir& operator=(const ResourceDir&) = delete;

    // "a/b/*": the entry at that path, opening archives on the way; logs what is missing.
    virtual ResourceEntry* find(const char* path);

    // The next entry after `after` (null: the first) named `name` of type `typeName` (null: any),
    // searched in this node's listing, then in opened children, then in unopened containers.
    ResourceEntry* findEntry(ResourceEntry* after, const char* name, const char* typeName);
    ResourceDir* subDir(ResourceEntry* entry);                                // the node opened on entry
    std::int32_t read(ResourceEntry* entry, void* buffer, std::int32_t size);  // bytes read, at most size
    StreamAdapter* openStream(ResourceEntry* entry, ResourceInfo* info);     // null if not this node's
    void closeStream(StreamAdapter* stream);
    ResourceInfo* infoOf(ResourceEntry* entry);
    ResourceEntry* nextEntry(ResourceEntry* previous);  // stamps this node as the entry's owner
    const char* name();                                 // the entry's name, "<unknown>" for the root

    // For a host that owns a root and ends before the process does: frees every node opened below
    // this one, deepest first, closing each node's stream in its parent. The archives stay with the
    // host's factories. The module itself never calls it.
    void releaseDescendants();

    // How far a search by name and type descends below the node it starts from; an archive nested
    // deeper (or one that contains itself) is cut there rather than exhausting the stack.
    static constexpr std::int32_t kMaxSearchDepth = 64;
    // How much one search may look at, in nodes listed plus the entries of their listings: a tree
    // that branches back into itself (two links up a directory tree) stays within the depth bound and
    // still grows without end; so does a search of a whole file system. Far above any game's tree.
    static constexpr std::int32_t kMaxSearchWork = 1 << 14;

    IArchiveFactory* factory = nullptr;
    IArchive* archive = nullptr;
    InterfaceTable* archiveHandle = nullptr;
    ResourceEntry* entry = nullptr;
    ResourceInfo* info = nullptr;
    StreamAdapter* stream = nullptr;
    ResourceDir* parent = nullptr;
    PtrArray children;  // ResourceDir pointers, in the order they were opened

protected:
    ~ResourceDir() = default;  // nodes are never destroyed by the module

private:
    struct Search;
    ResourceEntry* search(Search& state, std::int32_t depth);
    ResourceDir* openChild(ResourceEntry* listed);  // a new node on an entry of this node's listing
    ResourceDir* childOpenedOn(const ResourceEntry* listed);
    bool hasNodesBelow();  // opened children or containers still to open
    ResourceDir* childNamed(const char* component, std::size_t length);
    ResourceEntry* listedEntryNamed(const char* component, std::size_t length);
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ResourceDir) == 44, "hosts make the root in this layout (see core/abi.h)");
#endif
