// platform/window_system.h: the seam between the system and a window system.
#pragma once

// One abstract class, `platform::WindowSystem`, implemented by each backend (headless,
// terminal, Qt 6; each a library of its own under platform/). The program installs one at
// start with set_window_system(); the layers above reach it through window_system().
//
// The seam is pushed, not queried. The layers above keep every record themselves: the
// windows' frames, titles and visibility (toolkit/platform_windows.h), the menus
// (shell/menus.h) and the text of the text windows. They tell the backend what to show, and
// the backend reports back only what the user did. There is no getter for anything the
// layers above know; the one thing a backend is asked is the system clipboard's text, which
// belongs to nobody in this process.
//
// The calls, 19 in all:
//   Event loop   run_event_loop, quit_event_loop, post_to_event_thread
//   Interface    build_interface, set_menu_bar
//   Windows      set_window_state, bring_to_front, present_frame
//   Text windows set_text, append_text, clear_text
//   Pasteboard   set_pasteboard_text, set_pasteboard_image, pasteboard_text
//   Dialogs      open_file_dialog, save_file_dialog, show_message
//   Sounds       play_sound, alert_beep
// The reports are the callbacks of WindowEvents: launch and termination, the display (screen
// size and title bar height), keys and modifiers, the mouse, menu choices, the close box, a
// window resized or activated by the user, the system clipboard changed (by anyone: another
// program, this one, or the user's edit in the pasteboard window).
//
// What a backend writes: the 19 calls (a text view, a window list and a menu bar are most of
// it) and, at its edge, the translation of native keys into keys.h names and of native
// coordinates into the seam's; it reports through the report_ calls below.
//
// Conventions shared by every backend:
// - Windows are addressed by the system's window numbers: 0 to 7 graphic windows (one view
//   each), 8 pasteboard, 9 virtual printer, 10 system console (text windows: one text view,
//   9 and 10 with a ruler), 11 preferences, 12 main window. 255 means none.
// - Geometry is in points. Screen and frame coordinates have their origin at the bottom left
//   of the screen with y upwards; view positions (mouse reports) at the bottom left of the
//   window's frame, y upwards. Backends with top-left systems convert.
// - Every call but post_to_event_thread and quit_event_loop is made on the event thread, and
//   made there once: the caller marshals (platform.h: run_on_event_thread), a backend never
//   hands a call on again. Reports are delivered on the event thread too.
// - A call about a window that was not built does nothing.

#include "platform/keys.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

constexpr uint8_t WINDOW_NUMBER_COUNT = 13; // 0 to 12
constexpr uint8_t NO_WINDOW = 255;
constexpr uint8_t PASTEBOARD_WINDOW = 8;
constexpr uint8_t PRINTER_WINDOW = 9;
constexpr uint8_t CONSOLE_WINDOW = 10;
constexpr uint8_t PREFERENCES_WINDOW = 11;
constexpr uint8_t MAIN_WINDOW = 12;

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

// Components 0 to 1.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    bool operator==(const Color&) const = default;
};

// Pixels 0xAARRGGBB, width per row, top row first.
struct ArgbImage {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<uint32_t> pixels;
};

// One character cell of a window's text plane, for backends that draw text. The text
// cursor's cell comes with its colours exchanged, as in the image.
struct TextCell {
    char32_t code = U' ';      // the toolkit's character code (0 to 255) as that scalar
    char32_t character = U' '; // what text shows: the code, or a lookalike for a drawing glyph
    uint32_t foreground = 0xFFFFFFFF; // 0xAARRGGBB
    uint32_t background = 0xFF000000;
};

// Cells line by line, top line first, `columns` per line.
struct TextGrid {
    int64_t columns = 0;
    int64_t lines = 0;
    std::vector<TextCell> cells;

    // Column and line count from 1; nullptr outside the grid.
    const TextCell* at(int64_t column, int64_t line) const
    {
        if (column < 1 || column > columns || line < 1 || line > lines)
            return nullptr;
        return &cells[static_cast<size_t>((line - 1) * columns + column - 1)];
    }
};

// A window's finished frame: the image for backends that draw pixels, the character cells
// for backends that draw text (none for a window without text). Shared, never changed
// after it is handed over.
struct Frame {
    std::shared_ptr<const ArgbImage> image;
    std::shared_ptr<const TextGrid> text;
};

