// View forwarding, mouse events with their click coordinates, and the drawing rules.
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "shell/views.h"
#include "tests/support/test_support.h"
#include "toolkit/render.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace {

using test_support::wait_for;

using platform::headless;
using platform::MouseReport;

constexpr int64_t WIDTH = 100;
constexpr int64_t HEIGHT = 60;
constexpr int64_t BORDER = 8;

// A visible 8-bit window of WIDTH x HEIGHT with an 8-point border, made by hand.
t_Window& graphic_window(uint8_t win)
{
    t_Window& w = window_table[win];
    w.Initialized = true;
    w.Visible = true;
    w.QuickUpdate = true;
    w.BitDepth = 8;
    w.Width = WIDTH;
    w.Height = HEIGHT;
    w.BorderWidth = BORDER;
    w.BorderHeight = BORDER;
    w.MemoryStart = 0x200000 + win * 0x10000;
    w.MemoryEnd = w.MemoryStart + WIDTH * HEIGHT - 1;
    return w;
}

MouseReport click(uint8_t win, double x, double y, uint64_t buttons = 1, uint64_t mods = 0)
{
    return MouseReport{win, x, y, buttons, mods};
}

class ViewsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(test_support::fresh_toolkit());
        ResetMouse();
        ResetEvents();
        for (uint8_t i = 0; i < WINDOW_COUNT; ++i)
            test_support::build_window(i, platform::WindowKind::Graphic, {0, 0, 200, 200}, false,
                                       true);
        graphic_window(1);
    }
    void TearDown() override { ResetMouse(); }
};

} // namespace

TEST_F(ViewsTest, MouseEventFields)
{
    DiagCapture quiet;
    const uint64_t mods = platform::MOD_SHIFT | platform::MOD_FN | platform::MOD_COMMAND;
    // Inside the area from 0 at the bottom left, truncated.
    viewMouseDown(1, click(1, BORDER + 3.9, HEIGHT + BORDER - 0.7, 0b11, mods), false);
    t_Event e = MouseEvents().back();
    EXPECT_EQ(std::pair(e.ClickX, e.ClickY), std::pair(int64_t{3}, int64_t{1}));
    EXPECT_EQ(e.Kind, 2);
    EXPECT_EQ(e.Index, 3);
    EXPECT_EQ(e.Mods, static_cast<int64_t>(mods >> 16));
    EXPECT_TRUE(e.ShiftPressed && e.CommandPressed && !e.ControlPressed);
    // Fn on a click counts as a function key, not as Fn.
    EXPECT_TRUE(e.FunctionKeyPressed);
    EXPECT_FALSE(e.FnPressed);
    EXPECT_TRUE(MousePending);
}

TEST_F(ViewsTest, EveryClickPrintsTheSummaryAndRunsTheHandler)
{
    {
        DiagCapture out; // the default handler does nothing, but the lines appear
        viewMouseDown(1, click(1, 0, 0), true);
        EXPECT_EQ(out.text(), "t_MouseEventHandler: Graphic #1 window, X = -1, Y = -2\n"
                              "t_MouseEventHandler: Calling program mouse handler asynchronously.\n");
    }
    // Shared, so a runner that outlives the test touches nothing freed.
    auto runs = std::make_shared<std::atomic<int>>(0);
    auto named_as_wanted = std::make_shared<std::atomic<bool>>(false);
    SetMouseHandler([runs, named_as_wanted] {
        // Threads numbered 2 or lower keep their name.
        const bool wants_name = platform::current_thread_number() > 2;
        *named_as_wanted = (platform::current_thread_name() == "t_EventMouse") == wants_name;
        ++*runs;
    });
    DiagCapture out;
    viewMouseDown(1, click(1, BORDER + 5, HEIGHT + BORDER - 2), false);
    EXPECT_EQ(out.text(), "t_MouseEventHandler: Graphic #1 window, X = 5, Y = 2\n"
                          "t_MouseEventHandler: Calling program mouse handler asynchronously.\n");
    // Late runners of earlier tests' clicks may also call this handler, hence at least one.
    ASSERT_TRUE(wait_for([&] { return *runs >= 1; }));
    EXPECT_TRUE(*named_as_wanted);
}

// An uninitialised window says so, an ignoring window or unready memory drop the click
// silently; each records nothing but sets the button flag.
TEST_F(ViewsTest, ClicksThatRecordNothingStillSetTheButtonFlags)
{
    const struct {
        uint8_t window;
        bool ignore, ready;
        const char* lines;
    } cases[] = {{3, false, true, "viewMouseDown: Graphic window (3) not initialized.\n"},
                 {1, true, true, ""},
                 {1, false, false, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "window " << int{c.window} << " ignore " << c.ignore);
        ResetMouse();
        window_table[1].IgnoreEvents = c.ignore;
        MemoryReady = c.ready;
        DiagCapture out;
        viewMouseDown(c.window, click(c.window, 20, 20, 2), true);
        MemoryReady = true;
        window_table[1].IgnoreEvents = false;
        EXPECT_EQ(out.text(), c.lines);
        EXPECT_EQ(MouseEventCount(), 0);
        EXPECT_TRUE(RightButtonDown);
        EXPECT_FALSE(MousePending);
    }
}

TEST_F(ViewsTest, DrawingPresentsTheImage)
{
    VideoMemory[static_cast<size_t>(window_table[1].MemoryStart)] = 0x42;
    viewDraw(1);
    window_table[1].QuickUpdate = false; // the drawRect path
    viewDraw(1);
    auto hw = headless().window(1);
    EXPECT_EQ(hw.frames_presented, 2);
    ASSERT_TRUE(hw.last_frame.image);
    EXPECT_EQ(hw.last_frame.image->width, WIDTH);
    EXPECT_EQ(hw.last_frame.image->pixels[0], 0xFF424242u);
    window_table[1].Visible = false; // no image keeps the previous contents
    viewDraw(1);
    EXPECT_EQ(headless().window(1).frames_presented, 2);
}

namespace {

// Records VerticalBlank of a window whenever the image builder prints, which it does
// from inside the drawing when the graphic block is too small for the canvas.
struct BlankProbe {
    explicit BlankProbe(uint8_t win)
    {
        previous = diag_set_sink(
            [this, win](std::string_view) { seen.push_back(window_table[win].VerticalBlank); });
    }
    ~BlankProbe() { diag_set_sink(previous); }
    DiagSink previous;
    std::vector<bool> seen;
};

} // namespace

TEST_F(ViewsTest, View00MarksVerticalBlankAroundDrawingOtherViewsLeaveIt)
{
    {
        t_Window& w = graphic_window(0);
        w.MemoryEnd = w.MemoryStart + 10; // too small: the builder prints while drawing
        BlankProbe probe(0);
        viewDraw(0);
        ASSERT_EQ(probe.seen.size(), 1u);
        EXPECT_FALSE(probe.seen[0]);
        EXPECT_TRUE(w.VerticalBlank);
    }
    t_Window& w = graphic_window(3);
    w.MemoryEnd = w.MemoryStart + 10;
    w.VerticalBlank = false;
    BlankProbe probe(3);
    viewDraw(3);
    ASSERT_EQ(probe.seen.size(), 1u);
    EXPECT_FALSE(probe.seen[0]);
    EXPECT_FALSE(w.VerticalBlank);
    w.VerticalBlank = true;
    viewDraw(3);
    EXPECT_TRUE(probe.seen[1]);
    EXPECT_TRUE(w.VerticalBlank);
}
