// platform/qt/qt_window_system.cpp: the seam's operations on Qt windows, menus, the
// clipboard and dialogs.
#include "platform/event_thread.h"
#include "platform/platform.h"
#include "platform/qt/desktop.h"
#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
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
// Points of the text views' fixed-pitch font when nobody set one.
constexpr int DEFAULT_TEXT_POINTS = 12;

QtWindowSystem* backend = nullptr;

QString q(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string s(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// A shown tail starts at a line start, so the view never opens with half a line.
size_t tail_start(const std::string& text, size_t limit)
{
    if (text.size() <= limit)
        return 0;
    size_t start = text.size() - limit;
    const size_t line = text.find_first_of("\r\n", start);
    return line == std::string::npos ? start : line + 1;
}

// The printer's lines end in carriage returns; the view wants line feeds. Other control
// characters (the listing separates its address with one) have no glyph and show as blanks.
QString view_text(const char* data, size_t bytes)
{
    QString text = QString::fromUtf8(data, static_cast<qsizetype>(bytes));
    for (QChar& c : text) {
        if (c == QLatin1Char('\r'))
            c = QLatin1Char('\n');
        else if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    return text;
}

std::string german_bytes(size_t bytes)
{
    std::string digits = std::to_string(bytes);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), ".");
    return digits;
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
    // Never destroyed: the program thread may still ask the window system while the
    // process ends.
    new QApplication(argc, argv);
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
}

template <typename F> auto QtWindowSystem::on_gui(F&& work) -> decltype(work())
{
    using Result = decltype(work());
    if constexpr (std::is_void_v<Result>) {
        run_on_event_thread([&] { work(); }, true);
    } else {
        Result result{};
        run_on_event_thread([&] { result = work(); }, true);
        return result;
    }
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
        w.widget->setWindowTitle(q(layout.title));
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
            fixed.setPointSize(DEFAULT_TEXT_POINTS);
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
            w->widget->setWindowTitle(q(title));
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

void QtWindowSystem::present_image(uint8_t window, std::shared_ptr<const ArgbImage> image)
{
    on_gui([&] {
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

// Text views

bool QtWindowSystem::has_text_view(uint8_t window)
{
    return on_gui([&] { return text_state(window) != nullptr; });
}

std::string QtWindowSystem::text(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = text_state(window);
        if (!w)
            return std::string();
        // The pasteboard window is edited by the user; its view is the truth.
        if (window == PASTEBOARD_WINDOW)
            return s(w->edit->toPlainText());
        return w->text;
    });
}

void QtWindowSystem::set_text(uint8_t window, const std::string& text)
{
    on_gui([&] {
        DesktopWindowState* w = text_state(window);
        if (!w)
            return;
        if (window == PASTEBOARD_WINDOW) {
            w->text = text;
            w->edit->setPlainText(q(text));
            return;
        }
        // Publishing the printer replaces its whole text, almost always by a longer one
        // that starts with the old: then only the new end goes to the view.
        const bool extends =
            text.size() >= w->text.size() && text.compare(0, w->text.size(), w->text) == 0;
        if (!extends) {
            w->shown_bytes = 0;
            w->edit->clear();
        }
        w->text = text;
        refresh_text_view(*w);
    });
}

void QtWindowSystem::append_text(uint8_t window, const std::string& text)
{
    on_gui([&] {
        DesktopWindowState* w = text_state(window);
        if (!w)
            return;
        if (window == PASTEBOARD_WINDOW) {
            w->edit->moveCursor(QTextCursor::End);
            w->edit->insertPlainText(q(text));
            return;
        }
        w->text += text;
        refresh_text_view(*w);
    });
}

void QtWindowSystem::append_console(const std::string& text)
{
    DesktopWindowState* w = text_state(CONSOLE_WINDOW);
    if (!w)
        return;
    w->text += text;
    if (w->text.size() > CONSOLE_LIMIT_BYTES) {
        w->text.erase(0, tail_start(w->text, CONSOLE_LIMIT_BYTES / 2));
        w->shown_bytes = 0;
        w->edit->clear();
    }
    refresh_text_view(*w);
}

void QtWindowSystem::refresh_text_view(DesktopWindowState& w)
{
    // What the view lacks is text's end beyond what it shows; a view showing nothing of
    // a long text starts from a bounded tail.
    const size_t total = w.text.size();
    size_t missing_from = total - std::min(total, w.shown_bytes);
    if (w.shown_bytes == 0)
        missing_from = tail_start(w.text, TEXT_VIEW_LIMIT_BYTES);
    if (total - missing_from > TEXT_VIEW_LIMIT_BYTES) {
        w.edit->clear();
        missing_from = tail_start(w.text, TEXT_VIEW_LIMIT_BYTES);
        w.shown_bytes = 0;
    }
    if (missing_from < total) {
        QTextCursor cursor(w.edit->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(view_text(w.text.data() + missing_from, total - missing_from));
        w.shown_bytes += total - missing_from;
        // New output is what the reader of a listing or a log wants to see.
        w.edit->verticalScrollBar()->setValue(w.edit->verticalScrollBar()->maximum());
    }
    // A view holding far more than its limit starts again from the tail.
    if (w.shown_bytes > 2 * TEXT_VIEW_LIMIT_BYTES) {
        w.edit->clear();
        w.shown_bytes = 0;
        refresh_text_view(w);
        return;
    }
    const bool cut = w.shown_bytes < total;
    if (cut)
        w.tail_note->setText(QString::fromUtf8("Gezeigt werden die letzten ") +
                             q(german_bytes(w.shown_bytes)) + QString::fromUtf8(" von ") +
                             q(german_bytes(total)) + QString::fromUtf8(" Bytes."));
    if (cut == w.tail_note->isHidden()) {
        w.tail_note->setVisible(cut);
        layout_text(w);
    }
}

void QtWindowSystem::scroll_to_end(uint8_t window)
{
    on_gui([&] {
        if (DesktopWindowState* w = text_state(window)) {
            w->edit->moveCursor(QTextCursor::End);
            w->edit->ensureCursorVisible();
        }
    });
}

void QtWindowSystem::set_plain_text_editing(uint8_t window)
{
    // Qt's plain-text view substitutes and detects nothing; Tab stays a character there.
    on_gui([&] {
        if (DesktopWindowState* w = text_state(window))
            w->edit->setTabChangesFocus(false);
    });
}

void QtWindowSystem::set_text_font(uint8_t window, const std::string& family, double points)
{
    on_gui([&] {
        DesktopWindowState* w = text_state(window);
        if (!w)
            return;
        // "Menlo" is the fixed-pitch face the interface was drawn for; the desktop's own
        // fixed-pitch font stands in when it is not installed.
        QFont font(q(family));
        font.setStyleHint(QFont::Monospace);
        if (!QFontInfo(font).fixedPitch())
            font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(points > 0 ? points : DEFAULT_TEXT_POINTS);
        w->edit->setFont(font);
        if (w->ruler)
            w->ruler->setFont(font);
    });
}

void QtWindowSystem::mark_text_for_redraw(uint8_t window)
{
    on_gui([&] {
        if (DesktopWindowState* w = text_state(window))
            w->edit->viewport()->update();
    });
}

Rect QtWindowSystem::scroll_view_frame(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = text_state(window);
        return w ? w->scroll_frame : Rect{};
    });
}

void QtWindowSystem::set_scroll_view_frame(uint8_t window, const Rect& frame)
{
    on_gui([&] {
        if (DesktopWindowState* w = text_state(window)) {
            w->scroll_frame = frame;
            layout_text(*w);
        }
    });
}

// Scroll view and ruler at their logical frames (y upwards from the content's bottom);
// the tail note, when shown, takes a line off the scroll view's top.
void QtWindowSystem::layout_text(DesktopWindowState& w)
{
    const double content = content_height(w);
    auto to_qt = [&](const Rect& r) {
        return QRect(static_cast<int>(r.x), static_cast<int>(content - r.y - r.height),
                     std::max(0, static_cast<int>(r.width)),
                     std::max(0, static_cast<int>(r.height)));
    };
    QRect scroll = to_qt(w.scroll_frame);
    if (!w.tail_note->isHidden()) {
        const int note = w.tail_note->sizeHint().height();
        w.tail_note->setGeometry(scroll.x(), scroll.y(), scroll.width(), note);
        scroll.setTop(scroll.top() + note);
    }
    w.edit->setGeometry(scroll);
    if (w.ruler)
        w.ruler->setGeometry(to_qt(w.ruler_frame));
}

bool QtWindowSystem::has_ruler(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w && w->has_ruler;
    });
}

