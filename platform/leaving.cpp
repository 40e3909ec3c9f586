// platform/leaving.cpp: a thread in sigwait instead of an asynchronous handler, so what the
// signal starts may take locks and post to the event thread.
#include "platform/leaving.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace platform {

namespace {

sigset_t leaving_set()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void watch_leaving_signals(std::function<void(int)> on_signal)
{
    static std::atomic<bool> watching{false};
    if (watching.exchange(true))
        return;
    const sigset_t set = leaving_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, on_signal = std::move(on_signal)] {
        for (;;) {
            int signal_number = 0;
            if (sigwait(&set, &signal_number) == 0 && on_signal)
                on_signal(signal_number);
        }
    }).detach();
}

void end_by_signal(int signal_number)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal_number);
    // The signal is blocked in every thread; a raise pends until this thread lets it in.
    raise(signal_number);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    _exit(128 + signal_number);
}

} // namespace platform
