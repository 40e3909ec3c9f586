// platform/qt/qt_window_system.cpp: the seam's event loop, windows, graphic views and
// sounds on Qt, and the reports of the widgets.
#include "platform/console_capture.h"
#include "platform/event_thread.h"
#include "platform/platform.h"
#include "platform/qt/desktop.h"
#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

namespace platform::qt {

namespace {

// Text windows keep their scroll view inset as the shell's layout rules expect.
constexpr double TEXT_INSET = 10;
constexpr double RULER_HEIGHT = 19;
constexpr double RULER_GAP = 15;
// Room left for a window manager's title bar and frame when a window is fitted to the screen.
constexpr int DECORATION_ALLOWANCE = 40;

QtWindowSystem* backend = nullptr;

} // namespace

bool display_available()
{
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

WindowSystem* start_desktop(int& argc, char** argv)
{
    if (backend)
        return backend;
    // Never destroyed: the program thread may still ask the window system while the
    // process ends.
    new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    backend = new QtWindowSystem;
    start_console_capture();
    set_console_consumer([](std::string text) {
        if (backend)
            backend->append_console(text);
    });
    return backend;
}

void finish_desktop()
{
    stop_console_capture();
}

QtWindowSystem* desktop_backend()
{
    return backend;
}

QtWindowSystem::QtWindowSystem()
{
    // Qt's GUI thread is the event thread from now on.
    become_event_thread();
    QMenuBar probe;
    probe.addMenu(QStringLiteral("Ablage"));
    title_bar_height_ = std::max(1, probe.sizeHint().height());
}

// Event loop

void QtWindowSystem::run_event_loop()
{
    become_event_thread();
    const WindowEvents e = events();
    if (e.will_finish_launching)
        e.will_finish_launching();
    if (e.did_finish_launching)
        e.did_finish_launching();
    if (e.active_changed)
        e.active_changed(true);
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, qApp,
                     [this](Qt::ApplicationState state) {
                         if (auto changed = events().active_changed)
                             changed(state == Qt::ApplicationActive);
                     });
    QApplication::exec();
}

void QtWindowSystem::quit_event_loop()
{
    // Tasks queued before still run: the quit travels through the same queue. exit(), not
    // quit(): quit() first asks every window to close, and ours refuse.
    post_to_event_thread([] { QApplication::exit(0); });
}

void QtWindowSystem::post_to_event_thread(std::function<void()> work)
{
    QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection);
}

void QtWindowSystem::quit_after_last_close()
{
    if (quitting_)
        return;
    for (const auto& w : windows_) {
        if (w.exists && w.widget->isVisible())
            return;
    }
    // No global menu bar survives the last window on a Linux desktop, so nothing could
    // bring a window back: the application ends, as its users expect there.
    quitting_ = true;
    if (auto will_terminate = events().will_terminate)
        will_terminate();
    QApplication::exit(0);
}

// Windows

DesktopWindowState* QtWindowSystem::state(uint8_t window)
{
    if (window >= WINDOW_NUMBER_COUNT || !windows_[window].exists)
        return nullptr;
    return &windows_[window];
}

DesktopWindowState* QtWindowSystem::text_state(uint8_t window)
{
    DesktopWindowState* w = state(window);
    return w && w->has_text_view ? w : nullptr;
}

double QtWindowSystem::content_height(const DesktopWindowState& w) const
{
    return std::max(0.0, w.frame.height - title_bar_height_);
}

bool QtWindowSystem::create_window(uint8_t window, const WindowSpec& layout)
{
    return on_gui([&] {
        if (window >= WINDOW_NUMBER_COUNT || windows_[window].exists)
            return false;
        DesktopWindowState& w = windows_[window];
        w = DesktopWindowState{};
        w.exists = true;
        w.kind = layout.kind;
        w.frame = layout.frame;
        w.title = layout.title;
        const double width = layout.frame.width;
        const double height = layout.frame.height;
        w.widget = new DesktopWindow(*this, window);
        w.canvas = new Canvas(*this, window);
        w.widget->setCentralWidget(w.canvas);
        w.widget->menuBar()->setFixedHeight(static_cast<int>(title_bar_height_));
        w.widget->setWindowTitle(to_qstring(layout.title));
        if (layout.kind == WindowKind::Graphic) {
            w.view_frame = {0, 0, width, std::max(0.0, height - title_bar_height_)};
            w.canvas->setFocusPolicy(Qt::StrongFocus);
            w.canvas->setMouseTracking(false);
        } else if (layout.kind == WindowKind::Text) {
            w.has_text_view = true;
            w.has_ruler = layout.has_ruler;
            w.edit = new QPlainTextEdit(w.canvas);
            w.edit->setLineWrapMode(QPlainTextEdit::NoWrap);
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            fixed.setPointSize(TEXT_POINTS);
            w.edit->setFont(fixed);
            // 9 and 10 are read-only listings; the pasteboard window is edited.
            w.edit->setReadOnly(window != PASTEBOARD_WINDOW);
            w.edit->setUndoRedoEnabled(window == PASTEBOARD_WINDOW);
            if (layout.has_ruler) {
                const double inset = 2 * TEXT_INSET;
                w.scroll_frame = {inset, 0, width - 2 * inset,
                                  height - 2 * inset - title_bar_height_ - RULER_GAP};
                w.ruler_frame = {inset, w.scroll_frame.height + 4, width - 48, RULER_HEIGHT};
                w.ruler = new QLabel(w.canvas);
                w.ruler->setFont(fixed);
                w.ruler->setTextFormat(Qt::PlainText);
            } else {
                w.scroll_frame = {TEXT_INSET, 0, width - 2 * TEXT_INSET,
                                  height - 2 * TEXT_INSET - title_bar_height_};
            }
            w.tail_note = new QLabel(w.canvas);
            w.tail_note->setTextFormat(Qt::PlainText);
            w.tail_note->hide();
        }
        refresh_menu_bar(w);
        place(w);
        if (layout.visible)
            w.widget->show();
        return true;
    });
}

