// BackendConformance: one suite of cases run against every backend this build has: the
// headless recorder, the terminal through its compose step, and the desktop on Qt's
// offscreen platform. The shell drives each as the programs do; a probe per backend reads
// what it shows and acts as its user would. Where backends could differ, the case decides:
// - The key window is the one fronted or activated last that is still shown; hiding it
//   hands the key to the shown window fronted before it, and with none shown there is no
//   key window. Hiding the last shown window leaves the application running (only closing
//   it quits).
// - "Shown" means what the backend holds as shown. The terminal draws one page at a time
//   (window 0 or a text window) and keeps the other windows' states without drawing them;
//   it brings a page forward with its page keys.
// - A backend without close boxes, window frames or a mouse (the terminal) skips those cases.
#include "platform/console_capture.h"
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "platform/terminal/terminal.h"
#include "platform/text_lines.h"
#include "platform/us_keys.h"
#include "platform/utf8.h"
#include "platform/window_system.h"
#include "shell/app_delegate.h"
#include "shell/events.h"
#include "shell/menus.h"
#include "shell/views.h"
#include "toolkit/geometry.h"
#include "toolkit/platform_windows.h"
#include "toolkit/render.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/video_memory.h"
#include "toolkit/window_setup.h"

#ifdef ORBIKON_DESKTOP
#include "platform/qt/desktop.h"
#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#endif

#include <cmath>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::NO_WINDOW;
using platform::WindowState;

constexpr int WAIT_LIMIT_MS = 10000;

// Keys a user presses in window 0.
enum class Key { LetterA, Up, F9, Return };

// What the shell received from the backend.
struct Reports {
    std::mutex mutex;
    std::vector<platform::KeyReport> keys;     // guarded by mutex
    std::vector<platform::MouseReport> clicks; // guarded by mutex
};

// What each backend's probe can tell and do.
class Probe {
  public:
    virtual ~Probe() = default;
    virtual platform::WindowSystem& backend() = 0;
    // Runs the backend's events until pred holds; false after the limit.
    virtual bool settle(const std::function<bool()>& pred)
    {
        for (int waited = 0; waited < WAIT_LIMIT_MS; waited += 2) {
            if (pred())
                return true;
            platform::sleep_ms(2);
        }
        return pred();
    }
    // Whether the backend holds the window as shown.
    virtual bool shown(uint8_t window) = 0;
    // The window in front that takes the user's keys and commands; NO_WINDOW when none.
    virtual uint8_t front() = 0;
    // The title the user sees on a text window.
    virtual std::string title(uint8_t window) = 0;
    // The text the user sees in a text window, lines joined by line feeds.
    virtual std::string text(uint8_t window) = 0;
    // The user's actions; false when the backend offers no such thing.
    virtual void press(Key key) = 0;
    virtual bool choose(const std::string& menu, const std::string& item) = 0;
    virtual bool click(uint8_t window, double x, double y) = 0;
    virtual bool close(uint8_t window) = 0;
    virtual bool resize(uint8_t window, int width, int height) = 0;
    // The message shown to the user, as they read it; empty when none. Dismissing it.
    virtual std::string message() = 0;
    virtual void dismiss_message() = 0;
    // Another program (or, in a terminal, the user's paste) puts text on the clipboard.
    virtual void copy_elsewhere(const std::string& text) = 0;
};

class HeadlessProbe : public Probe {
  public:
    platform::HeadlessWindowSystem& backend() override { return platform::headless(); }
    bool shown(uint8_t window) override { return backend().window(window).state.visible; }
    uint8_t front() override { return backend().front_window(); }
    std::string title(uint8_t window) override { return backend().window(window).state.title; }
    std::string text(uint8_t window) override
    {
        std::string text = backend().window(window).text;
        for (char& c : text)
            c = c == '\r' ? '\n' : c;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }
    void press(Key key) override
    {
        platform::KeyReport report = platform::typed_key(U'a');
        if (key == Key::Up)
            report = {0, platform::KEY_UP, "\xEF\x9C\x80", platform::MOD_FN};
        else if (key == Key::F9)
            report = {0, platform::KEY_F9, "\xEF\x9C\x8C", platform::MOD_FN};
        else if (key == Key::Return)
            report = platform::typed_key(U'\r');
        backend().report_key(report, true);
        backend().report_key(report, false);
    }
    bool choose(const std::string& menu, const std::string& item) override
    {
        for (const platform::Menu& m : backend().menu_bar()) {
            for (size_t i = 0; m.title == menu && i < m.items.size(); ++i) {
                if (m.items[i].title == item)
                    return backend().choose_menu_item(menu, i);
            }
        }
        return false;
    }
    bool click(uint8_t window, double x, double y) override
    {
        backend().report_mouse({window, x, y, 1, 0}, platform::WindowSystem::Mouse::Down);
        backend().report_mouse({window, x, y, 0, 0}, platform::WindowSystem::Mouse::Up);
        return true;
    }
    bool close(uint8_t window) override
    {
        backend().report_close_box(window);
        return true;
    }
    bool resize(uint8_t window, int width, int height) override
    {
        platform::Rect frame = toolkit::platform_window(window).state.frame;
        frame.width = width;
        frame.height = height;
        backend().report_resize(window, frame);
        return true;
    }
    std::string message() override { return backend().last_message(); }
    void dismiss_message() override {}
    void copy_elsewhere(const std::string& text) override { backend().change_pasteboard(text); }
};

