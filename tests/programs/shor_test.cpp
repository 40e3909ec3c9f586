// tests/programs/shor_test.cpp: Shor's program, its random base and the refusals of the S
// command.
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/arith.h"
#include "programs/input_limits.h"
#include "programs/shor.h"
#include "tests/programs/program_fixture.h"

using program_test::ProgramWindowTest;

namespace {

const std::string RANGE_REFUSAL = "Bitte geben Sie eine Zahl von 3 bis 1.000 ein.";

// 16 bits of a clock of exactly one second: 10^9 mod 2^16.
constexpr double ONE_SECOND = 1.0;

// A varying 32-bit source for the base search.
programs::RandomSource counting_source()
{
    auto state = std::make_shared<uint32_t>(12345);
    return [state] {
        *state = *state * 1103515245u + 12345u;
        return *state;
    };
}

programs::ClockSource counting_clock()
{
    auto t = std::make_shared<double>(1000.0);
    return [t] {
        *t += 0.000123457;
        return *t;
    };
}

// Whether the last line splits n into two proper factors, "n = f * n/f".
bool factor_line(const std::string& line, int64_t n)
{
    long long whole = 0, f = 0, g = 0;
    char tail = 0;
    if (std::sscanf(line.c_str(), "%lld = %lld * %lld%c", &whole, &f, &g, &tail) != 3)
        return false;
    return whole == n && f >= 2 && f < n && f * g == n && line == std::to_string(n) + " = " +
           std::to_string(f) + " * " + std::to_string(g);
}

// The five ways an attempt can end: the factors, or one of four retry endings.
bool ends_as_expected(const std::vector<std::string>& r, int64_t n = 15)
{
    if (r.empty())
        return false;
    const std::string& last = r.back();
    if (factor_line(last, n))
        return true;
    if (last != "Bitte noch einmal versuchen." || r.size() < 3 || !r[r.size() - 2].empty())
        return false;
    const std::string& reason = r[r.size() - 3];
    return reason == "Messung war nicht möglich." || reason == "Messung war Null." ||
           reason == "Ungerade Periode." || reason == "Faktoren konnten nicht ermittelt werden.";
}

} // namespace

// Register size.

TEST(ShorNumbers, QubitsOfTheHelpScreen)
{
    EXPECT_EQ(programs::shor_qubits(15), 22);
    EXPECT_EQ(programs::shor_qubits(667), 51);
    EXPECT_EQ(programs::shor_qubits(3), 4 + 6 + 2);
    EXPECT_EQ(programs::shor_qubits(1000), 20 + 30 + 2);
}

// The random base.

TEST(ShorBase, CandidateFromEightDraws)
{
    // u = 0x1234, v = 10^9 mod 2^16 = 51712: bits 16 to 23 of u * v are 0x5D.
    const int64_t candidate =
        programs::shor_candidate([] { return 0xABCD1234u; }, [] { return ONE_SECOND; });
    EXPECT_EQ(candidate, 3363818036970565341);
    EXPECT_EQ(candidate % 667, 180);
}

TEST(ShorBase, DrawRepeatsWhileTheRandomHalfIsZero)
{
    int calls = 0;
    const int64_t candidate = programs::shor_candidate(
        [&calls] { return ++calls % 100 == 0 ? 0x1234u : 0x10000u; }, [] { return ONE_SECOND; });
    EXPECT_EQ(calls, 800);
    EXPECT_EQ(candidate, 3363818036970565341);
}

TEST(ShorBase, DrawGivesUpAfterAHundredTries)
{
    int calls = 0;
    const int64_t candidate =
        programs::shor_candidate([&calls] { return ++calls, 0x1234u; }, [] { return 0.0; });
    EXPECT_EQ(calls, 800);
    EXPECT_EQ(candidate, 0);
}

TEST(ShorBase, ClockOutsideTheIntegerRangeStillDraws)
{
    int calls = 0;
    // 2^60 seconds: 2^90 nanoseconds, whose low 16 bits are 0, so every draw is repeated.
    const int64_t candidate = programs::shor_candidate([&calls] { return ++calls, 0x1234u; },
                                                       [] { return 1152921504606846976.0; });
    EXPECT_EQ(calls, 800);
    EXPECT_EQ(candidate, 0);
    const int64_t infinite = programs::shor_candidate(
        [] { return 0x1234u; }, [] { return std::numeric_limits<double>::infinity(); });
    EXPECT_EQ(infinite, 0);
}

TEST(ShorBase, BaseIsCoprimeAndInRange)
{
    const programs::RandomSource random = counting_source();
    const programs::ClockSource clock = counting_clock();
    for (int64_t n : {3, 4, 15, 16, 17, 667, 1000}) {
        for (int i = 0; i < 20; ++i) {
            const int64_t base = programs::shor_random_base(n, random, clock);
            EXPECT_GE(base, 2) << n;
            EXPECT_LT(base, n) << n;
            EXPECT_EQ(gcd(n, base), 1) << n << " " << base;
        }
    }
}

TEST(ShorBase, EvenNumbersOnlyGetOddBases)
{
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(programs::shor_random_base(16) % 2, 1);
}

// Refusals of the S command, at their edges.

TEST(ShorRefusal, NumbersFromThreeToThousandRun)
{
    EXPECT_EQ(programs::shor_refusal(3), "");
    EXPECT_EQ(programs::shor_refusal(15), "");
    EXPECT_EQ(programs::shor_refusal(1000), "");
    EXPECT_EQ(programs::shor_refusal(2), RANGE_REFUSAL);
    EXPECT_EQ(programs::shor_refusal(0), RANGE_REFUSAL);
    EXPECT_EQ(programs::shor_refusal(-15), RANGE_REFUSAL);
    EXPECT_EQ(programs::shor_refusal(1001), RANGE_REFUSAL);
    EXPECT_EQ(programs::shor_refusal(INT64_MAX), RANGE_REFUSAL);
}

