// platform/headless/headless.h: the window system of tests and of runs without a display. It
// shows nothing; it records what it was told to show, for the tests to read, and delivers
// the reports tests script as a user would make them.
#pragma once

#include "platform/event_loop.h"
#include "platform/window_system.h"

#include <array>
#include <deque>
#include <mutex>

namespace platform {

// What the recorder keeps of one window.
struct RecordedWindow {
    bool exists = false;
    WindowKind kind = WindowKind::Plain;
    bool has_ruler = false;
    WindowState state;
    int64_t state_pushes = 0; // set_window_state calls
    Frame last_frame;
    int64_t frames_presented = 0;
    std::string text; // set, appended and cleared as told
    int64_t text_pushes = 0;
};

class HeadlessWindowSystem final : public WindowSystem {
  public:
    // How long a played sound lasts, in seconds.
    static constexpr double SOUND_SECONDS = 0.3;

    // The seam
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

    // Inspection: copies taken under the lock.
    RecordedWindow window(uint8_t window);
    // The window last brought to the front while it is shown; NO_WINDOW when none.
    uint8_t front_window();
    std::vector<Menu> menu_bar();
    std::shared_ptr<const ArgbImage> pasteboard_image();
    std::vector<std::string> sounds_played();
    int64_t beeps();
    std::optional<OpenDialogOptions> last_open_dialog();
    std::optional<SaveDialogOptions> last_save_dialog();
    // The last message shown: its title, a line feed, its text; empty when none.
    std::string last_message();

    // Scripting: the next dialog gets this answer (then "cancelled").
    void answer_next_open_dialog(const std::string& path);
    void answer_next_save_dialog(const std::string& path);
    // Reports are made through WindowSystem's report_ calls, as a user's would be.
    // Chooses item `index` of the menu bar's menu `menu_title`, as the bar shows it; false
    // when there is no such item or it is disabled.
    bool choose_menu_item(const std::string& menu_title, size_t index);
    // Another program puts text on the clipboard: it is set, and the change reported.
    void change_pasteboard(const std::string& text);
    // Waits until every task queued so far on the event thread has run.
    void drain_event_thread();

    // Forgets everything it recorded and the reports' callbacks; the event thread keeps
    // running.
    void reset();

  private:
    RecordedWindow* find(uint8_t window); // caller holds mutex_

    EventLoop loop_;
    std::mutex mutex_;
    std::array<RecordedWindow, WINDOW_NUMBER_COUNT> windows_; // guarded by mutex_
    uint8_t front_ = NO_WINDOW;                               // guarded by mutex_
    std::vector<Menu> menus_;                                 // guarded by mutex_
    std::optional<std::string> pasteboard_text_;              // guarded by mutex_
    std::shared_ptr<const ArgbImage> pasteboard_image_;       // guarded by mutex_
    std::vector<std::string> sounds_played_;                  // guarded by mutex_
    int64_t beeps_ = 0;                                       // guarded by mutex_
    std::deque<std::string> open_answers_;                    // guarded by mutex_
    std::deque<std::string> save_answers_;                    // guarded by mutex_
    std::optional<OpenDialogOptions> last_open_;              // guarded by mutex_
    std::optional<SaveDialogOptions> last_save_;              // guarded by mutex_
    std::string last_message_;                                // guarded by mutex_
};

// The process's headless backend. Linked into a program, it serves as the window system
// until another backend is installed.
HeadlessWindowSystem& headless();
// For test fixtures: headless().reset().
void headless_reset();

} // namespace platform
