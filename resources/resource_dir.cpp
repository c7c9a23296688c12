#include "resources/resource_dir.h"

#include <cstring>

#include "core/allocator.h"
#include "core/names.h"
#include "module/services.h"
#include "resources/entry_list.h"
#include "resources/stream_adapter.h"

namespace {

constexpr std::uint32_t kAnyType = 0xFFFFFFFFu;

// A path component is matched where it stands in the caller's path, so paths of any length need no
// copy. The component "*" matches anything.
bool isWildcard(const char* component, std::size_t length) { return length == 1 && component[0] == '*'; }

bool nameIs(const char* name, const char* component, std::size_t length) {
    if (!name) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (name[i] == '\0' || asciiLower(name[i]) != asciiLower(component[i])) return false;
    return name[length] == '\0';
}

// "archive/ini" names the kind "ini"; any other type name is its own kind.
const char* archiveKindOf(std::uint32_t typeId) {
    TypeRegistry* types = services().typeRegistry;
    const char* typeName = types ? types->typeNameOf(typeId) : nullptr;
    if (!typeName) return "";
    return startsWithName(typeName, "archive/") ? typeName + 8 : typeName;
}

}  // namespace

struct ResourceDir::Search {
    ResourceEntry* after;
    const char* name;
    std::uint32_t type;
    bool passed;      // `after` has been seen (or there is none): the next match is the result
    bool cutLogged;   // the depth bound is reported once per search
    std::int32_t work;  // nodes listed and entries looked at so far; kMaxSearchWork ends the search
    bool workCutLogged;

    // One more node or entry; false once the bound is reached, which is reported the first time.
    bool spend() {
        if (work < kMaxSearchWork) {
            ++work;
            return true;
        }
        if (!workCutLogged) {
            workCutLogged = true;
            logLine(1, "ResourceDir::findEntry: search cut after %i nodes and entries\n", work);
        }
        return false;
    }

    bool matches(const ResourceEntry* candidate) const {
        return (!name || sameName(name, candidate->name)) && (type == kAnyType || type == candidate->typeId);
    }
};

ResourceDir::ResourceDir(ResourceEntry* entry_, ResourceInfo* info_) : entry(entry_), info(info_) {
    if (!entry) return;
    parent = entry->owner;
    stream = parent ? parent->openStream(entry, info) : nullptr;

    const char* kind = archiveKindOf(entry->typeId);
    factory = hostInterface<IArchiveFactory>(kind, "IArchiveFactory");
    if (!factory) {
        logLine(3, "No ArchiveFactory for %s.\n", kind);
    } else {
        archiveHandle = factory->create(entry, info, stream ? stream->handle() : nullptr);
        if (!archiveHandle) {
            logLine(3, "ArchiveFactory %s returned NULL.\n", kind);
        } else {
            archive = archiveHandle->find<IArchive>("IArchive");
            if (!archive) logLine(3, "Archive %s has no interface.\n", kind);
        }
    }
    // A node joins whether or not its archive opened, so a broken entry is never tried again.
    if (parent) parent->children.append(reinterpret_cast<std::uintptr_t>(this));
}

ResourceDir::ResourceDir(IArchive* rootArchive, InterfaceTable* rootArchiveHandle)
    : archive(rootArchive), archiveHandle(rootArchiveHandle) {}

ResourceDir* ResourceDir::openChild(ResourceEntry* listed) {
    ResourceInfo* listedInfo = infoOf(listed);
    void* memory = allocateBytes(sizeof(ResourceDir));
    if (!memory) return nullptr;
    auto* node = new (memory) ResourceDir(listed, listedInfo);
    // A node that could not join its parent (no memory for the slot) would be opened again on every
    // search: give it up now, as a failed allocation.
    bool joined = false;
    for (std::int32_t i = children.size() - 1; i >= 0 && !joined; --i)
        joined = reinterpret_cast<ResourceDir*>(children.get(i)) == node;
    if (node->parent == this && !joined) {
        closeStream(node->stream);
        node->~ResourceDir();
        freeBytes(node);
        return nullptr;
    }
    return node;
}

ResourceDir* ResourceDir::childOpenedOn(const ResourceEntry* listed) {
    for (std::int32_t i = 0; i < children.size(); ++i) {
        auto* child = reinterpret_cast<ResourceDir*>(children.get(i));
        if (child && child->entry == listed) return child;
    }
    return nullptr;
}

ResourceDir* ResourceDir::childNamed(const char* component, std::size_t length) {
    bool wildcard = isWildcard(component, length);
    for (std::int32_t i = 0; i < children.size(); ++i) {
        auto* child = reinterpret_cast<ResourceDir*>(children.get(i));
        if (child && (wildcard || nameIs(child->name(), component, length))) return child;
    }
    return nullptr;
}

ResourceEntry* ResourceDir::listedEntryNamed(const char* component, std::size_t length) {
    bool wildcard = isWildcard(component, length);
    EntryList listing(this);
    while (ResourceEntry* listed = listing.next())
        if (wildcard || nameIs(listed->name, component, length)) return listed;
    return nullptr;
}

