#include "tools/archive/staging_dir.h"

#include <unistd.h>

#include <stdexcept>
#include <system_error>

namespace pawnarchive {

namespace fs = std::filesystem;

namespace {

// A destination may be replaced when it is missing, empty, or holds only what the caller would write.
void requireReplaceable(const fs::path& destination, const StagingDir::Replaceable& replaceable) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(destination, error);
    if (!fs::exists(status)) return;
    if (!fs::is_directory(status)) throw std::runtime_error(destination.string() + ": exists and is not a folder; nothing was written");
    for (const auto& entry : fs::directory_iterator(destination, error)) {
        const std::string name = entry.path().filename().string();
        if (!replaceable(name))
            throw std::runtime_error(destination.string() + ": already holds " + name +
                                     ", which this command does not write; choose another folder or empty it first");
    }
    if (error) throw std::runtime_error(destination.string() + ": cannot be read (" + error.message() + ")");
}

fs::path besideWithSuffix(const fs::path& destination, const std::string& suffix) {
    return destination.parent_path() / ("." + destination.filename().string() + suffix + "-" + std::to_string(::getpid()));
}

}  // namespace

StagingDir::StagingDir(fs::path destination, Replaceable replaceable) : replaceable_(std::move(replaceable)) {
    destination = destination.lexically_normal();
    if (destination.filename().empty()) destination = destination.parent_path();  // a trailing slash
    if (destination.empty()) throw std::runtime_error("no destination folder given");
    destination_ = destination;
    requireReplaceable(destination_, replaceable_);
    // Beside the destination, on the same file system, so that publishing is one rename.
    staging_ = besideWithSuffix(destination_, ".partial");
    std::error_code error;
    fs::remove_all(staging_, error);
    if (!destination_.parent_path().empty()) fs::create_directories(destination_.parent_path(), error);
    if (!fs::create_directory(staging_, error))
        throw std::runtime_error(destination_.string() + ": cannot make a folder beside it (" + error.message() + ")");
}

StagingDir::~StagingDir() {
    if (published_) return;
    std::error_code ignored;
    fs::remove_all(staging_, ignored);
}

void StagingDir::publish() {
    // Checked again: the destination may have changed while the folder was being written.
    requireReplaceable(destination_, replaceable_);
    std::error_code error;
    const fs::path previous = besideWithSuffix(destination_, ".previous");
    const bool replacing = fs::exists(fs::symlink_status(destination_, error));
    if (replacing) {
        fs::remove_all(previous, error);
        fs::rename(destination_, previous, error);
        if (error) throw std::runtime_error(destination_.string() + ": cannot be replaced (" + error.message() + ")");
    }
    fs::rename(staging_, destination_, error);
    if (error) {
        std::error_code ignored;
        if (replacing) fs::rename(previous, destination_, ignored);
        throw std::runtime_error(destination_.string() + ": cannot be moved into place (" + error.message() + ")");
    }
    published_ = true;
    if (replacing) fs::remove_all(previous, error);
}

}  // namespace pawnarchive
