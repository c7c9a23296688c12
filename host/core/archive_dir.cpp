#include "host/core/archive_dir.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace hostengine {
namespace fs = std::filesystem;

namespace {

bool isDirectory(const std::string& path) {
    std::error_code error;
    return !path.empty() && fs::is_directory(path, error);
}

bool directoryId(const std::string& path, DirArchive::DirectoryId& id) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    id = {static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino)};
    return true;
}

const char* kindOf(fs::file_type type) {
    switch (type) {
    case fs::file_type::fifo: return "a FIFO (named pipe)";
    case fs::file_type::socket: return "a socket";
    case fs::file_type::block:
    case fs::file_type::character: return "a device";
    case fs::file_type::not_found: return "a link to nothing";
    default: return "neither a file nor a directory";
    }
}

}  // namespace

std::string leftOutKind(const std::string& path) {
    std::error_code error;
    const fs::file_type type = fs::status(path, error).type();
    if (type == fs::file_type::regular || type == fs::file_type::directory) return "";
    if (type == fs::file_type::not_found && !fs::is_symlink(fs::symlink_status(path, error))) return "";
    return kindOf(type);
}

DirArchive::DirArchive(ArchiveContext& context, const std::string& directory, std::vector<DirectoryId> inside)
    : Archive(context), inside_(std::move(inside)) {
    std::error_code error;
    fs::path base = fs::absolute(fs::path(directory), error).lexically_normal();
    if (error) return;
    path_ = base.string();
    DirectoryId self;
    if (directoryId(path_, self)) inside_.push_back(self);

    struct Found {
        std::string name;
        bool directory;
        std::uint64_t size;
    };
    std::vector<Found> found;
    HostEngine& engine = context.engine;
    // An unreadable directory lists nothing; entries that vanish or cannot be examined are left out.
    for (fs::directory_iterator it(base, error), end; !error && it != end; it.increment(error)) {
        if (found.size() >= kMaxDirectoryEntries) {
            engine.log(1, "DirArchive: '%s' holds more than %u entries; the rest are left out\n", path_.c_str(),
                       static_cast<unsigned>(kMaxDirectoryEntries));
            break;
        }
        std::error_code statusError;
        const fs::directory_entry& item = *it;
        std::string name = item.path().filename().string();
        const fs::file_type type = item.status(statusError).type();
        if (type == fs::file_type::directory) {
            DirectoryId id;
            if (directoryId(item.path().string(), id) && std::find(inside_.begin(), inside_.end(), id) != inside_.end()) {
                engine.log(1, "DirArchive: '%s' leads back into a directory it lies in; left out\n", item.path().c_str());
                continue;
            }
            found.push_back(Found{name, true, 0});
        } else if (type == fs::file_type::regular) {
            std::uint64_t bytes = item.file_size(statusError);
            if (!statusError) found.push_back(Found{name, false, bytes});
        } else if (!statusError || type == fs::file_type::not_found) {
            engine.log(1, "DirArchive: '%s' is %s; left out\n", item.path().c_str(), kindOf(type));
        }
    }
    // A stable listing whatever order the file system returns.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.name < b.name; });

    for (const Found& f : found) {
        std::string path = (base / f.name).string();
        if (f.directory) {
            addItem(f.name, "archive/dir", true, "file://" + path);
        } else {
            ArchiveContext::FileType type = context.typeOfFile(f.name);
            Item& item = addItem(f.name, type.typeName, type.container, "file://" + path);
            setFile(item, path, f.size);
        }
    }
}

std::unique_ptr<DirArchive> DirArchiveFactory::listed(std::unique_ptr<DirArchive> archive) {
    for (ResourceEntry* entry = archive->nextEntry(nullptr); entry; entry = archive->nextEntry(entry))
        if (entry->container) listedBy_[entry] = archive.get();
    opened_.push_back(archive->path());
    return archive;
}

Archive* DirArchiveFactory::openDirectory(const std::string& directory) {
    if (!isDirectory(directory)) return nullptr;
    return keep(listed(std::make_unique<DirArchive>(context_, directory)));
}

std::unique_ptr<Archive> DirArchiveFactory::make(ResourceEntry* entry, ResourceInfo*, InterfaceTable*) {
    std::string directory = filePathOfLocator(entry->locator);
    if (!isDirectory(directory)) return nullptr;
    // A sub-directory remembers every directory above it, so that a link back up is not followed.
    auto lister = listedBy_.find(entry);
    std::vector<DirArchive::DirectoryId> inside = lister != listedBy_.end() ? lister->second->inside() : std::vector<DirArchive::DirectoryId>{};
    return listed(std::make_unique<DirArchive>(context_, directory, std::move(inside)));
}

}  // namespace hostengine
