// Release of a re-initialised window's memory and the window-level operations 0 to 12.
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "tests/support/test_support.h"
#include "toolkit/geometry.h"
#include "toolkit/render.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"
#include "toolkit/window_setup.h"

#include <gtest/gtest.h>

namespace {

using platform::headless;
using platform::Rect;
using platform::WindowKind;

constexpr int64_t TITLE = 28;

class GeometryTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(test_support::fresh_toolkit());
        TitleBarHeight = TITLE;
        for (uint8_t i = 0; i < 3; ++i)
            test_support::build_window(i, WindowKind::Graphic, {100, 50, 300, 300});
        test_support::build_window(8, WindowKind::Text, {10, 20, 400, 300});
        test_support::build_window(9, WindowKind::Text, {0, 0, 600, 500}, true);
        test_support::build_window(11, WindowKind::Plain, {5, 6, 300, 228});
    }
    void TearDown() override
    {
        EXPECT_TRUE(toolkit::stop_auto_update());
        TitleBarHeight = 0;
    }

    // What the window system was last told to show of window n.
    static platform::WindowState shown(uint8_t n) { return headless().window(n).state; }

    // The main window's geometry: 80 x 25 cells of 16 x 32 at 24 bits, border 16.
    static void init_main_window()
    {
        t_InitWindow(0, 24, false, 1280, 800, 16, 16, test_support::tiny_font(16, 32, true), true);
    }
};

} // namespace

TEST_F(GeometryTest, ReinitialisingWindow0MovesWindow1UpWithItsBytes)
{
    DiagCapture out;
    init_main_window();
    t_InitWindow(1, 8, false, 64, 64, 4, 4, test_support::tiny_font(8, 8, true), true);
    const t_Window before = window_table[1];
    ASSERT_EQ(before.MemoryStart, 0xD10000);
    ASSERT_EQ(before.MemoryEnd, 0xD10FFF);
    ASSERT_EQ(before.TextMemoryStart, 0xD0F400);
    ASSERT_EQ(before.TextMemoryEnd, 0xD0FFFF);
    for (int64_t a = before.MemoryStart; a <= before.MemoryEnd; ++a)
        VideoMemory[static_cast<size_t>(a)] = static_cast<uint8_t>(a * 7);
    for (int64_t a = before.TextMemoryStart; a <= before.TextMemoryEnd; ++a)
        VideoMemory[static_cast<size_t>(a)] = static_cast<uint8_t>(a * 13);

    out.clear();
    init_main_window();
    const int64_t d = 0x2EF000;
    const t_Window& after = window_table[1];
    EXPECT_EQ(after.MemoryStart, before.MemoryStart + d);
    EXPECT_EQ(after.MemoryEnd, before.MemoryEnd + d);
    EXPECT_EQ(after.TextMemoryStart, before.TextMemoryStart + d);
    EXPECT_EQ(after.TextMemoryEnd, before.TextMemoryEnd + d);
    for (int64_t a = before.MemoryStart; a <= before.MemoryEnd; ++a)
        ASSERT_EQ(VideoMemory[static_cast<size_t>(a + d)], static_cast<uint8_t>(a * 7)) << a;
    for (int64_t a = before.TextMemoryStart; a <= before.TextMemoryEnd; ++a)
        ASSERT_EQ(VideoMemory[static_cast<size_t>(a + d)], static_cast<uint8_t>(a * 13)) << a;

    // Window 0 comes afresh below window 1's moved blocks.
    EXPECT_TRUE(window_table[0].Initialized);
    EXPECT_EQ(window_table[0].MemoryEnd, 0xFFE3FF);
    EXPECT_EQ(window_table[0].MemoryStart, 0xD10400);
    EXPECT_LT(window_table[0].MemoryEnd, after.TextMemoryStart);
}

TEST_F(GeometryTest, ReleasingTheLowestWindowMovesNothing)
{
    DiagCapture out;
    init_main_window();
    t_InitWindow(1, 8, false, 64, 64, 4, 4, test_support::tiny_font(8, 8, true), true);
    const int64_t high = HighMemory;
    const int64_t window0_start = window_table[0].MemoryStart;
    out.clear();
    t_InitWindow(1, 8, false, 64, 64, 4, 4, test_support::tiny_font(8, 8, true), true);
    EXPECT_EQ(out.text().find("moving"), std::string::npos);
    EXPECT_EQ(HighMemory, high);
    EXPECT_EQ(window_table[0].MemoryStart, window0_start);
}

