// The host's archives: registers the reference archive factories ("dir", "ini", "inisection", "wav")
// with an engine and makes root ResourceDirs over directories on disk.
//
// Ownership: HostArchives owns the factories, each factory the archives it made (and each archive the
// streams still open on it), and HostArchives the roots it made. Its destruction frees every node the
// module opened below those roots, then the roots, then the archives. Keep it alive as long as any
// ResourceDir, entry or stream of it is in use, and destroy it before the HostEngine.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/core/archive_base.h"
#include "host/core/archive_dir.h"
#include "host/core/host_engine.h"
#include "resources/resource_dir.h"

namespace hostengine {

class HostArchives {
public:
    explicit HostArchives(HostEngine& engine);
    ~HostArchives();
    HostArchives(const HostArchives&) = delete;
    HostArchives& operator=(const HostArchives&) = delete;

    // A root node over `directory` (built with ResourceDir's root constructor over a "dir" archive);
    // null when it is no directory. The root lives as long as this object.
    ResourceDir* makeRootDir(const std::string& directory);

    // Streams opened from now on read directly or only asynchronously (tests of the emulated read).
    void setStreamMode(StreamMode mode) { context_.mode = mode; }
    StreamMode streamMode() const { return context_.mode; }
    // Files with this extension get this type in directory listings (".pak" -> "archive/pak").
    void mapExtension(const std::string& extension, const std::string& typeName, bool container) {
        context_.mapExtension(extension, typeName, container);
    }

    ArchiveFactory* factory(const std::string& kind);  // null for a kind not registered here
    int creations() const;                             // create calls over all factories
    // Every directory a "dir" archive was opened on, roots included, in order (absolute paths).
    const std::vector<std::string>& directoriesOpened() const { return dirFactory_->opened(); }

private:
    class Root;
    ArchiveContext context_;
    std::vector<std::unique_ptr<ArchiveFactory>> factories_;
    DirArchiveFactory* dirFactory_ = nullptr;
    std::vector<std::unique_ptr<Root>> roots_;
};

}  // namespace hostengine
