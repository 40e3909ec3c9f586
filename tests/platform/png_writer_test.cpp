// Round trip of the PNG writer through libpng's reader.
#include "platform/png_writer.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <png.h>
#include <string>
#include <vector>

namespace {

std::string temp_png(const char* name)
{
    auto dir = std::filesystem::temp_directory_path() / "orbikon-png-test";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

struct Decoded {
    bool ok = false;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;
};

Decoded read_png(const std::string& path)
{
    Decoded d;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return d;
    image.format = PNG_FORMAT_RGB;
    d.width = image.width;
    d.height = image.height;
    d.rgb.resize(PNG_IMAGE_SIZE(image));
    d.ok = png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr) != 0;
    return d;
}

} // namespace

TEST(PngWriter, KeepsSizeAndColoursDroppingAlpha)
{
    // 3 x 2 pixels: red, green, blue / white, black, grey 0x10.
    std::vector<uint8_t> argb = {
        255, 255, 0,   0,   255, 0, 255, 0, 255, 0,    0,    255,
        255, 255, 255, 255, 255, 0, 0,   0, 255, 0x10, 0x10, 0x10,
    };
    std::string path = temp_png("small.png");
    ASSERT_TRUE(platform::write_png_argb(path, argb, 3, 2));
    Decoded d = read_png(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 3u);
    EXPECT_EQ(d.height, 2u);
    std::vector<uint8_t> expected = {255, 0,   0,   0, 255, 0, 0,    0,    255,
                                     255, 255, 255, 0, 0,   0, 0x10, 0x10, 0x10};
    EXPECT_EQ(d.rgb, expected);
}

TEST(PngWriter, RefusesMismatchedBuffer)
{
    std::vector<uint8_t> argb(4 * 4 * 4 - 1, 255);
    std::string path = temp_png("bad.png");
    std::filesystem::remove(path);
    EXPECT_FALSE(platform::write_png_argb(path, argb, 4, 4));
    EXPECT_FALSE(platform::write_png_argb(path, argb, 0, 4));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(PngWriter, UnwritablePathFails)
{
    std::vector<uint8_t> argb(4, 255);
    EXPECT_FALSE(platform::write_png_argb("/nonexistent-dir/x/y.png", argb, 1, 1));
}

TEST(PngWriter, ScreenImageKeepsItsPixels)
{
    platform::ArgbImage image;
    image.width = 2;
    image.height = 1;
    image.pixels = {0xFF00C000u, 0xFF123456u};
    std::string path = temp_png("image.png");
    ASSERT_TRUE(platform::write_png(path, image));
    Decoded d = read_png(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, (std::vector<uint8_t>{0x00, 0xC0, 0x00, 0x12, 0x34, 0x56}));
    image.pixels.pop_back();
    EXPECT_FALSE(platform::write_png(path, image));
}
