// platform/qt/qt_window_system.cpp: the seam's event loop, windows, graphic views and
// sounds on Qt, and the reports of the widgets.
#include "platform/console_capture.h"
#include "platform/event_thread.h"
#include "platform/platform.h"
#include "platform/qt/desktop.h"
#include "platform/qt/qt_backend.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QMenuBar>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace platform::qt {

namespace {

// Room left for a window manager's title bar and frame when a window is fitted to the screen.
constexpr int DECORATION_ALLOWANCE = 40;

QtWindowSystem* backend = nullptr;

// While the application is made, Qt's messages are kept back: a display that cannot be
// opened must end in one German line, not in Qt's English ones and an abort.
QtMessageHandler previous_handler = nullptr;
bool starting = false;

void start_message_handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg && starting) {
        std::fputs("orbikon: Die Anzeige l\xC3\xA4sst sich nicht \xC3\xB6"
                   "ffnen.\n",
                   stderr);
        std::_Exit(2);
    }
    if (!starting && previous_handler)
        previous_handler(type, context, text);
}

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
    starting = true;
    previous_handler = qInstallMessageHandler(start_message_handler);
    // Never destroyed: the program thread may still ask the window system while the
    // process ends.
    new QApplication(argc, argv);
    starting = false;
    QApplication::setQuitOnLastWindowClosed(false);
    backend = new QtWindowSystem;
    start_console_capture();
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
    // Queued: a change made by set_pasteboard_text is reported after that call, not inside.
    QObject::connect(QApplication::clipboard(), &QClipboard::dataChanged, qApp,
                     [this] { report_pasteboard_changed(); }, Qt::QueuedConnection);
}

Display QtWindowSystem::current_display() const
{
    Display display;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        display.screen = {static_cast<double>(screen->geometry().width()),
                          static_cast<double>(screen->geometry().height())};
    display.title_bar_height = title_bar_height_;
    return display;
}

// Event loop

void QtWindowSystem::run_event_loop()
{
    become_event_thread();
    report_launch(current_display());
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, qApp,
                     [this](Qt::ApplicationState state) {
                         if (auto changed = events().active_changed)
                             changed(state == Qt::ApplicationActive);
                     });
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QObject::connect(screen, &QScreen::geometryChanged, qApp,
                         [this] { report_display(current_display()); });
    }
    QApplication::exec();
}

void QtWindowSystem::quit_event_loop()
{
    // Tasks queued before still run: the quit travels through the same queue. exit(), not
    // quit(): quit() first asks every window to close, and ours refuse.
    post_to_event_thread([this] {
        report_termination();
        QApplication::exit(0);
    });
}

void QtWindowSystem::post_to_event_thread(std::function<void()> work)
{
    QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection);
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
    return w && w->kind == WindowKind::Text ? w : nullptr;
}

double QtWindowSystem::content_height(const DesktopWindowState& w) const
{
    return std::max(0.0, w.state.frame.height - title_bar_height_);
}

void QtWindowSystem::build_interface(const std::vector<WindowSpec>& windows)
{
    for (const WindowSpec& plan : windows) {
        if (plan.number < WINDOW_NUMBER_COUNT && !windows_[plan.number].exists)
            create_window(plan);
    }
}

void QtWindowSystem::create_window(const WindowSpec& plan)
{
    const uint8_t window = plan.number;
    DesktopWindowState& w = windows_[window];
    w = DesktopWindowState{};
    w.exists = true;
    w.kind = plan.kind;
    w.has_ruler = plan.has_ruler;
    w.state = plan.state;
    w.widget = new DesktopWindow(*this, window);
    w.canvas = new Canvas(*this, window);
    w.widget->setCentralWidget(w.canvas);
    w.widget->menuBar()->setFixedHeight(static_cast<int>(title_bar_height_));
    // F10 opens the first menu, as on other Linux desktops and in the terminal.
    auto* open_menus = new QAction(w.widget);
    open_menus->setShortcut(QKeySequence(Qt::Key_F10));
    open_menus->setShortcutContext(Qt::WindowShortcut);
    QMenuBar* bar = w.widget->menuBar();
    QObject::connect(open_menus, &QAction::triggered, bar, [bar] {
        if (!bar->actions().isEmpty())
            bar->setActiveAction(bar->actions().first());
    });
    w.widget->addAction(open_menus);
    w.widget->setWindowTitle(to_qstring(plan.state.title));
    // A text window shown by the program (the printer after D) comes forward without taking
    // the keyboard from window 0; bring_to_front activates it when the user asks for it.
    if (plan.kind == WindowKind::Text)
        w.widget->setAttribute(Qt::WA_ShowWithoutActivating);
    if (plan.kind == WindowKind::Graphic) {
        w.canvas->setFocusPolicy(Qt::StrongFocus);
        w.canvas->setMouseTracking(false);
    } else if (plan.kind == WindowKind::Text) {
        create_text_widgets(w, window);
    }
    refresh_menu_bar(w);
    place(w);
    if (plan.state.visible)
        w.widget->show();
}