bool QtWindowSystem::window_exists(uint8_t window)
{
    return on_gui([&] { return state(window) != nullptr; });
}

WindowKind QtWindowSystem::window_kind(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w ? w->kind : WindowKind::Plain;
    });
}

Rect QtWindowSystem::window_frame(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w ? w->frame : Rect{};
    });
}

// Puts the Qt window where the logical frame says, shrunk to the screen's free area.
void QtWindowSystem::place(DesktopWindowState& w)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect full = screen ? screen->geometry() : QRect(0, 0, 1920, 1080);
    const QRect avail = screen ? screen->availableGeometry() : full;
    const double content = content_height(w);
    double scale = 1;
    if (w.frame.width > avail.width())
        scale = std::min(scale, avail.width() / w.frame.width);
    const double room = avail.height() - DECORATION_ALLOWANCE - title_bar_height_;
    if (content > room && content > 0)
        scale = std::min(scale, std::max(room, 1.0) / content);
    const int width = std::max(1, static_cast<int>(w.frame.width * scale));
    const int height =
        static_cast<int>(title_bar_height_) + std::max(1, static_cast<int>(content * scale));
    int x = static_cast<int>(w.frame.x);
    int y = full.height() - static_cast<int>(w.frame.y + w.frame.height);
    x = std::clamp(x, avail.left(), std::max(avail.left(), avail.right() + 1 - width));
    y = std::clamp(y, avail.top(), std::max(avail.top(), avail.bottom() + 1 - height));
    w.widget->setGeometry(x, y, width, height);
    if (w.has_text_view)
        layout_text(w);
}

void QtWindowSystem::set_window_frame(uint8_t window, const Rect& frame, bool display)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w)
            return;
        w->frame = frame;
        place(*w);
        if (display)
            w->canvas->repaint();
    });
}

Rect QtWindowSystem::view_frame(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w ? w->view_frame : Rect{};
    });
}

void QtWindowSystem::set_view_frame(uint8_t window, const Rect& frame)
{
    on_gui([&] {
        if (DesktopWindowState* w = state(window)) {
            w->view_frame = frame;
            w->canvas->update();
        }
    });
}

void QtWindowSystem::show_window(uint8_t window)
{
    on_gui([&] {
        if (DesktopWindowState* w = state(window)) {
            w->widget->show();
            w->widget->raise();
        }
    });
}

void QtWindowSystem::hide_window(uint8_t window)
{
    on_gui([&] {
        if (DesktopWindowState* w = state(window))
            w->widget->hide();
    });
}

void QtWindowSystem::bring_to_front(uint8_t window)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w)
            return;
        w->widget->show();
        w->widget->raise();
        w->widget->activateWindow();
        if (w->kind == WindowKind::Graphic)
            w->canvas->setFocus();
    });
}

void QtWindowSystem::center_window(uint8_t window)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w)
            return;
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect full = screen->geometry();
        const QRect avail = screen->availableGeometry();
        QRect g = w->widget->geometry();
        g.moveCenter(avail.center());
        g.moveTop(std::max(avail.top(), g.top()));
        w->widget->setGeometry(g);
        // The logical frame follows, in the seam's bottom-left screen coordinates.
        w->frame.x = g.x();
        w->frame.y = full.height() - g.y() - w->frame.height;
    });
}

bool QtWindowSystem::window_visible(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w && w->widget->isVisible();
    });
}

std::string QtWindowSystem::window_title(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w ? w->title : std::string();
    });
}

void QtWindowSystem::set_window_title(uint8_t window, const std::string& title)
{
    on_gui([&] {
        if (DesktopWindowState* w = state(window)) {
            w->title = title;
            w->widget->setWindowTitle(to_qstring(title));
        }
    });
}

bool QtWindowSystem::title_bar_visible(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w && w->title_bar_visible;
    });
}

void QtWindowSystem::set_title_bar_visible(uint8_t window, bool visible)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w || w->title_bar_visible == visible)
            return;
        w->title_bar_visible = visible;
        const bool shown = w->widget->isVisible();
        w->widget->setWindowFlag(Qt::FramelessWindowHint, !visible);
        if (shown)
            w->widget->show(); // changing the flags hides the window
    });
}

