// tests/toolkit/cursor_test.cpp: cursor movement, tabs, rules, inverse and control codes.
#include "text_fixture.h"
#include "toolkit/cursor.h"
#include "toolkit/display.h"
#include "toolkit/palette.h"
#include "toolkit/text_output.h"
#include "toolkit/video_memory.h"

#include <filesystem>
#include <gtest/gtest.h>

using text_test::TextWindowTest;

using CursorMoves = TextWindowTest;

TEST_F(CursorMoves, HtabCountsFromAreaVtabFromWindow)
{
    open(1);
    win(1).TextFirstColumn = 5;
    win(1).TextFirstLine = 3;
    t_Htab(1, 1);
    EXPECT_EQ(win(1).TextHpos, 5);
    t_Htab(1, 5); // 5 + 5 - 1 = 9 > 8 columns: ignored
    EXPECT_EQ(win(1).TextHpos, 5);
    t_Vtab(1, 1);
    EXPECT_EQ(win(1).TextVpos, 1);
    t_Vtab(1, 5);
    EXPECT_EQ(win(1).TextVpos, 1);
    EXPECT_EQ(t_Hpos(1), 1);
}

TEST_F(CursorMoves, LeftFromFirstCellScrollsDownEndUpAndDown)
{
    open(1);
    put(1, 1, "top");
    t_CursorHome(1);
    t_CursorLeft(1);
    EXPECT_EQ(win(1).TextHpos, 8);
    EXPECT_EQ(win(1).TextVpos, 1);
    EXPECT_EQ(rows(1)[0], "        ");
    EXPECT_EQ(rows(1)[1], "top     ");
    t_CursorEnd(1);
    EXPECT_EQ(win(1).TextHpos, 8);
    EXPECT_EQ(win(1).TextVpos, 4);
    put(1, 1, "a");
    t_CursorDown(1); // scrolls up, stays on the last line and column
    EXPECT_EQ(win(1).TextVpos, 4);
    EXPECT_EQ(win(1).TextHpos, 8);
    EXPECT_EQ(rows(1)[0], "top     ");
    t_CursorUp(1);
    EXPECT_EQ(win(1).TextVpos, 3);
}

using Tabs = TextWindowTest;

TEST_F(Tabs, PrintTabFillsToColumn)
{
    open(1);
    win(1).TextHpos = 4;
    t_PrintTab(1, 7, '.');
    EXPECT_EQ(rows(1)[0], "   ...  ");
    EXPECT_EQ(win(1).TextHpos, 7);
    t_PrintTab(1, 3, '.');
    EXPECT_EQ(win(1).TextHpos, 7);
    t_PrintSpc(1, 2);
    t_PrintSpc(1, -3);
    EXPECT_EQ(win(1).TextHpos, 1);
    EXPECT_EQ(win(1).TextVpos, 2);
}

using Inverse = TextWindowTest;

// Inverting a rectangle twice restores it; the cursor level nests; inverse output stores
// the colours exchanged.
TEST_F(Inverse, CellsSwapTheirColours)
{
    open(1);
    put(1, 2, "abc");
    t_InvertRect(1, 1, 2, 2, 2);
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 2), 0x0C);
    EXPECT_EQ(toolkit::cell_colour(win(1), 3, 2), 0xC0);
    EXPECT_EQ(toolkit::cell_char(win(1), 1, 2), 'a');
    t_InvertRect(1, 1, 2, 2, 2);
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 2), 0xC0);
    t_InvertRect(1, 3, 2, 1, 2); // column2 below column1: nothing
    t_InvertRect(1, 1, 1, 9, 1); // beyond the last column: nothing
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 1), 0xC0);

    t_CursorOn(1);
    t_CursorOn(1);
    t_CursorOff(1);
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 1), 0x0C);
    t_CursorOff(1);
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 1), 0xC0);
    t_CursorOff(1); // level -1: no drawing
    t_CursorOn(1);  // back to 0: no drawing either
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 1), 0xC0);

    t_Print(1, "\017a\016b\021c");
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 1), 0x0C);
    EXPECT_EQ(toolkit::cell_colour(win(1), 2, 1), 0xC0);
    EXPECT_EQ(toolkit::cell_colour(win(1), 3, 1), 0x0C);
}

