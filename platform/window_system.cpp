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

void show(const std::function<void(WindowSystem&)>& call)
{
    run_on_event_thread([&] { call(window_system()); }, true);
}

} // namespace platform
