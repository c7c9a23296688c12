#include "host/media/png_writer.h"

#include <png.h>

#include <cstring>

namespace hostengine {
namespace {

bool fail(std::string* error, const char* message) {
    if (error) *error = message ? message : "unknown PNG failure";
    return false;
}

bool writePixels(const std::string& path, std::int32_t width, std::int32_t height, const std::uint8_t* pixels, png_uint_32 format,
                 std::int32_t bytesPerPixel, std::string* error) {
    if (!pixels || width <= 0 || height <= 0) return fail(error, "empty picture");
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels, width * bytesPerPixel, nullptr)) {
        bool written = fail(error, image.message);
        png_image_free(&image);
        return written;
    }
    return true;
}

// Reads the whole picture in `format`; formats without alpha get it composed onto black.
bool readPixels(const std::string& path, png_uint_32 format, std::int32_t& width, std::int32_t& height, std::vector<std::uint8_t>& pixels,
                bool* hasAlpha, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return fail(error, image.message);
    if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384) {
        png_image_free(&image);
        return fail(error, "picture size out of range");
    }
    // The simplified reader counts a tRNS chunk as alpha, as a viewer shows it.
    if (hasAlpha) *hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = format;
    std::vector<std::uint8_t> read(PNG_IMAGE_SIZE(image));
    png_color black{0, 0, 0};
    if (!png_image_finish_read(&image, &black, read.data(), 0, nullptr)) {
        bool done = fail(error, image.message);
        png_image_free(&image);
        return done;
    }
    width = static_cast<std::int32_t>(image.width);
    height = static_cast<std::int32_t>(image.height);
    pixels = std::move(read);
    return true;
}

}  // namespace

bool writePng(const std::string& path, std::int32_t width, std::int32_t height, const std::uint8_t* rgb, std::string* error) {
    return writePixels(path, width, height, rgb, PNG_FORMAT_RGB, 3, error);
}

bool writePng(const std::string& path, const Surface& surface, std::string* error) {
    std::vector<std::uint8_t> rgb = surface.toRgb24();
    return writePng(path, surface.width(), surface.height(), rgb.data(), error);
}

bool writePngBgra(const std::string& path, std::int32_t width, std::int32_t height, const std::uint8_t* bgra, std::string* error) {
    return writePixels(path, width, height, bgra, PNG_FORMAT_BGRA, 4, error);
}

bool readPng(const std::string& path, std::int32_t& width, std::int32_t& height, std::vector<std::uint8_t>& rgb, std::string* error) {
    return readPixels(path, PNG_FORMAT_RGB, width, height, rgb, nullptr, error);
}

bool readPngBgra(const std::string& path, std::int32_t& width, std::int32_t& height, std::vector<std::uint8_t>& bgra, bool& hasAlpha,
                 std::string* error) {
    return readPixels(path, PNG_FORMAT_BGRA, width, height, bgra, &hasAlpha, error);
}

}  // namespace hostengine
