#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "host/media/png_writer.h"

using namespace hostengine;
namespace fs = std::filesystem;

TEST(PngWriter, SurfaceSavedAsPngReadsBackWithExpandedComponents) {
    fs::path dir = fs::temp_directory_path() / ("pawn_png_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    Surface surface(13, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x) surface.setPixel(x, y, static_cast<std::uint16_t>(((x * 2) << 10) | ((y * 7) << 5) | (31 - x)));
    std::string path = (dir / "surface.png").string();
    std::string error;
    ASSERT_TRUE(writePng(path, surface, &error)) << error;

    // Read with libpng itself, as RGBA, so the check does not lean on the helper's own reader.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    EXPECT_EQ(image.width, 13u);
    EXPECT_EQ(image.height, 5u);
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) << image.message;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x) {
            const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * 13 + x) * 4];
            EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}), (std::vector<int>{expand5(x * 2), expand5(y * 7), expand5(31 - x), 255}));
        }

    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(readPng(path, width, height, rgb, &error)) << error;
    EXPECT_EQ(rgb, surface.toRgb24());

    EXPECT_FALSE(writePng((dir / "no" / "such" / "dir.png").string(), surface, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(readPng((dir / "missing.png").string(), width, height, rgb));
    std::FILE* junk = std::fopen((dir / "junk.png").string().c_str(), "wb");
    std::fputs("\x89PNG\r\n\x1a\n but then nothing", junk);
    std::fclose(junk);
    EXPECT_FALSE(readPng((dir / "junk.png").string(), width, height, rgb));
    fs::remove_all(dir);
}
