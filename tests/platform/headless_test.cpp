// tests/platform/headless_test.cpp: the recorder keeps what it was told and delivers its
// scripted reports on the event thread.
#include "platform/headless/headless.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

using platform::headless;

class Headless : public ::testing::Test {
protected:
    void SetUp() override { platform::headless_reset(); }
    void TearDown() override { platform::headless_reset(); }
};

TEST_F(Headless, ReportsArriveOnTheEventThreadBeforeTheCallReturns)
{
    bool on_event_thread = false;
    uint16_t code = 0;
    platform::WindowEvents events;
    events.key_down = [&](const platform::KeyReport& r) {
        on_event_thread = platform::is_event_thread();
        code = r.key_code;
    };
    headless().set_events(events);
    headless().report_key({0, platform::KEY_Q, "q", 0}, true);
    EXPECT_TRUE(on_event_thread);
    EXPECT_EQ(code, platform::KEY_Q);
}

TEST_F(Headless, TextPushesApplyInOrderOnlyToTextWindows)
{
    platform::WindowSpec text;
    text.number = platform::PRINTER_WINDOW;
    text.kind = platform::WindowKind::Text;
    platform::WindowSpec graphic;
    graphic.number = 3;
    graphic.kind = platform::WindowKind::Graphic;
    platform::show([&](platform::WindowSystem& ws) {
        ws.build_interface({text, graphic});
        ws.set_text(platform::PRINTER_WINDOW, "a\r");
        ws.append_text(platform::PRINTER_WINDOW, "b\r");
        ws.set_text(3, "nothing");
    });
    EXPECT_EQ(headless().window(platform::PRINTER_WINDOW).text, "a\rb\r");
    EXPECT_EQ(headless().window(3).text, "");
    platform::show([](platform::WindowSystem& ws) { ws.clear_text(platform::PRINTER_WINDOW); });
    EXPECT_EQ(headless().window(platform::PRINTER_WINDOW).text, "");
    EXPECT_EQ(headless().window(platform::PRINTER_WINDOW).text_pushes, 3);
}

} // namespace
