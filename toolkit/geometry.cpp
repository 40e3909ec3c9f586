// toolkit/geometry.cpp: the window-level operations.
#include "toolkit/geometry.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "toolkit/platform_windows.h"
#include "toolkit/window.h"

#include <cmath>
#include <optional>

namespace {

constexpr uint8_t LAST_WINDOW_NUMBER = 12;

bool is_graphic(uint8_t win)
{
    return win < WINDOW_COUNT;
}

bool is_text_window(uint8_t win)
{
    return win == platform::PASTEBOARD_WINDOW || win == platform::PRINTER_WINDOW ||
           win == platform::CONSOLE_WINDOW;
}

// Shared fence of the window-level operations. Numbers beyond the last platform window
// are ignored silently; a missing platform window costs the "does not exist" line.
bool platform_window_ready(const char* op, uint8_t win)
{
    if (win > LAST_WINDOW_NUMBER)
        return false;
    if (!toolkit::platform_window_exists(win)) {
        diag_line(op, "Window does not exist.");
        return false;
    }
    return true;
}

int64_t truncate(double v)
{
    return static_cast<int64_t>(v);
}

std::string nil_text_window_message(uint8_t win)
{
    switch (win) {
    case platform::PASTEBOARD_WINDOW:
        return "Pasteboard window is nil, resource undefined.";
    case platform::PRINTER_WINDOW:
        return "Virtual printer window is nil, resource undefined.";
    default:
        return "System console window is nil, resource undefined.";
    }
}

} // namespace

int64_t t_WindowPos(uint8_t win, int64_t selector)
{
    if (!platform_window_ready("t_WindowPos", win))
        return 0;
    const platform::Rect frame = toolkit::platform_window(win).state.frame;
    const platform::Size screen = toolkit::display().screen;

    // The position selectors read the platform frame for every window.
    switch (selector) {
    case POS_X:
        return truncate(frame.x);
    case POS_TOP_DISTANCE:
        return truncate(screen.height - (frame.y + frame.height));
    case POS_SCREEN_WIDTH:
        return truncate(screen.width);
    case POS_SCREEN_HEIGHT:
        return truncate(screen.height);
    case POS_Y:
        return truncate(frame.y);
    default:
        break;
    }

    if (!is_graphic(win)) {
        // The shell's windows have no canvas; their content is the frame below the title bar.
        const int64_t title = TitleBarHeight;
        switch (selector) {
        case POS_CANVAS_WIDTH:
        case POS_FRAME_WIDTH:
            return truncate(frame.width);
        case POS_CANVAS_HEIGHT:
        case POS_FRAME_HEIGHT_NO_TITLE:
            return truncate(frame.height) - title;
        case POS_FRAME_HEIGHT:
            return truncate(frame.height);
        default:
            return 0;
        }
    }

    const t_Window& w = window_table[win];
    if (selector >= POS_FIRST_COLUMN && selector <= POS_TEXT_HEIGHT && !MemoryReady)
        return 0;
    const int64_t frame_width = w.Width + 2 * w.BorderWidth;
    const int64_t frame_height = w.Height + 2 * w.BorderHeight + w.TitleHeight;
    switch (selector) {
    case POS_FIRST_COLUMN:
        return w.TextFirstColumn;
    case POS_FIRST_LINE:
        return w.TextFirstLine;
    case POS_LAST_COLUMN:
        return w.TextLastColumn;
    case POS_LAST_LINE:
        return w.TextLastLine;
    case POS_AREA_WIDTH:
        return w.TextLastColumn - w.TextFirstColumn + 1;
    case POS_AREA_HEIGHT:
        return w.TextLastLine - w.TextFirstLine + 1;
    case POS_TEXT_WIDTH:
        return w.TextWidth;
    case POS_TEXT_HEIGHT:
        return w.TextHeight;
    case POS_CANVAS_WIDTH:
        return frame_width - 2 * w.BorderWidth;
    case POS_CANVAS_HEIGHT:
        return frame_height - w.TitleHeight - 2 * w.BorderHeight;
    case POS_FRAME_WIDTH:
        return frame_width;
    case POS_FRAME_HEIGHT_NO_TITLE:
        return frame_height - w.TitleHeight;
    case POS_FRAME_HEIGHT:
        return frame_height;
    case POS_TITLE_HEIGHT:
        return w.TitleHeight;
    case POS_BORDER_WIDTH:
        return w.BorderWidth;
    case POS_BORDER_HEIGHT:
        return w.BorderHeight;
    default:
        return 0;
    }
}

