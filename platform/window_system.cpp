// platform/window_system.cpp: which backend is active.
#include "platform/window_system.h"

#include <atomic>

#include "platform/headless/headless.h"

namespace platform {

namespace {

std::atomic<WindowSystem*> active_backend{nullptr};

} // namespace

WindowSystem& window_system()
{
    WindowSystem* backend = active_backend.load();
    return backend ? *backend : headless();
}

void set_window_system(WindowSystem* backend) { active_backend.store(backend); }

} // namespace platform