enum class WindowKind { Graphic, Text, Plain };

// How a window is to be shown. The whole record is pushed whenever any of it changes.
struct WindowState {
    Rect frame;      // the whole frame, title bar included
    Rect view_frame; // graphic windows: the view inside the frame (window coordinates)
    std::string title;
    bool title_bar_visible = true;
    bool visible = false;
    Color background; // graphic windows: the border around the view
    // Text windows
    std::string ruler;       // the one line above the text, for windows built with a ruler
    std::string font_family; // the text's fixed-pitch font; empty: the backend's own
    double font_points = 0;
    bool operator==(const WindowState&) const = default;
};

// One window of the interface, as build_interface creates it.
struct WindowSpec {
    uint8_t number = NO_WINDOW;
    WindowKind kind = WindowKind::Plain;
    bool has_ruler = false; // text windows: a one-line label above the text
    WindowState state;
};

struct MenuItem {
    std::string title;     // empty for a separator
    int64_t tag = 0;
    std::string key_char;  // the key equivalent's character; empty when none
    uint64_t key_mods = 0; // modifier word of the key equivalent
    bool enabled = true;   // a disabled item is shown but cannot be chosen
    bool operator==(const MenuItem&) const = default;
};

struct Menu {
    std::string title;
    std::vector<MenuItem> items;
    bool operator==(const Menu&) const = default;
};

// A chosen menu command, with the item as the menu bar was given it; in_menu false when the
// item belonged to no menu.
struct MenuChoice {
    bool in_menu = true;
    std::string menu_title;
    MenuItem item;
};

// What the screen offers a window; reported before launch and whenever it changes.
struct Display {
    Size screen{1920, 1080};
    double title_bar_height = 28; // points of a standard title bar
    bool operator==(const Display&) const = default;
};

struct KeyReport {
    uint8_t window = NO_WINDOW;
    uint16_t key_code = 0;  // virtual key code of the physical key
    std::string characters; // UTF-8, as the keyboard layout produced them
    uint64_t modifiers = 0;
};

struct MouseReport {
    uint8_t window = NO_WINDOW;
    double x = 0; // view coordinates, origin bottom left, y upwards
    double y = 0;
    uint64_t buttons = 0; // pressed buttons: bit 0 left, bit 1 right, further bits further buttons
    uint64_t modifiers = 0;
    bool right = false;   // the report is about the right button
};

struct OpenDialogOptions {
    std::string title;
    std::string message;
    std::string confirm_title;
    std::vector<std::string> file_types; // empty allows all
    bool choose_files = true;
    bool choose_directories = false;
};

struct SaveDialogOptions {
    std::string title;
    std::string message;
    std::string confirm_title;  // "Sichern"
    std::string name_label;     // "Sichern unter:"
    std::string proposed_name;
    std::vector<std::string> file_types;
};

// Reports from the window system to the layers above, always delivered on the event thread.
// They are set once, before run_event_loop(); an empty function ignores the report.
struct WindowEvents {
    std::function<void(const Display&)> display_changed;
    std::function<void()> will_finish_launching;
    std::function<void()> did_finish_launching;
    std::function<void(bool active)> active_changed;
    std::function<void()> will_terminate;
    std::function<void(const KeyReport&)> key_down;
    std::function<void(const KeyReport&)> key_up;
    std::function<void(uint64_t modifiers)> modifiers_changed;
    std::function<void(const MouseReport&)> mouse_down;
    std::function<void(const MouseReport&)> mouse_up;
    std::function<void(const MouseReport&)> mouse_dragged;
    std::function<void(const MenuChoice&)> menu_chosen;
    // The close box was clicked; the window stays as it is (the layers above decide).
    std::function<void(uint8_t window)> close_box;
    // The user gave the window a new frame.
    std::function<void(uint8_t window, const Rect& frame)> window_resized;
    // The user made the window the key window: clicked it, or asked for its page.
    std::function<void(uint8_t window)> window_activated;
    // The system clipboard holds something new; pasteboard_text() tells what.
    std::function<void()> pasteboard_changed;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Event loop
    // Runs on the calling thread, which becomes the event thread (number 1), until
    // quit_event_loop(). Reports the display, then launch through will/did_finish_launching.
    virtual void run_event_loop() = 0;
    // Any thread; run_event_loop() returns after the tasks queued before it have run.
    virtual void quit_event_loop() = 0;
    // Any thread; queues work for the event thread without waiting. Used by platform.h.
    virtual void post_to_event_thread(std::function<void()> work) = 0;