class TerminalProbe : public Probe {
  public:
    static constexpr int COLUMNS = 120;
    static constexpr int LINES = 40;

    platform::terminal::TerminalWindowSystem& backend() override
    {
        return platform::terminal::backend();
    }
    bool shown(uint8_t window) override { return backend().shown_state(window).visible; }
    uint8_t front() override
    {
        // The page on screen is in front, unless nothing is shown at all.
        const uint8_t page = backend().shown_page();
        return backend().shown_state(page).visible ? page : NO_WINDOW;
    }
    std::string title(uint8_t window) override
    {
        // The status line of the window's page begins with its title.
        if (backend().shown_page() != window)
            return {};
        const std::string status = row(LINES);
        const size_t end = status.find("  ", 1);
        return status.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    }
    std::string text(uint8_t window) override
    {
        if (backend().shown_page() != window)
            return {};
        std::string text;
        for (int line = 1; line < LINES; ++line)
            text += row(line) + "\n";
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }
    void press(Key key) override
    {
        type(key == Key::LetterA ? "a"
             : key == Key::Up    ? "\x1b[A"
             : key == Key::F9    ? "\x1b[20~"
                                 : "\r");
    }
    bool choose(const std::string& menu, const std::string& item) override
    {
        // F10 opens the first menu on its first item; the arrows go to the one wanted.
        const std::vector<platform::Menu> bar = MenuBar();
        for (size_t m = 0; m < bar.size(); ++m) {
            if (bar[m].title != menu)
                continue;
            type("\x1b[21~");
            for (size_t i = 0; i < m; ++i)
                type("\x1b[C");
            int downs = -1;
            for (const platform::MenuItem& i : bar[m].items) {
                if (!i.title.empty() && i.enabled)
                    ++downs;
                if (i.title == item)
                    break;
            }
            for (int i = 0; i < downs; ++i)
                type("\x1b[B");
            type("\r");
            return true;
        }
        return false;
    }
    bool click(uint8_t, double, double) override { return false; }
    bool close(uint8_t) override { return false; }
    bool resize(uint8_t, int, int) override { return false; }
    std::string message() override
    {
        std::string shown;
        for (int line = 1; line <= LINES; ++line)
            shown += row(line) + "\n";
        return shown.find("Eine Taste schlie") == std::string::npos ? std::string() : shown;
    }
    void dismiss_message() override { type("\r"); }
    void copy_elsewhere(const std::string& text) override
    {
        type("\x1b[200~" + text + "\x1b[201~");
    }

  private:
    void type(std::string bytes)
    {
        platform::terminal::TerminalKey key;
        while (platform::terminal::take_key(bytes, key))
            backend().handle_key(key);
    }
    // Line n from 1 of the composed screen, trailing blanks removed.
    std::string row(int n)
    {
        const auto screen = backend().compose(COLUMNS, LINES);
        std::u32string line;
        for (int c = 0; c < COLUMNS; ++c)
            line += screen[static_cast<size_t>((n - 1) * COLUMNS + c)].character;
        std::string out = platform::encode_utf8(line);
        return out.erase(out.find_last_not_of(' ') + 1);
    }
};

#ifdef ORBIKON_DESKTOP
int app_argc = 1;
char app_name[] = "tests_conformance";
char* app_argv[] = {app_name, nullptr};

