// The headless run's --image: window 0's screen image as a PNG file.
#include <gtest/gtest.h>

#include "tests/programs/program_fixture.h"

namespace {

namespace fs = std::filesystem;

// Counts the pixels of the 16 x 32 cell (column, line from 1) that are not black.
int lit_pixels(const test_support::Picture& p, int column, int line)
{
    int lit = 0;
    for (uint32_t y = (line - 1) * 32; y < uint32_t(line) * 32; ++y)
        for (uint32_t x = (column - 1) * 16; x < uint32_t(column) * 16; ++x) {
            const uint8_t* c = p.at(x, y);
            if (c[0] || c[1] || c[2])
                ++lit;
        }
    return lit;
}

} // namespace

TEST(ScreenImage, StartUpShowsPromptAndHelpInGreenOnBlack)
{
    const fs::path image = fs::path(ORBIKON_BUILD_DIR) / "test-programs" / "image" / "screen.png";
    ASSERT_EQ(program_test::run_headless("image", "", "--image '" + image.string() + "'").status, 0);
    const test_support::Picture p = test_support::read_png(image);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.width, 1280u);
    EXPECT_EQ(p.height, 800u);

    // Only green shades and black: text colour 12 on background 0.
    int green = 0;
    for (uint32_t i = 0; i < p.width * p.height; ++i) {
        const uint8_t* c = p.rgb.data() + 3 * i;
        ASSERT_EQ(c[0], c[2]) << "pixel " << i;
        ASSERT_GE(c[1], c[0]) << "pixel " << i;
        if (c[1] > 0x80)
            ++green;
    }
    EXPECT_GT(green, 1000);
    // The D of the prompt in the top-left cell, a blank cell after it, an empty last line.
    EXPECT_GT(lit_pixels(p, 1, 1), 20);
    EXPECT_EQ(lit_pixels(p, 9, 1), 0);
    EXPECT_EQ(lit_pixels(p, 40, 25), 0);
    // The help screen below the prompt: its first text line is row 3.
    EXPECT_GT(lit_pixels(p, 1, 3), 20);
}

TEST(ScreenImage, ImageNeedsHeadless)
{
    const fs::path dir = fs::path(ORBIKON_BUILD_DIR) / "test-headless" / "image-alone";
    fs::create_directories(dir);
    const std::string command = "'" + std::string(ORBIKON_BUILD_DIR) + "/orbikon' --image '" +
                                (dir / "x.png").string() + "' > /dev/null 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}
