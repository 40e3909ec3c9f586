// platform/window_system.cpp: which backend is active, and the two ways across the seam.
#include "platform/window_system.h"

#include "platform/platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

std::atomic<WindowSystem*> active_backend{nullptr};
std::atomic<WindowSystem*> default_backend{nullptr};

} // namespace

WindowSystem& window_system()
{
    if (WindowSystem* backend = active_backend.load())
        return *backend;
    if (WindowSystem* backend = default_backend.load())
        return *backend;
    // Only a program built without any backend gets here; there is nothing to draw with.
    std::fputs("window_system: No window system linked.\n", stderr);
    std::abort();
}

void set_window_system(WindowSystem* backend) { active_backend.store(backend); }

void set_default_window_system(WindowSystem* backend) { default_backend.store(backend); }

void WindowSystem::deliver(const std::function<void(const WindowEvents&)>& report)
{
    run_on_event_thread([&] { report(events()); }, true);
}

void WindowSystem::report_display(const Display& display)
{
    deliver([&](const WindowEvents& e) {
        if (e.display_changed)
            e.display_changed(display);
    });
}

void WindowSystem::report_launch(const Display& display)
{
    deliver([&](const WindowEvents& e) {
        if (e.display_changed)
            e.display_changed(display);
        if (e.will_finish_launching)
            e.will_finish_launching();
        if (e.did_finish_launching)
            e.did_finish_launching();
        if (e.active_changed)
            e.active_changed(true);
    });
}

void WindowSystem::report_termination()
{
    deliver([](const WindowEvents& e) {
        if (e.will_terminate)
            e.will_terminate();
    });
}

void WindowSystem::report_key(const KeyReport& report, bool down)
{
    deliver([&](const WindowEvents& e) {
        if (const auto& key = down ? e.key_down : e.key_up)
            key(report);
    });
}

void WindowSystem::report_modifiers(uint64_t modifiers)
{
    deliver([&](const WindowEvents& e) {
        if (e.modifiers_changed)
            e.modifiers_changed(modifiers);
    });
}

void WindowSystem::report_mouse(const MouseReport& report, Mouse what)
{
    deliver([&](const WindowEvents& e) {
        const auto& mouse = what == Mouse::Down ? e.mouse_down
                            : what == Mouse::Up ? e.mouse_up
                                                : e.mouse_dragged;
        if (mouse)
            mouse(report);
    });
}

void WindowSystem::report_menu_choice(const MenuChoice& choice)
{
    deliver([&](const WindowEvents& e) {
        if (e.menu_chosen)
            e.menu_chosen(choice);
    });
}

void WindowSystem::report_close_box(uint8_t window)
{
    deliver([&](const WindowEvents& e) {
        if (e.close_box)
            e.close_box(window);
    });
}

void WindowSystem::report_resize(uint8_t window, const Rect& frame)
{
    deliver([&](const WindowEvents& e) {
        if (e.window_resized)
            e.window_resized(window, frame);
    });
}

void WindowSystem::report_activation(uint8_t window)
{
    deliver([&](const WindowEvents& e) {
        if (e.window_activated)
            e.window_activated(window);
    });
}

void WindowSystem::report_pasteboard_changed()
{
    deliver([](const WindowEvents& e) {
        if (e.pasteboard_changed)
            e.pasteboard_changed();
    });
}

void show(const std::function<void(WindowSystem&)>& call)
{
    run_on_event_thread([&] { call(window_system()); }, true);
}

} // namespace platform
