// The interface description, the delegate's references and its window and application
// callbacks.
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "shell/app_delegate.h"
#include "shell/menus.h"
#include "shell/views.h"
#include "tests/support/test_support.h"
#include "toolkit/geometry.h"
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
        BuildInterface(headless(), ApplicationInterface());
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
            if (i.tag != 0 && i.tag != QUIT_TAG) {
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
    const Rect ruler = headless().window(9).ruler_frame;
    headless().set_window_frame(9, {0, 0, 800, 700}, false);
    app_delegate().windowDidResize(9);
    auto hw = headless().window(9);
    EXPECT_EQ(hw.scroll_view_frame, (Rect{20, 0, 760, 700 - 40 - TITLE - 15}));
    EXPECT_EQ(hw.ruler_frame, (Rect{ruler.x, ruler.y, 752, 19}));
    headless().set_window_frame(8, {0, 0, 500, 300}, false); // the pasteboard
    app_delegate().windowDidResize(8);
    const auto before8 = headless().window(8);
    EXPECT_EQ(before8.scroll_view_frame, (Rect{10, 0, 480, 300 - 20 - TITLE}));
    headless().set_window_frame(2, {0, 0, 900, 900}, false); // a graphic window: no layout
    app_delegate().windowDidResize(2);
    EXPECT_EQ(headless().window(9).scroll_view_frame, hw.scroll_view_frame);
    EXPECT_EQ(headless().window(9).ruler_frame, hw.ruler_frame);
    EXPECT_EQ(headless().window(8).scroll_view_frame, before8.scroll_view_frame);
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
    {
        DiagCapture out;
        headless().simulate_mouse_down(platform::MouseReport{1, 10, 40, 1, 0});
        EXPECT_EQ(MouseEventCount(), 1);
        headless().simulate_close_box(4);
        EXPECT_NE(out.text().find("t_MouseEventPostCloseBoxClick: Window = 4\n"),
                  std::string::npos);
        ASSERT_TRUE(headless().choose_menu_item("Fenster", 0)); // hide the main window
        EXPECT_EQ(MenuEventCount(), 1);
    }
    EXPECT_TRUE(toolkit::shell_hooks().prepare_menus);
    EXPECT_TRUE(toolkit::shell_hooks().setup_pasteboard_view);
    headless().set_events({});
    ResetMouse();
}
