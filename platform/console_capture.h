// platform/console_capture.h: standard output and standard error captured for the system
// console. Every byte still goes where the process's output goes, and the same bytes are
// handed to the console's text.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Redirects standard output and standard error into pipes read by a thread of the platform.
// It writes every byte at once to destination_fd, or with -1 to the streams as they were
// before, and hands the text on (see set_console_consumer). False when the streams cannot be
// redirected; they are left as they were then.
bool start_console_capture(int destination_fd = -1);

// The consumer receives the captured text on the event thread, in the order it was written,
// in pieces of any size. Text captured while there is no consumer is kept for the next one.
void set_console_consumer(std::function<void(std::string)> consumer);

// Drops the captured text that has not reached the consumer yet (the console was cleared).
void discard_console_pending();

// Puts the streams back after the pipes are drained; call before the process ends.
void stop_console_capture();

} // namespace platform
