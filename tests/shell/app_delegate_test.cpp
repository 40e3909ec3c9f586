// The interface description, the delegate's references and its window and application
// callbacks.
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "shell/app_delegate.h"
#include "shell/menus.h"
#include "shell/views.h"
#include "tests/support/test_support.h"
#include "toolkit/geometry.h"
#include "toolkit/platform_windows.h"
#include "toolkit/render.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/window.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using platform::headless;
using platform::Rect;

constexpr int64_t TITLE = 28;

class AppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(test_support::fresh_toolkit());
        ResetMenus();
        TitleBarHeight = TITLE;
        BuildInterface(ApplicationInterface());
    }
    void TearDown() override
    {
        TitleBarHeight = 0;
        SetTerminationHandler(nullptr);
    }
};

} // namespace

TEST_F(AppDelegateTest, EveryTagHasItsActionAndAUniqueKey)
{
    DiagCapture quiet;
    PrepareMenus();
    std::vector<std::pair<std::string, uint64_t>> seen;
    for (const auto& m : ApplicationInterface().menus) {
        for (const auto& i : m.items) {
            if (i.title.empty()) {
                EXPECT_EQ(i.tag, 0);
                continue;
            }
            if (i.tag != 0 && i.tag != QUIT_TAG && i.tag != ABOUT_TAG) {
                EXPECT_TRUE(MenuActionForTag(i.tag)) << i.title;
            }
            // Programs read plain, Control and Option keys; menus take Command keys only.
            if (!i.key_char.empty()) {
                EXPECT_TRUE(i.key_mods & platform::MOD_COMMAND) << i.title;
                std::pair<std::string, uint64_t> key{i.key_char, i.key_mods};
                EXPECT_EQ(std::count(seen.begin(), seen.end(), key), 0) << i.title;
                seen.push_back(key);
            }
        }
    }
}

TEST_F(AppDelegateTest, ResizingThePrinterLaysOutScrollViewAndRuler)
{
    auto layout = [](uint8_t n) { return toolkit::platform_window(n); };
    const Rect ruler = layout(9).ruler_frame;
    toolkit::platform_window_resized(9, {0, 0, 800, 700});
    app_delegate().windowDidResize(9);
    const auto printer = layout(9);
    EXPECT_EQ(printer.scroll_view_frame, (Rect{20, 0, 760, 700 - 40 - TITLE - 15}));
    EXPECT_EQ(printer.ruler_frame, (Rect{ruler.x, ruler.y, 752, 19}));
    toolkit::platform_window_resized(8, {0, 0, 500, 300}); // the pasteboard
    app_delegate().windowDidResize(8);
    const auto pasteboard = layout(8);
    EXPECT_EQ(pasteboard.scroll_view_frame, (Rect{10, 0, 480, 300 - 20 - TITLE}));
    toolkit::platform_window_resized(2, {0, 0, 900, 900}); // a graphic window: no layout
    app_delegate().windowDidResize(2);
    EXPECT_EQ(layout(9).scroll_view_frame, printer.scroll_view_frame);
    EXPECT_EQ(layout(9).ruler_frame, printer.ruler_frame);
    EXPECT_EQ(layout(8).scroll_view_frame, pasteboard.scroll_view_frame);
    // The resize reached the records only: the window system has the frame already.
    EXPECT_EQ(headless().window(9).state_pushes, 0);
}

TEST_F(AppDelegateTest, TerminationCallsTheHandlerAndTheActiveFlagFollows)
{
    int calls = 0;
    SetTerminationHandler([&] { ++calls; });
    DiagCapture out;
    app_delegate().applicationWillTerminate();
    EXPECT_EQ(out.text(), "applicationWillTerminate: Called.\n");
    EXPECT_EQ(calls, 1);
    app_delegate().applicationDidBecomeActive();
    EXPECT_TRUE(ApplicationActive);
    app_delegate().applicationWillResignActive();
    EXPECT_FALSE(ApplicationActive);
    EXPECT_FALSE(app_delegate().applicationShouldTerminateAfterLastWindowClosed());
}

TEST_F(AppDelegateTest, InstalledCallbacksReachTheShell)
{
    connect_shell([] {});
    window_table[1].Initialized = true;
    window_table[1].Width = 50;
    window_table[1].Height = 50;
    ResetMouse();
    DiagCapture quiet;
    PrepareMenus();
    headless().report_mouse(platform::MouseReport{1, 10, 40, 1, 0},
                            platform::WindowSystem::Mouse::Down);
    EXPECT_EQ(MouseEventCount(), 1);
    t_WindowFront(0);
    t_WindowFront(4);
    headless().report_close_box(4);
    EXPECT_NE(quiet.text().find("t_MouseEventPostCloseBoxClick: Window = 4\n"), std::string::npos);
    EXPECT_FALSE(headless().window(4).state.visible);
    // The user brings the hidden printer forward: it is shown and takes the keys.
    headless().report_activation(platform::PRINTER_WINDOW);
    EXPECT_TRUE(headless().window(9).state.visible);
    EXPECT_EQ(MainWindowNumber(), platform::PRINTER_WINDOW);
    ASSERT_TRUE(headless().choose_menu_item("Fenster", 0)); // hides the main window
    EXPECT_EQ(MenuEventCount(), 1);
    EXPECT_FALSE(headless().window(9).state.visible);
    EXPECT_EQ(MainWindowNumber(), 0);
    headless().report_display({{1366, 768}, 30});
    EXPECT_EQ(toolkit::display().screen.width, 1366);
    EXPECT_TRUE(toolkit::shell_hooks().prepare_menus);
    EXPECT_TRUE(toolkit::shell_hooks().setup_pasteboard_view);
    EXPECT_TRUE(toolkit::shell_hooks().draw_view);
    headless().set_events({});
    ResetMouse();
    ResetMenus();
}

// Closing the last shown window quits, as a Linux desktop's users expect: no global menu
// bar would be left to bring a window back.
// Hiding does the same: hidden by the menu, the last window would strand the process.
TEST_F(AppDelegateTest, ClosingOrHidingTheLastShownWindowQuits)
{
    auto quits_after = [](const std::function<void()>& last_step, int64_t limit_ms = 5000) {
        connect_shell([] {});
        {
            DiagCapture quiet;
            PrepareMenus();
        }
        t_WindowFront(0);
        t_WindowFront(9);
        DiagCapture out;
        last_step();
        // The quit ends the event loop after the termination report; a new task restarts it.
        const bool quit = test_support::wait_for([&] {
            return out.text().find("applicationWillTerminate: Called.\n") != std::string::npos;
        }, limit_ms);
        headless().set_events({});
        ResetMenus();
        return quit;
    };
    EXPECT_TRUE(quits_after([] {
        headless().report_close_box(9);
        headless().drain_event_thread();
        EXPECT_TRUE(headless().window(0).state.visible);
        headless().report_close_box(0);
    }));
    EXPECT_TRUE(quits_after([] {
        ASSERT_TRUE(headless().choose_menu_item("Fenster", 0)); // hides the key window, 9
        headless().drain_event_thread();
        EXPECT_TRUE(headless().window(0).state.visible);
        ASSERT_TRUE(headless().choose_menu_item("Fenster", 0)); // and then 0, the last
    }));
    EXPECT_TRUE(quits_after([] { ASSERT_TRUE(headless().choose_menu_item("Fenster", 1)); }));
    // A window left on screen keeps the application.
    EXPECT_FALSE(quits_after(
        [] {
            ASSERT_TRUE(headless().choose_menu_item("Fenster", 0));
            headless().drain_event_thread();
        },
        300));
}
