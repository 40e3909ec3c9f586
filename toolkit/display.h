// toolkit/display.h: a window's text colours, border colour and display mode.
#pragma once

#include <cstdint>

// Sets the foreground nibble of TextColor (and RGBColor) to the low 4 bits of index.
void t_Color(uint8_t win, int64_t index);

// Sets RGBColorBorder and the platform window's background to palette entry index & 15.
void t_ColorBorder(uint8_t win, int64_t index);

// Sets TextDisplayMode (0 plain, 1-4 translations, 99 next character is a command).
void t_DisplayMode(uint8_t win, int64_t mode);
