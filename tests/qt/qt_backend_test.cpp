// The desktop backend driven as a user drives it, on Qt's offscreen platform: key events
// into view 0, menus, the clipboard, the close box, the printer view and mouse clicks,
// with the real shell and programs behind them. Each test runs in a process of its own.
#include "platform/diag.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "platform/qt/desktop.h"
#include "platform/qt/qt_backend.h"
#include "platform/text_lines.h"
#include "programs/headless_run.h"
#include "programs/mainloop.h"
#include "shell/app_delegate.h"
#include "shell/events.h"
#include "shell/views.h"
#include "toolkit/geometry.h"
#include "toolkit/platform_windows.h"
#include "toolkit/render.h"
#include "toolkit/window.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::qt::QtWindowSystem;

constexpr int WAIT_LIMIT_MS = 20000;

int test_argc = 1;
char test_name[] = "tests_qt";
char* test_argv[] = {test_name, nullptr};

// Runs Qt's events until pred holds; false after the limit.
template <typename Pred> bool pump_until(Pred pred, int limit_ms = WAIT_LIMIT_MS)
{
    for (int waited = 0; waited < limit_ms; waited += 5) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (pred())
            return true;
        platform::sleep_ms(1);
    }
    return pred();
}

// Everything WaitKey returned to the key-reading program, in order.
std::mutex keys_mutex;
std::vector<t_Event> keys_read; // guarded by keys_mutex

void key_reading_program()
{
    mainloop_start();
    for (;;) {
        WaitKey(0);
        std::lock_guard lock(keys_mutex);
        keys_read.push_back(CurrentEvent());
    }
}

size_t keys_read_count()
{
    std::lock_guard lock(keys_mutex);
    return keys_read.size();
}

class DesktopTest : public ::testing::Test {
  protected:
    // Starts the application with program on the program thread and waits for its first key.
    void launch(std::function<void()> program)
    {
        // A dump file of its own, so parallel test processes cannot meet in one.
        const fs::path cache = fs::path(ORBIKON_BUILD_DIR) / "test-qt" /
                               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(cache);
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        backend_ = static_cast<QtWindowSystem*>(platform::qt::start_desktop(test_argc, test_argv));
        ASSERT_NE(backend_, nullptr);
        platform::set_window_system(backend_);
        connect_shell(std::move(program));
        const platform::WindowEvents e = backend_->events();
        e.display_changed(backend_->current_display());
        e.will_finish_launching();
        e.did_finish_launching();
        ASSERT_TRUE(pump_until([] { return WaitingForKey() && EventQueueLength() == 0; }));
    }

    void wait_for_prompt()
    {
        ASSERT_TRUE(pump_until([] { return WaitingForKey() && EventQueueLength() == 0; }));
    }

    QWidget* view(uint8_t window) { return backend_->state(window)->canvas; }

    void key(int qt_key, Qt::KeyboardModifiers mods, const QString& text, quint32 scan_code = 0)
    {
        QKeyEvent press(QEvent::KeyPress, qt_key, mods, scan_code, 0, 0, text);
        QKeyEvent release(QEvent::KeyRelease, qt_key, mods, scan_code, 0, 0, text);
        QApplication::sendEvent(view(0), &press);
        QApplication::sendEvent(view(0), &release);
    }

    QtWindowSystem* backend_ = nullptr;
};

