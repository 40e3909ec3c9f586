// Screen images at every depth, redraw requests, auto-update pacing and screen text.
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"
#include "toolkit/display.h"
#include "toolkit/palette.h"
#include "toolkit/render.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <gtest/gtest.h>

namespace {

using test_support::wait_for;

// A window record made by hand: depth, size and a graphic block at a fixed address, so
// each test states exactly the bytes it converts.
t_Window& canvas(uint8_t win, int64_t depth, int64_t width, int64_t height)
{
    t_Window& w = window_table[win];
    w.Initialized = true;
    w.Visible = true;
    w.BitDepth = depth;
    w.Width = width;
    w.Height = height;
    w.MemoryStart = 0x100000 + win * 0x10000;
    w.MemoryEnd = w.MemoryStart + 0xFFFF;
    return w;
}

uint8_t* block(const t_Window& w)
{
    return VideoMemory.data() + w.MemoryStart;
}

uint32_t rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

uint32_t palette(int i)
{
    return rgb(Palette[i].Red, Palette[i].Green, Palette[i].Blue);
}

class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(test_support::fresh_toolkit());
        for (uint8_t i = 0; i < 3; ++i)
            test_support::build_window(i, platform::WindowKind::Graphic, {0, 0, 200, 200}, false,
                                       true);
    }
    void TearDown() override { EXPECT_TRUE(toolkit::stop_auto_update()); }
};

} // namespace

