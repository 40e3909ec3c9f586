// toolkit/geometry.h: the window-level operations that place, size, show, title and frame
// the platform windows 0 to 12.
#pragma once

#include <cstdint>
#include <string>

// Selectors of t_WindowPos.
constexpr int64_t POS_FIRST_COLUMN = 0;
constexpr int64_t POS_FIRST_LINE = 1;
constexpr int64_t POS_LAST_COLUMN = 2;
constexpr int64_t POS_LAST_LINE = 3;
constexpr int64_t POS_AREA_WIDTH = 4;
constexpr int64_t POS_AREA_HEIGHT = 5;
constexpr int64_t POS_TEXT_WIDTH = 6;
constexpr int64_t POS_TEXT_HEIGHT = 7;
constexpr int64_t POS_CANVAS_WIDTH = 8;
constexpr int64_t POS_CANVAS_HEIGHT = 9;
constexpr int64_t POS_FRAME_WIDTH = 10;
constexpr int64_t POS_FRAME_HEIGHT_NO_TITLE = 11;
constexpr int64_t POS_FRAME_HEIGHT = 12;
constexpr int64_t POS_X = 13;
constexpr int64_t POS_TOP_DISTANCE = 14;
constexpr int64_t POS_SCREEN_WIDTH = 15;
constexpr int64_t POS_SCREEN_HEIGHT = 16;
constexpr int64_t POS_TITLE_HEIGHT = 17;
constexpr int64_t POS_BORDER_WIDTH = 18;
constexpr int64_t POS_BORDER_HEIGHT = 19;
constexpr int64_t POS_Y = 20;

// A geometry value of window 0 to 12 (selectors above); 0 when it does not apply.
int64_t t_WindowPos(uint8_t win, int64_t selector);
// Places and sizes the platform window; -1 keeps the current x, y, width or height.
void t_WindowSize(uint8_t win, int64_t x, int64_t y, int64_t width, int64_t height);
// Shows (orders front) or hides the platform window; graphic windows also keep Visible.
void t_WindowVisible(uint8_t win, bool visible);
// Shows the window and makes it the key window.
void t_WindowFront(uint8_t win);
// Centres the platform window on its screen.
void t_WindowCenter(uint8_t win);
void t_WindowTitle(uint8_t win, const std::string& title);
// Shows or hides the title bar; graphic windows follow with TitleHeight.
void t_WindowTitleVisible(uint8_t win, bool visible);
// The text area becomes the whole text grid.
void t_FullArea(uint8_t win);
