// toolkit/glyphs.h: drawing one glyph at a text cell, and a window's font.
#pragma once

#include "toolkit/font.h"

#include <cstdint>

// Replaces the window's font by a copy; the cell size must match the one set up with.
void t_WindowFont(uint8_t win, const t_Font& font);

// Draws the glyph of code at a text cell in palette colours (high nibble foreground) and
// stores code and colours in the text planes; honours TextRedirectOutput and TextInverse.
void t_PrintSymbol(uint8_t win, int32_t code, uint8_t color, int64_t column, int64_t line);
