// tests/platform/threads_test.cpp: numbering, naming, stacks and the event-thread hand-off.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace {

constexpr auto BOUND = std::chrono::seconds(10);

// Runs body on a new platform thread and returns what it produced, failing instead of hanging.
template <typename T> T on_thread(int64_t stack_bytes, std::function<T()> body)
{
    auto promise = std::make_shared<std::promise<T>>();
    std::future<T> result = promise->get_future();
    platform::start_thread(stack_bytes, [promise, body] { promise->set_value(body()); });
    if (result.wait_for(BOUND) != std::future_status::ready) {
        ADD_FAILURE() << "thread did not finish";
        return T{};
    }
    return result.get();
}

TEST(ThreadNumber, NewThreadsCountUpInStartOrderAndKeepTheirNumber)
{
    int64_t first = on_thread<int64_t>(1 << 20, [] { return platform::current_thread_number(); });
    int64_t second = on_thread<int64_t>(1 << 20, [] { return platform::current_thread_number(); });
    EXPECT_GE(first, 2);
    EXPECT_EQ(second, first + 1);
    const int64_t number = platform::current_thread_number();
    EXPECT_EQ(platform::current_thread_number(), number);
}

TEST(ThreadNumber, EventThreadIsOne)
{
    int64_t number = 0;
    bool on_event = false;
    platform::run_on_event_thread(
        [&] {
            number = platform::current_thread_number();
            on_event = platform::is_event_thread();
        },
        true);
    EXPECT_EQ(number, 1);
    EXPECT_TRUE(on_event);
    EXPECT_FALSE(platform::is_event_thread());
}

TEST(ThreadName, KeepsFullNameAndGivesOsFifteenBytes)
{
    std::string long_name = "t_WindowAutoUpdate";
    auto names = on_thread<std::vector<std::string>>(1 << 20, [&] {
        const std::string before = platform::current_thread_name();
        platform::set_current_thread_name(long_name);
        char os_name[64] = {};
        pthread_getname_np(pthread_self(), os_name, sizeof os_name);
        return std::vector<std::string>{before, platform::current_thread_name(), os_name};
    });
    EXPECT_EQ(names, (std::vector<std::string>{"", "t_WindowAutoUpdate", "t_WindowAutoUpd"}));
}

TEST(ThreadExit, EndsOnlyTheCallingThread)
{
    std::atomic<int> stage{0};
    platform::start_thread(1 << 20, [&] {
        stage = 1;
        platform::exit_current_thread();
        stage = 2; // never reached
    });
    auto until = std::chrono::steady_clock::now() + BOUND;
    while (stage == 0 && std::chrono::steady_clock::now() < until)
        platform::sleep_ms(1);
    platform::sleep_ms(20);
    EXPECT_EQ(stage.load(), 1);
}

TEST(EventThread, NestedHandOffRunsAtOnceWithoutDeadlock)
{
    auto done = std::async(std::launch::async, [] {
        int inner = 0;
        platform::run_on_event_thread(
            [&] { platform::run_on_event_thread([&] { inner = 7; }, true); }, true);
        return inner;
    });
    ASSERT_EQ(done.wait_for(BOUND), std::future_status::ready) << "nested hand-off hung";
    EXPECT_EQ(done.get(), 7);
}

TEST(EventThread, NonWaitingHandOffRunsLaterInOrder)
{
    auto seen = std::make_shared<std::vector<int>>();
    auto mutex = std::make_shared<std::mutex>();
    for (int i = 0; i < 5; ++i) {
        platform::run_on_event_thread(
            [=] {
                std::lock_guard lock(*mutex);
                seen->push_back(i);
            },
            false);
    }
    platform::headless().drain_event_thread();
    std::lock_guard lock(*mutex);
    EXPECT_EQ(*seen, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(RunAsync, NeverBlocksItsCaller)
{
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<bool> ran{false};
    platform::run_async([gate, &ran] {
        gate.wait();
        ran = true;
    });
    // The caller got here although the work is still blocked.
    EXPECT_FALSE(ran.load());
    release.set_value();
    auto until = std::chrono::steady_clock::now() + BOUND;
    while (!ran && std::chrono::steady_clock::now() < until)
        platform::sleep_ms(1);
    EXPECT_TRUE(ran.load());
}

TEST(RunAsync, RunsOffTheEventThread)
{
    std::promise<bool> where;
    auto answer = where.get_future();
    platform::run_on_event_thread(
        [&] { platform::run_async([&] { where.set_value(platform::is_event_thread()); }); }, true);
    ASSERT_EQ(answer.wait_for(BOUND), std::future_status::ready);
    EXPECT_FALSE(answer.get());
}

// The platform's own threads carry their names but no thread number until they ask, so the
// numbers the program prints stay as they were.
TEST(NamedThreads, HelpersAreNamedAndLeaveTheNumbersAlone)
{
    auto number_of_new_thread = [] {
        std::promise<int64_t> number;
        auto answer = number.get_future();
        platform::start_thread(0, [&] { number.set_value(platform::current_thread_number()); });
        return answer.wait_for(BOUND) == std::future_status::ready ? answer.get() : -1;
    };
    const int64_t before = number_of_new_thread();
    std::promise<std::string> name;
    auto answer = name.get_future();
    platform::start_named_thread("Helfer", [&] { name.set_value(platform::current_thread_name()); });
    ASSERT_EQ(answer.wait_for(BOUND), std::future_status::ready);
    EXPECT_EQ(answer.get(), "Helfer");
    std::string beside_name;
    bool here_ran = false;
    platform::run_beside(
        "Nebenbei", [&] { beside_name = platform::current_thread_name(); },
        [&] { here_ran = true; });
    EXPECT_TRUE(here_ran);
    EXPECT_EQ(beside_name, "Nebenbei");
    EXPECT_EQ(number_of_new_thread(), before + 1);
}

} // namespace
