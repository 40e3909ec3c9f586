// tests/platform/headless_test.cpp: the in-memory window system behaves as callers expect.
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

#include "platform/platform.h"

namespace {

using platform::headless;

platform::WindowSpec layout(platform::WindowKind kind, platform::Rect frame, std::string title = "",
                          bool ruler = false)
{
    platform::WindowSpec s;
    s.kind = kind;
    s.frame = frame;
    s.title = std::move(title);
    s.has_ruler = ruler;
    return s;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override { platform::headless_reset(); }
    void TearDown() override { platform::headless_reset(); }
};

// Its menus, pasteboard, dialogs, sounds and simulated input are what the shell's tests
// stand on; here only what they take for granted.
TEST_F(Headless, MissingWindowsAreNeutral)
{
    auto& ws = platform::window_system();
    EXPECT_FALSE(ws.window_exists(3));
    ws.show_window(3);
    ws.set_text(9, "x");
    EXPECT_FALSE(ws.window_visible(3));
    EXPECT_FALSE(ws.has_text_view(9));
    EXPECT_EQ(ws.text(9), "");
    EXPECT_EQ(ws.window_frame(200), platform::Rect{});
    EXPECT_FALSE(ws.create_window(13, {}));
}

TEST_F(Headless, TextWindowLayoutGivesBackTheTitleBarHeight)
{
    auto& ws = platform::window_system();
    ws.create_window(8, layout(platform::WindowKind::Text, {0, 0, 600, 400}, "Zwischenablage"));
    double measured = ws.window_frame(8).height - ws.scroll_view_frame(8).height - 20;
    EXPECT_EQ(measured, ws.title_bar_height());
    EXPECT_FALSE(ws.has_ruler(8));
}

TEST_F(Headless, RedrawCallsTheDrawHandlerOnTheEventThread)
{
    auto& ws = platform::window_system();
    ws.create_window(2, layout(platform::WindowKind::Graphic, {0, 0, 64, 64}));
    auto image = std::make_shared<platform::ArgbImage>();
    image->width = 1;
    image->height = 1;
    image->pixels = {0xFF102030};
    bool drawn_on_event_thread = false;
    platform::WindowEvents events;
    events.draw_view = [&](uint8_t window) {
        drawn_on_event_thread = platform::is_event_thread();
        platform::window_system().present_frame(window, {image, nullptr});
    };
    ws.set_events(events);
    ws.request_redraw(2, false);
    EXPECT_TRUE(drawn_on_event_thread);
    EXPECT_EQ(headless().window(2).frames_presented, 1);
    ASSERT_NE(headless().window(2).last_frame.image, nullptr);
    EXPECT_EQ(headless().window(2).last_frame.image->pixels[0], 0xFF102030u);
}

TEST_F(Headless, DeferredRedrawsCoalesce)
{
    auto& ws = platform::window_system();
    ws.create_window(1, layout(platform::WindowKind::Graphic, {0, 0, 64, 64}));
    // Hold the event thread so the requests pile up before the first draw.
    std::promise<void> release;
    auto gate = release.get_future().share();
    platform::run_on_event_thread([gate] { gate.wait(); }, false);
    for (int i = 0; i < 5; ++i)
        ws.request_redraw(1, true);
    release.set_value();
    headless().drain_event_thread();
    EXPECT_EQ(headless().window(1).redraw_requests, 5);
    EXPECT_EQ(headless().window(1).draws, 1);
}

TEST(HeadlessLoop, RunsOnCallerUntilQuitAndReportsLaunch)
{
    platform::headless_reset();
    // The loop runs on a thread of its own here because the test thread must stay free.
    std::vector<std::string> seen;
    std::mutex seen_mutex;
    auto note = [&](const std::string& s) {
        std::lock_guard lock(seen_mutex);
        seen.push_back(s);
    };
    platform::WindowEvents events;
    events.will_finish_launching = [&] { note("will"); };
    events.did_finish_launching = [&] {
        note(platform::current_thread_number() == 1 ? "did on 1" : "did elsewhere");
        platform::window_system().quit_event_loop();
    };
    events.will_terminate = [&] { note("end"); };
    platform::window_system().set_events(events);
    auto loop = std::async(std::launch::async, [] { platform::window_system().run_event_loop(); });
    ASSERT_EQ(loop.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "loop hung";
    EXPECT_EQ(seen, (std::vector<std::string>{"will", "did on 1", "end"}));
    // A later hand-off is still served.
    bool ran = false;
    platform::run_on_event_thread([&] { ran = true; }, true);
    EXPECT_TRUE(ran);
    platform::headless_reset();
}

} // namespace