TEST_F(RenderTest, EveryDepthConvertsToOpaquePixels)
{
    const uint32_t W = palette(15), K = palette(0);
    std::vector<uint32_t> one_bit; // MSB first; row 1 starts at byte 2
    for (int i = 0; i < 32; ++i)
        one_bit.push_back(i == 0 || i == 7 || (i >= 16 && i < 24) ? W : K);
    struct Case {
        int64_t depth, width, height;
        std::vector<uint8_t> bytes;
        std::vector<uint32_t> pixels;
    };
    const uint32_t grey7F = rgb(0x7F, 0x7F, 0x7F), grey10 = rgb(0x10, 0x10, 0x10);
    const Case cases[] = {
        {1, 16, 2, {0b10000001, 0x00, 0xFF, 0x00}, one_bit},
        {4, 4, 1, {0xC5, 0x0F}, {palette(12), palette(5), K, W}}, // high nibble is left
        {8, 2, 2, {0x00, 0x7F, 0xFF, 0x10}, {K, grey7F, rgb(0xFF, 0xFF, 0xFF), grey10}},
        {16, 2, 1, {0xFF, 0x10, 0x00, 0x7F}, {grey10, grey7F}}, // the high byte only
        {24, 2, 1, {1, 2, 3, 0xAB, 0xCD, 0xEF}, {rgb(1, 2, 3), rgb(0xAB, 0xCD, 0xEF)}},
        {32, 1, 2, {0x00, 0x12, 0x34, 0x56, 0x80, 1, 2, 3}, {rgb(0x12, 0x34, 0x56), rgb(1, 2, 3)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        t_Window& w = canvas(0, c.depth, c.width, c.height);
        std::copy(c.bytes.begin(), c.bytes.end(), block(w));
        auto img = t_WindowImage(0);
        ASSERT_TRUE(img);
        EXPECT_EQ(img->width, c.width);
        EXPECT_EQ(img->height, c.height);
        EXPECT_EQ(img->pixels, c.pixels);
    }
}

// An idle window's refresh hands out the image built before; any write through the
// toolkit, or a new geometry, builds a new one with the new pixels.
TEST_F(RenderTest, ImageIsBuiltAgainOnlyAfterAWrite)
{
    t_Window& w = canvas(0, 24, 2, 1);
    block(w)[0] = 0x11;
    ++VideoMemoryWrites;
    const auto first = t_WindowImage(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(t_WindowImage(0), first);

    MoveVideoMemory(w.MemoryStart + 3, w.MemoryStart, 3); // pixel 1 onto pixel 0
    const auto moved = t_WindowImage(0);
    ASSERT_TRUE(moved);
    EXPECT_NE(moved, first);
    EXPECT_EQ(moved->pixels[0], moved->pixels[1]);

    ClearWindowMemory(0);
    const auto cleared = t_WindowImage(0);
    ASSERT_TRUE(cleared);
    EXPECT_NE(cleared, moved);
    EXPECT_EQ(cleared->pixels[0], rgb(0, 0, 0));

    w.Width = 1;
    const auto narrower = t_WindowImage(0);
    ASSERT_TRUE(narrower);
    EXPECT_EQ(narrower->width, 1);
}

TEST_F(RenderTest, UpdateAtOnceDrawsBeforeReturning)
{
    canvas(0, 24, 8, 8);
    int draws = 0;
    toolkit::shell_hooks().draw_view = [&](uint8_t win) {
        ++draws;
        platform::window_system().present_frame(win, t_WindowFrame(win));
    };
    t_WindowUpdate(0, false);
    toolkit::shell_hooks().draw_view = nullptr;
    auto hw = platform::headless().window(0);
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(hw.frames_presented, 1);
    ASSERT_TRUE(hw.last_frame.image);
    EXPECT_EQ(hw.last_frame.image->width, 8);
    EXPECT_FALSE(hw.last_frame.text); // a window without text hands over no cells
}

TEST(AutoUpdateDue, RateAndBlankDecide)
{
    t_Window w;
    w.Initialized = w.AutoUpdate = w.VerticalBlank = true;
    w.RefreshRate = 30;
    w.UpdateStarted = 1000;
    EXPECT_FALSE(toolkit::auto_update_due(w, 1032));
    EXPECT_TRUE(toolkit::auto_update_due(w, 1033)); // 1000 / 30 = 33 ms
    w.VerticalBlank = false;
    EXPECT_FALSE(toolkit::auto_update_due(w, 5000));
    w.VerticalBlank = true;
    w.AutoUpdate = false;
    EXPECT_FALSE(toolkit::auto_update_due(w, 5000));
    w.AutoUpdate = true;
    for (int64_t rate : {0, -5}) {
        w.RefreshRate = rate;
        EXPECT_FALSE(toolkit::auto_update_due(w, 1'000'000)) << rate;
    }
}

TEST_F(RenderTest, AutoUpdateWaitsWhileVerticalBlankIsFalse)
{
    t_Window& busy = canvas(0, 8, 8, 8);
    busy.AutoUpdate = true;
    busy.VerticalBlank = false;
    t_Window& other = canvas(1, 8, 8, 8);
    other.AutoUpdate = true; // proves the thread is running and passing over window 0
    t_Window& manual = canvas(2, 8, 8, 8);
    manual.AutoUpdate = false;
    DiagCapture quiet;
    toolkit::start_auto_update();
    // Without the shell's views every refresh hands the window's frame over as it is.
    auto frames = [](uint8_t win) { return platform::headless().window(win).frames_presented; };
    ASSERT_TRUE(wait_for([&] { return frames(1) >= 3; }));
    EXPECT_EQ(frames(0), 0);
    EXPECT_EQ(frames(2), 0);
    {
        // The auto-update thread reads the record under the video mutex.
        std::lock_guard lock(toolkit::video_mutex());
        busy.VerticalBlank = true;
    }
    EXPECT_TRUE(wait_for([&] { return frames(0) >= 1; }));
    EXPECT_EQ(frames(2), 0);
}

TEST_F(RenderTest, StartLineComesBeforeTheCallReturnsAndStopWaitsForTheEnd)
{
    DiagCapture out;
    toolkit::start_auto_update();
    EXPECT_EQ(out.text(), "t_WindowAutoUpdateProcess: Start.\n");
    EXPECT_TRUE(AutoUpdateRunning);
    toolkit::start_auto_update(); // already running: no second thread
    ASSERT_TRUE(toolkit::stop_auto_update());
    EXPECT_EQ(out.text(), "t_WindowAutoUpdateProcess: Start.\n"
                          "t_WindowAutoUpdateProcess: End.\n");
    EXPECT_FALSE(AutoUpdateRunning);
}

TEST_F(RenderTest, AutoUpdateEndsWhenMemoryIsNoLongerReady)
{
    DiagCapture out;
    toolkit::start_auto_update();
    ASSERT_TRUE(wait_for([&] { return out.text().find("Start.") != std::string::npos; }));
    MemoryReady = false;
    EXPECT_TRUE(wait_for([&] { return out.text().find("End.") != std::string::npos; }));
    MemoryReady = true;
    EXPECT_FALSE(AutoUpdateRunning);
}