std::string QtWindowSystem::ruler_text(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w && w->has_ruler ? w->ruler_text : std::string();
    });
}

void QtWindowSystem::set_ruler_text(uint8_t window, const std::string& text)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w || !w->has_ruler)
            return;
        w->ruler_text = text;
        w->ruler->setText(q(text));
    });
}

Rect QtWindowSystem::ruler_frame(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w && w->has_ruler ? w->ruler_frame : Rect{};
    });
}

void QtWindowSystem::set_ruler_frame(uint8_t window, const Rect& frame)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w || !w->has_ruler)
            return;
        w->ruler_frame = frame;
        layout_text(*w);
    });
}

// Menus: one model, shown as a menu bar in every window and rebuilt there when it changed.

std::vector<QtWindowSystem::Menu>::iterator QtWindowSystem::find_menu(const std::string& title)
{
    return std::find_if(menus_.begin(), menus_.end(),
                        [&](const Menu& m) { return m.title == title; });
}

void QtWindowSystem::refresh_menu_bar(DesktopWindowState& w)
{
    const auto n = static_cast<size_t>(&w - windows_.data());
    if (menu_bar_generation_[n] == menu_generation_ && !w.widget->menuBar()->actions().isEmpty())
        return;
    menu_bar_generation_[n] = menu_generation_;
    QMenuBar* bar = w.widget->menuBar();
    bar->clear();
    for (const Menu& menu : menus_) {
        QMenu* shown = bar->addMenu(q(menu.title));
        for (const MenuItem& item : menu.items) {
            if (item.title.empty()) {
                shown->addSeparator();
                continue;
            }
            QAction* action = shown->addAction(q(item.title));
            action->setShortcut(menu_shortcut(item));
            action->setShortcutContext(Qt::WindowShortcut);
            const std::string menu_title = menu.title;
            QObject::connect(action, &QAction::triggered, action,
                             [this, menu_title, item] { choose(menu_title, item); });
        }
    }
}

