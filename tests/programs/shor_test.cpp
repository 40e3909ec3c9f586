// tests/programs/shor_test.cpp: Shor's program, its random base and the refusals of the S
// command.
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
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

TEST(ShorBase, CandidateFromEightDrawsRepeatedWhileTheClockHalfIsZero)
{
    // u = 0x1234, v = 10^9 mod 2^16 = 51712: bits 16 to 23 of u * v are 0x5D.
    const int64_t known = 3363818036970565341;
    EXPECT_EQ(known % 667, 180);
    const double huge = 1152921504606846976.0; // 2^60 s = 2^90 ns: the low 16 bits are 0
    const struct {
        uint32_t every_hundredth, otherwise; // the random source's values
        double seconds;
        int calls;
        int64_t candidate;
    } cases[] = {
        {0xABCD1234u, 0xABCD1234u, ONE_SECOND, 8, known},
        {0x1234u, 0x10000u, ONE_SECOND, 800, known}, // the random half 0 is drawn again
        {0x1234u, 0x1234u, 0.0, 800, 0},             // a hundred tries, then it gives up
        {0x1234u, 0x1234u, huge, 800, 0},            // a clock outside the integer range
        {0x1234u, 0x1234u, std::numeric_limits<double>::infinity(), 800, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        int calls = 0;
        const int64_t candidate = programs::shor_candidate(
            [&] { return ++calls % 100 == 0 ? c.every_hundredth : c.otherwise; },
            [&] { return c.seconds; });
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(candidate, c.candidate);
    }
}

// The factor step, driven with the true period of every base.

TEST(ShorFactor, EveryTruePeriodWhoseHalfPowerIsNotMinusOneSplitsTheNumber)
{
    // The period of x modulo n by plain repeated multiplication.
    const auto period = [](int64_t n, int64_t x) {
        int64_t r = 1;
        for (int64_t p = x % n; p != 1; p = p * x % n)
            ++r;
        return r;
    };
    for (const int64_t n : {15, 21, 143, 667, 899}) {
        SCOPED_TRACE(n);
        int split = 0;
        for (int64_t x = 2; x < n; ++x) {
            if (gcd(n, x) != 1)
                continue;
            const int64_t r = period(n, x);
            if (r % 2 != 0)
                continue;
            int64_t half = 1; // x^(r/2) modulo n, one multiplication at a time
            for (int64_t i = 0; i < r / 2; ++i)
                half = half * x % n;
            if (half == n - 1)
                continue;
            const int64_t f = programs::shor_factor(n, x, r);
            ASSERT_TRUE(f >= 2 && f < n && n % f == 0) << "x = " << x << ", r = " << r;
            ++split;
        }
        EXPECT_GT(split, 0);
    }
    EXPECT_EQ(programs::shor_factor(667, 192, 308), 29) << "the larger gcd comes first";
}

TEST(ShorRefusal, NumbersFromThreeToThousandRun)
{
    // Just outside the range is in the bad-input table.
    EXPECT_EQ(programs::shor_refusal(3), "");
    EXPECT_EQ(programs::shor_refusal(1000), "");
    EXPECT_EQ(programs::shor_refusal(INT64_MAX), RANGE_REFUSAL);
}

// The program's window text.

TEST_F(ProgramWindowTest, ShorFifteenEndsInOneOfFiveWaysAndFindsTheFactors)
{
    int found = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        fresh_window();
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

TEST_F(ProgramWindowTest, ShorPrimeNeverFindsFactorsAndTheSmallestNumbersEnd)
{
    for (auto [n, seed, qubits] : {std::tuple{17, 1u, 26}, {17, 2u, 26}, {17, 3u, 26}, {3, 1u, 12},
                                   {4, 1u, 12}}) {
        SCOPED_TRACE(n);
        fresh_window();
        srand(seed);
        shorprogram(n);
        const std::vector<std::string> r = rows();
        ASSERT_GE(r.size(), 6u);
        EXPECT_EQ(r[0], "N = " + std::to_string(n));
        EXPECT_EQ(r[2], "Registergröße = " + std::to_string(qubits) + " Qubits");
        ASSERT_TRUE(ends_as_expected(r, n)) << ::testing::PrintToString(r);
        if (n == 17) {
            EXPECT_EQ(r.back(), "Bitte noch einmal versuchen.");
        }
    }
}
