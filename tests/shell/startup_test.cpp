// tests/shell/startup_test.cpp: program threads, thread numbers and the quit message.
#include "shell/startup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/diag.h"
#include "platform/platform.h"
#include "tests/shell/shell_test_window.h"
#include "tests/support/test_support.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

namespace {

using test_support::wait_for;

TEST(StartProcess, TwoQuickStartsRunTheirOwnBodies)
{
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    std::atomic<int64_t> first_thread{0};
    std::atomic<int64_t> second_thread{0};
    startprocess(
        [&] {
            first_thread = CurrentThreadNumber();
            first += 1;
        },
        HANDLER_STACK_BYTES);
    startprocess(
        [&] {
            second_thread = CurrentThreadNumber();
            second += 10;
        },
        HANDLER_STACK_BYTES);
    ASSERT_TRUE(wait_for([&] { return first == 1 && second == 10; }));
    EXPECT_FALSE(ThreadStarting);
    EXPECT_NE(first_thread.load(), second_thread.load());
    EXPECT_GT(first_thread.load(), 1);
}

TEST(StartProcess, ProgramStackHoldsHalfAGigabyte)
{
    std::atomic<bool> done{false};
    startprocess(
        [&] {
            // Touch a deep frame: far beyond any default thread stack.
            constexpr size_t BYTES = size_t{1} << 29;
            volatile char* big = static_cast<volatile char*>(__builtin_alloca(BYTES));
            big[0] = 1;
            big[BYTES - 1] = 2;
            done = big[0] + big[BYTES - 1] == 3;
        },
        PROGRAM_STACK_BYTES);
    EXPECT_TRUE(wait_for([&] { return done.load(); }));
}

TEST(QuitProgram, LeavesTheMessageInRedOnTheLastLine)
{
    shell_test::set_up_window(40, 10);
    ASSERT_GE(window_table[0].Window, 0);
    window_table[0].TextFirstLine = 3; // a narrowed area is widened first
    DiagCapture capture;
    startprocess([] { t_QuitProgram(0); }, HANDLER_STACK_BYTES);
    ASSERT_TRUE(wait_for([&] { return capture.text().find(".\n") != std::string::npos; }));
    EXPECT_NE(capture.text().find("t_QuitProgram: Quitting current thread with message in "
                                  "window #0.\n"),
              std::string::npos);
    EXPECT_EQ(shell_test::line_text(10), "(Programm Ende)");
    EXPECT_EQ(toolkit::cell_colour(window_table[0], 1, 10) >> 4, 1);
    EXPECT_EQ(window_table[0].TextFirstLine, 1);
    EXPECT_TRUE(ProgramEnded);
}

} // namespace
