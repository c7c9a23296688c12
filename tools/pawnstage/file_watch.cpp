#include "tools/pawnstage/file_watch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

void mix(std::uint64_t& digest, std::uint64_t value) {
    for (int i = 0; i < 8; ++i, value >>= 8) digest = (digest ^ (value & 0xff)) * 1099511628211ull;  // FNV-1a
}

void mixFile(std::uint64_t& digest, const fs::path& path, const fs::path& base) {
    std::error_code error;
    for (char c : path.lexically_relative(base).string()) mix(digest, static_cast<unsigned char>(c));
    mix(digest, static_cast<std::uint64_t>(fs::file_size(path, error)));
    mix(digest, static_cast<std::uint64_t>(fs::last_write_time(path, error).time_since_epoch().count()));
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

}  // namespace

std::uint64_t fileDigest(const std::string& path) {
    std::error_code error;
    if (!fs::exists(path, error)) return 0;
    std::uint64_t digest = 1469598103934665603ull;
    if (!fs::is_directory(path, error)) {
        mixFile(digest, path, fs::path(path).parent_path());
        return digest;
    }
    // In path order, so that the digest does not depend on how the directory lists them.
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator at(path, error), end; !error && at != end; at.increment(error))
        if (at->is_regular_file(error)) files.push_back(at->path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) mixFile(digest, file, path);
    return digest;
}

std::string archiveDirectory(const std::string& samplesDir, const std::string& name) {
    std::error_code error;
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator at(samplesDir, error), end; !error && at != end; at.increment(error))
        if (at->is_directory(error) && sameName(at->path().filename().string(), name)) found.push_back(at->path());
    if (found.empty()) return {};
    return std::min_element(found.begin(), found.end())->string();
}

}  // namespace pawnstage
