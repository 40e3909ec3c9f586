// platform/terminal/terminal.h: the text terminal as a window system. Window 0 is drawn from
// the character cells of its frames; the printer, the console and the pasteboard are
// scrolling text pages; graphic windows 1 to 4 are pages of half-block pictures; a menu bar
// opens with F10.
#pragma once

#include "platform/event_loop.h"
#include "platform/text_lines.h"
#include "platform/window_system.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform::terminal {

// Standard input and output are both terminals.
bool is_interactive();
// One German line when TERM names no terminal that can draw pages (unset, dumb); empty
// when it can.
std::string unsuitable_terminal();
// TERM names a terminal of 16 colours and ASCII symbols (the Linux console, the VT series).
bool limited_terminal();

enum class ColourMode { Basic, Indexed, Full }; // 16 colours, 256, 24-bit

// The size the program's window 0 needs, in cells.
constexpr int NEEDED_COLUMNS = 80;
constexpr int NEEDED_LINES = 25;

// What one key (or escape sequence) of terminal input means.
struct TerminalKey {
    enum class Kind { Report, Interrupt, Paste } kind = Kind::Report;
    KeyReport report; // for window 0
    std::string text; // a pasted text (bracketed paste)
};

// Takes the key at the front of input and removes its bytes; false when input holds no
// whole key yet. A lone Escape at the end counts as the Escape key.
bool take_key(std::string& input, TerminalKey& key);

// One cell of the composed terminal screen.
struct ScreenCell {
    char32_t character = U' ';
    uint32_t foreground = 0xFFC0C0C0; // 0xAARRGGBB
    uint32_t background = 0xFF000000;
    bool reverse = false; // drawn with the terminal's own reverse video
    bool operator==(const ScreenCell&) const = default;
};

class TerminalWindowSystem final : public WindowSystem {
  public:
    // Starts the thread that reads keys and paints, then serves the event queue here.
    void run_event_loop() override;
    void quit_event_loop() override;
    void post_to_event_thread(std::function<void()> work) override;

    // What to show. Each call repaints what it changed: every one marks the screen changed.
    void build_interface(const std::vector<WindowSpec>& windows) override;
    void set_menu_bar(const std::vector<Menu>& menus) override;
    void set_window_state(uint8_t window, const WindowState& state) override;
    // Window 0 and the text windows have a page; fronting one of them shows it.
    void bring_to_front(uint8_t window) override;
    void present_frame(uint8_t window, const Frame& frame) override;
    void set_text(uint8_t window, std::string_view text) override;
    void append_text(uint8_t window, std::string_view text) override;
    void clear_text(uint8_t window) override;
    // Sets the terminal's own clipboard too (OSC 52); the terminal cannot be asked for it,
    // so pasteboard_text() answers with the last text set or pasted (a paste is reported as
    // a change).
    void set_pasteboard_text(const std::string& text) override;
    void set_pasteboard_image(std::shared_ptr<const ArgbImage> image) override;
    std::optional<std::string> pasteboard_text() override;
    // Opening is cancelled: there is no file browser here. Saving asks for the path on the
    // bottom row (Return takes it, Escape cancels); the event thread waits for the answer,
    // as a desktop's modal dialog would.
    std::string open_file_dialog(const OpenDialogOptions& options) override;
    std::string save_file_dialog(const SaveDialogOptions& options) override;
    // A box over the page until the next key, which only closes it.
    void show_message(const std::string& title, const std::string& text) override;
    // No sound player here: the caller falls back to the bell.
    std::optional<double> play_sound(const std::string& path) override;
    void alert_beep() override;

    // The screen as it would be painted at this size; for the paint thread and tests.
    std::vector<ScreenCell> compose(int columns, int lines);

    // Handles one key as the front end does: page and menu keys here, the rest to the
    // program. False when the key asks to leave.
    bool handle_key(const TerminalKey& key);

    // Shows one line on the bottom row for ms milliseconds, over the status bar or, when
    // window 0 fills the screen, over its last row.
    void show_notice(const std::string& text, int64_t ms);

    // For tests: the state last pushed for a window, and the window whose page is shown.
    WindowState shown_state(uint8_t window);
    uint8_t shown_page();

  private:
    struct MenuState {
        bool open = false;
        size_t menu = 0;
        size_t item = 0;
    };
    // What the terminal was told to show of one window.
    struct Shown {
        bool exists = false;
        WindowKind kind = WindowKind::Plain;
        WindowState state;
        // Text windows: the text with its line index, so a page lays out only the lines it
        // shows, however long the text.
        TextLines text;
    };

    void changed() { ++changes_; }
    // Graphic windows 1 to 4 have a page showing their picture.
    static bool picture_page(uint8_t window) { return window >= 1 && window <= 4; }
    bool window_zero_visible();
    void expire_notice();
    // Shows the page of window 0 or a text window and reports it as the key window.
    void show_page(uint8_t window);
    void scroll_page(int64_t lines);
    void shift_page(int64_t columns);
    void move_in_menu(int menus, int items);
    void choose_menu_item();
    void report_choice_later(const MenuChoice& choice);
    // Reports the first enabled item with that key equivalent; false when there is none.
    bool choose_item_with_key(const std::string& key_char);
    void paint_loop();

    EventLoop loop_;
    std::atomic<int64_t> changes_{1};
    std::mutex ui_mutex_;
    std::array<Shown, WINDOW_NUMBER_COUNT> windows_; // guarded by ui_mutex_
    Frame frame_;                                    // window 0's last frame; guarded by ui_mutex_
    std::array<Frame, 5> frames_;                    // windows 1 to 4; [0] unused; ui_mutex_
    std::vector<Menu> menus_;                        // guarded by ui_mutex_
    std::optional<std::string> pasteboard_;          // guarded by ui_mutex_
    uint8_t page_ = 0;       // 0, or a text window: 8, 9, 10; guarded by ui_mutex_
    int64_t scroll_ = -1;    // first page line shown, from 0; -1 follows the end; ui_mutex_
    int64_t shift_ = 0;      // first page column shown, from 0; ui_mutex_
    int64_t page_rows_ = 1;  // text rows of the last composed page; ui_mutex_
    int64_t page_total_ = 0; // its lines in all; ui_mutex_
    MenuState menu_;         // guarded by ui_mutex_
    // The path asked for by save_file_dialog while `asking`.
    struct PathPrompt {
        bool asking = false;
        bool taken = false;
        std::string label;
        std::u32string text;
    };
    PathPrompt prompt_;                  // guarded by ui_mutex_
    std::condition_variable prompt_done_; // with ui_mutex_
    // True when the key belonged to the path prompt.
    bool prompt_key(const TerminalKey& key);
    // The message box shown: its title and lines; none when lines is empty.
    std::string message_title_;              // guarded by ui_mutex_
    std::vector<std::string> message_lines_; // guarded by ui_mutex_
    void put_message(std::vector<ScreenCell>& screen, int columns, int lines) const;
    std::string notice_;         // guarded by ui_mutex_
    int64_t notice_until_ms_ = 0; // guarded by ui_mutex_
};

// The process's terminal backend.
TerminalWindowSystem& backend();

// Raw input, the alternate screen without line wrap, the terminal restored at exit and on
// fatal signals; standard output and standard error go to the log file and the console page.
// False when the terminal refuses.
bool start(const std::string& log_path);
// Drains the console capture into the log and restores the terminal; safe to call twice.
void stop();

} // namespace platform::terminal