TEST_F(DesktopTest, KeysReachWaitKeyWithTheirCodes)
{
    using namespace platform::keys;
    launch(key_reading_program);
    struct Sample {
        const char* name;
        int qt_key;
        Qt::KeyboardModifiers mods;
        QString text;
        quint32 scan_code; // the X server's keycode; 0 where a platform has none
        int64_t value;
        uint16_t index; // the key code the table sees
    };
    const std::vector<Sample> samples = {
        {"a", Qt::Key_A, Qt::NoModifier, "a", 0, 'a', KEY_A},
        {"Shift-Q", Qt::Key_Q, Qt::ShiftModifier, "Q", 0, 'Q', KEY_Q},
        // A German z sits where a US keyboard has Y: the position decides the code.
        {"German z", Qt::Key_Z, Qt::NoModifier, "z", 29, 'z', KEY_Y},
        {"Return", Qt::Key_Return, Qt::NoModifier, "\r", 36, 13, KEY_RETURN},
        {"Escape", Qt::Key_Escape, Qt::NoModifier, "\x1b", 9, 27, KEY_ESCAPE},
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", 22, 127, KEY_DELETE},
        {"Left", Qt::Key_Left, Qt::NoModifier, "", 113, 8, KEY_LEFT},
        {"Up", Qt::Key_Up, Qt::NoModifier, "", 111, 11, KEY_UP},
        {"Forward delete", Qt::Key_Delete, Qt::NoModifier, "\x7f", 119, 7, KEY_FORWARD_DELETE},
        {"F1", Qt::Key_F1, Qt::NoModifier, "", 67, 129, KEY_F1},
        {"F12", Qt::Key_F12, Qt::NoModifier, "", 96, 140, KEY_F12},
        {"AltGr-q", Qt::Key_At, Qt::GroupSwitchModifier, "@", 24, '@', KEY_Q},
        {"ä", Qt::Key_Adiaeresis, Qt::NoModifier, QString::fromUtf8("ä"), 48, 0xE4, KEY_QUOTE},
        {"ß", Qt::Key_ssharp, Qt::NoModifier, QString::fromUtf8("ß"), 20, 0xDF, KEY_MINUS},
        {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, "\r", 104, 13, KEY_PAD_ENTER},
        {"Control-L", Qt::Key_L, Qt::ControlModifier, "\x0c", 46, 12, KEY_L},
    };
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        SCOPED_TRACE(s.name);
        wait_for_prompt();
        key(s.qt_key, s.mods, s.text, s.scan_code);
        ASSERT_TRUE(pump_until([&] { return keys_read_count() == i + 1; }));
        std::lock_guard lock(keys_mutex);
        const t_Event& e = keys_read.back();
        EXPECT_EQ(e.Value, s.value);
        EXPECT_EQ(e.Index, s.index);
    }
    std::lock_guard lock(keys_mutex);
    EXPECT_TRUE(keys_read[1].ShiftPressed);
    EXPECT_TRUE(keys_read[6].CursorKeyPressed);
    EXPECT_TRUE(keys_read[9].FunctionKeyPressed);
    EXPECT_TRUE(keys_read[11].OptionPressed);
    EXPECT_TRUE(keys_read[14].NumericPadPressed);
    EXPECT_TRUE(keys_read[15].ControlPressed);
}