void QtWindowSystem::set_background_color(uint8_t window, const Color& color)
{
    on_gui([&] {
        if (DesktopWindowState* w = state(window)) {
            w->background = color;
            w->canvas->update();
        }
    });
}

uint8_t QtWindowSystem::main_window()
{
    return on_gui([&]() -> uint8_t {
        QWidget* active = QApplication::activeWindow();
        for (uint8_t n = 0; n < WINDOW_NUMBER_COUNT; ++n) {
            if (windows_[n].exists && windows_[n].widget == active && active->isVisible())
                return n;
        }
        return NO_WINDOW;
    });
}

double QtWindowSystem::title_bar_height()
{
    return title_bar_height_;
}

double QtWindowSystem::backing_scale(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w ? w->widget->devicePixelRatioF() : 1.0;
    });
}

Size QtWindowSystem::screen_size()
{
    return on_gui([&] {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return Size{};
        return Size{static_cast<double>(screen->geometry().width()),
                    static_cast<double>(screen->geometry().height())};
    });
}

// Graphic views

void QtWindowSystem::request_redraw(uint8_t window, bool deferred)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w)
            return;
        if (deferred) {
            // Coalesced like a desktop's display cycle: one drawing however many requests.
            if (redraw_pending_[window])
                return;
            redraw_pending_[window] = true;
            post_to_event_thread([this, window] {
                redraw_pending_[window] = false;
                draw_view(window);
            });
            return;
        }
        draw_view(window);
        w->canvas->repaint();
    });
}

void QtWindowSystem::draw_view(uint8_t window)
{
    DesktopWindowState* w = state(window);
    if (!w)
        return;
    if (auto draw = events().draw_view)
        draw(window);
}

void QtWindowSystem::present_frame(uint8_t window, const Frame& frame)
{
    // A desktop draws pixels; the frame's character cells are for text backends.
    on_gui([&] {
        std::shared_ptr<const ArgbImage> image = frame.image;
        DesktopWindowState* w = state(window);
        if (!w || !image || image->width <= 0 || image->height <= 0 ||
            image->pixels.size() < static_cast<size_t>(image->width * image->height))
            return;
        // The same image again (nothing was drawn into the window) needs no painting.
        if (image == w->image)
            return;
        w->image = std::move(image);
        // Alpha is always opaque; RGB32 spares the painter the blending.
        w->qimage = QImage(reinterpret_cast<const uchar*>(w->image->pixels.data()),
                           static_cast<int>(w->image->width), static_cast<int>(w->image->height),
                           static_cast<qsizetype>(w->image->width * 4), QImage::Format_RGB32);
        ++w->images_presented;
        w->canvas->update();
    });
}

// Sounds

bool QtWindowSystem::play_sound(const std::string& path)
{
    // Without an audio device the caller falls back to the alert beep.
    if (!audio_device_present())
        return false;
    double seconds = 0;
    if (!play_aiff(path, seconds))
        return false;
    sound_ends_ = time_seconds() + seconds;
    return true;
}

bool QtWindowSystem::sound_playing()
{
    return time_seconds() < sound_ends_;
}

void QtWindowSystem::alert_beep()
{
    on_gui([] { QApplication::beep(); });
}

// Reports from the widgets

void QtWindowSystem::deliver_key(const KeyReport& report, bool down)
{
    const WindowEvents e = events();
    if (down && e.key_down)
        e.key_down(report);
    if (!down && e.key_up)
        e.key_up(report);
}

void QtWindowSystem::deliver_modifiers(uint64_t modifiers)
{
    if (auto changed = events().modifiers_changed)
        changed(modifiers);
}

void QtWindowSystem::deliver_mouse(const MouseReport& report, int kind)
{
    const WindowEvents e = events();
    const auto& handler = kind == 0 ? e.mouse_down : kind == 1 ? e.mouse_up : e.mouse_dragged;
    if (handler)
        handler(report);
}

void QtWindowSystem::deliver_close_box(uint8_t window)
{
    if (auto close_box = events().close_box)
        close_box(window);
    // Give the hide a turn of the loop before counting what is left.
    QTimer::singleShot(0, qApp, [this] { quit_after_last_close(); });
}

void QtWindowSystem::deliver_resize(uint8_t window)
{
    DesktopWindowState* w = state(window);
    if (!w || w->kind == WindowKind::Graphic)
        return;
    // A user's resize of a text or plain window is its new logical frame; graphic windows
    // keep theirs and scale their view instead.
    QScreen* screen = QGuiApplication::primaryScreen();
    const int screen_height = screen ? screen->geometry().height() : 0;
    const QRect g = w->widget->geometry();
    const Rect frame{static_cast<double>(g.x()),
                     static_cast<double>(screen_height - g.y() - g.height()),
                     static_cast<double>(g.width()), static_cast<double>(g.height())};
    if (frame == w->frame)
        return;
    w->frame = frame;
    if (auto resized = events().window_resized)
        resized(window);
    if (w->has_text_view)
        layout_text(*w);
}

} // namespace platform::qt
