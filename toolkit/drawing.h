// toolkit/drawing.h: drawing in a window's graphic block: clearing it to a colour, pixels,
// lines, filled rectangles and short text labels.
#pragma once

#include <cstdint>
#include <string_view>

// Pixel positions count from 0 at the canvas's top-left corner; colours are palette indexes
// 0 to 15. Whatever falls outside the canvas is clipped. Each operation marks the window for
// its next refresh; a window that is not ready or a colour above 15 costs one diagnostic
// line and draws nothing.

// The whole canvas to one colour; the text cells, if any, stay.
void t_ClearGraphic(uint8_t win, uint8_t color);
void t_SetPixel(uint8_t win, int64_t x, int64_t y, uint8_t color);
// Both end points included; ends beyond 2^24 pixels from the origin are refused.
void t_DrawLine(uint8_t win, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t color);
// The rectangle between two corners, both included, in any order.
void t_FillRect(uint8_t win, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t color);
// UTF-8 text with its top-left corner at (x, y) in the window's font at half its cell size,
// drawn over what is there; characters above 255 are skipped. Returns the label's width in
// pixels (0 after a diagnostic).
int64_t t_DrawLabel(uint8_t win, int64_t x, int64_t y, std::string_view text, uint8_t color);
// Width in pixels that t_DrawLabel gives text in this window's font; 0 when it has none.
int64_t t_LabelWidth(uint8_t win, std::string_view text);
// Height in pixels of a label line in this window's font; 0 when it has none.
int64_t t_LabelHeight(uint8_t win);
