// A directory on disk as an archive (kind "dir"): its files and sub-directories, sorted by name.
// Sub-directories are containers of type "archive/dir"; a file's type comes from its extension
// (ArchiveContext). Every locator is "file://" and the absolute path. The directory is listed once,
// when the archive opens: the entries the module holds stay valid and in place whatever happens on
// disk afterwards.
//
// What a listing leaves out, each with a level-1 log line naming it: a link back into a directory
// the archive lies inside (same device and inode), which would nest the tree without end; anything
// that is neither a file nor a directory (a FIFO would block its reader); the entries of a directory
// past the first kMaxDirectoryEntries.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/core/archive_base.h"

namespace hostengine {

// Far above any resource directory a game ships; a listing of a system tree stops here.
constexpr std::size_t kMaxDirectoryEntries = 1u << 16;

// What lies at `path` that a listing leaves out ("a FIFO (named pipe)", "a socket", "a device", "a link
// to nothing"), or "" for a file, a directory or nothing at all.
std::string leftOutKind(const std::string& path);

class DirArchive : public Archive {
public:
    using DirectoryId = std::pair<unsigned long long, unsigned long long>;  // device, inode
    // `inside`: the directories this one was reached through, outermost first.
    DirArchive(ArchiveContext& context, const std::string& directory, std::vector<DirectoryId> inside = {});
    const std::vector<DirectoryId>& inside() const { return inside_; }  // those and this one
    const std::string& path() const { return path_; }

private:
    std::vector<DirectoryId> inside_;
    std::string path_;
};

class DirArchiveFactory : public ArchiveFactory {
public:
    explicit DirArchiveFactory(ArchiveContext& context) : ArchiveFactory("dir", context) {}
    // The archive of a directory given by path (a root has no entry); null when it is none.
    Archive* openDirectory(const std::string& directory);
    // Every directory opened so far, in order (absolute paths).
    const std::vector<std::string>& opened() const { return opened_; }

protected:
    // The directory comes from the entry's "file://" locator; the stream is not used.
    std::unique_ptr<Archive> make(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) override;

private:
    std::unique_ptr<DirArchive> listed(std::unique_ptr<DirArchive> archive);
    std::map<const ResourceEntry*, const DirArchive*> listedBy_;  // each entry's archive
    std::vector<std::string> opened_;
};

}  // namespace hostengine
