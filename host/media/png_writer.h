// PNG files of host pictures: surfaces saved for inspection and golden-image comparisons, and the
// frames with alpha that authors hand to the archive tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/core/surface.h"

namespace hostengine {

// 24-bit RGB, rows top-down without padding. False (and `error` set) when the file cannot be written.
bool writePng(const std::string& path, std::int32_t width, std::int32_t height, const std::uint8_t* rgb, std::string* error = nullptr);
// The surface's RGB555 pixels expanded to 8 bits per component.
bool writePng(const std::string& path, const Surface& surface, std::string* error = nullptr);
// 32-bit BGRA with straight alpha, as the video frames hold it; stored as an RGBA PNG.
bool writePngBgra(const std::string& path, std::int32_t width, std::int32_t height, const std::uint8_t* bgra, std::string* error = nullptr);

// Any PNG as 24-bit RGB (alpha composed onto black); false for unreadable files and for pictures
// larger than 16384 pixels on a side.
bool readPng(const std::string& path, std::int32_t& width, std::int32_t& height, std::vector<std::uint8_t>& rgb, std::string* error = nullptr);

// Any PNG as 32-bit BGRA with straight alpha (255 where the file has none); `hasAlpha` tells whether
// the file carries an alpha channel or a transparent colour at all. Same limits as readPng.
bool readPngBgra(const std::string& path, std::int32_t& width, std::int32_t& height, std::vector<std::uint8_t>& bgra, bool& hasAlpha,
                 std::string* error = nullptr);

}  // namespace hostengine
