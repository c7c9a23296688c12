// A folder written under a temporary name beside its destination and moved into place in one rename
// once it is complete, so that a failed or interrupted write leaves the destination as it was.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace pawnarchive {

class StagingDir {
public:
    // What an existing, non-empty destination may hold for it to be replaced (given each entry's name).
    using Replaceable = std::function<bool(const std::string& name)>;

    // Throws std::runtime_error (naming the destination) when the destination is a file, or a folder
    // holding something `replaceable` refuses, or when the temporary folder cannot be made.
    StagingDir(std::filesystem::path destination, Replaceable replaceable);
    // Without publish: the temporary folder and everything in it is removed.
    ~StagingDir();
    StagingDir(const StagingDir&) = delete;
    StagingDir& operator=(const StagingDir&) = delete;

    const std::filesystem::path& path() const { return staging_; }
    const std::filesystem::path& destination() const { return destination_; }
    // Moves the folder to its destination, replacing what was there. Throws std::runtime_error.
    void publish();

private:
    std::filesystem::path destination_;
    std::filesystem::path staging_;
    Replaceable replaceable_;
    bool published_ = false;
};

}  // namespace pawnarchive
