// platform/qt/desktop.h: starting the desktop backend, for callers that must not see Qt.
#pragma once

#include "platform/window_system.h"

namespace platform::qt {

// A display to open windows on: DISPLAY or WAYLAND_DISPLAY is set, or Qt was told which
// platform plugin to use (QT_QPA_PLATFORM, as the tests' offscreen runs do).
bool display_available();

// Creates the Qt application on the calling thread, which becomes the event thread, and the
// backend that runs it; nullptr when no connection to the display can be made. Owned by the
// process (never destroyed). Standard output and standard error are copied into the system
// console from here on.
WindowSystem* start_desktop(int& argc, char** argv);

// Flushes what the console capture still holds to the real standard streams; call before
// the process ends.
void finish_desktop();

} // namespace platform::qt
