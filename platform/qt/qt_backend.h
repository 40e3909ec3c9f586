// platform/qt/qt_backend.h: the Qt 6 desktop backend, for its own files and its tests.
#pragma once

// Every window number is a top-level Qt window with a menu bar built from the shared menu
// model. The seam's geometry is kept as the toolkit set it (logical frames, y upwards); the
// Qt windows follow it, shrunk to the available screen area where it is too large, and the
// graphic views scale their image down then. All state lives on Qt's GUI thread: every
// operation called from another thread is handed to it and waited for.

#include "platform/menu_model.h"
#include "platform/platform.h"
#include "platform/window_system.h"

#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace platform::qt {

class QtWindowSystem;

// The central widget of every window: the background in the border colour, for graphic
// windows the view's image, and the keyboard and mouse of the graphic view.
class Canvas : public QWidget {
  public:
    Canvas(QtWindowSystem& system, uint8_t window);
    // The view's rectangle in widget pixels, after scaling the logical content to fit.
    QRectF view_rect() const;
    // Logical content size divided into the widget: 1 when it fits, less when shrunk.
    double content_scale() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab is a key of the programs

  private:
    // Where the logical content sits in the widget: its scale, its top-left corner in
    // widget pixels and its height in points.
    struct Placement {
        double scale = 1;
        double left = 0;
        double top = 0;
        double logical_height = 0;
    };
    Placement placement() const;
    MouseReport mouse_report(QMouseEvent* event) const;

    QtWindowSystem& system_;
    uint8_t window_;
};

class DesktopWindow : public QMainWindow {
  public:
    DesktopWindow(QtWindowSystem& system, uint8_t window);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QtWindowSystem& system_;
    uint8_t window_;
};

// What the backend keeps of one window number.
struct DesktopWindowState {
    bool exists = false;
    WindowKind kind = WindowKind::Plain;
    Rect frame; // logical, as the toolkit set it
    Rect view_frame;
    std::string title;
    bool title_bar_visible = true;
    Color background;
    std::shared_ptr<const ArgbImage> image;
    QImage qimage;                // wraps image's pixels
    int64_t images_presented = 0; // different images shown so far
    // Text windows: the full text lives here; the view may show only its tail.
    bool has_text_view = false;
    std::string text;
    size_t shown_bytes = 0; // how much of text the view holds, counted from its end
    bool has_ruler = false;
    std::string ruler_text;
    Rect scroll_frame;
    Rect ruler_frame;
    DesktopWindow* widget = nullptr;
    Canvas* canvas = nullptr;
    QPlainTextEdit* edit = nullptr;
    QLabel* ruler = nullptr;
    QLabel* tail_note = nullptr;
};

class QtWindowSystem final : public WindowSystem {
  public:
    // The text view of the printer and the console shows at most this many bytes of their
    // text (the end); the whole text stays readable through text().
    static constexpr size_t TEXT_VIEW_LIMIT_BYTES = 2 * 1024 * 1024;
    // The console keeps no more than this of its text at all.
    static constexpr size_t CONSOLE_LIMIT_BYTES = 8 * 1024 * 1024;
    // Points of the text views' fixed-pitch font until the shell sets one.
    static constexpr int TEXT_POINTS = 12;

    QtWindowSystem();

    // Event loop
    void run_event_loop() override;
    void quit_event_loop() override;
    void post_to_event_thread(std::function<void()> work) override;

    // Windows
    bool create_window(uint8_t window, const WindowSpec& layout) override;
    bool window_exists(uint8_t window) override;
    WindowKind window_kind(uint8_t window) override;
    Rect window_frame(uint8_t window) override;
    void set_window_frame(uint8_t window, const Rect& frame, bool display) override;
    Rect view_frame(uint8_t window) override;
    void set_view_frame(uint8_t window, const Rect& frame) override;
    void show_window(uint8_t window) override;
    void hide_window(uint8_t window) override;
    void bring_to_front(uint8_t window) override;
    void center_window(uint8_t window) override;
    bool window_visible(uint8_t window) override;
    std::string window_title(uint8_t window) override;
    void set_window_title(uint8_t window, const std::string& title) override;
    bool title_bar_visible(uint8_t window) override;
    void set_title_bar_visible(uint8_t window, bool visible) override;
    void set_background_color(uint8_t window, const Color& color) override;
    uint8_t main_window() override;
    double title_bar_height() override;
    double backing_scale(uint8_t window) override;
    Size screen_size() override;

    // Graphic views
    void request_redraw(uint8_t window, bool deferred) override;
    void present_frame(uint8_t window, const Frame& frame) override;