void t_WindowSize(uint8_t win, int64_t x, int64_t y, int64_t width, int64_t height)
{
    const char* op = "t_WindowSize";
    if (!platform_window_ready(op, win))
        return;
    if (is_graphic(win) && (!MemoryReady || !window_table[win].Initialized)) {
        diag_line(op, "Window #" + std::to_string(win) + " not initialized.");
        return;
    }
    if (x == -1)
        x = t_WindowPos(win, POS_X);
    if (y == -1)
        y = t_WindowPos(win, POS_Y);
    if (width == -1)
        width = t_WindowPos(win, POS_CANVAS_WIDTH);
    if (height == -1)
        height = t_WindowPos(win, POS_CANVAS_HEIGHT);

    const auto dx = static_cast<double>(x);
    const auto dy = static_cast<double>(y);
    const auto title = static_cast<double>(TitleBarHeight.load());
    if (is_graphic(win)) {
        const t_Window& w = window_table[win];
        const platform::Rect frame{
            dx, dy, static_cast<double>(width + 2 * w.BorderWidth),
            static_cast<double>(height + w.TitleHeight + 2 * w.BorderHeight)};
        const platform::Rect view{static_cast<double>(w.BorderWidth),
                                  static_cast<double>(w.BorderHeight), static_cast<double>(width),
                                  static_cast<double>(height)};
        toolkit::change_platform_window(win, [&](toolkit::PlatformWindow& p) {
            p.state.frame = frame;
            p.state.view_frame = view;
        });
        return;
    }
    toolkit::change_platform_window(win, [&](toolkit::PlatformWindow& p) {
        const auto w = static_cast<double>(width);
        const auto h = static_cast<double>(height);
        if (is_text_window(win))
            toolkit::size_text_window(p, dx, dy, w, h, title);
        else
            p.state.frame = {dx, dy, w, h + title};
    });
}

void t_WindowVisible(uint8_t win, bool visible)
{
    const char* op = "t_WindowVisible";
    if (!platform_window_ready(op, win))
        return;
    if (is_text_window(win) && toolkit::platform_window(win).kind != platform::WindowKind::Text) {
        diag_line(op, nil_text_window_message(win));
        return;
    }
    if (is_graphic(win)) {
        std::lock_guard lock(toolkit::video_mutex());
        t_Window& w = window_table[win];
        w.Visible = visible;
        if (!visible)
            w.UpdateDuration = 0;
    }
    if (visible && win == platform::PASTEBOARD_WINDOW) {
        std::optional<std::string> text;
        platform::show([&](platform::WindowSystem& ws) { text = ws.pasteboard_text(); });
        toolkit::set_window_text(win, text.value_or(""));
    }
    toolkit::change_platform_window(win,
                                    [&](toolkit::PlatformWindow& p) { p.state.visible = visible; });
}

void t_WindowFront(uint8_t win)
{
    if (!platform_window_ready("t_WindowFront", win))
        return;
    t_WindowVisible(win, true);
    toolkit::front_platform_window(win);
}

void t_WindowCenter(uint8_t win)
{
    if (!platform_window_ready("t_WindowCenter", win))
        return;
    const platform::Size screen = toolkit::display().screen;
    toolkit::change_platform_window(win, [&](toolkit::PlatformWindow& p) {
        p.state.frame.x = (screen.width - p.state.frame.width) / 2;
        p.state.frame.y = (screen.height - p.state.frame.height) / 2;
    });
}

void t_WindowTitle(uint8_t win, const std::string& title)
{
    if (!platform_window_ready("t_WindowTitle", win))
        return;
    toolkit::change_platform_window(win,
                                    [&](toolkit::PlatformWindow& p) { p.state.title = title; });
}

void t_WindowTitleVisible(uint8_t win, bool visible)
{
    if (!platform_window_ready("t_WindowTitleVisible", win))
        return;
    toolkit::change_platform_window(
        win, [&](toolkit::PlatformWindow& p) { p.state.title_bar_visible = visible; });
    if (is_graphic(win))
        window_table[win].TitleHeight = visible ? TitleBarHeight.load() : 0;
}

void t_FullArea(uint8_t win)
{
    if (!toolkit::window_ready("t_FullArea", win))
        return;
    t_Window& w = window_table[win];
    w.TextFirstColumn = 1;
    w.TextLastColumn = w.TextWidth;
    w.TextFirstLine = 1;
    w.TextLastLine = w.TextHeight;
}
