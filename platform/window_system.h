// platform/window_system.h: everything the toolkit and the shell ask of a window system.
#pragma once

// One abstract class, `platform::WindowSystem`, implemented by each backend (headless,
// terminal; each a library of its own under platform/). The program installs one at start
// with set_window_system(); the layers above reach it through `platform::window_system()`
// and never see a toolkit of their own. A backend learns what to show only from the frames
// handed to present_frame() and from the calls below, never from the toolkit's memory.
//
// Conventions shared by every backend:
// - Windows are addressed by the system's window numbers: 0 to 7 graphic windows (one view
//   each), 8 pasteboard, 9 virtual printer, 10 system console (text windows: one text view,
//   8 without ruler), 11 preferences, 12 main window. 255 means none.
// - Geometry is in points. Screen and frame coordinates have their origin at the bottom left
//   of the screen with y upwards; view positions (mouse reports) at the bottom left of the
//   window's frame, y upwards. Backends with top-left systems convert.
// - Every operation is meant to be called on the event thread (see platform.h:
//   run_on_event_thread). The headless backend also tolerates other threads, since its state
//   sits behind a mutex, but callers above platform/ must not rely on that.
// - Operations on a window that does not exist do nothing and return a neutral value;
//   window_exists() and has_text_view() tell callers when to print their "nil" diagnostics.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/keys.h"

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

// What a backend needs to create a window that no interface description provides.
struct WindowSpec {
    WindowKind kind = WindowKind::Plain;
    Rect frame;           // the whole frame, title bar included
    std::string title;
    bool has_ruler = false; // text windows: a one-line label above the text
    bool visible = false;
};

struct MenuItem {
    std::string title;     // empty for a separator
    int64_t tag = 0;
    std::string key_char;  // the key equivalent's character; empty when none
    uint64_t key_mods = 0; // modifier word of the key equivalent
};

// A chosen menu command; in_menu false when the item belonged to no menu.
struct MenuChoice {
    bool in_menu = true;
    std::string menu_title;
    MenuItem item;
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

// Reports from the window system to the shell, always delivered on the event thread.
// The shell sets them once, before run_event_loop(); an empty function ignores the report.
struct WindowEvents {
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
    // The close box was clicked; the window stays open (the shell hides it if it wants).
    std::function<void(uint8_t window)> close_box;
    std::function<void(uint8_t window)> window_resized;
    // A graphic view wants drawing: the handler builds the frame and calls present_frame().
    std::function<void(uint8_t window)> draw_view;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Event loop
    // Runs on the calling thread, which becomes the event thread (number 1), until
    // quit_event_loop(). Announces launch through the will/did_finish_launching callbacks.
    virtual void run_event_loop() = 0;
    // Any thread; run_event_loop() returns after the tasks queued before it have run.
    virtual void quit_event_loop() = 0;
    // Any thread; queues work for the event thread without waiting. Used by platform.h.
    virtual void post_to_event_thread(std::function<void()> work) = 0;

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

    // Windows
    // Creates window number n if it does not exist yet; false if it did or n > 12.
    virtual bool create_window(uint8_t window, const WindowSpec& layout) = 0;
    virtual bool window_exists(uint8_t window) = 0;
    virtual WindowKind window_kind(uint8_t window) = 0;
    virtual Rect window_frame(uint8_t window) = 0;
    // Places and sizes the frame; display redraws at once.
    virtual void set_window_frame(uint8_t window, const Rect& frame, bool display) = 0;
    // The graphic view's frame inside the window.
    virtual Rect view_frame(uint8_t window) = 0;
    virtual void set_view_frame(uint8_t window, const Rect& frame) = 0;
    virtual void show_window(uint8_t window) = 0;
    virtual void hide_window(uint8_t window) = 0;
    // Shows the window, brings it to the front and makes it the main (key) window.
    virtual void bring_to_front(uint8_t window) = 0;
    virtual void center_window(uint8_t window) = 0;
    virtual bool window_visible(uint8_t window) = 0;
    virtual std::string window_title(uint8_t window) = 0;
    virtual void set_window_title(uint8_t window, const std::string& title) = 0;
    virtual bool title_bar_visible(uint8_t window) = 0;
    virtual void set_title_bar_visible(uint8_t window, bool visible) = 0;
    virtual void set_background_color(uint8_t window, const Color& color) = 0;
    // The main (key) window's number, NO_WINDOW when there is none.
    virtual uint8_t main_window() = 0;
    // Height of a standard title bar in points.
    virtual double title_bar_height() = 0;
    // Points per pixel of the window's screen (1 on ordinary screens).
    virtual double backing_scale(uint8_t window) = 0;
    virtual Size screen_size() = 0;

