// toolkit/palette.h: the 16 fixed colours every window draws in.
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

// Palette entry with alpha 255; black for indexes above 15.
t_RGBColor PaletteColor(int64_t index);
