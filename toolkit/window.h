// toolkit/window.h: the window record, the window table and the toolkit's shared state.
#pragma once

#include "toolkit/font.h"
#include "toolkit/palette.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

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
constexpr uint8_t WINDOW_COUNT = 8;
constexpr uint8_t NO_TEXT_WINDOW = 255;

extern std::array<t_Window, WINDOW_COUNT> window_table;
extern std::atomic<bool> MemoryInitStarted;
extern std::atomic<bool> MemoryReady;          // set last by t_InitMemory; others poll it
extern std::atomic<uint8_t> CurrentTextWindow; // the first window set up; 255 none
extern std::atomic<int64_t> TitleBarHeight;    // measured by the shell at launch
extern std::atomic<bool> AutoUpdateRunning;    // owned by the auto-update thread

namespace toolkit {

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

} // namespace toolkit
