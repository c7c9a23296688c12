#include "host/core/archive_dir.h"

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

}  // namespace

DirArchive::DirArchive(ArchiveContext& context, const std::string& directory) : Archive(context) {
    std::error_code error;
    fs::path base = fs::absolute(fs::path(directory), error).lexically_normal();
    if (error) return;

    struct Found {
        std::string name;
        bool directory;
        std::uint64_t size;
    };
    std::vector<Found> found;
    // An unreadable directory lists nothing; entries that vanish or cannot be examined are left out.
    for (fs::directory_iterator it(base, error), end; !error && it != end; it.increment(error)) {
        std::error_code statusError;
        const fs::directory_entry& item = *it;
        std::string name = item.path().filename().string();
        if (item.is_directory(statusError)) {
            found.push_back(Found{name, true, 0});
        } else if (!statusError && item.is_regular_file(statusError)) {
            std::uint64_t bytes = item.file_size(statusError);
            if (!statusError) found.push_back(Found{name, false, bytes});
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

Archive* DirArchiveFactory::openDirectory(const std::string& directory) {
    if (!isDirectory(directory)) return nullptr;
    return keep(std::make_unique<DirArchive>(context_, directory));
}

std::unique_ptr<Archive> DirArchiveFactory::make(ResourceEntry* entry, ResourceInfo*, InterfaceTable*) {
    std::string directory = filePathOfLocator(entry->locator);
    if (!isDirectory(directory)) return nullptr;
    return std::make_unique<DirArchive>(context_, directory);
}

}  // namespace hostengine
