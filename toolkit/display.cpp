// toolkit/display.cpp: colour operations and the display mode.
#include "toolkit/display.h"

#include "platform/window_system.h"
#include "toolkit/platform_windows.h"
#include "toolkit/window.h"

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
    toolkit::change_platform_window(
        win, [&](toolkit::PlatformWindow& p) { p.state.background = colour; });
}

void t_DisplayMode(uint8_t win, int64_t mode)
{
    if (!toolkit::window_ready("t_DisplayMode", win))
        return;
    window_table[win].TextDisplayMode = mode;
}