class QtProbe : public Probe {
  public:
    platform::qt::QtWindowSystem& backend() override
    {
        static auto* ws = [] {
            auto* desktop = static_cast<platform::qt::QtWindowSystem*>(
                platform::qt::start_desktop(app_argc, app_argv));
            // The console's feed is not the backend's: Qt's own warnings stay out of it.
            platform::stop_console_capture();
            return desktop;
        }();
        return *ws;
    }
    bool settle(const std::function<bool()>& pred) override
    {
        for (int waited = 0; waited < WAIT_LIMIT_MS; waited += 2) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            if (pred())
                return true;
        }
        return pred();
    }
    bool shown(uint8_t window) override { return widget(window)->isVisible(); }
    uint8_t front() override
    {
        for (uint8_t n = 0; n < platform::WINDOW_NUMBER_COUNT; ++n) {
            if (QApplication::activeWindow() == widget(n) && widget(n)->isVisible())
                return n;
        }
        return NO_WINDOW;
    }
    std::string title(uint8_t window) override
    {
        return platform::qt::to_utf8(widget(window)->windowTitle());
    }
    std::string text(uint8_t window) override
    {
        // The pasteboard window edits its text; the others show it in their line view.
        const auto* w = backend().state(window);
        std::string text = w->edit && w->edit->isVisible()
                               ? platform::qt::to_utf8(w->edit->toPlainText())
                               : platform::clipboard_text(w->view->lines().bytes());
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }
    void press(Key key) override
    {
        const int qt_key = key == Key::LetterA ? Qt::Key_A
                           : key == Key::Up    ? Qt::Key_Up
                           : key == Key::F9    ? Qt::Key_F9
                                               : Qt::Key_Return;
        const QString text = key == Key::LetterA ? "a" : key == Key::Return ? "\r" : "";
        QKeyEvent press(QEvent::KeyPress, qt_key, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, qt_key, Qt::NoModifier, text);
        QApplication::sendEvent(backend().state(0)->canvas, &press);
        QApplication::sendEvent(backend().state(0)->canvas, &release);
    }
    bool choose(const std::string& menu, const std::string& item) override
    {
        // The menu bar of the window in front, as a user sees it.
        const uint8_t in_front = front() == NO_WINDOW ? 0 : front();
        for (QAction* top : widget(in_front)->menuBar()->actions()) {
            if (platform::qt::to_utf8(top->text()) != menu || !top->menu())
                continue;
            for (QAction* action : top->menu()->actions()) {
                if (platform::qt::to_utf8(action->text()) == item && action->isEnabled()) {
                    action->trigger();
                    return true;
                }
            }
        }
        return false;
    }
    bool click(uint8_t window, double x, double y) override
    {
        // From window coordinates (bottom left, y upwards) to the canvas's pixels.
        auto* canvas = static_cast<platform::qt::Canvas*>(backend().state(window)->canvas);
        const QRectF area = canvas->view_rect();
        const platform::Rect view = backend().state(window)->state.view_frame;
        const double scale = canvas->content_scale();
        const QPoint at(
            static_cast<int>(std::lround(area.left() + (x - view.x) * scale)),
            static_cast<int>(std::lround(area.top() + (view.y + view.height - y) * scale)));
        QTest::mousePress(canvas, Qt::LeftButton, {}, at);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, at);
        return true;
    }
    bool close(uint8_t window) override
    {
        widget(window)->close();
        return true;
    }
    bool resize(uint8_t window, int width, int height) override
    {
        widget(window)->resize(width, height);
        return true;
    }
    std::string message() override
    {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (box && box->isVisible())
                return platform::qt::to_utf8(box->windowTitle() + "\n" + box->text());
        }
        return {};
    }
    void dismiss_message() override
    {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(top))
                box->accept();
        }
    }
    void copy_elsewhere(const std::string& text) override
    {
        QApplication::clipboard()->setText(platform::qt::to_qstring(text));
    }

  private:
    QMainWindow* widget(uint8_t window) { return backend().state(window)->widget; }
};
#endif

