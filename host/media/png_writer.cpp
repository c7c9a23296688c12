#include "host/media/png_writer.h"

#include <png.h>

#include <cstring>

namespace hostengine {
namespace {

bool fail(std::string* error, const char* message) {
    if (error) *error = message ? message : "unknown PNG failure";
    return false;
}

}  // namespace

bool writePng(const std::string& path, std::int32_t width, std::int32_t height, const std::uint8_t* rgb, std::string* error) {
    if (!rgb || width <= 0 || height <= 0) return fail(error, "empty picture");
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb, width * 3, nullptr)) {
        bool written = fail(error, image.message);
        png_image_free(&image);
        return written;
    }
    return true;
}

bool writePng(const std::string& path, const Surface& surface, std::string* error) {
    std::vector<std::uint8_t> rgb = surface.toRgb24();
    return writePng(path, surface.width(), surface.height(), rgb.data(), error);
}

bool readPng(const std::string& path, std::int32_t& width, std::int32_t& height, std::vector<std::uint8_t>& rgb, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return fail(error, image.message);
    if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384) {
        png_image_free(&image);
        return fail(error, "picture size out of range");
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    png_color black{0, 0, 0};
    if (!png_image_finish_read(&image, &black, pixels.data(), 0, nullptr)) {
        bool read = fail(error, image.message);
        png_image_free(&image);
        return read;
    }
    width = static_cast<std::int32_t>(image.width);
    height = static_cast<std::int32_t>(image.height);
    rgb = std::move(pixels);
    return true;
}

}  // namespace hostengine
