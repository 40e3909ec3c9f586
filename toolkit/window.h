// toolkit/window.h: the window record, the window table, video memory and text output.
#pragma once

#include "toolkit/cursor.h"
#include "toolkit/display.h"
#include "toolkit/font.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Where the canvas is drawn inside its view; kept by the shell.
struct t_Rect {
    double X = 0;
    double Y = 0;
    double Width = 0;
    double Height = 0;
};

// One toolkit window. A fresh record is the state t_InitMemory puts into the table.
struct t_Window {
    bool Initialized = false;
    bool Visible = false;       // set by t_WindowVisible; images are built only when true
    bool IgnoreEvents = false;  // key and mouse reports are dropped
    bool AutoUpdate = false;    // refreshed by the auto-update thread
    bool QuickUpdate = false;   // the view draws through its layer
    bool ScrollLock = false;    // t_ScrollUp and t_ScrollDown do nothing
    bool VerticalBlank = true;  // the last requested refresh has been drawn
    int64_t UpdateStarted = 0;  // ms of the last refresh request
    int64_t UpdateFinished = 0; // ms when the last image was built
    int64_t UpdateDuration = 0; // us the last image took; 0 after hiding
    int64_t RefreshRate = 30;   // automatic refreshes per second
    int64_t Window = -1;        // the platform window holding the view: its number, -1 none
    int64_t View = -1;          // the window's view (View00..View07): its number, -1 none
    t_Rect DrawingRect;
    int64_t TitleHeight = 0;  // title bar height in points, 0 when hidden
    int64_t BorderWidth = 0;  // points left and right of the canvas
    int64_t BorderHeight = 0; // points above and below the canvas
    t_RGBColor RGBColorBorder;
    int64_t BitDepth = 0; // 1, 4, 8, 16, 24 or 32
    int64_t Width = 0;    // canvas pixels
    int64_t Height = 0;
    t_RGBColor RGBColor;     // drawing colour, follows t_Color
    int64_t MemoryStart = -1;    // first address of the graphic block; -1 none
    int64_t MemoryEnd = -1;      // last address (inclusive); -1 none
    t_Font Font;                 // empty Data: the window has no text
    int64_t TextWidth = 0;       // text columns; -1 no text
    int64_t TextHeight = 0;      // text lines; -1 no text
    int64_t TextFirstColumn = 0; // the text area (scroll region), inclusive
    int64_t TextLastColumn = 0;
    int64_t TextFirstLine = 0;
    int64_t TextLastLine = 0;
    int64_t TextHpos = 0;  // cursor column
    int64_t TextVpos = 0;  // cursor line
    uint8_t TextColor = 0; // high nibble foreground, low nibble background
    bool TextInverse = false;
    int64_t TextDisplayMode = 0;
    int64_t TextCursorLevel = 0;
    int64_t TextRedirectOutput = 1; // 1 window, 2 standard output, other values nowhere
    std::string InputString;        // line input state
    bool InputFinished = false;
    int64_t InputMode = 0;
    int64_t InputHpos = 0;
    int64_t InputVpos = 0;
    int64_t InputCursorPos = 0;
    int64_t InputMaxCharacters = 0;
    int64_t TextMemoryStart = -1; // first address of the text block; -1 no text
    int64_t TextMemoryEnd = -1;
};

// Toolkit-wide state
constexpr int64_t VIDEO_MEMORY_SIZE = 0x100000F;
constexpr int64_t LOWEST_ALLOCATABLE = 0x10000; // the lowest 64 KiB are never handed out
constexpr int64_t HIGHEST_ADDRESS = 0xFFFFFF;
constexpr uint8_t WINDOW_COUNT = 8;
constexpr uint8_t NO_TEXT_WINDOW = 255;

extern std::vector<uint8_t> VideoMemory; // VIDEO_MEMORY_SIZE bytes once created
// Counts finished writes to VideoMemory, bumped after the bytes are written: an image built
// while the count stayed the same still shows the memory.
extern std::atomic<uint64_t> VideoMemoryWrites;
extern int64_t HighMemory;               // highest free address
extern std::atomic<bool> MemoryInitStarted;
extern std::atomic<bool> MemoryReady; // set last by t_InitMemory; others poll it
extern std::array<t_Window, WINDOW_COUNT> window_table;
extern std::atomic<uint8_t> CurrentTextWindow; // the first window set up; 255 none
extern std::atomic<int64_t> TitleBarHeight;    // measured by the shell at launch
extern std::atomic<bool> AutoUpdateRunning;    // owned by the auto-update thread