TEST_F(GeometryTest, PositionSelectors)
{
    DiagCapture quiet;
    init_main_window();
    t_Window& w = window_table[0];
    w.TextFirstColumn = 5;
    w.TextLastColumn = 20;
    w.TextFirstLine = 3;
    w.TextLastLine = 10;
    // Selectors 0 to 21; frame (100, 50) of height 860 on a 1920 x 1080-point screen.
    const int64_t graphic[] = {5,    3,    20,          10,   16,
                               8,    80,   25,          1280, 800,
                               1312, 832,  832 + TITLE, 100,  1080 - 50 - 860,
                               1920, 1080, TITLE,       16,   16,
                               50,   0};
    for (int64_t selector = 0; selector < 22; ++selector)
        EXPECT_EQ(t_WindowPos(0, selector), graphic[selector]) << selector;
    EXPECT_EQ(t_WindowPos(0, -1), 0);
    MemoryReady = false; // the text selectors need ready memory
    EXPECT_EQ(t_WindowPos(0, 6), 0);
    EXPECT_EQ(t_WindowPos(0, 8), 1280);
    MemoryReady = true;
    const std::pair<int64_t, int64_t> shell[] = {{8, 300}, {9, 200}, {10, 300}, {12, 228},
                                                 {13, 5},  {20, 6},  {6, 0},    {18, 0}};
    for (auto [selector, value] : shell)
        EXPECT_EQ(t_WindowPos(11, selector), value) << selector;
    t_FullArea(0); // back to the whole window
    EXPECT_EQ(std::vector<int64_t>(
                  {t_WindowPos(0, 0), t_WindowPos(0, 1), t_WindowPos(0, 2), t_WindowPos(0, 3)}),
              std::vector<int64_t>({1, 1, 80, 25}));
}

TEST_F(GeometryTest, SizeKeepsPositionAndAddsBorderAndTitle)
{
    DiagCapture out;
    init_main_window();
    const Rect graphic = shown(0).frame;
    t_WindowSize(0, -1, -1, -1, -1); // all minus ones keep every window
    EXPECT_EQ(shown(0).frame, graphic);
    t_WindowSize(11, -1, -1, -1, -1);
    EXPECT_EQ(shown(11).frame, (Rect{5, 6, 300, 228}));
    const Rect text = shown(9).frame;
    t_WindowSize(9, -1, -1, -1, -1);
    EXPECT_EQ(shown(9).frame, text);
    t_WindowSize(0, -1, -1, 640, 400);
    EXPECT_EQ(shown(0).frame, (Rect{100, 50, 640 + 32, 400 + 32 + TITLE}));
    EXPECT_EQ(shown(0).view_frame, (Rect{16, 16, 640, 400}));
}

TEST_F(GeometryTest, SizeOfATextWindowSetsItsScrollView)
{
    const Rect old_scroll = toolkit::platform_window(9).scroll_view_frame;
    t_WindowSize(9, 30, 40, 500, 400);
    EXPECT_EQ(shown(9).frame, (Rect{30, 40, 500, 400 + TITLE}));
    EXPECT_EQ(toolkit::platform_window(9).scroll_view_frame,
              (Rect{old_scroll.x, old_scroll.y, 460, 323}));
    EXPECT_FALSE(shown(9).visible);
    t_WindowVisible(9, true);
    t_WindowSize(9, 0, 0, 0, -5); // a size of zero keeps the scroll view's size
    EXPECT_EQ(toolkit::platform_window(9).scroll_view_frame,
              (Rect{old_scroll.x, old_scroll.y, 460, 323}));
    EXPECT_EQ(shown(9).frame, (Rect{0, 0, 460 + 40, 323 + 77 + TITLE}));
    EXPECT_TRUE(shown(9).visible);
    EXPECT_NE(toolkit::key_window(), 9); // sized, not made the key window
}

TEST_F(GeometryTest, ShowingThePasteboardWindowFillsItsText)
{
    headless().set_pasteboard_text("vom Klemmbrett");
    t_WindowVisible(8, true);
    EXPECT_TRUE(shown(8).visible);
    EXPECT_EQ(headless().window(8).text, "vom Klemmbrett");
    EXPECT_EQ(toolkit::window_text(8), "vom Klemmbrett");
    headless().set_pasteboard_image(nullptr); // the pasteboard holds no text now
    t_WindowVisible(8, true);
    EXPECT_EQ(headless().window(8).text, "");
}

TEST_F(GeometryTest, FrontCenterTitleAndTitleBar)
{
    DiagCapture quiet;
    init_main_window();
    t_WindowFront(0);
    EXPECT_TRUE(window_table[0].Visible);
    EXPECT_EQ(toolkit::key_window(), 0);
    EXPECT_EQ(headless().front_window(), 0);
    t_WindowCenter(11);
    EXPECT_EQ(shown(11).frame, (Rect{(1920 - 300) / 2, (1080 - 228) / 2, 300, 228}));
    t_WindowTitle(9, "Drucker");
    EXPECT_EQ(shown(9).title, "Drucker");
    t_WindowTitleVisible(0, false);
    EXPECT_FALSE(shown(0).title_bar_visible);
    EXPECT_EQ(window_table[0].TitleHeight, 0);
    t_WindowTitleVisible(0, true);
    EXPECT_EQ(window_table[0].TitleHeight, TITLE);
}

TEST_F(GeometryTest, HidingTheKeyWindowHandsTheKeyToTheWindowFrontedBefore)
{
    t_WindowFront(9);
    t_WindowFront(11);
    t_WindowFront(8);
    EXPECT_EQ(toolkit::key_window(), 8);
    t_WindowVisible(11, false); // not the key window: the key stays
    EXPECT_EQ(toolkit::key_window(), 8);
    t_WindowVisible(8, false);
    EXPECT_EQ(toolkit::key_window(), 9);
    EXPECT_EQ(headless().front_window(), 9);
    t_WindowVisible(9, false); // the last shown window
    EXPECT_EQ(toolkit::key_window(), platform::NO_WINDOW);
    EXPECT_EQ(headless().front_window(), platform::NO_WINDOW);
}
