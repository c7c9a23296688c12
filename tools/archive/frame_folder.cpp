#include "tools/archive/frame_folder.h"

#include <cstdio>
#include <stdexcept>

#include "host/media/png_writer.h"

namespace pawnarchive {

namespace fs = std::filesystem;

std::string frameFileName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d.png", index);
    return name;
}

void writeFrameFile(const fs::path& folder, const std::string& sequence, int index, int width, int height, const std::vector<std::uint8_t>& bgra) {
    const fs::path directory = folder / sequence;
    std::error_code ignored;
    fs::create_directories(directory, ignored);
    const fs::path path = directory / frameFileName(index);
    std::string error;
    if (!hostengine::writePngBgra(path.string(), width, height, bgra.data(), &error))
        throw std::runtime_error(path.string() + ": cannot write the PNG file (" + error + ")");
}

}  // namespace pawnarchive