TEST_F(DesktopTest, ModifierKeysAloneReportTheModifierWord)
{
    launch(key_reading_program);
    QKeyEvent shift_down(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    QApplication::sendEvent(view(0), &shift_down);
    EXPECT_TRUE(ShiftDown);
    QKeyEvent shift_up(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    QApplication::sendEvent(view(0), &shift_up);
    EXPECT_FALSE(ShiftDown);
    EXPECT_EQ(keys_read_count(), 0u);
}

// That view 0 shows the headless run's pixels, and that D fills the printer view, is
// checked under a real X server by tests/desktop/xvfb_run.sh.
// Copying text is the shell's (tests/shell/menus_test.cpp) and, for real, xvfb_run.sh's.
TEST_F(DesktopTest, ClosingWindowThreeHidesItAndSaysSo)
{
    launch(mainloop);
    t_WindowFront(3);
    QWidget* window3 = backend_->state(3)->widget;
    ASSERT_TRUE(window3->isVisible());
    DiagCapture capture;
    window3->close();
    ASSERT_TRUE(pump_until([&] { return !window3->isVisible(); }));
    EXPECT_NE(capture.text().find("t_MouseEventPostCloseBoxClick: Window = 3\n"),
              std::string::npos);
    // Window 0 is still there, so the application goes on.
    pump_until([] { return false; }, 50);
    EXPECT_EQ(capture.text().find("applicationWillTerminate"), std::string::npos);
    EXPECT_TRUE(backend_->state(0)->widget->isVisible());

    // Closing the last visible window ends the application.
    backend_->state(0)->widget->close();
    EXPECT_TRUE(pump_until([&] {
        return capture.text().find("applicationWillTerminate: Called.\n") != std::string::npos;
    }));
}

TEST_F(DesktopTest, ConsoleShowsStandardOutputAndError)
{
    launch(mainloop);
    diag_line("Konsolentest", "auf der Standardausgabe.");
    std::fprintf(stderr, "ERROR: auf der Standardfehlerausgabe\n");
    std::fflush(stderr);
    auto* console = backend_->state(platform::CONSOLE_WINDOW);
    EXPECT_TRUE(pump_until([&] {
        const QString shown =
            QString::fromStdString(platform::clipboard_text(console->view->lines().bytes()));
        return shown.contains(QStringLiteral("Konsolentest: auf der Standardausgabe.\n")) &&
               shown.contains(QStringLiteral("ERROR: auf der Standardfehlerausgabe\n"));
    }));
    // The launch lines came before, in the order they were written.
    const std::string text = toolkit::window_text(platform::CONSOLE_WINDOW);
    EXPECT_LT(text.find("applicationWillFinishLaunching: Called."), text.find("Program: Start."));
}

TEST_F(DesktopTest, PrinterViewReachesBothEndsOfALongListing)
{
    using platform::qt::TextView;
    launch(mainloop);
    // 200.000 listing lines, each with the 25 the printer keeps after the address.
    const int64_t lines = 200000;
    std::string text;
    for (int64_t i = 0; i < lines; ++i)
        text += "$" + std::to_string(100000000 + i) + "\x19 F0 A1  Zeile " + std::to_string(i + 1) +
                "\r";
    t_WindowFront(platform::PRINTER_WINDOW);
    toolkit::set_window_text(platform::PRINTER_WINDOW, text);
    TextView* printer = backend_->state(platform::PRINTER_WINDOW)->view;
    ASSERT_TRUE(pump_until([&] { return QApplication::focusWidget() == printer; }));
    ASSERT_EQ(printer->lines().line_count(), lines);
    // New output keeps the end in view; the keys reach the view without a click into it.
    EXPECT_EQ(printer->first_line(), lines - printer->text_rows());
    auto press = [](int key, Qt::KeyboardModifiers mods) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), mods);
    };
    press(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(printer->first_line(), 0);
    press(Qt::Key_PageDown, Qt::NoModifier);
    EXPECT_EQ(printer->first_line(), printer->text_rows());
    // Away from the end, new output leaves the view where the reader is.
    toolkit::append_window_text(platform::PRINTER_WINDOW, "Ende\r");
    EXPECT_EQ(printer->first_line(), printer->text_rows());
    press(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(printer->first_line(), lines + 1 - printer->text_rows());

    // The ruler is the row directly above the first text row, whatever the window's size,
    // and still there, drawn, after the printer is cleared.
    auto ruler_on_top = [&] {
        const QRect ruler = printer->ruler_rect();
        const QImage shown = printer->viewport()->grab().toImage();
        int ink = 0;
        for (int x = 0; x < shown.width(); ++x)
            ink += shown.pixel(x, ruler.center().y()) != shown.pixel(0, ruler.center().y());
        return ruler.top() == 0 && ruler.height() > 0 &&
               ruler.bottom() + 1 == printer->row_rect(0).top() && ink > 0;
    };
    EXPECT_TRUE(ruler_on_top());
    backend_->state(platform::PRINTER_WINDOW)->widget->resize(500, 300);
    ASSERT_TRUE(pump_until([&] { return printer->viewport()->width() < 500; }));
    EXPECT_TRUE(ruler_on_top());
    EXPECT_EQ(printer->first_line(), lines + 1 - printer->text_rows()); // still at the end

    // A drag selects by character; Shift+click extends; the copy has line feeds and no 25.
    press(Qt::Key_Home, Qt::ControlModifier);
    const QPoint row0 = printer->row_rect(0).topLeft() + QPoint(0, 2);
    const QPoint row1 = printer->row_rect(1).topLeft() + QPoint(0, 2);
    ASSERT_EQ(printer->spot_at(row0), (TextView::Spot{0, 0}));
    const TextView::Spot at5 = printer->spot_at(row1 + QPoint(200, 0));
    ASSERT_EQ(at5.line, 1);
    QTest::mousePress(printer->viewport(), Qt::LeftButton, {}, row0);
    QMouseEvent drag(QEvent::MouseMove, row1 + QPoint(200, 0),
                     printer->viewport()->mapToGlobal(row1 + QPoint(200, 0)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(printer->viewport(), &drag);
    QTest::mouseRelease(printer->viewport(), Qt::LeftButton, {}, row1 + QPoint(200, 0));
    const std::string first = "$100000000  F0 A1  Zeile 1";
    const std::string second = "$100000001  F0 A1  Zeile 2";
    EXPECT_EQ(printer->selected_text(),
              first + "\n" + second.substr(0, static_cast<size_t>(at5.column)));
    QTest::mouseClick(printer->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      printer->row_rect(2).topLeft() + QPoint(0, 2));
    EXPECT_EQ(printer->selected_text(), first + "\n" + second + "\n");
    press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), first + "\n" + second + "\n");
    // All of it, at once.
    press(Qt::Key_A, Qt::ControlModifier);
    press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied.size(), static_cast<qsizetype>(text.size() + 5));
    EXPECT_FALSE(copied.contains(QChar(0x19)) || copied.contains(QChar('\r')));

    toolkit::clear_window_text(platform::PRINTER_WINDOW);
    ASSERT_EQ(printer->lines().line_count(), 0);
    EXPECT_TRUE(ruler_on_top());
}

