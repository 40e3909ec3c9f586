// platform/headless/headless.cpp: the headless backend and its place as the default.
#include "platform/headless/headless.h"

namespace platform {

HeadlessWindowSystem& headless()
{
    // Never destroyed: its event thread may still be serving while the process exits.
    static auto* instance = new HeadlessWindowSystem;
    return *instance;
}

void headless_reset()
{
    headless().reset();
}

namespace {

// Runs at start-up wherever this file is linked in, which is wherever headless() is used.
const bool installed_as_default = [] {
    set_default_window_system(&headless());
    return true;
}();

} // namespace

} // namespace platform
