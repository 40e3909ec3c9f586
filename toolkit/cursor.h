// toolkit/cursor.h: the text cursor: moving it, wrapping and scrolling at the edges of the
// text area, and drawing it.
#pragma once

#include <cstdint>

// Movement (columns and lines count from 1)
// One column right; past the area's last column a carriage return.
void t_CursorRight(uint8_t win);
// Carriage return and line feed; scrolls at the bottom.
void t_Cr(uint8_t win);
// One line down, same column; scrolls at the bottom.
void t_CursorDown(uint8_t win);
// Cursor to the top-left cell of the text area.
void t_CursorHome(uint8_t win);
// Cursor to the bottom-right cell of the text area.
void t_CursorEnd(uint8_t win);
// One column left; before the first column, last column of the line above (may scroll down).
void t_CursorLeft(uint8_t win);
// One line up, same column; above the first line the area scrolls down instead.
void t_CursorUp(uint8_t win);
// Column counted from the left edge of the text area; out of range is ignored.
void t_Htab(uint8_t win, int64_t column);
// Line counted from the top of the window (not the area); out of range is ignored.
void t_Vtab(uint8_t win, int64_t line);
// Cursor column relative to the text area, from 1; 0 after a diagnostic.
int64_t t_Hpos(uint8_t win);

// Scrolling
// The text area moves up one line and its bottom line is blanked (not under ScrollLock).
void t_ScrollUp(uint8_t win);
// The text area moves down one line and its top line is blanked (not under ScrollLock).
void t_ScrollDown(uint8_t win);

// The visible cursor
// Redraws every cell of the rectangle with foreground and background exchanged.
void t_InvertRect(uint8_t win, int64_t column1, int64_t line1, int64_t column2, int64_t line2);
// Inverts the cell under the cursor; the cursor is that inverted cell.
void t_CursorDraw(uint8_t win);
// Nesting count of the visible cursor; draws when rising from 0.
void t_CursorOn(uint8_t win);
// Draws when the nesting count falls to 0.
void t_CursorOff(uint8_t win);
