// tests/toolkit/window_test.cpp: video memory, window set-up and the basic text output.
#include "text_fixture.h"
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

TEST_F(InitWindow, MainWindowLandsAtD12000WithTextBlockBelow)
{
    text_test::make_view(0);
    DiagCapture out;
    t_InitWindow(0, 24, 80, 25, 16, "MenloBold 16x32.font");
    EXPECT_TRUE(out.text().starts_with("t_InitWindow: GraphicWindow #0 Start.\n"));
    EXPECT_TRUE(out.text().ends_with("\nt_InitWindow: GraphicWindow #0 End.\n")) << out.text();
    EXPECT_THAT(out.text(),
                HasSubstr("t_InitWindow: GraphicWindow #0 = 1280 x 800 pixel x 24 bit = "
                          "3.000,00K video-memory = $00D12000.\n"));
    // A first set-up has nothing to give back.
    EXPECT_EQ(out.text().find("high memory"), std::string::npos) << out.text();
    const t_Window& w = window_table[0];
    EXPECT_EQ(w.MemoryEnd, 0xFFFFFF);
    EXPECT_EQ(w.TextMemoryStart, 0xD11000);
    EXPECT_EQ(toolkit::colour_plane_start(w), 0xD11800);
    EXPECT_EQ(HighMemory, 0xD10FFF);
    EXPECT_EQ(w.RGBColorBorder, PaletteColor(5));
    // Cleared: black pixels, blank cells in green on black.
    EXPECT_EQ(VideoMemory[0xD12000], 0);
    EXPECT_EQ(VideoMemory[0xFFFFFF], 0);
    EXPECT_EQ(VideoMemory[0xD11000], 0x20);
    EXPECT_EQ(VideoMemory[0xD11800 + 1999], 0xC0);
    EXPECT_EQ(platform::headless().window_title(0), "Orbikon");
}

TEST_F(InitWindow, SecondWindowBlocksAreMaskedBelowTheFirst)
{
    text_test::make_view(0);
    text_test::make_view(1);
    {
        DiagCapture quiet;
        t_InitWindow(0, 24, 80, 25, 16, "MenloBold 16x32.font");
    }
    DiagCapture out;
    t_InitWindow(1, 8, false, 32, 32, 0, 0, text_test::tiny_font(4, 8), true);
    // 1 KiB wanted from 0xD10FFF: 0xD10C00, and the mask also clears bit 11.
    EXPECT_THAT(out.text(), HasSubstr("t_InitWindow: GraphicWindow #1 = 32 x 32 pixel x 8 bit = "
                                      "1,00K video-memory = $00D10400.\n"));
    const t_Window& w = window_table[1];
    EXPECT_EQ(w.MemoryStart, 0xD10400);
    EXPECT_EQ(w.MemoryEnd, 0xD10FFF);
    EXPECT_EQ(w.TextMemoryStart, 0xD10000);
    EXPECT_EQ(w.TextMemoryEnd, 0xD103FF);
    EXPECT_EQ(toolkit::colour_plane_start(w), 0xD10200);
    EXPECT_EQ(HighMemory, 0xD0FFFF);
    EXPECT_EQ(CurrentTextWindow, 0);
    EXPECT_EQ(window_table[0].MemoryStart, 0xD12000);
}

TEST_F(InitWindow, HiddenTitleAndBordersFromTheScreen)
{
    text_test::make_view(2);
    TitleBarHeight = 28;
    DiagCapture out;
    t_InitWindow(2, 8, false, 320, 200, -1, -1, t_Font{}, false);
    TitleBarHeight = 0;
    EXPECT_THAT(out.text(), HasSubstr("t_InitWindow: GraphicWindow #2 title will be invisible.\n"));
    const auto screen = platform::headless().screen_size();
    EXPECT_EQ(window_table[2].BorderWidth, static_cast<int64_t>(screen.width) - 320);
    EXPECT_EQ(window_table[2].BorderHeight, static_cast<int64_t>(screen.height) - 200);
    EXPECT_EQ(window_table[2].TitleHeight, 0);
}

