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

} // namespace
