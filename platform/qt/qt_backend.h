// platform/qt/qt_backend.h: the Qt 6 desktop backend, for its own files and its tests.
#pragma once

// Every window number is a top-level Qt window with a menu bar built from the menus it was
// given. The pushed geometry is logical (frames in points, y upwards); the Qt windows follow
// it, shrunk to the available screen area where it is too large, and the graphic views scale
// their image down then. All state lives on Qt's GUI thread, the event thread, where the
// seam's calls arrive.

#include "platform/platform.h"
#include "platform/qt/qt_text_view.h"
#include "platform/window_system.h"

#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTimer>
#include <array>
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
    bool has_ruler = false;
    WindowState state; // as the layers above pushed it; frame and view are logical
    std::shared_ptr<const ArgbImage> image;
    QImage qimage;                // wraps image's pixels
    int64_t images_presented = 0; // different images shown so far
    DesktopWindow* widget = nullptr;
    Canvas* canvas = nullptr;
    // Text windows: the view of their text. The pasteboard window edits a text up to
    // PASTEBOARD_EDIT_LIMIT_BYTES in `edit` instead, and shows a larger one in the view
    // under `note`; `edit_timer` puts the user's edits on the clipboard once typing pauses.
    TextView* view = nullptr;
    QPlainTextEdit* edit = nullptr;
    QLabel* note = nullptr;
    QTimer* edit_timer = nullptr;
    bool filling_edit = false; // the edit's text is being set, not typed
};

class QtWindowSystem final : public WindowSystem {
  public:
    // The pasteboard window edits texts up to this size; a larger one is only shown.
    static constexpr size_t PASTEBOARD_EDIT_LIMIT_BYTES = 1024 * 1024;
    // How long typing in the pasteboard window pauses before its text goes to the clipboard.
    static constexpr int PASTEBOARD_EDIT_PAUSE_MS = 300;
    // Points of the text views' fixed-pitch font until the shell sets one.
    static constexpr int TEXT_POINTS = 12;

    QtWindowSystem();

    // The seam; every call is made on Qt's GUI thread, the event thread.
    void run_event_loop() override;
    void quit_event_loop() override;
    void post_to_event_thread(std::function<void()> work) override;
    void build_interface(const std::vector<WindowSpec>& windows) override;
    void set_menu_bar(const std::vector<Menu>& menus) override;
    void set_window_state(uint8_t window, const WindowState& state) override;
    void bring_to_front(uint8_t window) override;
    void present_frame(uint8_t window, const Frame& frame) override;
    void set_text(uint8_t window, std::string_view text) override;
    void append_text(uint8_t window, std::string_view text) override;
    void clear_text(uint8_t window) override;
    void set_pasteboard_text(const std::string& text) override;
    void set_pasteboard_image(std::shared_ptr<const ArgbImage> image) override;
    std::optional<std::string> pasteboard_text() override;
    std::string open_file_dialog(const OpenDialogOptions& options) override;
    std::string save_file_dialog(const SaveDialogOptions& options) override;
    void show_message(const std::string& title, const std::string& text) override;
    std::optional<double> play_sound(const std::string& path) override;
    void alert_beep() override;

    // For the widgets and the tests (GUI thread)
    DesktopWindowState* state(uint8_t window); // nullptr when the window does not exist
    double title_bar_height() const { return title_bar_height_; }
    // The screen and title bar as Qt sees them, as the display report gives them.
    Display current_display() const;
    // A user's resize of a text or plain window: its new frame, reported.
    void deliver_resize(uint8_t window);
    // The menu bar of a window, rebuilt from the menus when they changed.
    void refresh_menu_bar(DesktopWindowState& w);

  private:
    DesktopWindowState* text_state(uint8_t window);
    void create_window(const WindowSpec& plan);
    void place(DesktopWindowState& w);
    void set_text_font(DesktopWindowState& w);
    void create_text_widgets(DesktopWindowState& w, uint8_t window);
    // The pasteboard window after its text changed: the editor or the view, and the editor's
    // text unless the change is the echo of the user's own edit.
    void fill_pasteboard_editor(DesktopWindowState& w);
    void choose(const std::string& menu_title, const MenuItem& item);
    double content_height(const DesktopWindowState& w) const;

    std::array<DesktopWindowState, WINDOW_NUMBER_COUNT> windows_;
    std::vector<Menu> menus_;
    int64_t menu_generation_ = 0;
    std::array<int64_t, WINDOW_NUMBER_COUNT> menu_bar_generation_{};
    double title_bar_height_ = 0;
};

// UTF-8 text between the seam and Qt.
inline QString to_qstring(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string to_utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
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