template <typename P> class BackendConformance : public ::testing::Test {
  protected:
    void SetUp() override
    {
        toolkit::stop_auto_update();
        platform::headless_reset();
        toolkit::reset_platform_windows();
        toolkit::shell_hooks() = {};
        toolkit::reset_video_memory();
        ResetMenus();
        ResetEvents();
        ResetMouse();
        setenv("XDG_CACHE_HOME", (testing::TempDir() + "orbikon-conformance").c_str(), 1);
        platform::set_window_system(&probe.backend());
        connect_shell([] {});
        // What run_event_loop reports first; the suite runs no program.
        if (auto display_changed = probe.backend().events().display_changed)
            platform::run_on_event_thread([&] { display_changed(platform::Display{}); }, true);
        DiagCapture quiet;
        PrepareMenus();
        // Window 0 as the main program sets it up, small; it takes keys and clicks.
        t_InitWindow(0, 8, false, 64, 64, 4, 4, tiny_font(), true);
        // Every report the shell gets, kept for the cases to read.
        platform::WindowEvents events = probe.backend().events();
        events.key_down = [reports = reports_, next = events.key_down](const auto& r) {
            {
                std::lock_guard lock(reports->mutex);
                reports->keys.push_back(r);
            }
            next(r);
        };
        events.mouse_down = [reports = reports_, next = events.mouse_down](const auto& r) {
            {
                std::lock_guard lock(reports->mutex);
                reports->clicks.push_back(r);
            }
            next(r);
        };
        probe.backend().set_events(events);
    }
    void TearDown() override
    {
        toolkit::stop_auto_update();
        platform::set_window_system(nullptr);
    }

    static t_Font tiny_font()
    {
        t_Font font;
        font.Format = toolkit::FONT_FORMAT_GREY;
        font.Start = 0x20;
        font.End = 0xFF;
        font.Width = 4;
        font.Height = 4;
        font.Data.assign(256 * 16, 0);
        return font;
    }

    std::vector<platform::KeyReport> keys()
    {
        std::lock_guard lock(reports_->mutex);
        return reports_->keys;
    }
    std::vector<platform::MouseReport> clicks()
    {
        std::lock_guard lock(reports_->mutex);
        return reports_->clicks;
    }

    P probe;
    // Shared, so a report that outlives the test touches nothing freed.
    std::shared_ptr<Reports> reports_ = std::make_shared<Reports>();
};

#ifdef ORBIKON_DESKTOP
using Backends = ::testing::Types<HeadlessProbe, TerminalProbe, QtProbe>;
#else
using Backends = ::testing::Types<HeadlessProbe, TerminalProbe>;
#endif

class BackendNames {
  public:
    template <typename P> static std::string GetName(int)
    {
        if (std::is_same_v<P, HeadlessProbe>)
            return "Headless";
        if (std::is_same_v<P, TerminalProbe>)
            return "Terminal";
        return "Qt";
    }
};

TYPED_TEST_SUITE(BackendConformance, Backends, BackendNames);

TYPED_TEST(BackendConformance, ShowHideAndFrontOfWindows0To12)
{
    auto& probe = this->probe;
    DiagCapture quiet; // the windows without a program print nothing, but stay quiet
    for (uint8_t n = 0; n < platform::WINDOW_NUMBER_COUNT; ++n) {
        SCOPED_TRACE(int{n});
        t_WindowFront(n);
        EXPECT_TRUE(probe.settle([&] { return probe.shown(n); }));
        EXPECT_EQ(MainWindowNumber(), n);
        // Window 0 and the text windows come to the front on every backend.
        const bool paged =
            n == 0 || (n >= platform::PASTEBOARD_WINDOW && n <= platform::CONSOLE_WINDOW);
        if (paged) {
            EXPECT_TRUE(probe.settle([&] { return probe.front() == n; }));
        }
        t_WindowVisible(n, false);
        EXPECT_TRUE(probe.settle([&] { return !probe.shown(n); }));
    }
}

TYPED_TEST(BackendConformance, HidingTheKeyWindowHandsTheKeyOnAndTheLastLeavesNone)
{
    auto& probe = this->probe;
    t_WindowFront(0);
    t_WindowFront(platform::PRINTER_WINDOW);
    ASSERT_TRUE(probe.settle([&] { return probe.front() == platform::PRINTER_WINDOW; }));
    t_WindowVisible(platform::PRINTER_WINDOW, false);
    EXPECT_EQ(MainWindowNumber(), 0);
    EXPECT_TRUE(probe.settle([&] { return probe.front() == 0; }));
    t_WindowVisible(0, false); // the last shown window
    EXPECT_EQ(MainWindowNumber(), NO_WINDOW);
    EXPECT_TRUE(probe.settle([&] { return !probe.shown(0) && probe.front() == NO_WINDOW; }));
    // The application goes on: the event thread still serves.
    bool served = false;
    platform::run_on_event_thread([&] { served = true; }, true);
    EXPECT_TRUE(served);
}