TEST_F(DesktopTest, PasteboardWindowFollowsTheClipboardAndFeedsIt)
{
    launch(mainloop);
    t_WindowFront(platform::PASTEBOARD_WINDOW);
    auto* pasteboard = backend_->state(platform::PASTEBOARD_WINDOW);
    QClipboard* clipboard = QApplication::clipboard();
    // Another program copies: the window shows it.
    clipboard->setText(QString::fromUtf8("gro\xC3\x9F\nzwei"));
    ASSERT_TRUE(pump_until(
        [&] { return pasteboard->edit->toPlainText() == QString::fromUtf8("gro\xC3\x9F\nzwei"); }));
    // The user types; the text reaches the clipboard and comes back without moving the
    // cursor or undoing what was typed meanwhile.
    pasteboard->edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(pasteboard->edit, QStringLiteral(" und"));
    ASSERT_TRUE(pump_until([&] { return clipboard->text().endsWith(QStringLiteral("zwei und")); }));
    QTest::keyClicks(pasteboard->edit, QStringLiteral(" mehr"));
    const QString typed = QString::fromUtf8("gro\xC3\x9F\nzwei und mehr");
    ASSERT_TRUE(pump_until(
        [&] { return toolkit::window_text(platform::PASTEBOARD_WINDOW) == typed.toStdString(); }));
    EXPECT_EQ(clipboard->text(), typed);
    EXPECT_EQ(pasteboard->edit->toPlainText(), typed);
    EXPECT_EQ(pasteboard->edit->textCursor().position(), typed.size());
    // Too large to edit: shown in the line view, with a note saying why.
    const std::string large(platform::qt::QtWindowSystem::PASTEBOARD_EDIT_LIMIT_BYTES + 1, 'x');
    clipboard->setText(QString::fromStdString(large));
    ASSERT_TRUE(pump_until([&] { return pasteboard->view->lines().bytes() == large; }));
    EXPECT_TRUE(pasteboard->view->isVisible() && pasteboard->note->isVisible());
    EXPECT_FALSE(pasteboard->edit->isVisible());
}