    // Text views
    bool has_text_view(uint8_t window) override;
    std::string text(uint8_t window) override;
    void set_text(uint8_t window, const std::string& text) override;
    void append_text(uint8_t window, const std::string& text) override;
    void scroll_to_end(uint8_t window) override;
    void set_plain_text_editing(uint8_t window) override;
    void set_text_font(uint8_t window, const std::string& family, double points) override;
    void mark_text_for_redraw(uint8_t window) override;
    Rect scroll_view_frame(uint8_t window) override;
    void set_scroll_view_frame(uint8_t window, const Rect& frame) override;
    bool has_ruler(uint8_t window) override;
    std::string ruler_text(uint8_t window) override;
    void set_ruler_text(uint8_t window, const std::string& text) override;
    Rect ruler_frame(uint8_t window) override;
    void set_ruler_frame(uint8_t window, const Rect& frame) override;

    // Menus
    bool menu_exists(const std::string& menu_title) override;
    bool add_menu(const std::string& menu_title) override;
    int64_t menu_item_count(const std::string& menu_title) override;
    int64_t menu_item_index(const std::string& menu_title, const std::string& item_title) override;
    std::optional<MenuItem> menu_item(const std::string& menu_title, int64_t index) override;
    bool add_menu_item(const std::string& menu_title, const MenuItem& item,
                       int64_t index = -1) override;
    bool delete_menu_item(const std::string& menu_title, int64_t index) override;
    bool set_menu_item_title(const std::string& menu_title, int64_t index,
                             const std::string& title) override;

    // Pasteboard
    void pasteboard_clear() override;
    void pasteboard_set_text(const std::string& text) override;
    std::optional<std::string> pasteboard_text() override;
    void pasteboard_set_image(std::shared_ptr<const ArgbImage> image) override;
    std::shared_ptr<const ArgbImage> pasteboard_image() override;

    // Dialogs
    std::string open_file_dialog(const OpenDialogOptions& options) override;
    std::string save_file_dialog(const SaveDialogOptions& options) override;

    // Sounds
    bool play_sound(const std::string& path) override;
    bool sound_playing() override;
    void alert_beep() override;

    // For the widgets and the tests (GUI thread)
    DesktopWindowState* state(uint8_t window); // nullptr when the window does not exist
    // The window system's key, mouse and window reports, delivered to the shell.
    void deliver_key(const KeyReport& report, bool down);
    void deliver_modifiers(uint64_t modifiers);
    void deliver_mouse(const MouseReport& report, int kind); // 0 down, 1 up, 2 dragged
    void deliver_close_box(uint8_t window);
    void deliver_resize(uint8_t window);
    // Asks the shell to build the view's image and present it.
    void draw_view(uint8_t window);
    // Appends captured standard output to the console (GUI thread).
    void append_console(const std::string& text);
    // The text view's shown tail of a text window, brought in line with its text.
    void refresh_text_view(DesktopWindowState& w);
    // The menu bar of a window, rebuilt from the model when the model changed.
    void refresh_menu_bar(DesktopWindowState& w);
    int64_t menu_generation() const { return menu_generation_; }

  private:
    // Runs work on the GUI thread and waits; at once when already on it.
    template <typename F> auto on_gui(F&& work) -> decltype(work());
    DesktopWindowState* text_state(uint8_t window);
    // After a menu operation: every menu bar is rebuilt when it changed the model.
    bool menus_changed(bool changed);
    void place(DesktopWindowState& w);
    void layout_text(DesktopWindowState& w);
    void choose(const std::string& menu_title, const MenuItem& item);
    void quit_after_last_close();
    double content_height(const DesktopWindowState& w) const;

    std::array<DesktopWindowState, WINDOW_NUMBER_COUNT> windows_;
    MenuModel menus_;
    int64_t menu_generation_ = 0;
    std::array<int64_t, WINDOW_NUMBER_COUNT> menu_bar_generation_{};
    std::array<bool, WINDOW_NUMBER_COUNT> redraw_pending_{};
    double title_bar_height_ = 0;
    bool quitting_ = false;
    std::atomic<double> sound_ends_{0}; // time_seconds() when the last sound stops
};

// UTF-8 text between the seam and Qt.
inline QString to_qstring(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string to_utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
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

// The process's desktop backend; nullptr before start_desktop().
QtWindowSystem* desktop_backend();

// The Qt key event as the seam's key report for the given window.
KeyReport translate_key(const QKeyEvent& event, uint8_t window, uint64_t caps_lock);
// Qt's modifier flags as the seam's modifier word.
uint64_t translate_modifiers(Qt::KeyboardModifiers modifiers);
// The modifier bit a key of its own (Shift, Control, ...) stands for; 0 for other keys.
uint64_t modifier_key_bit(int qt_key);

// The key sequence of a menu item's key equivalent on the desktop: Command becomes
// Ctrl+Shift, so that the Control keys the programs read stay theirs; Command+Shift adds
// Alt, Command+Option is Ctrl+Alt; Command-Q stays the desktop's Ctrl+Q.
QKeySequence menu_shortcut(const MenuItem& item);

// Sounds: whether this machine has an audio output device, and playing an AIFF file on it
// in the background; false when the file is not one we can play.
bool audio_device_present();
bool play_aiff(const std::string& path, double& seconds);

} // namespace platform::qt
