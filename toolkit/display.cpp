// toolkit/display.cpp: palette, colour operations and the display-mode translation.
#include "toolkit/display.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "toolkit/window.h"

const std::array<t_RGBColor, 16> Palette = {{
    {255, 0x00, 0x00, 0x00}, // black
    {255, 0xFF, 0x00, 0x00}, // red
    {255, 0x00, 0x00, 0x80}, // dark blue
    {255, 0xFF, 0x00, 0xFF}, // purple
    {255, 0x00, 0x80, 0x00}, // dark green
    {255, 0x54, 0x54, 0x54}, // dark grey
    {255, 0x00, 0x00, 0xFF}, // blue
    {255, 0x00, 0x80, 0xFF}, // light blue
    {255, 0x80, 0x40, 0x00}, // brown
    {255, 0xFF, 0x80, 0x00}, // orange
    {255, 0xA8, 0xA8, 0xA8}, // grey
    {255, 0xFF, 0x80, 0x80}, // pink
    {255, 0x00, 0xFF, 0x00}, // green
    {255, 0xFF, 0xFF, 0x00}, // yellow
    {255, 0x00, 0xFF, 0xFF}, // aqua
    {255, 0xFF, 0xFF, 0xFF}, // white
}};

namespace {

constexpr int64_t MODE_COMMAND = 99;
constexpr int64_t CODE_COMMAND_DONE = -1;
constexpr int64_t CODE_REFUSED = -2;
constexpr uint32_t ATTRIBUTES_REFUSED = 0xF000;

// Tab to the next stop of `stop` columns, or to the next line when it lies beyond the area.
void tab_to_stop(uint8_t win, int64_t stop)
{
    t_Window& w = window_table[win];
    int64_t target = (w.TextHpos / stop) * stop + stop + 1;
    if (w.TextWidth - w.TextFirstColumn + 1 < target) {
        t_ClearEndOfLine(win);
        t_Cr(win);
    } else {
        t_PrintTab(win, target, 0x20);
    }
}

// Carries out the character after an Escape; returns the code to draw and the colour byte.
int64_t run_command(uint8_t win, int64_t c, uint8_t& colour)
{
    t_Window& w = window_table[win];
    bool done = true;
    if (c >= 0x40 && c <= 0x4F) {
        colour = static_cast<uint8_t>((colour & 0x0F) | ((c & 0x0F) << 4));
    } else if (c >= 0x50 && c <= 0x5F) {
        colour = static_cast<uint8_t>((colour & 0xF0) + (c - 0x50));
    } else if (c == 0x65) {
        t_CursorEnd(win);
    } else if (c == 0x66) {
        t_Htab(win, w.TextWidth - w.TextFirstColumn + 1);
    } else if (c == 0x69) {
        tab_to_stop(win, 10);
    } else if (c == 0x6A) {
        tab_to_stop(win, 20);
    } else if (c == 0x6B) {
        tab_to_stop(win, 40);
    } else if (c >= 0x6E && c <= 0x7F) {
        t_ColorBorder(win, c - 0x6E);
    } else {
        done = false;
    }
    if (!done)
        return c;
    w.TextDisplayMode = 0;
    return CODE_COMMAND_DONE;
}

} // namespace

t_RGBColor PaletteColor(int64_t index)
{
    if (index < 0 || index > 15)
        return t_RGBColor{255, 0, 0, 0};
    return Palette[static_cast<size_t>(index)];
}

void t_Color(uint8_t win, int64_t index)
{
    if (!toolkit::window_ready("t_Color", win))
        return;
    t_Window& w = window_table[win];
    w.TextColor = static_cast<uint8_t>((w.TextColor & 0x0F) | ((index * 16) & 0xF0));
    w.RGBColor = PaletteColor(index & 15);
}

void t_ColorBorder(uint8_t win, int64_t index)
{
    if (!toolkit::window_ready("t_ColorBorder", win))
        return;
    t_Window& w = window_table[win];
    w.RGBColorBorder = PaletteColor(index & 15);
    const platform::Color colour{w.RGBColorBorder.Red / 255.0, w.RGBColorBorder.Green / 255.0,
                                 w.RGBColorBorder.Blue / 255.0, w.RGBColorBorder.Alpha / 255.0};
    platform::run_on_event_thread(
        [win, colour] { platform::window_system().set_background_color(win, colour); }, true);
}

void t_DisplayMode(uint8_t win, int64_t mode)
{
    if (!toolkit::window_ready("t_DisplayMode", win))
        return;
    window_table[win].TextDisplayMode = mode;
}

t_MappedCode t_ApplyDisplayMode(uint8_t win, int64_t code)
{
    if (!toolkit::text_window_ready("t_ApplyDisplayMode", win))
        return {CODE_REFUSED, ATTRIBUTES_REFUSED};
    t_Window& w = window_table[win];
    const uint32_t inverse = w.TextInverse ? 1u : 0u;
    uint8_t colour = w.TextColor;
    int64_t c = code;
    switch (w.TextDisplayMode) {
    case 1:
        if (c >= 0x20 && c <= 0x7F)
            c += 0x80;
        break;
    case 2:
        if (c >= 0x60 && c <= 0x7F)
            c += 0x20;
        else if (c >= 0x40 && c <= 0x5F)
            c -= 0x40;
        break;
    case 3:
        if (c <= 0x1F) {
            t_Inverse(win);
            c += 0x40;
        }
        break;
    case 4:
        if (c <= 0x1F) {
            t_Color(win, 1);
            c += 0x40;
        }
        break;
    case MODE_COMMAND:
        c = run_command(win, c, colour);
        break;
    default:
        break;
    }
    return {c, inverse | (static_cast<uint32_t>(colour) << 8)};
}
