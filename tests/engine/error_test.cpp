// Engine error handlers and memory accounting; the error lines are checked where they arise.
#include "engine/error.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {
int64_t handled_code = -1;
void remember(int64_t code)
{
    handled_code = code;
}
} // namespace

// The handler cannot be removed again, so it is installed in a child process only.
TEST(QuantumErrorDeathTest, InstalledHandlerReplacesPrintingAndLastError)
{
    EXPECT_EQ(set_error_handler(nullptr), nullptr) << "no handler at start";
    EXPECT_EXIT(
        {
            last_error = 0;
            set_error_handler(remember);
            const bool same = set_error_handler(nullptr) == remember;
            quantum_error(3);
            std::exit(same && handled_code == 3 && last_error == 0 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "^$");
}

TEST(MemoryAccount, AddsDeltasAndKeepsTheHighWaterMark)
{
    const int64_t base = memory_account(0);
    EXPECT_EQ(memory_account(100), base + 100);
    EXPECT_EQ(memory_account(-60), base + 40);
    EXPECT_GE(memory_high_water(), base + 100);
    memory_account(-40);
}