// Puts the Qt window where the logical frame says, shrunk to the screen's free area.
void QtWindowSystem::place(DesktopWindowState& w)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect full = screen ? screen->geometry() : QRect(0, 0, 1920, 1080);
    const QRect avail = screen ? screen->availableGeometry() : full;
    const Rect& frame = w.state.frame;
    const double content = content_height(w);
    double scale = 1;
    if (frame.width > avail.width())
        scale = std::min(scale, avail.width() / frame.width);
    const double room = avail.height() - DECORATION_ALLOWANCE - title_bar_height_;
    if (content > room && content > 0)
        scale = std::min(scale, std::max(room, 1.0) / content);
    const int width = std::max(1, static_cast<int>(frame.width * scale));
    const int height =
        static_cast<int>(title_bar_height_) + std::max(1, static_cast<int>(content * scale));
    int x = static_cast<int>(frame.x);
    int y = full.height() - static_cast<int>(frame.y + frame.height);
    x = std::clamp(x, avail.left(), std::max(avail.left(), avail.right() + 1 - width));
    y = std::clamp(y, avail.top(), std::max(avail.top(), avail.bottom() + 1 - height));
    w.widget->setGeometry(x, y, width, height);
}

void QtWindowSystem::set_text_font(DesktopWindowState& w)
{
    if (!w.view)
        return;
    // "Menlo" is the fixed-pitch face the interface was drawn for; the desktop's own
    // fixed-pitch font stands in when it is not installed.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!w.state.font_family.empty()) {
        QFont asked(to_qstring(w.state.font_family));
        asked.setStyleHint(QFont::Monospace);
        if (QFontInfo(asked).fixedPitch())
            font = asked;
    }
    font.setPointSizeF(w.state.font_points > 0 ? w.state.font_points : TEXT_POINTS);
    w.view->set_text_font(font);
    if (w.edit)
        w.edit->setFont(font);
}

void QtWindowSystem::set_window_state(uint8_t window, const WindowState& state)
{
    DesktopWindowState* w = this->state(window);
    if (!w)
        return;
    const WindowState before = w->state;
    w->state = state;
    if (state.title != before.title)
        w->widget->setWindowTitle(to_qstring(state.title));
    if (state.ruler != before.ruler && w->view)
        w->view->set_ruler(to_qstring(state.ruler));
    if (state.font_family != before.font_family || state.font_points != before.font_points)
        set_text_font(*w);
    if (state.title_bar_visible != before.title_bar_visible) {
        const bool shown = w->widget->isVisible();
        w->widget->setWindowFlag(Qt::FramelessWindowHint, !state.title_bar_visible);
        if (shown && state.visible)
            w->widget->show(); // changing the flags hides the window
    }
    if (state.frame != before.frame)
        place(*w);
    if (state.visible && !w->widget->isVisible()) {
        w->widget->show();
        w->widget->raise();
    } else if (!state.visible && w->widget->isVisible()) {
        w->widget->hide();
    }
    w->canvas->update();
}

void QtWindowSystem::bring_to_front(uint8_t window)
{
    DesktopWindowState* w = state(window);
    if (!w || !w->state.visible)
        return;
    w->widget->show();
    w->widget->raise();
    w->widget->activateWindow();
    if (w->kind == WindowKind::Graphic)
        w->canvas->setFocus();
}

// Graphic views

void QtWindowSystem::present_frame(uint8_t window, const Frame& frame)
{
    // A desktop draws pixels; the frame's character cells are for text backends.
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
}

// Sounds

std::optional<double> QtWindowSystem::play_sound(const std::string& path)
{
    // Without an audio device the caller falls back to the alert beep.
    if (!audio_device_present())
        return std::nullopt;
    double seconds = 0;
    if (!play_aiff(path, seconds))
        return std::nullopt;
    return seconds;
}

void QtWindowSystem::alert_beep()
{
    QApplication::beep();
}

// Reports from the widgets, on the GUI thread

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
    if (frame == w->state.frame)
        return;
    w->state.frame = frame;
    report_resize(window, frame);
}

} // namespace platform::qt
