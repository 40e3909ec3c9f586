// tests/toolkit/display_test.cpp: display modes, Escape commands and colours.
#include "text_fixture.h"
#include "toolkit/display.h"

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

TEST_F(EscapeCommands, BorderColourWrapsAboveFifteen)
{
    open(1);
    t_Print(1, "\033o");
    EXPECT_EQ(win(1).RGBColorBorder, PaletteColor(1));
    t_Print(1, "\033\177"); // 0x7F - 0x6E = 17 wraps to 1
    EXPECT_EQ(win(1).RGBColorBorder, PaletteColor(1));
    t_Print(1, "\033n");
    EXPECT_EQ(win(1).RGBColorBorder, PaletteColor(0));
}

using DisplayModes = TextWindowTest;

TEST_F(DisplayModes, UpperHalfAndLowMapping)
{
    open(1);
    t_DisplayMode(1, 1);
    t_Print(1, "A");
    t_DisplayMode(1, 2);
    t_Print(1, "aA~");
    const std::string row = rows(1)[0];
    EXPECT_EQ(static_cast<uint8_t>(row[0]), 0xC1);
    EXPECT_EQ(static_cast<uint8_t>(row[1]), 0x81);
    EXPECT_EQ(static_cast<uint8_t>(row[2]), 0x01);
    EXPECT_EQ(static_cast<uint8_t>(row[3]), 0x9E);
}

TEST_F(DisplayModes, ModesThreeAndFourShowControlsAsLetters)
{
    open(1);
    t_DisplayMode(1, 3);
    t_Print(1, "\001b");
    EXPECT_EQ(rows(1)[0].substr(0, 2), "Ab");
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 1), 0x0C);
    EXPECT_EQ(toolkit::cell_colour(win(1), 2, 1), 0xC0);
    EXPECT_FALSE(win(1).TextInverse);
    t_DisplayMode(1, 4); // mode four: in red, then the colour is restored
    t_Print(1, "\002c");
    EXPECT_EQ(rows(1)[0].substr(0, 4), "AbBc");
    EXPECT_EQ(toolkit::cell_colour(win(1), 3, 1), 0x10);
    EXPECT_EQ(toolkit::cell_colour(win(1), 4, 1), 0xC0);
}

using Colours = TextWindowTest;

TEST_F(Colours, ColorKeepsBackgroundBorderSetsThePlatformBackground)
{
    open(1);
    win(1).TextColor = 0xC3;
    t_Color(1, 0x1E);
    EXPECT_EQ(win(1).TextColor, 0xE3);
    EXPECT_EQ(win(1).RGBColor, PaletteColor(14));
    t_ColorBorder(1, 21);
    EXPECT_EQ(win(1).RGBColorBorder, PaletteColor(5));
    const platform::Color bg = platform::headless().window(1).background;
    EXPECT_DOUBLE_EQ(bg.red, 0x54 / 255.0);
    EXPECT_DOUBLE_EQ(bg.alpha, 1.0);
}

TEST(PaletteColor, BeyondFifteenIsBlack)
{
    EXPECT_EQ(PaletteColor(12), (t_RGBColor{255, 0, 0xFF, 0}));
    EXPECT_EQ(PaletteColor(16), (t_RGBColor{255, 0, 0, 0}));
}
