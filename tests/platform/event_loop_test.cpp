// The event loop of the headless and terminal backends.
#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr auto BOUND = std::chrono::seconds(10);

// A task posted just after the quit starts a new event thread; run() used to wait for "no
// thread serves", which that thread never gave, and the terminal hung after Ctrl-C.
TEST(EventLoop, RunReturnsAfterTheQuitThoughLaterTasksStartANewThread)
{
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        // Never destroyed, but kept reachable: a thread a late task started still waits on
        // it when the process ends, and destroying a condition variable with a waiter blocks.
        static auto* loops = new std::vector<platform::EventLoop*>;
        platform::EventLoop* loop = loops->emplace_back(new platform::EventLoop);
        std::atomic<bool> posting{true};
        loop->post([] {}); // a background thread serves before run(), as in the terminal
        std::thread poster([&] {
            while (posting)
                loop->post([] {});
        });
        std::promise<void> launched;
        std::thread runner([&] { loop->run([&] { launched.set_value(); }); });
        ASSERT_EQ(launched.get_future().wait_for(BOUND), std::future_status::ready);
        std::promise<void> ended;
        auto end = ended.get_future();
        loop->quit([] {});
        std::thread waiter([&] {
            runner.join();
            ended.set_value();
        });
        const bool returned = end.wait_for(BOUND) == std::future_status::ready;
        posting = false;
        poster.join();
        if (!returned) {
            // Let the stuck runner go so the process can report the failure.
            loop->quit([] {});
        }
        waiter.join();
        ASSERT_TRUE(returned) << "run() did not return after the quit";
    }
}

} // namespace