TEST_F(InitWindow, RefusesBlocksThatDoNotFit)
{
    text_test::make_view(0);
    HighMemory = 0x20000;
    DiagCapture out;
    t_InitWindow(0, 24, true, 1280, 800, 0, 0, t_Font{}, true);
    EXPECT_EQ(out.text(), "t_InitWindow: GraphicWindow #0 Start.\n"
                          "t_WindowAutoUpdateProcess: Start.\n" // the set-up starts the thread
                          "t_InitWindow: GraphicWindow #0 has not enough graphic-video-memory (64K "
                          "available).\n"
                          "t_InitWindow: Displaying 1280 x 800 pixel x 24 bit needs 3.000,00K "
                          "video-memory.\n");
    EXPECT_FALSE(window_table[0].Initialized);
    EXPECT_EQ(HighMemory, 0x20000);

    // The graphic block (32 x 32 at depth 8, 1 KiB) and the text block (8 x 8 cells, 128
    // bytes) fit alone, not together.
    HighMemory = 0x10000 + 0x4FF;
    out.clear();
    t_InitWindow(0, 8, false, 32, 32, 0, 0, text_test::tiny_font(), true);
    EXPECT_THAT(out.text(), HasSubstr("t_InitWindow: GraphicWindow #0 has not enough "
                                      "text-video-memory (0K available).\n"
                                      "t_InitWindow: Displaying 8 x 8 characters needs 0,12K "
                                      "text-video-memory.\n"));
    EXPECT_FALSE(window_table[0].Initialized);
    EXPECT_EQ(window_table[0].MemoryStart, -1);
    EXPECT_EQ(HighMemory, 0x10000 + 0x4FF);
}

TEST(NumberTexts, KibibytesTruncateToTwoDecimals)
{
    EXPECT_EQ(toolkit::kib_text(3000.0), "3.000,00");
    EXPECT_EQ(toolkit::kib_text(4000.0 / 1024.0), "3,90");
    EXPECT_EQ(toolkit::kib_text(0.29), "0,29");
    EXPECT_EQ(toolkit::kib_text(1234567.891), "1.234.567,89");
    EXPECT_EQ(toolkit::hex8_text(0xD12000), "00D12000");
}

using Print = TextWindowTest;

TEST_F(Print, LastCellWrapsAndScrolls)
{
    open(1); // 8 x 4 cells
    t_Print(1, "1");
    win(1).TextHpos = 8;
    win(1).TextVpos = 4;
    t_Print(1, "X");
    EXPECT_EQ(win(1).TextHpos, 1);
    EXPECT_EQ(win(1).TextVpos, 4);
    EXPECT_EQ(rows(1), (std::vector<std::string>{"        ", "        ", "       X", "        "}));
}

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

TEST_F(Scroll, FullWidthMovesCellsAndPixels)
{
    open(1);
    t_Print(1, "a\rb\rc\rd");
    // Line 2 holds "b": its glyph's row 2 (all 255 in the font) lies at pixel row 8 + 2.
    const int64_t row_bytes = 32;
    const int64_t base = win(1).MemoryStart;
    EXPECT_EQ(VideoMemory[base + (8 + 2) * row_bytes], 85); // green's grey at full coverage
    t_ScrollUp(1);
    EXPECT_EQ(rows(1), (std::vector<std::string>{"b       ", "c       ", "d       ", "        "}));
    EXPECT_EQ(VideoMemory[base + 2 * row_bytes], 85);
    EXPECT_EQ(VideoMemory[base + (24 + 2) * row_bytes], 0);
    t_ScrollDown(1);
    EXPECT_EQ(rows(1), (std::vector<std::string>{"        ", "b       ", "c       ", "d       "}));
    EXPECT_EQ(VideoMemory[base + 2 * row_bytes], 0);
    EXPECT_EQ(VideoMemory[base + (8 + 2) * row_bytes], 85);
}

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

TEST(MoveVideoMemory, OverlappingRangesBothWays)
{
    toolkit::reset_video_memory();
    for (int i = 0; i < 8; ++i)
        VideoMemory[0x20000 + i] = static_cast<uint8_t>(i);
    MoveVideoMemory(0x20000, 0x20002, 6);
    EXPECT_EQ(VideoMemory[0x20007], 5);
    EXPECT_EQ(VideoMemory[0x20002], 0);
    MoveVideoMemory(0x20002, 0x20000, 6);
    EXPECT_EQ(VideoMemory[0x20000], 0);
    EXPECT_EQ(VideoMemory[0x20005], 5);
    // Out of range: nothing, and no out-of-bounds access.
    MoveVideoMemory(0x100000E, 0x20000, 4);
    MoveVideoMemory(0x20000, -1, 4);
    EXPECT_EQ(VideoMemory[0x20000], 0);
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
