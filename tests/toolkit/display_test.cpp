// tests/toolkit/display_test.cpp: display modes, Escape commands and colours.
#include "text_fixture.h"
#include "toolkit/cursor.h"
#include "toolkit/display.h"
#include "toolkit/palette.h"
#include "toolkit/text_output.h"
#include "toolkit/video_memory.h"

#include <gtest/gtest.h>

using text_test::TextWindowTest;

using EscapeCommands = TextWindowTest;

TEST_F(EscapeCommands, ColoursAreSetWithoutPrintingUnknownCodesAreDrawn)
{
    open(1);
    t_Print(1, "\033A\033Q");
    EXPECT_EQ(win(1).TextColor, 0x11);
    t_Print(1, "\033L\033P");
    EXPECT_EQ(win(1).TextColor, 0xC0);
    EXPECT_EQ(rows(1)[0], "        ");
    EXPECT_EQ(win(1).TextHpos, 1);
    EXPECT_EQ(win(1).TextDisplayMode, 0);
    t_Print(1, "\033LP\033Ax"); // the letter after a command is printed
    EXPECT_EQ(rows(1)[0], "Px      ");
    EXPECT_EQ(toolkit::cell_colour(win(1), 2, 1), 0x10);
    EXPECT_EQ(win(1).TextColor, 0x10);
    t_Print(1, "\033L\033gA"); // unknown: drawn, and the escape mode stays for the A
    EXPECT_EQ(rows(1)[0], "Pxg     ");
    EXPECT_EQ(toolkit::cell_colour(win(1), 3, 1), 0xC0);
    EXPECT_EQ(win(1).TextColor, 0x10);
    EXPECT_EQ(win(1).TextDisplayMode, 0);
}

TEST_F(EscapeCommands, CursorAndTabStopsOfTenTwentyForty)
{
    open(1, 8, 320, 32); // 80 columns
    t_Print(1, "\033e");
    EXPECT_EQ(win(1).TextHpos, 80);
    EXPECT_EQ(win(1).TextVpos, 4);
    t_CursorHome(1);
    t_Print(1, "\033f");
    EXPECT_EQ(win(1).TextHpos, 80);
    win(1).TextHpos = 10;
    t_Print(1, "\033i");
    EXPECT_EQ(win(1).TextHpos, 21);
    t_Print(1, "\033j");
    EXPECT_EQ(win(1).TextHpos, 41);
    t_Print(1, "\033k");
    EXPECT_EQ(win(1).TextHpos, 81 - 80); // 81 > 80: cleared, next line
    EXPECT_EQ(win(1).TextVpos, 2);
    put(1, 2, std::string(80, 'x')); // beyond the line: rest cleared, next line
    win(1).TextHpos = 75;
    t_Print(1, "\033i");
    EXPECT_EQ(rows(1)[1], std::string(74, 'x') + std::string(6, ' '));
    EXPECT_EQ(win(1).TextHpos, 1);
    EXPECT_EQ(win(1).TextVpos, 3);
}

using DisplayModes = TextWindowTest;

// Mode 1 sets the upper half, mode 2 maps letters low; modes 3 and 4 show control codes as
// letters, inverse or in red, and then restore the colour.
TEST_F(DisplayModes, EachModeMapsItsCodes)
{
    open(1);
    t_DisplayMode(1, 1);
    t_Print(1, "A");
    t_DisplayMode(1, 2);
    t_Print(1, "aA~");
    EXPECT_EQ(rows(1)[0].substr(0, 4), "\xC1\x81\x01\x9E");
    t_CursorHome(1);
    t_DisplayMode(1, 3);
    t_Print(1, "\001b");
    t_DisplayMode(1, 4);
    t_Print(1, "\002c");
    EXPECT_EQ(rows(1)[0].substr(0, 4), "AbBc");
    const uint8_t colours[] = {0x0C, 0xC0, 0x10, 0xC0};
    for (int64_t column = 1; column <= 4; ++column)
        EXPECT_EQ(toolkit::cell_colour(win(1), column, 1), colours[column - 1]) << column;
    EXPECT_FALSE(win(1).TextInverse);
}

using Colours = TextWindowTest;

TEST_F(Colours, ColorKeepsBackgroundBorderSetsThePlatformBackgroundAndWraps)
{
    open(1);
    win(1).TextColor = 0xC3;
    t_Color(1, 0x1E);
    EXPECT_EQ(win(1).TextColor, 0xE3);
    EXPECT_EQ(win(1).RGBColor, PaletteColor(14));
    t_ColorBorder(1, 21);
    EXPECT_EQ(win(1).RGBColorBorder, PaletteColor(5));
    const platform::Color bg = platform::headless().window(1).state.background;
    EXPECT_DOUBLE_EQ(bg.red, 0x54 / 255.0);
    EXPECT_DOUBLE_EQ(bg.alpha, 1.0);
    t_Print(1, "\033o"); // Escape n to Escape 0x7F: border colour 0 to 17, which wraps
    EXPECT_EQ(win(1).RGBColorBorder, PaletteColor(1));
    t_Print(1, "\033\177");
    EXPECT_EQ(win(1).RGBColorBorder, PaletteColor(1));
}
