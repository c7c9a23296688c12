// PNG files of host pictures: surfaces saved for inspection and golden-image comparisons.
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

// Any PNG as 24-bit RGB (alpha composed onto black); false for unreadable files and for pictures
// larger than 16384 pixels on a side.
bool readPng(const std::string& path, std::int32_t& width, std::int32_t& height, std::vector<std::uint8_t>& rgb, std::string* error = nullptr);

}  // namespace hostengine
