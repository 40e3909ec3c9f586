// toolkit/geometry.cpp: the window-level operations.
#include "toolkit/geometry.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "toolkit/window.h"

#include <cmath>

namespace {

constexpr uint8_t LAST_WINDOW_NUMBER = 12;
// The shell's text windows keep their scroll view this much smaller than the content.
constexpr double SCROLL_INSET_WIDTH = 40;
constexpr double SCROLL_INSET_HEIGHT = 77;

bool is_graphic(uint8_t win)
{
    return win < WINDOW_COUNT;
}

bool is_text_window(uint8_t win)
{
    return win == platform::PASTEBOARD_WINDOW || win == platform::PRINTER_WINDOW ||
           win == platform::CONSOLE_WINDOW;
}

bool window_exists(uint8_t win)
{
    bool exists = false;
    platform::on_event_thread([&] { exists = platform::window_system().window_exists(win); });
    return exists;
}

// Shared fence of the window-level operations. Numbers beyond the last platform window
// are ignored silently; a missing platform window costs the "does not exist" line.
bool platform_window_ready(const char* op, uint8_t win)
{
    if (win > LAST_WINDOW_NUMBER)
        return false;
    if (!window_exists(win)) {
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
    platform::Rect frame;
    platform::Size screen;
    platform::on_event_thread([&] {
        auto& ws = platform::window_system();
        frame = ws.window_frame(win);
        screen = ws.screen_size();
    });

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
    if (is_graphic(win)) {
        const t_Window& w = window_table[win];
        const platform::Rect frame{
            dx, dy, static_cast<double>(width + 2 * w.BorderWidth),
            static_cast<double>(height + w.TitleHeight + 2 * w.BorderHeight)};
        const platform::Rect view{static_cast<double>(w.BorderWidth),
                                  static_cast<double>(w.BorderHeight), static_cast<double>(width),
                                  static_cast<double>(height)};
        platform::on_event_thread([&] {
            auto& ws = platform::window_system();
            ws.set_window_frame(win, frame, true);
            ws.set_view_frame(win, view);
        });
        return;
    }

    const auto title = static_cast<double>(TitleBarHeight.load());
    platform::on_event_thread([&] {
        auto& ws = platform::window_system();
        double w = static_cast<double>(width);
        double h = static_cast<double>(height);
        if (!is_text_window(win)) {
            ws.set_window_frame(win, {dx, dy, w, h + title}, true);
            return;
        }
        const platform::Rect scroll = ws.scroll_view_frame(win);
        if (w <= 0)
            w = scroll.width + SCROLL_INSET_WIDTH;
        if (h <= 0)
            h = scroll.height + SCROLL_INSET_HEIGHT;
        ws.set_window_frame(win, {dx, dy, w, h + title}, true);
        if (ws.window_visible(win))
            ws.show_window(win); // ordered front, without taking the key window
        ws.set_scroll_view_frame(
            win, {scroll.x, scroll.y, w - SCROLL_INSET_WIDTH, h - SCROLL_INSET_HEIGHT});
    });
}

void t_WindowVisible(uint8_t win, bool visible)
{
    const char* op = "t_WindowVisible";
    if (!platform_window_ready(op, win))
        return;
    if (is_text_window(win)) {
        bool has_view = false;
        platform::on_event_thread([&] { has_view = platform::window_system().has_text_view(win); });
        if (!has_view) {
            diag_line(op, nil_text_window_message(win));
            return;
        }
    }
    if (is_graphic(win)) {
        std::lock_guard lock(toolkit::video_mutex());
        t_Window& w = window_table[win];
        w.Visible = visible;
        if (!visible)
            w.UpdateDuration = 0;
    }
    platform::on_event_thread([&] {
        auto& ws = platform::window_system();
        if (visible && win == platform::PASTEBOARD_WINDOW) {
            ws.set_text(win, ws.pasteboard_text().value_or(""));
            ws.mark_text_for_redraw(win);
        }
        if (visible)
            ws.show_window(win);
        else
            ws.hide_window(win);
    });
}

void t_WindowFront(uint8_t win)
{
    if (!platform_window_ready("t_WindowFront", win))
        return;
    t_WindowVisible(win, true);
    platform::on_event_thread([&] { platform::window_system().bring_to_front(win); });
}

void t_WindowCenter(uint8_t win)
{
    if (!platform_window_ready("t_WindowCenter", win))
        return;
    platform::on_event_thread([&] { platform::window_system().center_window(win); });
}

void t_WindowTitle(uint8_t win, const std::string& title)
{
    if (!platform_window_ready("t_WindowTitle", win))
        return;
    platform::on_event_thread([&] { platform::window_system().set_window_title(win, title); });
}

void t_WindowTitleVisible(uint8_t win, bool visible)
{
    if (!platform_window_ready("t_WindowTitleVisible", win))
        return;
    platform::on_event_thread(
        [&] { platform::window_system().set_title_bar_visible(win, visible); });
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
