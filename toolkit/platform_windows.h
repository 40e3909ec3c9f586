// toolkit/platform_windows.h: the records of the 13 platform windows (the graphic windows 0
// to 7 and the shell's windows 8 to 12) as the system wants them shown, the key window, the
// display, and the whole text of the text windows 8 to 10.
#pragma once

// The window-level operations (geometry.h), the shell's menus and views answer from these
// records; the window system only shows them. Every change is made on the event thread and
// pushed from here, once, so the backend gets the records' changes in the order they were
// made. Reading is allowed from any thread.

#include "platform/window_system.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace toolkit {

struct PlatformWindow {
    bool exists = false;
    platform::WindowKind kind = platform::WindowKind::Plain;
    bool has_ruler = false;
    platform::WindowState state;
    // Text windows: where their scroll view and ruler sit in the window (bottom-left origin),
    // by the layout rules below; the backend lays out its own text view.
    platform::Rect scroll_view_frame;
    platform::Rect ruler_frame;
};

// The text windows' text is kept whole, except the console's, which keeps its last part.
constexpr size_t CONSOLE_LIMIT_BYTES = 8 * 1024 * 1024;

// Creating
// Records the windows not built yet, lays out their text windows and has the window system
// build them.
void build_platform_windows(const std::vector<platform::WindowSpec>& windows);

// Reading (any thread)
bool platform_window_exists(uint8_t window);
// A copy of the record; the empty record for a window that was not built.
PlatformWindow platform_window(uint8_t window);
// The key window: the window fronted or activated last that is still shown; NO_WINDOW when
// none is. Hiding the key window hands the key to the shown window fronted before it.
uint8_t key_window();
platform::Display display();

// Changing (any thread; waits for the event thread)
// Runs change on the window's record; the window system is told when its state changed, and
// about a new key window when change hid the key window.
void change_platform_window(uint8_t window, const std::function<void(PlatformWindow&)>& change);
// Shows the window and makes it the key window.
void front_platform_window(uint8_t window);

// Reports of the window system (event thread)
// The user made a window the key window; a hidden one is shown.
void platform_window_activated(uint8_t window);
// The user gave a window a new frame.
void platform_window_resized(uint8_t window, const platform::Rect& frame);
// The screen or the title bar height changed; the text windows are laid out anew.
void display_changed(const platform::Display& display);

// Layout of the text windows
// The scroll view and ruler of a text window after its frame changed: the pasteboard's
// scroll view is inset by 10 points, the printer's and the console's by 20 with their ruler
// above it. A ruler keeps its origin.
void lay_out_text_window(uint8_t window, PlatformWindow& w, double title_bar_height);
// The text window sized by t_WindowSize: its content is width x height, its scroll view
// keeps its origin and is 40 points narrower and 77 lower; a width or height of 0 or less
// keeps the scroll view's.
void size_text_window(PlatformWindow& w, double x, double y, double width, double height,
                      double title_bar_height);

// Text of the text windows 8 to 10, UTF-8 with carriage returns between lines. A long text
// reaches the window system as appends of at most TEXT_PIECE_BYTES each, one visit to the
// event thread apiece; the caller returns when all are shown.
constexpr size_t TEXT_PIECE_BYTES = 1 << 20;
// Replaces the text in one push; a text that extends the kept one appends its new end.
void set_window_text(uint8_t window, std::string text);
void append_window_text(uint8_t window, std::string_view text);
void clear_window_text(uint8_t window);
std::string window_text(uint8_t window);

// For test fixtures: no windows, no key window, the default display.
void reset_platform_windows();

} // namespace toolkit