void QtWindowSystem::choose(const std::string& menu_title, const MenuItem& item)
{
    if (auto chosen = events().menu_chosen)
        chosen({true, menu_title, item});
}

bool QtWindowSystem::menu_exists(const std::string& menu_title)
{
    return on_gui([&] { return find_menu(menu_title) != menus_.end(); });
}

bool QtWindowSystem::add_menu(const std::string& menu_title)
{
    return on_gui([&] {
        if (find_menu(menu_title) != menus_.end())
            return false;
        menus_.push_back({menu_title, {}});
        ++menu_generation_;
        for (auto& w : windows_)
            if (w.exists)
                refresh_menu_bar(w);
        return true;
    });
}

int64_t QtWindowSystem::menu_item_count(const std::string& menu_title)
{
    return on_gui([&] {
        auto menu = find_menu(menu_title);
        return menu == menus_.end() ? int64_t{-1} : static_cast<int64_t>(menu->items.size());
    });
}

int64_t QtWindowSystem::menu_item_index(const std::string& menu_title,
                                        const std::string& item_title)
{
    return on_gui([&]() -> int64_t {
        auto menu = find_menu(menu_title);
        if (menu == menus_.end())
            return -2;
        for (size_t i = 0; i < menu->items.size(); ++i) {
            if (menu->items[i].title == item_title)
                return static_cast<int64_t>(i);
        }
        return -1;
    });
}

std::optional<MenuItem> QtWindowSystem::menu_item(const std::string& menu_title, int64_t index)
{
    return on_gui([&]() -> std::optional<MenuItem> {
        auto menu = find_menu(menu_title);
        if (menu == menus_.end() || index < 0 || index >= static_cast<int64_t>(menu->items.size()))
            return std::nullopt;
        return menu->items[static_cast<size_t>(index)];
    });
}

bool QtWindowSystem::add_menu_item(const std::string& menu_title, const MenuItem& item,
                                   int64_t index)
{
    return on_gui([&] {
        auto menu = find_menu(menu_title);
        if (menu == menus_.end())
            return false;
        if (index < 0 || index >= static_cast<int64_t>(menu->items.size()))
            menu->items.push_back(item);
        else
            menu->items.insert(menu->items.begin() + index, item);
        ++menu_generation_;
        for (auto& w : windows_)
            if (w.exists)
                refresh_menu_bar(w);
        return true;
    });
}

