// toolkit/window.cpp: the window table, the shared flags and the entry checks.
#include "toolkit/window.h"

#include "platform/diag.h"
#include "toolkit/platform_windows.h"
#include "toolkit/shell_hooks.h"

std::array<t_Window, WINDOW_COUNT> window_table;
std::atomic<bool> MemoryInitStarted{false};
std::atomic<bool> MemoryReady{false};
std::atomic<uint8_t> CurrentTextWindow{NO_TEXT_WINDOW};
std::atomic<int64_t> TitleBarHeight{0};
std::atomic<bool> AutoUpdateRunning{false};

namespace toolkit {

std::recursive_mutex& video_mutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

bool view_exists(uint8_t win)
{
    auto& hook = shell_hooks().find_view;
    if (hook)
        return hook(win);
    const PlatformWindow w = platform_window(win);
    return w.exists && w.kind == platform::WindowKind::Graphic;
}

bool window_ready(std::string_view op, uint8_t win)
{
    if (win >= WINDOW_COUNT) {
        diag_line(op, "Window is not a graphic window.");
        return false;
    }
    if (!MemoryReady || !window_table[win].Initialized) {
        diag_line(op, "Window #" + std::to_string(win) + " not initialized.");
        return false;
    }
    return true;
}

bool text_window_ready(std::string_view op, uint8_t win)
{
    if (win >= WINDOW_COUNT) {
        diag_line(op, "Window is not a graphic window.");
        return false;
    }
    if (!MemoryReady || !window_table[win].Initialized || window_table[win].TextMemoryStart < 0) {
        diag_line(op, "Window #" + std::to_string(win) + " not initialized.");
        return false;
    }
    return true;
}

int64_t output_redirect(uint8_t win)
{
    std::lock_guard lock(video_mutex());
    return window_table[win].TextRedirectOutput;
}

} // namespace toolkit