TYPED_TEST(BackendConformance, TitleChangesReachTheScreen)
{
    auto& probe = this->probe;
    for (uint8_t n :
         {platform::PASTEBOARD_WINDOW, platform::PRINTER_WINDOW, platform::CONSOLE_WINDOW}) {
        SCOPED_TRACE(int{n});
        t_WindowFront(n);
        t_WindowTitle(n, "Neuer Titel " + std::to_string(n));
        EXPECT_TRUE(probe.settle([&] {
            return probe.title(n) == "Neuer Titel " + std::to_string(n);
        })) << probe.title(n);
    }
}

TYPED_TEST(BackendConformance, TextWindowsSetAppendAndClear)
{
    auto& probe = this->probe;
    for (uint8_t n :
         {platform::PASTEBOARD_WINDOW, platform::PRINTER_WINDOW, platform::CONSOLE_WINDOW}) {
        SCOPED_TRACE(int{n});
        t_WindowFront(n);
        toolkit::set_window_text(n, "eins\rzwei\r");
        EXPECT_TRUE(probe.settle([&] { return probe.text(n) == "eins\nzwei"; })) << probe.text(n);
        toolkit::append_window_text(n, "dr");
        toolkit::append_window_text(n, "ei \xC3\xA4\r");
        EXPECT_TRUE(probe.settle([&] { return probe.text(n) == "eins\nzwei\ndrei \xC3\xA4"; }))
            << probe.text(n);
        toolkit::set_window_text(n, "eins\rzwei\rdrei \xC3\xA4\rvier\r"); // published longer
        EXPECT_TRUE(probe.settle([&] {
            return probe.text(n) == "eins\nzwei\ndrei \xC3\xA4\nvier";
        })) << probe.text(n);
        toolkit::clear_window_text(n);
        EXPECT_TRUE(probe.settle([&] { return probe.text(n).empty(); })) << probe.text(n);
    }
}

TYPED_TEST(BackendConformance, MenuChoicesArriveWithTheirTags)
{
    auto& probe = this->probe;
    t_WindowFront(0);
    ASSERT_TRUE(probe.choose("Fenster", "Virtuellen Drucker zeigen"));
    ASSERT_TRUE(probe.settle([] { return MenuEventCount() == 1; }));
    EXPECT_EQ(MenuEvents().back().ItemAction, ACTION_SHOW_PRINTER);
    EXPECT_EQ(MenuEvents().back().MenuTitle, "Fenster");
    EXPECT_TRUE(probe.settle([&] { return probe.shown(platform::PRINTER_WINDOW); }));
    ASSERT_TRUE(probe.choose("Bearbeiten", "Text kopieren"));
    ASSERT_TRUE(probe.settle([] { return MenuEventCount() == 2; }));
    EXPECT_EQ(MenuEvents().back().ItemAction, ACTION_COPY_TEXT);
}

TYPED_TEST(BackendConformance, PasteboardRoundTrip)
{
    auto& probe = this->probe;
    // What the copy command puts there is what a paste reads back, in UTF-8, its lines
    // ended as other programs end them.
    t_WindowFront(platform::PRINTER_WINDOW);
    toolkit::set_window_text(platform::PRINTER_WINDOW, "Liste \xE2\x82\xAC\r");
    ASSERT_TRUE(probe.settle([&] { return MainWindowNumber() == platform::PRINTER_WINDOW; }));
    t_MenuEventHandler({true, "Bearbeiten", {"Text kopieren", ACTION_COPY_TEXT, "c", 0, true}});
    std::optional<std::string> text;
    platform::show([&](platform::WindowSystem& ws) { text = ws.pasteboard_text(); });
    EXPECT_EQ(text, "Liste \xE2\x82\xAC\n");
    platform::show([](platform::WindowSystem& ws) { ws.set_pasteboard_text("12\r34"); });
    platform::show([&](platform::WindowSystem& ws) { text = ws.pasteboard_text(); });
    EXPECT_EQ(text, "12\r34");
}

TYPED_TEST(BackendConformance, PasteboardWindowFollowsTheClipboard)
{
    auto& probe = this->probe;
    t_WindowFront(platform::PASTEBOARD_WINDOW);
    ASSERT_TRUE(probe.settle([&] { return probe.front() == platform::PASTEBOARD_WINDOW; }));
    probe.copy_elsewhere("gro\xC3\x9F\nzwei");
    EXPECT_TRUE(probe.settle([&] {
        return probe.text(platform::PASTEBOARD_WINDOW) == "gro\xC3\x9F\nzwei";
    })) << probe.text(platform::PASTEBOARD_WINDOW);
    EXPECT_EQ(toolkit::window_text(platform::PASTEBOARD_WINDOW), "gro\xC3\x9F\nzwei");
}

