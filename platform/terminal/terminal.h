// platform/terminal/terminal.h: the text terminal as a window system. Window 0 is drawn from
// the character cells of its frames; the printer, the console and the pasteboard are
// scrolling text pages; a menu bar opens with F10. Everything else is kept as the window
// store keeps it.
#pragma once

#include "platform/window_store.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform::terminal {

// Standard input and output are both terminals.
bool is_interactive();

// The size the program's window 0 needs, in cells.
constexpr int NEEDED_COLUMNS = 80;
constexpr int NEEDED_LINES = 25;

// What one key (or escape sequence) of terminal input means.
struct TerminalKey {
    enum class Kind { Report, Interrupt } kind = Kind::Report;
    KeyReport report; // for window 0
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

class TerminalWindowSystem final : public WindowStore {
  public:
    // Starts the thread that reads keys and paints, then serves the event queue here.
    void run_event_loop() override;

    uint8_t main_window() override; // the window whose page is shown
    void bring_to_front(uint8_t window) override;
    void hide_window(uint8_t window) override;
    void present_frame(uint8_t window, const Frame& frame) override;
    void set_text(uint8_t window, const std::string& text) override;
    void append_text(uint8_t window, const std::string& text) override;
    void pasteboard_set_text(const std::string& text) override;
    // No sound player here: the caller falls back to the bell.
    bool play_sound(const std::string& path) override;
    void alert_beep() override;

    // The screen as it would be painted at this size; for the paint thread and tests.
    std::vector<ScreenCell> compose(int columns, int lines);

    // Handles one key as the front end does: page and menu keys here, the rest to the
    // program. False when the key asks to leave.
    bool handle_key(const TerminalKey& key);

  private:
    struct MenuState {
        bool open = false;
        size_t menu = 0;
        size_t item = 0;
    };

    void changed() { ++changes_; }
    void show_page(uint8_t window);
    void scroll_page(int64_t lines);
    void move_in_menu(int menus, int items);
    void choose_menu_item();
    void paint_loop();

    std::atomic<int64_t> changes_{1};
    std::mutex ui_mutex_;
    uint8_t page_ = 0;       // 0, or a text window: 8, 9, 10; guarded by ui_mutex_
    int64_t scroll_ = -1;    // first page line shown, from 0; -1 follows the end; ui_mutex_
    int64_t page_rows_ = 1;  // text rows of the last composed page; ui_mutex_
    int64_t page_total_ = 0; // its lines in all; ui_mutex_
    MenuState menu_;         // guarded by ui_mutex_
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
