// platform/event_loop.cpp: the task queue of the headless and terminal event threads.
#include "platform/event_loop.h"

#include "platform/event_thread.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr int64_t EVENT_THREAD_STACK_BYTES = 8 * 1024 * 1024;

} // namespace

void EventLoop::ensure_thread()
{
    if (serving_)
        return;
    serving_ = true;
    start_event_thread(EVENT_THREAD_STACK_BYTES, [this] { serve(); });
}

void EventLoop::serve()
{
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [&] { return !tasks_.empty(); });
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task.work();
        if (task.ends_loop) {
            std::lock_guard lock(mutex_);
            serving_ = false;
            ++quits_;
            leave_event_thread();
            // The loop ends at its quit even while others keep posting; what they posted
            // after it gets an event thread of its own, as a post after the end would.
            if (!tasks_.empty())
                ensure_thread();
            cv_.notify_all();
            return;
        }
    }
}

void EventLoop::run(std::function<void()> launch)
{
    bool own_loop = false;
    int64_t quits = 0;
    {
        std::lock_guard lock(mutex_);
        quits = quits_;
        if (!serving_) {
            serving_ = true;
            own_loop = true;
        }
    }
    if (own_loop) {
        become_event_thread();
        launch();
        serve();
        return;
    }
    post(std::move(launch));
    // A task posted after the quit may start a new event thread at once, so the loop has
    // ended when a quit was served, not when no thread serves.
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return quits_ != quits; });
}

void EventLoop::quit(std::function<void()> last)
{
    std::lock_guard lock(mutex_);
    // The last task runs after whatever was queued before it.
    tasks_.push_back({std::move(last), true});
    ensure_thread();
    cv_.notify_all();
}

void EventLoop::post(std::function<void()> work)
{
    std::lock_guard lock(mutex_);
    tasks_.push_back({std::move(work)});
    ensure_thread();
    cv_.notify_all();
}

} // namespace platform