ResourceEntry* ResourceDir::find(const char* path) {
    if (!path) path = "";
    // One node per component, walked in a loop rather than by recursion, so that no path is too long.
    ResourceDir* node = this;
    for (;;) {
        const char* slash = std::strchr(path, '/');
        std::size_t length = slash ? static_cast<std::size_t>(slash - path) : std::strlen(path);
        const char* rest = slash ? slash + 1 : nullptr;
        if (rest) {
            if (ResourceDir* child = node->childNamed(path, length)) {
                node = child;
                path = rest;
                continue;
            }
        }
        ResourceEntry* found = node->listedEntryNamed(path, length);
        if (!found) {
            logLine(1, "missing resource:<<%s>>\n", path);
            return nullptr;
        }
        if (!rest) return found;
        ResourceDir* opened = node->openChild(found);
        if (!opened) return nullptr;
        node = opened;
        path = rest;
    }
}

ResourceEntry* ResourceDir::findEntry(ResourceEntry* after, const char* name, const char* typeName) {
    std::uint32_t type = kAnyType;
    if (typeName) {
        TypeRegistry* types = services().typeRegistry;
        // Without a type registry no id can be named, so nothing can match a named type.
        if (!types) return nullptr;
        type = types->typeIdOf(typeName);
    }
    Search state{after, name, type, after == nullptr, false, 0, false};
    return search(state, 0);
}

ResourceEntry* ResourceDir::search(Search& state, std::int32_t depth) {
    if (!state.spend()) return nullptr;
    {
        EntryList listing(this);
        ResourceEntry* result = nullptr;
        while (!result) {
            ResourceEntry* listed = listing.next();
            if (!listed) break;
            if (!state.spend()) return nullptr;
            if (!state.matches(listed)) continue;
            if (state.passed) result = listed;
            if (listed == state.after) state.passed = true;
        }
        if (result) return result;
    }

    if (depth >= kMaxSearchDepth) {
        // Reported once per search, and only when the bound actually hides something.
        if (!state.cutLogged && hasNodesBelow()) {
            state.cutLogged = true;
            logLine(1, "ResourceDir::findEntry: search cut at depth %i\n", depth);
        }
        return nullptr;
    }

    for (std::int32_t i = 0; i < children.size(); ++i) {
        auto* child = reinterpret_cast<ResourceDir*>(children.get(i));
        if (!child) continue;
        if (ResourceEntry* found = child->search(state, depth + 1)) return found;
    }

    EntryList listing(this);
    while (ResourceEntry* listed = listing.next()) {
        if (!listed->container || childOpenedOn(listed)) continue;
        ResourceDir* child = openChild(listed);
        if (!child) continue;
        if (ResourceEntry* found = child->search(state, depth + 1)) return found;
    }
    return nullptr;
}

bool ResourceDir::hasNodesBelow() {
    if (children.size() > 0) return true;
    EntryList listing(this);
    while (ResourceEntry* listed = listing.next())
        if (listed->container) return true;
    return false;
}

ResourceDir* ResourceDir::subDir(ResourceEntry* target) {
    if (!target) return nullptr;
    if (target->owner != this) return target->owner ? target->owner->subDir(target) : nullptr;
    if (ResourceDir* child = childOpenedOn(target)) return child;
    return openChild(target);
}

std::int32_t ResourceDir::read(ResourceEntry* target, void* buffer, std::int32_t size) {
    // A negative size would reach the host's read as a huge count.
    if (!target || !buffer || size <= 0) return 0;
    ResourceDir* owner = target->owner;
    if (!owner) return 0;
    StreamAdapter* opened = owner->openStream(target, owner->infoOf(target));
    if (!opened) return 0;
    std::int32_t count = opened->read(buffer, size);
    owner->closeStream(opened);
    return count;
}

StreamAdapter* ResourceDir::openStream(ResourceEntry* target, ResourceInfo* targetInfo) {
    if (!target || target->owner != this || !archive) return nullptr;
    InterfaceTable* hostStream = archive->open(target, targetInfo);
    if (!hostStream) return nullptr;
    StreamAdapter* adapter = create<StreamAdapter>(hostStream);
    // The archive's stream must not be left open when no adapter can hold it.
    if (!adapter) archive->close(hostStream);
    return adapter;
}

void ResourceDir::closeStream(StreamAdapter* closing) {
    if (!closing) return;
    if (archive) archive->close(closing->wrapped);
    destroy(closing);
}

ResourceInfo* ResourceDir::infoOf(ResourceEntry* target) {
    ResourceDir* owner = target ? target->owner : nullptr;
    if (!owner || !owner->archive) return nullptr;
    return owner->archive->infoOf(target);
}

ResourceEntry* ResourceDir::nextEntry(ResourceEntry* previous) {
    if (!archive) return nullptr;
    ResourceEntry* listed = archive->nextEntry(previous);
    if (listed) listed->owner = this;
    return listed;
}

const char* ResourceDir::name() { return entry && entry->name ? entry->name : "<unknown>"; }

void ResourceDir::releaseDescendants() {
    // Walks down to a leaf and frees it, repeatedly, using the parent links instead of a stack, so a
    // tree of any depth is released.
    ResourceDir* node = this;
    for (;;) {
        std::int32_t last = node->children.size() - 1;
        if (last >= 0) {
            auto* child = reinterpret_cast<ResourceDir*>(node->children.get(last));
            if (child && child->parent == node && child != this) {
                node = child;
                continue;
            }
            node->children.count = last;  // a slot that is no child of this node is only forgotten
            continue;
        }
        if (node == this) return;
        ResourceDir* up = node->parent;
        up->closeStream(node->stream);
        node->~ResourceDir();
        freeBytes(node);
        up->children.count -= 1;
        node = up;
    }
}
