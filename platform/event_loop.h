// platform/event_loop.h: for backends: the event thread of a backend without an event loop
// of its own (headless, terminal), a queue of tasks served in order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace platform {

class EventLoop {
  public:
    // Serves the queue on the calling thread, which becomes the event thread, until quit()
    // and the tasks queued before it have run; `launch` runs first. When a background event
    // thread already serves the queue (post() started one), `launch` runs there and the
    // caller waits for the quit, as a desktop's main thread would.
    void run(std::function<void()> launch);
    // Any thread: queues `last` as the final task; the loop ends after it.
    void quit(std::function<void()> last);
    // Any thread: queues work without waiting; starts a background event thread when none
    // serves the queue, so a backend works before (and without) run().
    void post(std::function<void()> work);

  private:
    void ensure_thread(); // caller holds mutex_
    void serve();

    std::mutex mutex_;
    std::condition_variable cv_;
    struct Task {
        std::function<void()> work;
        bool ends_loop = false; // the task quit() queued
    };
    std::deque<Task> tasks_;  // guarded by mutex_
    bool serving_ = false;    // a thread runs the queue; guarded by mutex_
    int64_t quits_ = 0;       // quits served so far; guarded by mutex_
};

} // namespace platform
