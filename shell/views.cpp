// shell/views.cpp: view forwarding, mouse events and drawing of the graphic windows.
#include "shell/views.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "shell/startup.h"
#include "toolkit/render.h"
#include "toolkit/window.h"

#include <mutex>
#include <string>

std::atomic<bool> MousePending{false};
std::atomic<bool> LeftButtonDown{false};
std::atomic<bool> RightButtonDown{false};

namespace {

constexpr int64_t MOUSE_EVENT_KIND = 2;
// Stands in for the click coordinates when no window could take the click.
constexpr int64_t NO_CLICK = -3;
// The view whose drawing paces the auto-update thread through VerticalBlank.
constexpr uint8_t PACED_VIEW = 0;

std::mutex mouse_mutex;
std::vector<t_Event> mouse_events;   // guarded by mouse_mutex
std::function<void()> mouse_handler; // guarded by mouse_mutex

bool bit(uint64_t word, int n)
{
    return (word >> n) & 1;
}

// The mouse-handler runner, on a thread of its own.
void run_mouse_handler()
{
    if (CurrentThreadNumber() > 2)
        platform::set_current_thread_name("t_EventMouse");
    std::function<void()> handler;
    {
        std::lock_guard lock(mouse_mutex);
        handler = mouse_handler;
    }
    if (handler)
        handler();
}

t_Event mouse_event(uint8_t window, const platform::MouseReport& report, double x, double y)
{
    const t_Window& w = window_table[window];
    t_Event e;
    e.Kind = MOUSE_EVENT_KIND;
    e.Index = static_cast<int64_t>(report.buttons);
    e.Value = 0;
    e.WindowX = static_cast<int64_t>(x);
    e.WindowY = static_cast<int64_t>(y);
    e.ClickX = ClickCoordinate(e.WindowX - w.BorderWidth, w.Width);
    e.ClickY = ClickCoordinate(w.Height - e.WindowY + w.BorderHeight, w.Height);
    e.Mods = static_cast<int64_t>((report.modifiers >> 16) & 0xFFFF);
    e.Window = window;
    e.Time = toolkit::now_ms();
    e.CloseBox = false;
    e.CapsLockPressed = bit(report.modifiers, 16);
    e.ShiftPressed = bit(report.modifiers, 17);
    e.ControlPressed = bit(report.modifiers, 18);
    e.OptionPressed = bit(report.modifiers, 19);
    e.CommandPressed = bit(report.modifiers, 20);
    e.NumericPadPressed = bit(report.modifiers, 21);
    e.HelpPressed = bit(report.modifiers, 22);
    e.FnPressed = false;
    e.CursorKeyPressed = false;
    // On a click the Fn modifier is reported as a function key, not as Fn.
    e.FunctionKeyPressed = bit(report.modifiers, 23);
    return e;
}

// Layer contents and a drawn image look the same to a backend, which scales by the
// window's backing factor itself, so both drawing paths share this.
void draw(uint8_t window)
{
    if (window >= WINDOW_COUNT || !MemoryReady)
        return; // the base view draws itself
    t_Window& w = window_table[window];
    const bool paced = window == PACED_VIEW;
    if (paced)
        w.VerticalBlank = false;
    platform::Frame frame = t_WindowFrame(window);
    // Without an image the view keeps what it showed.
    if (frame.image)
        platform::window_system().present_frame(window, frame);
    if (paced)
        w.VerticalBlank = true;
}

} // namespace

void SetMouseHandler(std::function<void()> handler)
{
    std::lock_guard lock(mouse_mutex);
    mouse_handler = std::move(handler);
}

std::vector<t_Event> MouseEvents()
{
    std::lock_guard lock(mouse_mutex);
    return mouse_events;
}

int64_t MouseEventCount()
{
    std::lock_guard lock(mouse_mutex);
    return static_cast<int64_t>(mouse_events.size());
}

void viewKeyDown(uint8_t window, const platform::KeyReport& report)
{
    PostKeyDown(window, report.key_code, report.characters, report.modifiers);
}

void viewKeyUp(uint8_t, const platform::KeyReport&)
{
    PostKeyUp();
}

void viewFlagsChanged(uint64_t modifiers)
{
    PostModifiers(modifiers);
}

int64_t ClickCoordinate(int64_t position, int64_t extent)
{
    if (position < 0)
        return -1;
    if (position >= extent)
        return -2;
    return position;
}

void viewMouseDown(uint8_t window, const platform::MouseReport& report, bool right)
{
    if (MemoryReady && window < WINDOW_COUNT) {
        const t_Window& w = window_table[window];
        if (!w.Initialized)
            diag_line("viewMouseDown",
                      "Graphic window (" + std::to_string(window) + ") not initialized.");
        else if (!w.IgnoreEvents)
            t_MouseEventHandler(window, report, report.x, report.y);
    }
    LeftButtonDown = !right;
    RightButtonDown = right;
}

void viewMouseUp(uint8_t, const platform::MouseReport&)
{
    LeftButtonDown = false;
    RightButtonDown = false;
}

void t_MouseEventHandler(int32_t window, const platform::MouseReport& report, double x, double y)
{
    const char* op = "t_MouseEventHandler";
    std::string name;
    int64_t click_x = NO_CLICK;
    int64_t click_y = NO_CLICK;
    if (window < 0 || window >= WINDOW_COUNT) {
        diag_line(op, "Unknown window, AbsX = " + std::to_string(static_cast<int64_t>(x)) +
                          ", AbsY = " + std::to_string(static_cast<int64_t>(y)));
    } else if (!MemoryReady || !window_table[static_cast<size_t>(window)].Initialized) {
        diag_line(op, "Window #" + std::to_string(window) + " not initialized.");
    } else {
        t_Event e = mouse_event(static_cast<uint8_t>(window), report, x, y);
        click_x = e.ClickX;
        click_y = e.ClickY;
        std::lock_guard lock(mouse_mutex);
        mouse_events.push_back(std::move(e));
        name = "Graphic #" + std::to_string(window);
    }
    diag_line(op, name + " window, X = " + std::to_string(click_x) +
                      ", Y = " + std::to_string(click_y));
    {
        std::lock_guard lock(mouse_mutex);
        MousePending = !mouse_events.empty();
    }
    RunAsync(run_mouse_handler);
    diag_line(op, "Calling program mouse handler asynchronously.");
}

bool wantsUpdateLayer(uint8_t window)
{
    return MemoryReady && window < WINDOW_COUNT && window_table[window].Initialized &&
           window_table[window].QuickUpdate;
}

void updateLayer(uint8_t window)
{
    draw(window);
}

void drawRect(uint8_t window)
{
    draw(window);
}

void viewDraw(uint8_t window)
{
    if (wantsUpdateLayer(window))
        updateLayer(window);
    else
        drawRect(window);
}

void ResetMouse()
{
    std::lock_guard lock(mouse_mutex);
    mouse_events.clear();
    mouse_handler = nullptr;
    MousePending = false;
    LeftButtonDown = false;
    RightButtonDown = false;
}
