// toolkit/cursor.h: cursor movement, tabs, rules, inverse output and control characters.
#pragma once

#include <cstdint>

// Cursor movement (columns and lines count from 1)
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

// Output
// Prints code until the cursor reaches window column `column`.
void t_PrintTab(uint8_t win, int64_t column, uint8_t code);
// Prints count blanks.
void t_PrintSpc(uint8_t win, int64_t count);
// Draws code in TextColor from from_column to to_column of line; the cursor stays.
void t_TextHline(uint8_t win, int64_t from_column, int64_t to_column, int64_t line, uint8_t code);
// Horizontal rule (glyph 0x9C) from the cursor to the area's right edge, then t_Cr.
void t_TextLine(uint8_t win);
// The text area moves down one line and its top line is blanked (not under ScrollLock).
void t_ScrollDown(uint8_t win);

// Inverse output and the cursor
void t_Inverse(uint8_t win);
void t_Normal(uint8_t win);
void t_Reverse(uint8_t win);
// Redraws every cell of the rectangle with foreground and background exchanged.
void t_InvertRect(uint8_t win, int64_t column1, int64_t line1, int64_t column2, int64_t line2);
// Inverts the cell under the cursor; the cursor is that inverted cell.
void t_CursorDraw(uint8_t win);
// Nesting count of the visible cursor; draws when rising from 0.
void t_CursorOn(uint8_t win);
// Draws when the nesting count falls to 0.
void t_CursorOff(uint8_t win);
// 1 this window, 2 standard output, anything else drops output.
void t_RedirectOutput(uint8_t win, int64_t mode);

// Carries out a control character (below 32) that t_Print met.
void t_PrintControl(uint8_t win, uint8_t code);
