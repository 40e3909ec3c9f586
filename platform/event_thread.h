// platform/event_thread.h: for backends only; which thread serves the event queue.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// The calling thread becomes the event thread (number 1) until it leaves.
void become_event_thread();
void leave_event_thread();

// Starts a detached thread that runs body as the event thread, without taking a number
// of its own first, so the numbering of the other threads has no gap.
void start_event_thread(int64_t stack_bytes, std::function<void()> body);

} // namespace platform
