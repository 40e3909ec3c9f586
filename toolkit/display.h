// toolkit/display.h: the fixed palette, text colours and display-mode translation.
#pragma once

#include <array>
#include <cstdint>

struct t_RGBColor {
    uint8_t Alpha = 255;
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    bool operator==(const t_RGBColor&) const = default;
};

// The 16 fixed colours (index 0 black, 5 dark grey, 12 green, 15 white).
extern const std::array<t_RGBColor, 16> Palette;

// Result of t_ApplyDisplayMode: the code to draw (-1 command, -2 refused) and the
// attributes (bit 0 inverse, bits 8 to 15 the colour byte) to restore afterwards.
struct t_MappedCode {
    int64_t Code = 0;
    uint32_t Attributes = 0;
};

// Palette entry with alpha 255; black for indexes above 15.
t_RGBColor PaletteColor(int64_t index);

// Sets the foreground nibble of TextColor (and RGBColor) to the low 4 bits of index.
void t_Color(uint8_t win, int64_t index);

// Sets RGBColorBorder and the platform window's background to palette entry index & 15.
void t_ColorBorder(uint8_t win, int64_t index);

// Sets TextDisplayMode (0 plain, 1-4 translations, 99 next character is a command).
void t_DisplayMode(uint8_t win, int64_t mode);

// Translates one code by the window's display mode; may run an Escape command.
t_MappedCode t_ApplyDisplayMode(uint8_t win, int64_t code);