namespace toolkit {

// What t_InitMemory and t_InitWindow need of the shell, which the toolkit cannot link.
// The shell sets these at launch; each hook hands its work to the event thread itself.
struct ShellHooks {
    std::function<void()> prepare_menus;         // menu preparation, before any window
    std::function<void()> setup_pasteboard_view; // pasteboard text view set-up
    // Whether window n's view exists; unset: asks the window system for a graphic window n.
    std::function<bool(uint8_t)> find_view;
    std::function<void(int64_t code, bool wait)> pause_on_key; // the Ctrl-S pause check
    std::function<std::string()> application_name;             // bundle file name; unset: "Orbikon"
};
ShellHooks& shell_hooks();

// Guards VideoMemory and the window records against the threads that read them beside the
// program thread: the view drawing on the event thread and the auto-update thread. Held
// only while bytes or fields are copied or filled, never while waiting for the event
// thread. Recursive, since the filling operations call one another.
std::recursive_mutex& video_mutex();
// Whether window win's view exists: the shell's answer, else a graphic window of that number.
bool view_exists(uint8_t win);

// Entry check of the window operations: number, memory ready, initialised; prints the line.
bool window_ready(std::string_view op, uint8_t win);
// The same plus a text block, for every text operation.
bool text_window_ready(std::string_view op, uint8_t win);
// Where window win's text goes (TextRedirectOutput): a key of the event thread changes it
// while the program prints, so it is read and written under the video lock.
int64_t output_redirect(uint8_t win);

// Address of the colour plane (the middle of the text block).
int64_t colour_plane_start(const t_Window& w);
// Index of the cell (column, line) in either plane; -1 when outside the text grid.
int64_t cell_index(const t_Window& w, int64_t column, int64_t line);
// Character and colour stored in a cell; blank and 0 outside the grid.
uint8_t cell_char(const t_Window& w, int64_t column, int64_t line);
uint8_t cell_colour(const t_Window& w, int64_t column, int64_t line);

// "$" is not included: eight uppercase hexadecimal digits of the low 32 bits.
std::string hex8_text(int64_t value);
// Kilobytes in German notation with two truncated decimals and grouping: "3.000,00".
std::string kib_text(double kib);

// Writes a character U+0000..U+00FF to standard output as UTF-8 (redirected output).
void write_redirected(uint8_t code);

// Restores the freshly created memory and table; for test fixtures only.
void reset_video_memory();

} // namespace toolkit

// Video memory
// Creates the video memory and the window table once per process.
void t_InitMemory();
// Copies count bytes inside VideoMemory, correct for overlapping ranges; out of range: nothing.
void MoveVideoMemory(int64_t source, int64_t destination, int64_t count);
// Graphic block to black (alpha 255 at depth 32), text cells to blank in TextColor.
void ClearWindowMemory(uint8_t win);

// Window set-up
// Full form: allocates the blocks, binds the view; a negative border comes from the screen.
void t_InitWindow(uint8_t win, int64_t bit_depth, bool auto_update, int64_t width, int64_t height,
                  int64_t border_width, int64_t border_height, const t_Font& font,
                  bool title_visible);
// Font-name form: columns x lines cells of the font loaded from the resource folder.
void t_InitWindow(uint8_t win, int64_t bit_depth, int64_t columns, int64_t lines, int64_t border,
                  const std::string& font_name);

// Text output
// Prints UTF-8 text at the cursor, one Unicode scalar at a time, handling control codes.
void t_Print(uint8_t win, std::string_view text);
// The same, one byte per character (the line editor's form).
void t_Print(uint8_t win, const std::vector<uint8_t>& bytes);
// Prints one code at the cursor, without control handling or pause check.
void t_PrintChar(uint8_t win, uint8_t code);
// One column right; past the area's last column a carriage return.
void t_CursorRight(uint8_t win);
// Carriage return and line feed; scrolls at the bottom.
void t_Cr(uint8_t win);
// One line down, same column; scrolls at the bottom.
void t_CursorDown(uint8_t win);
// Cursor to the top-left cell of the text area.
void t_CursorHome(uint8_t win);
// Blanks from the cursor to the area's last column; the cursor stays.
void t_ClearEndOfLine(uint8_t win);
// Blanks from the cursor to the end of the area; the cursor stays.
void t_ClearEndOfWindow(uint8_t win);
// The text area moves up one line and its bottom line is blanked (not under ScrollLock).
void t_ScrollUp(uint8_t win);