bool QtWindowSystem::delete_menu_item(const std::string& menu_title, int64_t index)
{
    return on_gui([&] {
        auto menu = find_menu(menu_title);
        if (menu == menus_.end() || index < 0 || index >= static_cast<int64_t>(menu->items.size()))
            return false;
        menu->items.erase(menu->items.begin() + index);
        ++menu_generation_;
        for (auto& w : windows_)
            if (w.exists)
                refresh_menu_bar(w);
        return true;
    });
}

bool QtWindowSystem::set_menu_item_title(const std::string& menu_title, int64_t index,
                                         const std::string& title)
{
    return on_gui([&] {
        auto menu = find_menu(menu_title);
        if (menu == menus_.end() || index < 0 || index >= static_cast<int64_t>(menu->items.size()))
            return false;
        menu->items[static_cast<size_t>(index)].title = title;
        ++menu_generation_;
        for (auto& w : windows_)
            if (w.exists)
                refresh_menu_bar(w);
        return true;
    });
}

// Pasteboard

void QtWindowSystem::pasteboard_clear()
{
    on_gui([] { QGuiApplication::clipboard()->clear(); });
}

void QtWindowSystem::pasteboard_set_text(const std::string& text)
{
    on_gui([&] { QGuiApplication::clipboard()->setText(q(text)); });
}

std::optional<std::string> QtWindowSystem::pasteboard_text()
{
    return on_gui([]() -> std::optional<std::string> {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (!data || !data->hasText())
            return std::nullopt;
        return s(data->text());
    });
}

void QtWindowSystem::pasteboard_set_image(std::shared_ptr<const ArgbImage> image)
{
    on_gui([&] {
        if (!image || image->width <= 0 || image->height <= 0)
            return;
        const QImage view(reinterpret_cast<const uchar*>(image->pixels.data()),
                          static_cast<int>(image->width), static_cast<int>(image->height),
                          static_cast<qsizetype>(image->width * 4), QImage::Format_ARGB32);
        QGuiApplication::clipboard()->setImage(view.copy());
    });
}

std::shared_ptr<const ArgbImage> QtWindowSystem::pasteboard_image()
{
    return on_gui([]() -> std::shared_ptr<const ArgbImage> {
        const QImage image =
            QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            return nullptr;
        auto out = std::make_shared<ArgbImage>();
        out->width = image.width();
        out->height = image.height();
        out->pixels.resize(static_cast<size_t>(out->width * out->height));
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
            std::copy(row, row + image.width(), out->pixels.begin() + y * image.width());
        }
        return out;
    });
}

// Dialogs: Qt's own file dialog, so the titles and button texts are ours on every desktop.

namespace {

QStringList name_filters(const std::vector<std::string>& types)
{
    QStringList patterns;
    for (const std::string& t : types)
        patterns << QStringLiteral("*.") + q(t);
    return patterns.isEmpty() ? QStringList() : QStringList{patterns.join(QLatin1Char(' '))};
}

void add_message(QFileDialog& dialog, const std::string& message)
{
    if (message.empty())
        return;
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    grid->addWidget(new QLabel(q(message), &dialog), grid->rowCount(), 0, 1, grid->columnCount());
}

std::string chosen_path(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return s(dialog.selectedFiles().front());
}

} // namespace

std::string QtWindowSystem::open_file_dialog(const OpenDialogOptions& options)
{
    return on_gui([&] {
        QFileDialog dialog(QApplication::activeWindow(), q(options.title));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(options.choose_directories && !options.choose_files
                               ? QFileDialog::Directory
                               : QFileDialog::ExistingFile);
        dialog.setLabelText(QFileDialog::Accept, q(options.confirm_title));
        dialog.setNameFilters(name_filters(options.file_types));
        add_message(dialog, options.message);
        return chosen_path(dialog);
    });
}

std::string QtWindowSystem::save_file_dialog(const SaveDialogOptions& options)
{
    return on_gui([&] {
        QFileDialog dialog(QApplication::activeWindow(), q(options.title));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setLabelText(QFileDialog::Accept, q(options.confirm_title));
        dialog.setLabelText(QFileDialog::FileName, q(options.name_label));
        // Other types stay allowed: the listed ones come first, then everything.
        QStringList filters = name_filters(options.file_types);
        if (!filters.isEmpty())
            filters << QStringLiteral("*");
        dialog.setNameFilters(filters);
        dialog.selectFile(q(options.proposed_name));
        add_message(dialog, options.message);
        return chosen_path(dialog);
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
