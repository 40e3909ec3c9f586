// platform/headless/headless.h: the window system of tests and of runs without a display:
// the window store as it is, nothing drawn anywhere.
#pragma once

#include "platform/window_store.h"

namespace platform {

class HeadlessWindowSystem final : public WindowStore {};

// The process's headless backend. Linked into a program, it serves as the window system
// until another backend is installed.
HeadlessWindowSystem& headless();
// For test fixtures: headless().reset().
void headless_reset();

} // namespace platform
