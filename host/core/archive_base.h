// What every reference archive shares: the entry records it hands the module, the streams it opens on
// them, and the factory that makes archives of one kind and keeps them until the factory goes.
//
// ResourceInfo words filled by every reference archive:
//   word 0  the entry's type id
//   word 1  bytes the entry's stream delivers (0 for a directory; capped at 2^31 - 1)
//   words 2, 3  the archive kind's own (the WAV archive's are documented there); 0 otherwise
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/abi.h"
#include "host/core/archive_stream.h"
#include "host/core/host_engine.h"

namespace hostengine {

// Shared by the archives and factories of one HostArchives: the engine, how streams read, and which
// type a file gets from its extension.
class ArchiveContext {
public:
    explicit ArchiveContext(HostEngine& engine);

    HostEngine& engine;
    StreamMode mode = StreamMode::Direct;

    struct FileType {
        std::string typeName;
        bool container = false;
    };
    // ".ini", ".wav" and ".avi" are known; anything else is "text". Extensions compare without case.
    void mapExtension(const std::string& extension, const std::string& typeName, bool container);
    FileType typeOfFile(const std::string& fileName) const;
    std::uint32_t typeId(const std::string& typeName) { return engine.typeRegistry()->typeIdOf(typeName.c_str()); }

private:
    std::map<std::string, FileType> extensions_;  // lower-case extension, dot included
};

// Archives refuse to hold more than this in memory: a larger INI or WAV file is not one a pawn uses.
constexpr std::size_t kMaxArchiveBytes = 64u << 20;

// The whole data behind a module stream handle, read through its "IRead"; false when the handle has
// no "IRead" or the data exceeds `limit`.
bool readWholeStream(InterfaceTable* stream, std::string& bytes, std::size_t limit = kMaxArchiveBytes);
// The file a "file://" locator names, or "" for any other locator.
std::string filePathOfLocator(const char* locator);
// The whole file, false when it cannot be read or exceeds `limit`.
bool readWholeFile(const std::string& path, std::string& bytes, std::size_t limit = kMaxArchiveBytes);

class Archive : public HostObject, public IArchive {
public:
    explicit Archive(ArchiveContext& context);
    ~Archive() override;  // closes the streams still open

    ResourceEntry* nextEntry(ResourceEntry* previous) override;
    ResourceInfo* infoOf(ResourceEntry* entry) override;
    InterfaceTable* open(ResourceEntry* entry, ResourceInfo* info) override;
    void close(InterfaceTable* stream) override;

    std::size_t entryCount() const { return items_.size(); }
    std::size_t openStreamCount() const { return streams_.size(); }
    int streamsOpened() const { return streamsOpened_; }  // successful opens so far

protected:
    // One entry and what its stream reads: a file, bytes in memory, or nothing (a directory).
    struct Item {
        ResourceEntry entry{};
        ResourceInfo info{};
        std::string name;
        std::string locator;
        std::string filePath;
        std::shared_ptr<const std::string> bytes;
    };
    Item& addItem(const std::string& name, const std::string& typeName, bool container, const std::string& locator);
    static void setBytes(Item& item, std::shared_ptr<const std::string> bytes);  // and word 1
    static void setFile(Item& item, const std::string& path, std::uint64_t size);  // and word 1
    ArchiveContext& context_;

private:
    Item* itemOf(const ResourceEntry* entry) const;  // null for an entry that is not this archive's
    std::vector<std::unique_ptr<Item>> items_;
    std::vector<std::unique_ptr<ArchiveStream>> streams_;
    int streamsOpened_ = 0;
};

// A factory registered under its kind ("dir", "ini", ...) offering "IArchiveFactory".
class ArchiveFactory : public HostObject, public IArchiveFactory {
public:
    ArchiveFactory(const char* kind, ArchiveContext& context);  // kind: a literal, borrowed
    InterfaceTable* create(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) override;

    const char* kind() const { return interfaces.objectName; }
    int creations() const { return creations_; }  // calls of create, successful or not
    std::size_t archiveCount() const { return archives_.size(); }
    Archive* keep(std::unique_ptr<Archive> archive);  // the factory owns it from now on

protected:
    // The archive of `entry`, or null when its data is not an archive of this kind.
    virtual std::unique_ptr<Archive> make(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) = 0;
    ArchiveContext& context_;

private:
    int creations_ = 0;
    std::vector<std::unique_ptr<Archive>> archives_;
};

}  // namespace hostengine
