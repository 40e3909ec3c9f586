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
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [&] { return !tasks_.empty() || quit_requested_; });
            if (tasks_.empty()) {
                serving_ = false;
                quit_requested_ = false;
                leave_event_thread();
                cv_.notify_all();
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

void EventLoop::run(std::function<void()> launch)
{
    bool own_loop = false;
    {
        std::lock_guard lock(mutex_);
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
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return !serving_; });
}

void EventLoop::quit(std::function<void()> last)
{
    std::lock_guard lock(mutex_);
    // The last task runs after whatever was queued before it.
    tasks_.push_back(std::move(last));
    ensure_thread();
    quit_requested_ = true;
    cv_.notify_all();
}

void EventLoop::post(std::function<void()> work)
{
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(work));
    ensure_thread();
    cv_.notify_all();
}

} // namespace platform