TEST_F(ProgramWindowTest, ShorProgramRefusesByItselfToo)
{
    shorprogram(0);
    EXPECT_EQ(rows(), std::vector<std::string>{RANGE_REFUSAL});
}

// The program's window text.

TEST_F(ProgramWindowTest, ShorFifteenEndsInOneOfFiveWaysAndFindsTheFactors)
{
    int found = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        toolkit::reset_video_memory();
        text_test::make_view(0);
        t_InitWindow(0, 8, false, 80 * 4, 25 * 4, 0, 0, text_test::tiny_font(), true);
        srand(seed);
        shorprogram(15);
        const std::vector<std::string> r = rows();
        ASSERT_GE(r.size(), 6u) << ::testing::PrintToString(r);
        EXPECT_EQ(r[0], "N = 15");
        EXPECT_EQ(r[1], "");
        EXPECT_EQ(r[2], "Registergröße = 22 Qubits");
        EXPECT_EQ(r[3], "");
        ASSERT_EQ(r[4].rfind("Zufallszahl = ", 0), 0u) << r[4];
        const int64_t x = std::atoi(r[4].c_str() + 14);
        EXPECT_GE(x, 2);
        EXPECT_LT(x, 15);
        EXPECT_EQ(gcd(15, x), 1);
        EXPECT_EQ(r[5], "");
        EXPECT_TRUE(ends_as_expected(r)) << ::testing::PrintToString(r);
        if (r.size() > 6 && r[6].rfind("Gemessen wurde ", 0) == 0) {
            // A measurement of 8 register bits: c/256 and its fraction on the same line.
            EXPECT_NE(r[6].find("), Näherung als Bruchzahl = "), std::string::npos) << r[6];
        }
        if (r.back() == "15 = 5 * 3" || r.back() == "15 = 3 * 5") {
            ++found;
            ASSERT_GE(r.size(), 10u);
            EXPECT_EQ(r[r.size() - 3].rfind("Mögliche Periode ist ", 0), 0u);
        }
    }
    EXPECT_GE(found, 1) << "twelve seeded attempts never split 15";
}

TEST_F(ProgramWindowTest, ShorPrimeNeverFindsFactors)
{
    for (unsigned seed = 1; seed <= 3; ++seed) {
        toolkit::reset_video_memory();
        text_test::make_view(0);
        t_InitWindow(0, 8, false, 80 * 4, 25 * 4, 0, 0, text_test::tiny_font(), true);
        srand(seed);
        shorprogram(17);
        const std::vector<std::string> r = rows();
        EXPECT_EQ(r[2], "Registergröße = 26 Qubits");
        ASSERT_TRUE(ends_as_expected(r, 17)) << ::testing::PrintToString(r);
        EXPECT_EQ(r.back(), "Bitte noch einmal versuchen.");
    }
}

TEST_F(ProgramWindowTest, ShorSmallestAcceptedNumbersRunToAnEnding)
{
    for (int64_t n : {3, 4}) {
        toolkit::reset_video_memory();
        text_test::make_view(0);
        t_InitWindow(0, 8, false, 80 * 4, 25 * 4, 0, 0, text_test::tiny_font(), true);
        srand(1);
        shorprogram(n);
        const std::vector<std::string> r = rows();
        ASSERT_GE(r.size(), 6u);
        EXPECT_EQ(r[0], "N = " + std::to_string(n));
        EXPECT_EQ(r[2], "Registergröße = 12 Qubits");
        EXPECT_TRUE(ends_as_expected(r, n)) << ::testing::PrintToString(r);
    }
}

// End to end through the real program.

TEST(ShorHeadless, KeysSFifteenReturn)
{
    const program_test::HeadlessRun run = program_test::run_headless("shor", "s15\n");
    if (!run.built)
        GTEST_SKIP() << "build/orbikon not built";
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.screen.find("Shor Faktorzerlegungs-Algorithmus für Zahlen:\n\n"
                              "Zahl eingeben (15-1000): 15\n\nN = 15\n\n"
                              "Registergröße = 22 Qubits\n\nZufallszahl = "),
              std::string::npos)
        << run.screen;
    const bool factors = run.screen.find("15 = 5 * 3") != std::string::npos ||
                         run.screen.find("15 = 3 * 5") != std::string::npos;
    const bool retry = run.screen.find("Bitte noch einmal versuchen.") != std::string::npos;
    EXPECT_TRUE(factors || retry) << run.screen;
    ASSERT_TRUE(run.dump_exists);
    EXPECT_EQ(std::vector<uint8_t>(run.dump.begin(), run.dump.begin() + 5),
              (std::vector<uint8_t>{0xF0, 0, 0, 0, 8}));
}

TEST(ShorHeadless, NumberTwoIsRefusedWithoutTail)
{
    // The random bit first, so there is a dump that the refusal must leave alone.
    const program_test::HeadlessRun run = program_test::run_headless("shor-two", "rs2\n");
    if (!run.built)
        GTEST_SKIP() << "build/orbikon not built";
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.screen.find("Zahl eingeben (15-1000): 2\n\n" + RANGE_REFUSAL),
              std::string::npos)
        << run.screen;
    EXPECT_EQ(run.screen.find("N = "), std::string::npos);
    ASSERT_TRUE(run.dump_exists);
    EXPECT_EQ(run.dump.size(), 24u);
    EXPECT_EQ(run.dump[4], 1);
}
