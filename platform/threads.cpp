// platform/threads.cpp: named, numbered threads and the hand-off to the event thread.
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/event_thread.h"
#include "platform/platform.h"
#include "platform/window_system.h"

namespace platform {

namespace {

constexpr int64_t EVENT_THREAD_NUMBER = 1;
constexpr int64_t ASYNC_STACK_BYTES = 8 * 1024 * 1024;
constexpr int64_t HELPER_STACK_BYTES = 8 * 1024 * 1024;
// Linux keeps 16 bytes for a thread's name, the terminating zero included.
constexpr size_t OS_NAME_BYTES = 15;

std::atomic<int64_t> next_thread_number{2};

thread_local int64_t own_number = 0; // 0 until the thread first runs through us or asks
thread_local bool serving_events = false;
thread_local std::string own_name;

void take_number()
{
    if (own_number == 0)
        own_number = next_thread_number.fetch_add(1);
}

// How a new thread starts: as the event thread, as a numbered thread of the program, or as
// a named helper of the platform that takes a number only if it asks.
enum class Role { EventThread, Numbered, NamedHelper };

struct ThreadStart {
    std::function<void()> body;
    Role role = Role::Numbered;
    std::string name;
};

void* thread_entry(void* arg)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
    if (start->role == Role::EventThread)
        become_event_thread();
    else if (start->role == Role::Numbered)
        take_number();
    if (!start->name.empty())
        set_current_thread_name(start->name);
    std::function<void()> body = std::move(start->body);
    start.reset();
    body();
    return nullptr;
}

// False when no thread could be made; the body has not run then.
bool launch(int64_t stack_bytes, std::function<void()> body, Role role, std::string name = {})
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack_bytes >= static_cast<int64_t>(PTHREAD_STACK_MIN)) {
        // A size the system refuses leaves its default, which is still a working thread.
        pthread_attr_setstacksize(&attr, static_cast<size_t>(stack_bytes));
    }
    auto* start = new ThreadStart{std::move(body), role, std::move(name)};
    pthread_t thread;
    int error = pthread_create(&thread, &attr, thread_entry, start);
    if (error != 0 && stack_bytes >= static_cast<int64_t>(PTHREAD_STACK_MIN)) {
        // The requested stack could not be mapped; run the body on a default stack instead.
        pthread_attr_destroy(&attr);
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        error = pthread_create(&thread, &attr, thread_entry, start);
    }
    pthread_attr_destroy(&attr);
    if (error != 0) {
        // No thread at all: the process cannot carry on meaningfully, but must not lose the
        // work silently either.
        std::fprintf(stderr, "start_thread: Thread could not be created (%d).\n", error);
        delete start;
        return false;
    }
    return true;
}

// One waited-for hand-off: the event thread runs the work and reports completion.
struct Handoff {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false; // guarded by mutex
};

} // namespace

void become_event_thread() { serving_events = true; }

void leave_event_thread() { serving_events = false; }

void start_event_thread(int64_t stack_bytes, std::function<void()> body)
{
    launch(stack_bytes, std::move(body), Role::EventThread);
}

void start_thread(int64_t stack_bytes, std::function<void()> body)
{
    launch(stack_bytes, std::move(body), Role::Numbered);
}

void start_named_thread(std::string name, std::function<void()> body)
{
    launch(HELPER_STACK_BYTES, std::move(body), Role::NamedHelper, std::move(name));
}

void run_beside(std::string name, const std::function<void()>& beside,
                const std::function<void()>& here)
{
    Handoff done;
    const bool started = launch(HELPER_STACK_BYTES,
                                [&] {
                                    beside();
                                    std::lock_guard lock(done.mutex);
                                    done.done = true;
                                    done.done_cv.notify_all();
                                },
                                Role::NamedHelper, std::move(name));
    here();
    if (!started) {
        beside(); // no second thread: the work still gets done, one part after the other
        return;
    }
    std::unique_lock lock(done.mutex);
    done.done_cv.wait(lock, [&] { return done.done; });
}

void exit_current_thread() { pthread_exit(nullptr); }

void set_current_thread_name(std::string_view name)
{
    own_name = std::string(name);
    std::string os_name = own_name.substr(0, OS_NAME_BYTES);
    pthread_setname_np(pthread_self(), os_name.c_str());
}

std::string current_thread_name() { return own_name; }

int64_t current_thread_number()
{
    if (serving_events)
        return EVENT_THREAD_NUMBER;
    take_number();
    return own_number;
}

bool is_event_thread() { return serving_events; }

void name_helper_thread(std::string_view name)
{
    if (current_thread_number() > 2)
        set_current_thread_name(name);
}

void run_on_event_thread(std::function<void()> work, bool wait)
{
    if (serving_events) {
        work();
        return;
    }
    if (!wait) {
        window_system().post_to_event_thread(std::move(work));
        return;
    }
    auto handoff = std::make_shared<Handoff>();
    window_system().post_to_event_thread([handoff, work = std::move(work)] {
        work();
        std::lock_guard lock(handoff->mutex);
        handoff->done = true;
        handoff->done_cv.notify_all();
    });
    std::unique_lock lock(handoff->mutex);
    handoff->done_cv.wait(lock, [&] { return handoff->done; });
}

void run_async(std::function<void()> work) { start_thread(ASYNC_STACK_BYTES, std::move(work)); }

} // namespace platform
