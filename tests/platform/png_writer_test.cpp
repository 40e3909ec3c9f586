// Round trip of the PNG writer through libpng's reader.
#include "platform/png_writer.h"
#include "tests/support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string temp_png(const char* name)
{
    auto dir = std::filesystem::temp_directory_path() / "orbikon-png-test";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
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
    const test_support::Picture d = test_support::read_png(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 3u);
    EXPECT_EQ(d.height, 2u);
    std::vector<uint8_t> expected = {255, 0,   0,   0, 255, 0, 0,    0,    255,
                                     255, 255, 255, 0, 0,   0, 0x10, 0x10, 0x10};
    EXPECT_EQ(d.rgb, expected);
}

TEST(PngWriter, RefusesMismatchedBuffersAndUnwritablePaths)
{
    std::vector<uint8_t> argb(4 * 4 * 4 - 1, 255);
    std::string path = temp_png("bad.png");
    std::filesystem::remove(path);
    EXPECT_FALSE(platform::write_png_argb(path, argb, 4, 4));
    EXPECT_FALSE(platform::write_png_argb(path, argb, 0, 4));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(platform::write_png_argb("/nonexistent-dir/x/y.png", {255, 255, 255, 255}, 1, 1));
}
