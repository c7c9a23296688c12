// The folder of frames an artist works in: one subfolder per sequence, named as the pawn selects it,
// holding one PNG with alpha per frame, "0000.png", "0001.png", ..., in playing order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pawnarchive {

std::string frameFileName(int index);

// Writes folder/<sequence>/<frameFileName(index)> from BGRA pixels. Throws std::runtime_error.
void writeFrameFile(const std::filesystem::path& folder, const std::string& sequence, int index, int width, int height,
                    const std::vector<std::uint8_t>& bgra);

}  // namespace pawnarchive