    // Graphic views
    // deferred false draws before returning (calls draw_view on the event thread); deferred
    // true asks for drawing in the next cycle.
    virtual void request_redraw(uint8_t window, bool deferred) = 0;
    // Shows the frame in the window's view until the next one.
    virtual void present_frame(uint8_t window, const Frame& frame) = 0;

    // Text views (windows 8, 9, 10)
    virtual bool has_text_view(uint8_t window) = 0;
    virtual std::string text(uint8_t window) = 0;
    virtual void set_text(uint8_t window, const std::string& text) = 0;
    virtual void append_text(uint8_t window, const std::string& text) = 0;
    virtual void scroll_to_end(uint8_t window) = 0;
    // Turns off quote, dash and text substitution and link and data detection.
    virtual void set_plain_text_editing(uint8_t window) = 0;
    virtual void set_text_font(uint8_t window, const std::string& family, double points) = 0;
    virtual void mark_text_for_redraw(uint8_t window) = 0;
    virtual Rect scroll_view_frame(uint8_t window) = 0;
    virtual void set_scroll_view_frame(uint8_t window, const Rect& frame) = 0;
    virtual bool has_ruler(uint8_t window) = 0;
    virtual std::string ruler_text(uint8_t window) = 0;
    virtual void set_ruler_text(uint8_t window, const std::string& text) = 0;
    virtual Rect ruler_frame(uint8_t window) = 0;
    virtual void set_ruler_frame(uint8_t window, const Rect& frame) = 0;

    // Menus, found by the title of their top-level item
    virtual bool menu_exists(const std::string& menu_title) = 0;
    // Adds a top-level menu at the end; false if one with that title exists.
    virtual bool add_menu(const std::string& menu_title) = 0;
    // -1 when there is no such menu.
    virtual int64_t menu_item_count(const std::string& menu_title) = 0;
    // Position from 0 of the first item with that title; -1 none; -2 no such menu.
    virtual int64_t menu_item_index(const std::string& menu_title, const std::string& item_title) = 0;
    // The item at index, nullopt when the menu or the index does not exist.
    virtual std::optional<MenuItem> menu_item(const std::string& menu_title, int64_t index) = 0;
    // Appends (index -1 or beyond the end) or inserts; false when the menu does not exist.
    virtual bool add_menu_item(const std::string& menu_title, const MenuItem& item, int64_t index = -1) = 0;
    virtual bool delete_menu_item(const std::string& menu_title, int64_t index) = 0;
    virtual bool set_menu_item_title(const std::string& menu_title, int64_t index, const std::string& title) = 0;

    // Pasteboard
    virtual void pasteboard_clear() = 0;
    // Replaces the contents by plain text.
    virtual void pasteboard_set_text(const std::string& text) = 0;
    // nullopt when the pasteboard holds no text.
    virtual std::optional<std::string> pasteboard_text() = 0;
    virtual void pasteboard_set_image(std::shared_ptr<const ArgbImage> image) = 0;
    virtual std::shared_ptr<const ArgbImage> pasteboard_image() = 0;

    // Modal dialogs; the chosen path, empty when cancelled.
    virtual std::string open_file_dialog(const OpenDialogOptions& options) = 0;
    virtual std::string save_file_dialog(const SaveDialogOptions& options) = 0;

    // Sounds
    // Starts playing a sound file; false when it cannot be loaded or played.
    virtual bool play_sound(const std::string& path) = 0;
    virtual bool sound_playing() = 0;
    virtual void alert_beep() = 0;

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

} // namespace platform