// The cells handed to text backends: characters, both colours, the cursor's cell marked.
TEST_F(Inverse, FrameCellsCarryColoursAndTheCursor)
{
    open(1);
    win(1).Visible = true; // frames are made of shown windows only
    t_Color(1, 12);
    t_Print(1, "Hi\xC3\xA4");
    t_PrintChar(1, 0x9C); // a drawing glyph: the code stays, the text shows a lookalike
    t_CursorOn(1);
    const platform::Frame frame = t_WindowFrame(1);
    ASSERT_TRUE(frame.image);
    ASSERT_TRUE(frame.text);
    ASSERT_EQ(frame.text->columns, win(1).TextWidth);
    ASSERT_EQ(frame.text->lines, win(1).TextHeight);
    const auto argb = [](int i) {
        const t_RGBColor c = PaletteColor(i);
        return 0xFF000000u | (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue;
    };
    const platform::TextCell* cells[] = {frame.text->at(1, 1), frame.text->at(2, 1),
                                         frame.text->at(3, 1), frame.text->at(4, 1),
                                         frame.text->at(5, 1)};
    const char32_t codes[] = {U'H', U'i', U'\u00E4', 0x9C, U' '};
    const char32_t shown[] = {U'H', U'i', U'\u00E4', U'|', U' '};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(cells[i]);
        EXPECT_EQ(cells[i]->code, codes[i]) << i;
        EXPECT_EQ(cells[i]->character, shown[i]) << i;
        // The cursor draws its cell with the colours exchanged.
        const bool cursor = i == 4;
        EXPECT_EQ(cells[i]->foreground, argb(cursor ? 0 : 12)) << i;
        EXPECT_EQ(cells[i]->background, argb(cursor ? 12 : 0)) << i;
    }
    t_CursorOff(1);
    EXPECT_EQ(t_WindowFrame(1).text->at(5, 1)->background, argb(0));
}

using Controls = TextWindowTest;

TEST_F(Controls, FormFeedAndLineEditingCodes)
{
    open(1);
    t_Print(1, "A\014B"); // form feed clears and homes
    EXPECT_EQ(rows(1), (std::vector<std::string>{"B       ", "        ", "        ", "        "}));
    t_Print(1, "\014");
    t_Print(1, "abcdef\x08\x08\x1D"); // two left, clear to end of line
    EXPECT_EQ(rows(1)[0], "abcd    ");
    t_Print(1, "\032x"); // whole line blanked, cursor to its start
    EXPECT_EQ(rows(1)[0], "x       ");
    t_Print(1, "\012y\036z\031w");
    EXPECT_EQ(rows(1)[0], "w z     ");
    EXPECT_EQ(rows(1)[1], " y      ");
    t_Print(1, "\022q\034r");
    EXPECT_EQ(rows(1)[0], "q r     ");
}

TEST_F(Controls, ScrollCodesAndModeCodes)
{
    open(1);
    put(1, 1, "one");
    t_Print(1, "\x16"); // scroll down
    EXPECT_EQ(rows(1)[1], "one     ");
    t_Print(1, "\x17"); // scroll up
    EXPECT_EQ(rows(1)[0], "one     ");
    t_Print(1, "\x14");
    EXPECT_EQ(win(1).TextDisplayMode, 1);
    t_Print(1, "\x1F");
    EXPECT_EQ(win(1).TextDisplayMode, 2);
    t_Print(1, "\x13");
    EXPECT_EQ(win(1).TextDisplayMode, 0);
    t_Print(1, "\x1B");
    EXPECT_EQ(win(1).TextDisplayMode, 99);
}

TEST_F(Controls, BellPlaysTheSoundResource)
{
    open(1);
    t_Print(1, "\x07");
    const auto played = platform::headless().sounds_played();
    ASSERT_EQ(played.size(), 1u);
    EXPECT_NE(played[0].find("sysbeep.aif"), std::string::npos);
    t_Print(1, "\x07"); // still playing: not started again
    EXPECT_EQ(platform::headless().sounds_played().size(), 1u);
    EXPECT_EQ(platform::headless().beeps(), 0);
}

// A printed BEL used to stay silent when the sound could not be played (a terminal, a
// desktop without audio); it falls back to the alert beep as the menus' Beep does.
TEST_F(Controls, BellFallsBackToTheAlertBeepWithoutTheSound)
{
    open(1);
    const std::string empty = testing::TempDir() + "orbikon-no-sounds";
    std::filesystem::create_directories(empty);
    setenv("ORBIKON_RESOURCES", empty.c_str(), 1);
    t_Print(1, "\x07");
    unsetenv("ORBIKON_RESOURCES");
    EXPECT_TRUE(platform::headless().sounds_played().empty());
    EXPECT_EQ(platform::headless().beeps(), 1);
}
