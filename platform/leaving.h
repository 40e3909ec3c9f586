// platform/leaving.h: the signals that ask the process to leave (SIGINT, SIGTERM, SIGHUP),
// turned into an ordinary call on a thread of their own, so leaving by signal runs the same
// clean-up as leaving by the menu.
#pragma once

#include <functional>

namespace platform {

// Blocks the leaving signals in the calling thread, and so in every thread made after it,
// and starts a thread that waits for them and calls on_signal(signal number) for each.
// Call from main before any other thread exists; a second call does nothing.
void watch_leaving_signals(std::function<void(int)> on_signal);

// Ends the process as the signal would have ended it (status and all).
[[noreturn]] void end_by_signal(int signal_number);

} // namespace platform
