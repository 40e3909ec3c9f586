// tests/toolkit/drawing_test.cpp: clearing, pixels, lines, rectangles and labels against
// known pixels of small windows.
#include "tests/toolkit/text_fixture.h"
#include "toolkit/drawing.h"
#include "toolkit/geometry.h"
#include "toolkit/video_memory.h"

#include <string>
#include <vector>

namespace {

using test_support::tiny_font;
using text_test::TextWindowTest;

class DrawingTest : public TextWindowTest {
  protected:
    // The smallest canvas, 32 x 32 pixels of window 1 at depth 24 with a 4 x 8 font, black.
    void open_canvas() { open(1, 24, 32, 32, tiny_font(4, 8)); }

    // The canvas's top-left 8 x 8 pixels as rows of palette letters: '.' black, 'W' white, 'R' red, 'G' green,
    // '?' anything else; the blends of labels show as '?'.
    std::vector<std::string> picture()
    {
        const t_Window& w = window_table[1];
        std::vector<std::string> rows;
        for (int64_t y = 0; y < 8; ++y) {
            std::string row;
            for (int64_t x = 0; x < 8; ++x) {
                const uint8_t* p = VideoMemory.data() + w.MemoryStart + 3 * (y * w.Width + x);
                const auto is = [p](int r, int g, int b) {
                    return p[0] == r && p[1] == g && p[2] == b;
                };
                row += is(0, 0, 0) ? '.' : is(255, 255, 255) ? 'W' : is(255, 0, 0) ? 'R'
                       : is(0, 255, 0)                                ? 'G'
                                                                      : '?';
            }
            rows.push_back(row);
        }
        return rows;
    }
};

TEST_F(DrawingTest, ClearPixelLineAndRectGiveKnownPixels)
{
    open_canvas();
    t_ClearGraphic(1, 15);
    t_DrawLine(1, 0, 0, 7, 3, 1);   // shallow: one pixel per column
    t_DrawLine(1, 6, 7, 6, 5, 12);  // vertical, drawn upwards
    t_FillRect(1, 3, 7, 1, 5, 0);   // corners in any order
    t_SetPixel(1, 7, 7, 1);
    t_SetPixel(1, 32, 0, 1);        // right of the canvas: clipped
    t_FillRect(1, -5, 4, 0, 100, 12); // clipped to column 0, rows 4 to 7
    EXPECT_EQ(picture(), (std::vector<std::string>{
                             "RRWWWWWW",
                             "WWRRWWWW",
                             "WWWWRRWW",
                             "WWWWWWRR",
                             "GWWWWWWW",
                             "G...WWGW",
                             "G...WWGW",
                             "G...WWGR",
                         }));
}

TEST_F(DrawingTest, LineEndsAreSymmetricAndClippedLinesStayInside)
{
    open_canvas();
    t_DrawLine(1, 7, 7, 0, 0, 15);
    t_DrawLine(1, -10, 2, 40, 2, 1); // crosses the whole canvas
    const std::vector<std::string> rows = picture();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rows[i][i], i == 2 ? 'R' : 'W') << i;
    EXPECT_EQ(rows[2], "RRRRRRRR");
}

TEST_F(DrawingTest, LabelDrawsHalfSizeGlyphsOverTheCanvas)
{
    open_canvas();
    // Each glyph of the tiny font: row 0 alternates ink, row 1 half ink, row 2 full ink.
    // At half size a label pixel averages 2 x 2 glyph pixels: label rows 0 and 1 get ink
    // 127 (a blend), rows 2 and 3 none.
    const int64_t width = t_DrawLabel(1, 1, 1, "A ", 15);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(t_LabelWidth(1, "A "), 4);
    EXPECT_EQ(t_LabelHeight(1), 4);
    const std::vector<std::string> rows = picture();
    EXPECT_EQ(rows[0], "........");
    EXPECT_EQ(rows[1], ".??.....") << "the blank draws nothing";
    EXPECT_EQ(rows[2], ".??.....");
    EXPECT_EQ(rows[3], "........");
    // Full ink is the label's colour exactly.
    t_Font solid = tiny_font(4, 8);
    std::fill(solid.Data.begin() + 'B' * 32, solid.Data.begin() + 'B' * 32 + 32, 255);
    t_WindowFont(1, solid);
    t_DrawLabel(1, 6, 6, "B", 1);
    EXPECT_EQ(picture()[6], "......RR");
    EXPECT_EQ(picture()[7], "......RR");
}

TEST_F(DrawingTest, DepthFourStoresThePaletteIndex)
{
    open(1, 4, 32, 32, tiny_font(4, 8));
    t_ClearGraphic(1, 9);
    t_SetPixel(1, 1, 0, 13);
    const uint8_t* p = VideoMemory.data() + window_table[1].MemoryStart;
    EXPECT_EQ(p[0], 0x9D);
    EXPECT_EQ(p[1], 0x99);
}

TEST_F(DrawingTest, MisuseCostsOneLineAndDrawsNothing)
{
    open_canvas();
    const uint64_t writes = VideoMemoryWrites;
    DiagCapture out;
    t_SetPixel(8, 0, 0, 1);
    t_DrawLine(2, 0, 0, 1, 1, 1);
    t_FillRect(1, 0, 0, 7, 7, 16);
    t_DrawLine(1, 0, 0, INT64_MAX, 1, 1);
    t_Font none;
    t_WindowFont(1, none);
    EXPECT_EQ(t_DrawLabel(1, 0, 0, "x", 15), 0);
    EXPECT_EQ(out.text(), "t_SetPixel: Window is not a graphic window.\n"
                          "t_DrawLine: Window #2 not initialized.\n"
                          "t_FillRect: Illegal color 16.\n"
                          "t_DrawLine: Window #1 illegal coordinates.\n"
                          "t_DrawLabel: Window #1 has no font.\n");
    EXPECT_EQ(VideoMemoryWrites, writes);
    EXPECT_EQ(picture()[0], "........");
}

TEST_F(DrawingTest, DrawingMarksTheWindowForItsNextImage)
{
    open_canvas();
    t_WindowVisible(1, true);
    auto before = t_WindowImage(1);
    ASSERT_TRUE(before);
    t_SetPixel(1, 2, 3, 15);
    auto after = t_WindowImage(1);
    ASSERT_TRUE(after);
    EXPECT_NE(before, after);
    EXPECT_EQ(after->pixels[3 * 32 + 2], 0xFFFFFFFFu);
}

} // namespace