TEST_F(DesktopTest, ClickGivesThePositionInTheDrawingArea)
{
    launch(mainloop);
    auto* canvas = static_cast<platform::qt::Canvas*>(view(0));
    const QRect area = canvas->view_rect().toRect();
    ASSERT_EQ(area.width(), window_table[0].Width);
    struct Click {
        QPoint at;
        Qt::MouseButton button;
        int64_t x;
        int64_t y;
        int64_t buttons;
    };
    const std::vector<Click> clicks = {
        {area.topLeft(), Qt::LeftButton, 0, 0, 1},
        {area.topLeft() + QPoint(17, 5), Qt::RightButton, 17, 5, 2},
        {area.bottomRight(), Qt::LeftButton, area.width() - 1, area.height() - 1, 1},
        {area.topLeft() - QPoint(1, 1), Qt::LeftButton, -1, -1, 1},
        {area.bottomRight() + QPoint(1, 1), Qt::LeftButton, -2, -2, 1},
    };
    for (size_t i = 0; i < clicks.size(); ++i) {
        SCOPED_TRACE(i);
        QTest::mousePress(canvas, clicks[i].button, {}, clicks[i].at);
        EXPECT_EQ(RightButtonDown.load(), clicks[i].button == Qt::RightButton);
        QTest::mouseRelease(canvas, clicks[i].button, {}, clicks[i].at);
        EXPECT_FALSE(LeftButtonDown || RightButtonDown);
        const std::vector<t_Event> events = MouseEvents();
        ASSERT_EQ(events.size(), i + 1);
        EXPECT_EQ(events.back().ClickX, clicks[i].x);
        EXPECT_EQ(events.back().ClickY, clicks[i].y);
        EXPECT_EQ(events.back().Index, clicks[i].buttons);
    }
}

TEST_F(DesktopTest, TooLargeWindowFitsTheScreenWithItsAspect)
{
    launch(mainloop);
    const platform::Size screen = toolkit::display().screen;
    const platform::Rect frame = toolkit::platform_window(0).state.frame;
    auto set_frame = [](const platform::Rect& r) {
        toolkit::change_platform_window(0, [&](toolkit::PlatformWindow& w) { w.state.frame = r; });
    };
    // Twice the screen in both directions: the window shrinks, the view keeps its shape.
    set_frame({0, 0, 2 * screen.width, 2 * screen.height});
    auto* canvas = static_cast<platform::qt::Canvas*>(view(0));
    const QRect shown = backend_->state(0)->widget->geometry();
    EXPECT_LE(shown.width(), screen.width);
    EXPECT_LE(shown.height(), screen.height);
    EXPECT_LT(canvas->content_scale(), 0.5 + 1e-9);
    const QRectF area = canvas->view_rect();
    const platform::Rect v = toolkit::platform_window(0).state.view_frame;
    EXPECT_NEAR(area.width() / area.height(), v.width / v.height, 0.01);
    // The logical frame stays what the toolkit asked for.
    EXPECT_EQ(backend_->state(0)->state.frame.width, 2 * screen.width);
    set_frame(frame);
    EXPECT_DOUBLE_EQ(canvas->content_scale(), 1.0);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Whatever display the caller has, the tests draw offscreen on a screen of known size.
    setenv("QT_QPA_PLATFORM", "offscreen:configfile=" OFFSCREEN_SCREEN, 1);
    const int status = RUN_ALL_TESTS();
    // The program thread still waits for keys and Qt's objects live on: end without
    // running destructors (or the leak check, which would count the never-freed
    // application) under their feet.
    platform::qt::finish_desktop();
    std::fflush(stdout);
    std::_Exit(status);
}