TYPED_TEST(BackendConformance, KeyReportsInKeysNames)
{
    auto& probe = this->probe;
    t_WindowFront(0);
    ASSERT_TRUE(probe.settle([&] { return probe.front() == 0; }));
    const std::pair<Key, uint16_t> presses[] = {{Key::LetterA, platform::KEY_A},
                                                {Key::Up, platform::KEY_UP},
                                                {Key::F9, platform::KEY_F9},
                                                {Key::Return, platform::KEY_RETURN}};
    for (const auto& [key, code] : presses) {
        const size_t before = this->keys().size();
        probe.press(key);
        ASSERT_TRUE(probe.settle([&] { return this->keys().size() > before; })) << code;
        const platform::KeyReport report = this->keys().back();
        EXPECT_EQ(report.key_code, code);
        EXPECT_EQ(report.window, 0);
    }
    EXPECT_EQ(this->keys()[0].characters, "a");
    EXPECT_EQ(this->keys()[3].characters, "\r");
}

TYPED_TEST(BackendConformance, MouseReportsInWindowCoordinates)
{
    auto& probe = this->probe;
    t_WindowFront(0);
    if (!probe.click(0, 10, 20))
        GTEST_SKIP() << "no mouse on this backend";
    ASSERT_TRUE(probe.settle([&] { return !this->clicks().empty(); }));
    EXPECT_EQ(this->clicks().back().window, 0);
    // Window coordinates (10, 20) lie in the drawing area behind the border of 4: its
    // pixel (6, 64 - 20 + 4) from the top left.
    ASSERT_EQ(MouseEventCount(), 1);
    EXPECT_EQ(MouseEvents().back().ClickX, 6);
    EXPECT_EQ(MouseEvents().back().ClickY, 48);
}

TYPED_TEST(BackendConformance, CloseAndResizeReports)
{
    auto& probe = this->probe;
    t_WindowFront(0);
    t_WindowFront(platform::CONSOLE_WINDOW);
    ASSERT_TRUE(probe.settle([&] { return probe.shown(platform::CONSOLE_WINDOW); }));
    DiagCapture out;
    if (!probe.close(platform::CONSOLE_WINDOW))
        GTEST_SKIP() << "no close box on this backend";
    EXPECT_TRUE(probe.settle([&] { return !probe.shown(platform::CONSOLE_WINDOW); }));
    EXPECT_NE(out.text().find("t_MouseEventPostCloseBoxClick: Window = 10\n"), std::string::npos);
    t_WindowFront(platform::PRINTER_WINDOW);
    ASSERT_TRUE(probe.settle([&] { return probe.shown(platform::PRINTER_WINDOW); }));
    ASSERT_TRUE(probe.resize(platform::PRINTER_WINDOW, 700, 500));
    EXPECT_TRUE(probe.settle([] {
        const platform::Rect frame = toolkit::platform_window(platform::PRINTER_WINDOW).state.frame;
        return frame.width == 700 && frame.height == 500;
    }));
    // The shell laid the resized text window out anew.
    EXPECT_EQ(toolkit::platform_window(platform::PRINTER_WINDOW).ruler_frame.width, 700 - 48);
}

// "Über Orbikon", chosen as a user does, shows the version, the licence and the libraries.
TYPED_TEST(BackendConformance, AboutShowsVersionLicenceAndLibraries)
{
    auto& probe = this->probe;
    ASSERT_TRUE(probe.choose("Hilfe", "\xC3\x9C" "ber Orbikon"));
    ASSERT_TRUE(probe.settle([&] { return !probe.message().empty(); }));
    const std::string shown = probe.message();
    EXPECT_NE(shown.find("Orbikon 1."), std::string::npos) << shown;
    EXPECT_NE(shown.find("Lizenz: MIT"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Bibliotheken: LAPACK"), std::string::npos) << shown;
    probe.dismiss_message();
    // The headless recorder keeps the last message; the others close it.
    if constexpr (!std::is_same_v<TypeParam, HeadlessProbe>) {
        EXPECT_TRUE(probe.settle([&] { return probe.message().empty(); }));
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifdef ORBIKON_DESKTOP
    // Whatever display the caller has, the desktop's cases draw offscreen.
    setenv("QT_QPA_PLATFORM", "offscreen:configfile=" OFFSCREEN_SCREEN, 1);
#endif
    const int status = RUN_ALL_TESTS();
    // Event threads and Qt's objects live on: end without running destructors under them.
    std::fflush(stdout);
    std::_Exit(status);
}