    // Interface
    // Creates the windows, each hidden or shown as its state says; windows that exist stay.
    virtual void build_interface(const std::vector<WindowSpec>& windows) = 0;
    // The whole menu bar, every window's: menus in order, items with their tags.
    virtual void set_menu_bar(const std::vector<Menu>& menus) = 0;

    // Windows
    // Shows the window as state says: frame, view, title, title bar, visibility, colours.
    virtual void set_window_state(uint8_t window, const WindowState& state) = 0;
    // Raises a shown window and makes it the key window, the one that gets the keys.
    virtual void bring_to_front(uint8_t window) = 0;
    // Shows the frame in a graphic window's view until the next one.
    virtual void present_frame(uint8_t window, const Frame& frame) = 0;

    // Text windows (8, 9, 10): their whole text, UTF-8 with carriage returns between lines.
    virtual void set_text(uint8_t window, std::string_view text) = 0;
    virtual void append_text(uint8_t window, std::string_view text) = 0;
    virtual void clear_text(uint8_t window) = 0;

    // Pasteboard: the system clipboard
    // Replaces its contents by plain text, or by an image. A backend whose clipboard others
    // can change reports every change (report_pasteboard_changed), its own included, later
    // on the event thread, never from inside this call.
    virtual void set_pasteboard_text(const std::string& text) = 0;
    virtual void set_pasteboard_image(std::shared_ptr<const ArgbImage> image) = 0;
    // Its text, whoever put it there; nullopt when it holds none.
    virtual std::optional<std::string> pasteboard_text() = 0;

    // Modal dialogs; the chosen path, empty when cancelled.
    virtual std::string open_file_dialog(const OpenDialogOptions& options) = 0;
    virtual std::string save_file_dialog(const SaveDialogOptions& options) = 0;
    // A message the user reads and dismisses (lines separated by line feeds); returns at
    // once. A backend may add a line of its own (what it shows through).
    virtual void show_message(const std::string& title, const std::string& text) = 0;

    // Sounds
    // Starts playing a sound file; its length in seconds, nullopt when it cannot be played.
    virtual std::optional<double> play_sound(const std::string& path) = 0;
    virtual void alert_beep() = 0;

    // Safe from any thread: reports in flight keep the callbacks they started with.
    void set_events(WindowEvents events)
    {
        std::lock_guard lock(events_mutex_);
        events_ = std::move(events);
    }
    // A copy, so a report can call it while the shell replaces the set.
    WindowEvents events() const
    {
        std::lock_guard lock(events_mutex_);
        return events_;
    }

    // Reports, as a backend delivers them: each calls its callback on the event thread and
    // returns after it (at once on the event thread itself).
    void report_display(const Display& display);
    // The display, then will_finish_launching, did_finish_launching and the activation.
    void report_launch(const Display& display);
    void report_termination();
    void report_key(const KeyReport& report, bool down);
    void report_modifiers(uint64_t modifiers);
    enum class Mouse { Down, Up, Dragged };
    void report_mouse(const MouseReport& report, Mouse what);
    void report_menu_choice(const MenuChoice& choice);
    void report_close_box(uint8_t window);
    void report_resize(uint8_t window, const Rect& frame);
    void report_activation(uint8_t window);
    void report_pasteboard_changed();

  protected:
    // Calls `report` with the current callbacks on the event thread and waits for it.
    void deliver(const std::function<void(const WindowEvents&)>& report);

  private:
    mutable std::mutex events_mutex_;
    WindowEvents events_; // guarded by events_mutex_
};

// The installed backend, else the default one; a program linking no backend stops here.
WindowSystem& window_system();
// Installs a backend (owned by the caller, living until the process ends); before any use.
void set_window_system(WindowSystem* backend);
// The backend used while none is installed (the headless one registers itself).
void set_default_window_system(WindowSystem* backend);

// Runs call with the window system on the event thread and waits for it: the one way the
// layers above reach the seam.
void show(const std::function<void(WindowSystem&)>& call);

} // namespace platform
