// A directory on disk as an archive (kind "dir"): its files and sub-directories, sorted by name.
// Sub-directories are containers of type "archive/dir"; a file's type comes from its extension
// (ArchiveContext). Every locator is "file://" and the absolute path. The directory is listed once,
// when the archive opens: the entries the module holds stay valid and in place whatever happens on
// disk afterwards.
#pragma once

#include <string>

#include "host/core/archive_base.h"

namespace hostengine {

class DirArchive : public Archive {
public:
    DirArchive(ArchiveContext& context, const std::string& directory);
};

class DirArchiveFactory : public ArchiveFactory {
public:
    explicit DirArchiveFactory(ArchiveContext& context) : ArchiveFactory("dir", context) {}
    // The archive of a directory given by path (a root has no entry); null when it is none.
    Archive* openDirectory(const std::string& directory);

protected:
    // The directory comes from the entry's "file://" locator; the stream is not used.
    std::unique_ptr<Archive> make(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) override;
};

}  // namespace hostengine
