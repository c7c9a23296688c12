#include "host/core/resource_root.h"

#include "host/core/archive_ini.h"
#include "host/core/archive_wav.h"

namespace hostengine {

// The module never frees nodes; the host, which ends before the process does, frees the ones below
// its roots.
class HostArchives::Root final : public ResourceDir {
public:
    explicit Root(Archive* rootArchive) : ResourceDir(rootArchive, rootArchive->handle()) {}
    ~Root() { releaseDescendants(); }
};

HostArchives::HostArchives(HostEngine& engine) : context_(engine) {
    auto dir = std::make_unique<DirArchiveFactory>(context_);
    dirFactory_ = dir.get();
    factories_.push_back(std::move(dir));
    factories_.push_back(std::make_unique<IniArchiveFactory>(context_));
    factories_.push_back(std::make_unique<IniSectionArchiveFactory>(context_));
    factories_.push_back(std::make_unique<WavArchiveFactory>(context_));
}

HostArchives::~HostArchives() {
    // Nodes close their streams through their parents' archives, so the trees go first.
    roots_.clear();
    factories_.clear();
}

ResourceDir* HostArchives::makeRootDir(const std::string& directory) {
    Archive* archive = dirFactory_->openDirectory(directory);
    if (!archive) return nullptr;
    roots_.push_back(std::make_unique<Root>(archive));
    return roots_.back().get();
}

ArchiveFactory* HostArchives::factory(const std::string& kind) {
    for (auto& factory : factories_)
        if (kind == factory->kind()) return factory.get();
    return nullptr;
}

int HostArchives::creations() const {
    int total = 0;
    for (const auto& factory : factories_) total += factory->creations();
    return total;
}

}  // namespace hostengine
