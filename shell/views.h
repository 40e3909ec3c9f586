// shell/views.h: the eight graphic window views: key, modifier and mouse forwarding, the
// mouse event list and the drawing rules. Independent of any window system: a backend
// reports to these functions on its event thread.
#pragma once

#include "platform/window_system.h"
#include "shell/events.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Mouse state
// True after every append whenever the mouse event list is non-empty.
extern std::atomic<bool> MousePending;
// Set by the last mouse-down (left or right), both cleared by any mouse-up.
extern std::atomic<bool> LeftButtonDown;
extern std::atomic<bool> RightButtonDown;

// The program's mouse handler, run on a thread of its own after every recorded click;
// an empty function restores the default, which does nothing.
void SetMouseHandler(std::function<void()> handler);
// A copy of the mouse event list (never emptied by the shell) and its length.
std::vector<t_Event> MouseEvents();
int64_t MouseEventCount();

// Key and modifier forwarding (event thread)
// keyDown: of every view: PostKeyDown with the view's window number.
void viewKeyDown(uint8_t window, const platform::KeyReport& report);
// keyUp: clears KeyIsDown.
void viewKeyUp(uint8_t window, const platform::KeyReport& report);
// flagsChanged:
void viewFlagsChanged(uint64_t modifiers);

// Mouse forwarding (event thread)
// mouseDown: (right false) and rightMouseDown: (right true).
void viewMouseDown(uint8_t window, const platform::MouseReport& report, bool right);
// mouseUp: and rightMouseUp: both clear the two button flags.
void viewMouseUp(uint8_t window, const platform::MouseReport& report);
// Records one click at (x, y) in window coordinates and runs the program's handler.
void t_MouseEventHandler(int32_t window, const platform::MouseReport& report, double x, double y);

// The click coordinate inside the drawing area: 0..extent-1, -1 before it, -2 after it.
int64_t ClickCoordinate(int64_t position, int64_t extent);

// Drawing (event thread)
// Whether the view draws through its layer: memory ready, window set up and QuickUpdate.
bool wantsUpdateLayer(uint8_t window);
// Build the window's image and show it; View00 marks VerticalBlank around the work.
void updateLayer(uint8_t window);
void drawRect(uint8_t window);
// What a backend calls when a view needs drawing: updateLayer or drawRect as wanted.
void viewDraw(uint8_t window);

// For test fixtures: empties the mouse list, clears the flags and the handler.
void ResetMouse();
