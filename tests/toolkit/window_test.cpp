// tests/toolkit/window_test.cpp: video memory, window set-up and the basic text output.
#include "text_fixture.h"
#include "toolkit/cursor.h"
#include "toolkit/glyphs.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/text_output.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using text_test::TextWindowTest;

using InitMemory = TextWindowTest;

TEST_F(InitMemory, PrintsItsLinesOnceAndFillsWithFF)
{
    MemoryInitStarted = false;
    MemoryReady = false;
    int menus = 0;
    int pasteboard = 0;
    toolkit::shell_hooks().prepare_menus = [&] { ++menus; };
    toolkit::shell_hooks().setup_pasteboard_view = [&] {
        EXPECT_EQ(menus, 1);
        ++pasteboard;
    };
    DiagCapture out;
    t_InitMemory();
    t_InitMemory();
    EXPECT_EQ(out.text(), "t_InitMemory: Start.\nt_InitMemory: End.\n");
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(pasteboard, 1);
    EXPECT_TRUE(MemoryReady);
    EXPECT_EQ(VideoMemory.size(), 0x100000Fu);
    EXPECT_EQ(VideoMemory[0x100000E], 0xFF);
    EXPECT_EQ(HighMemory, 0xFFFFFF);
}

using InitWindow = TextWindowTest;

using Print = TextWindowTest;

TEST_F(Print, CarriageReturnInTextAndPauseChecks)
{
    open(1);
    t_Print(1, "AB\rC");
    EXPECT_EQ(rows(1)[0], "AB      ");
    EXPECT_EQ(rows(1)[1], "C       ");
    EXPECT_EQ(pause_checks, 2);
    t_Print(1, "");
    EXPECT_EQ(pause_checks, 3);
}

TEST_F(Print, TextIsMappedToLatinOneBytesAreNot)
{
    open(1);
    t_Print(1, "\xC3\xBC\xE2\x82\xAC\xFF\r"); // ü, euro sign, a stray byte
    EXPECT_EQ(rows(1)[0], "\xFC??     ");
    t_Print(1, std::vector<uint8_t>{0xC3, 0xBC, 'a'}); // one character per byte
    EXPECT_EQ(rows(1)[1], "\xC3\xBC\x61     ");
}

TEST_F(Print, RedirectedOutputGoesToStandardOutput)
{
    open(1);
    t_RedirectOutput(1, 2);
    {
        DiagCapture out;
        t_Print(1, "A\xC3\xBC\r");
        EXPECT_EQ(out.text(), "A\xC3\xBC\r");
    }
    EXPECT_EQ(rows(1)[0], "        ");
    t_RedirectOutput(1, 0);
    DiagCapture out;
    t_Print(1, "B\r");
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(rows(1)[0], "        ");
}

using Clear = TextWindowTest;

TEST_F(Clear, EndOfWindowOnLastLineClearsOnlyThatLine)
{
    open(1);
    for (int line = 1; line <= 4; ++line)
        put(1, line, "abcdefgh");
    win(1).TextHpos = 3;
    win(1).TextVpos = 4;
    t_ClearEndOfWindow(1);
    EXPECT_EQ(rows(1), (std::vector<std::string>{"abcdefgh", "abcdefgh", "abcdefgh", "ab      "}));
    EXPECT_EQ(win(1).TextHpos, 3);
    win(1).TextHpos = 2;
    win(1).TextVpos = 2;
    t_ClearEndOfWindow(1);
    EXPECT_EQ(rows(1), (std::vector<std::string>{"abcdefgh", "a       ", "        ", "        "}));
    EXPECT_EQ(win(1).TextVpos, 2);
    win(1).TextHpos = 9; // end of line beyond the last column clears nothing
    win(1).TextVpos = 1;
    t_ClearEndOfLine(1);
    EXPECT_EQ(rows(1)[0], "abcdefgh");
}

using Scroll = TextWindowTest;

TEST_F(Scroll, NarrowAreaMovesOnlyItsCells)
{
    open(1);
    for (int line = 1; line <= 4; ++line)
        put(1, line, std::string(8, static_cast<char>('a' + line - 1)));
    win(1).TextFirstColumn = 3;
    win(1).TextLastColumn = 5;
    win(1).TextFirstLine = 2;
    t_ScrollUp(1);
    EXPECT_EQ(rows(1), (std::vector<std::string>{"aaaaaaaa", "bbcccbbb", "ccdddccc", "dd   ddd"}));
    t_ScrollDown(1);
    EXPECT_EQ(rows(1), (std::vector<std::string>{"aaaaaaaa", "bb   bbb", "cccccccc", "dddddddd"}));
    win(1).ScrollLock = true; // stops both directions
    t_ScrollUp(1);
    t_ScrollDown(1);
    EXPECT_EQ(rows(1), (std::vector<std::string>{"aaaaaaaa", "bb   bbb", "cccccccc", "dddddddd"}));
}

using ForeignFont = TextWindowTest;

// A replacement font of another cell size must not carry output or a scroll into the memory
// of the window set up before.
TEST_F(ForeignFont, BiggerCellsNeverTouchTheNeighbour)
{
    open(0);
    open(1);
    const t_Window before = window_table[0];
    std::vector<uint8_t> neighbour(VideoMemory.begin() + before.TextMemoryStart,
                                   VideoMemory.begin() + before.MemoryEnd + 1);
    t_WindowFont(1, text_test::tiny_font(32, 32));
    put(1, 1, "abcd");
    auto untouched = [&] {
        return std::equal(neighbour.begin(), neighbour.end(),
                          VideoMemory.begin() + before.TextMemoryStart);
    };
    // Checked after each, since a move down can put back what a move up displaced.
    t_ScrollUp(1);
    EXPECT_TRUE(untouched());
    t_ScrollDown(1);
    EXPECT_TRUE(untouched());
}

TEST_F(ForeignFont, SmallerCellsStopAtTheTextGrid)
{
    open(1); // 8 x 4 cells of 4 x 8
    t_WindowFont(1, text_test::tiny_font(2, 2));
    DiagCapture out;
    t_PrintSymbol(1, 'a', 0xC0, 9, 1);
    EXPECT_EQ(out.text(), "t_PrintSymbol: Window #1 illegal coordinates (x = 9, y = 1).\n");
}
