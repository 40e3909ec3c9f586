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

platform::OpenDialogOptions open_options(std::string title)
{
    platform::OpenDialogOptions o;
    o.title = std::move(title);
    return o;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override { platform::headless_reset(); }
    void TearDown() override { platform::headless_reset(); }
};

TEST_F(Headless, IsTheDefaultBackend)
{
    EXPECT_EQ(&platform::window_system(), static_cast<platform::WindowSystem*>(&headless()));
}

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

TEST_F(Headless, WindowsShowHideFrontAndCentre)
{
    auto& ws = platform::window_system();
    ASSERT_TRUE(ws.create_window(0, layout(platform::WindowKind::Graphic, {0, 0, 400, 300}, "Fenster")));
    EXPECT_FALSE(ws.create_window(0, {}));
    EXPECT_FALSE(ws.window_visible(0));
    ws.bring_to_front(0);
    EXPECT_TRUE(ws.window_visible(0));
    EXPECT_EQ(ws.main_window(), 0);
    ws.hide_window(0);
    EXPECT_FALSE(ws.window_visible(0));
    EXPECT_EQ(ws.main_window(), platform::NO_WINDOW);
    ws.center_window(0);
    EXPECT_EQ(ws.window_frame(0), (platform::Rect{760, 390, 400, 300}));
    ws.set_window_title(0, "Neu");
    EXPECT_EQ(ws.window_title(0), "Neu");
}

TEST_F(Headless, TextWindowLayoutGivesBackTheTitleBarHeight)
{
    auto& ws = platform::window_system();
    ws.create_window(8, layout(platform::WindowKind::Text, {0, 0, 600, 400}, "Zwischenablage"));
    double measured = ws.window_frame(8).height - ws.scroll_view_frame(8).height - 20;
    EXPECT_EQ(measured, ws.title_bar_height());
    EXPECT_FALSE(ws.has_ruler(8));
}

TEST_F(Headless, TextViewsKeepTextAndRuler)
{
    auto& ws = platform::window_system();
    ws.create_window(9, layout(platform::WindowKind::Text, {0, 0, 800, 600}, "Drucker", true));
    ws.set_text(9, "Zeile 1\n");
    ws.append_text(9, "Zeile 2\n");
    ws.set_ruler_text(9, "L....!...R");
    ws.set_text_font(9, "Menlo", 12);
    EXPECT_EQ(ws.text(9), "Zeile 1\nZeile 2\n");
    EXPECT_EQ(ws.ruler_text(9), "L....!...R");
    EXPECT_EQ(headless().window(9).font_points, 12);
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

TEST_F(Headless, MenusFoundByTitle)
{
    auto& ws = platform::window_system();
    EXPECT_EQ(ws.menu_item_index("Edit", "Copy"), -2);
    ASSERT_TRUE(ws.add_menu("Edit"));
    EXPECT_FALSE(ws.add_menu("Edit"));
    ws.add_menu_item("Edit", {"Undo", 0, "z", platform::MOD_COMMAND});
    ws.add_menu_item("Edit", {"Copy", 111, "", 0});
    ws.add_menu_item("Edit", {"Cut", 0, "", 0}, 1);
    EXPECT_EQ(ws.menu_item_count("Edit"), 3);
    EXPECT_EQ(ws.menu_item_index("Edit", "Copy"), 2);
    EXPECT_EQ(ws.menu_item_index("Edit", "Paste"), -1);
    EXPECT_TRUE(ws.delete_menu_item("Edit", 0));
    EXPECT_FALSE(ws.delete_menu_item("Edit", 2));
    EXPECT_EQ(ws.menu_item("Edit", 1)->tag, 111);
    EXPECT_TRUE(ws.set_menu_item_title("Edit", 0, "Schneiden"));
    EXPECT_EQ(ws.menu_item("Edit", 0)->title, "Schneiden");
}

TEST_F(Headless, ChosenMenuItemReachesTheShell)
{
    auto& ws = platform::window_system();
    ws.add_menu("Fenster");
    ws.add_menu_item("Fenster", {"Drucker", 209, "p", platform::MOD_COMMAND});
    platform::MenuChoice got;
    platform::WindowEvents events;
    events.menu_chosen = [&](const platform::MenuChoice& c) { got = c; };
    ws.set_events(events);
    EXPECT_TRUE(headless().choose_menu_item("Fenster", 0));
    EXPECT_FALSE(headless().choose_menu_item("Fenster", 1));
    EXPECT_EQ(got.menu_title, "Fenster");
    EXPECT_EQ(got.item.tag, 209);
    EXPECT_EQ(got.item.key_char, "p");
}

TEST_F(Headless, PasteboardHoldsTextOrImage)
{
    auto& ws = platform::window_system();
    EXPECT_FALSE(ws.pasteboard_text().has_value());
    ws.pasteboard_set_text("Grüße");
    EXPECT_EQ(ws.pasteboard_text(), "Grüße");
    ws.pasteboard_set_image(std::make_shared<platform::ArgbImage>());
    EXPECT_FALSE(ws.pasteboard_text().has_value());
    EXPECT_NE(ws.pasteboard_image(), nullptr);
    ws.pasteboard_clear();
    EXPECT_EQ(ws.pasteboard_image(), nullptr);
    EXPECT_EQ(headless().pasteboard_clears(), 1);
}

TEST_F(Headless, DialogsAreCancelledUnlessScripted)
{
    auto& ws = platform::window_system();
    EXPECT_EQ(ws.open_file_dialog(open_options("Öffnen")), "");
    EXPECT_EQ(headless().last_open_dialog()->title, "Öffnen");
    headless().answer_next_save_dialog("/tmp/x.txt");
    EXPECT_EQ(ws.save_file_dialog({}), "/tmp/x.txt");
    EXPECT_EQ(ws.save_file_dialog({}), "");
}

TEST_F(Headless, SoundsPlayOnlyFromReadableFiles)
{
    auto& ws = platform::window_system();
    EXPECT_FALSE(ws.play_sound("/nonexistent/sysbeep.aif"));
    EXPECT_FALSE(ws.sound_playing());
    char path[] = "/tmp/orbikon-sound-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_TRUE(ws.play_sound(path));
    EXPECT_TRUE(ws.sound_playing());
    EXPECT_EQ(headless().sounds_played(), std::vector<std::string>{path});
    ws.alert_beep();
    EXPECT_EQ(headless().beeps(), 1);
    std::remove(path);
}

TEST_F(Headless, SimulatedKeysArriveOnTheEventThread)
{
    platform::KeyReport got;
    bool on_event = false;
    platform::WindowEvents events;
    events.key_down = [&](const platform::KeyReport& r) {
        got = r;
        on_event = platform::is_event_thread();
    };
    platform::window_system().set_events(events);
    headless().simulate_key_down({0, platform::KEY_S, "s", platform::MOD_SHIFT});
    EXPECT_TRUE(on_event);
    EXPECT_EQ(got.characters, "s");
    EXPECT_EQ(got.modifiers, platform::MOD_SHIFT);
}

TEST_F(Headless, ResetForgetsCallbacks)
{
    int calls = 0;
    platform::WindowEvents events;
    events.close_box = [&](uint8_t) { ++calls; };
    platform::window_system().set_events(events);
    headless().simulate_close_box(3);
    platform::headless_reset();
    headless().simulate_close_box(3);
    EXPECT_EQ(calls, 1);
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
