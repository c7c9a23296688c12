// A directory of the test's own under the system's temporary one, removed with everything in it when
// the object goes, and the file writes and reads the tests make there. The name is made unique by the
// system (mkdtemp), so tests running side by side never share a directory.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testfiles {

// Writes `bytes` to `path`, making the directories on the way.
inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempDir {
public:
    explicit TempDir(const char* prefix = "pawn_test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "_XXXXXX")).string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }
    std::string file(const std::string& relative) const { return (path_ / relative).string(); }
    // Writes `bytes` at `relative` and gives back the file's path.
    std::string write(const std::string& relative, const std::string& bytes) const {
        writeFile(path_ / relative, bytes);
        return file(relative);
    }

private:
    std::filesystem::path path_;
};

}  // namespace testfiles
