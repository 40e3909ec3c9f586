// platform/window_store.h: a window system kept in memory, with a real event thread.
// Backends build on it: the headless one adds nothing, the terminal one draws what it
// holds. Everything it was asked to do stays inspectable.
#pragma once

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/menu_model.h"
#include "platform/window_system.h"

namespace platform {

// What the store remembers of one window.
struct StoredWindow {
    bool exists = false;
    WindowKind kind = WindowKind::Plain;
    Rect frame;
    Rect view_frame;
    std::string title;
    bool visible = false;
    bool title_bar_visible = true;
    Color background;
    // Graphic views
    int64_t redraw_requests = 0; // request_redraw calls, deferred or not
    int64_t draws = 0;           // draw_view callbacks made
    int64_t frames_presented = 0;
    Frame last_frame;
    // Text windows
    bool has_text_view = false;
    std::string text;
    bool plain_text_editing = false;
    std::string font_family;
    double font_points = 0;
    int64_t text_redraws = 0;
    int64_t scrolls_to_end = 0;
    Rect scroll_view_frame;
    bool has_ruler = false;
    std::string ruler_text;
    Rect ruler_frame;
};

class WindowStore : public WindowSystem {
public:
    static constexpr double TITLE_BAR_HEIGHT = 28;
    static constexpr Size DEFAULT_SCREEN{1920, 1080};
    // How long a played sound counts as playing.
    static constexpr int64_t SOUND_MS = 300;

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
    bool add_menu_item(const std::string& menu_title, const MenuItem& item, int64_t index = -1) override;
    bool delete_menu_item(const std::string& menu_title, int64_t index) override;
    bool set_menu_item_title(const std::string& menu_title, int64_t index, const std::string& title) override;

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

    // Inspection, for tests and for the backends that show what is stored. Each returns a
    // copy taken under the lock.
    StoredWindow window(uint8_t window);
    std::vector<StoredMenu> menus();
    std::vector<std::string> sounds_played();
    int64_t beeps();
    int64_t pasteboard_clears();
    std::optional<OpenDialogOptions> last_open_dialog();
    std::optional<SaveDialogOptions> last_save_dialog();

    // Scripting, for tests; backends deliver their reports through the simulate_ calls.
    // A queued answer is used by the next dialog (then "cancelled").
    void answer_next_open_dialog(const std::string& path);
    void answer_next_save_dialog(const std::string& path);
    void set_screen_size(Size size);
    // Runs the callback on the event thread and waits for it, as a real report would arrive.
    void simulate_key_down(const KeyReport& report);
    void simulate_key_up(const KeyReport& report);
    void simulate_modifiers(uint64_t modifiers);
    void simulate_mouse_down(const MouseReport& report);
    void simulate_mouse_up(const MouseReport& report);
    void simulate_mouse_dragged(const MouseReport& report);
    void simulate_menu(const MenuChoice& choice);
    // Chooses an existing item; false when the menu or the index does not exist.
    bool choose_menu_item(const std::string& menu_title, int64_t index);
    void simulate_close_box(uint8_t window);
    // Sets the frame, then reports the resize.
    void simulate_resize(uint8_t window, const Rect& frame);
    // Waits until every task queued so far on the event thread has run.
    void drain_event_thread();

    // Forgets windows, menus, pasteboard, sounds, dialogs and the shell's callbacks; the
    // event thread keeps running.
    void reset();

private:
    void ensure_event_thread(); // caller holds queue_mutex_
    void serve_queue();
    void deliver(std::function<void(const WindowEvents&)> call);
    StoredWindow* find(uint8_t window); // caller holds state_mutex_

    std::mutex queue_mutex_;
    std::condition_variable queue_cv_;
    std::deque<std::function<void()>> tasks_; // guarded by queue_mutex_
    bool serving_ = false;      // a thread runs the queue; guarded by queue_mutex_
    bool quit_requested_ = false; // guarded by queue_mutex_

    std::mutex state_mutex_;
    std::array<StoredWindow, WINDOW_NUMBER_COUNT> windows_; // guarded by state_mutex_
    std::array<bool, WINDOW_NUMBER_COUNT> draw_pending_{};   // guarded by state_mutex_
    uint8_t main_window_ = NO_WINDOW;
    MenuModel menus_;
    std::optional<std::string> pasteboard_text_;
    std::shared_ptr<const ArgbImage> pasteboard_image_;
    int64_t pasteboard_clears_ = 0;
    std::vector<std::string> sounds_played_;
    double sound_ends_ = 0; // time_seconds when the last sound stops
    int64_t beeps_ = 0;
    std::deque<std::string> open_answers_;
    std::deque<std::string> save_answers_;
    std::optional<OpenDialogOptions> last_open_;
    std::optional<SaveDialogOptions> last_save_;
    Size screen_ = DEFAULT_SCREEN;
};

} // namespace platform
