// Tests for engine/grover: the driver's progress lines and the final probability of the
// searched value for small widths.
#include "engine/grover.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/objcode.h"

namespace {

// Runs the search and returns what it printed.
std::string search_output(int64_t s, int64_t width)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(grover_search(s, width), 0);
    std::string out = testing::internal::GetCapturedStdout();
    objcode_stop();
    return out;
}

// The probability of the "Found" line, or -1 when there is none.
double found_probability(const std::string& out, int64_t s)
{
    const std::string key = "\nFound " + std::to_string(s) + " with a probability of ";
    const size_t at = out.find(key);
    if (at == std::string::npos)
        return -1;
    return std::stod(out.substr(at + key.size()));
}

} // namespace

// No program runs this driver (the G command has its own circuits): one smoke check.
TEST(GroverSearch, ProbabilityOfTheSearchedValueByWidth)
{
    struct Case {
        int64_t s, width;
        double p;
        int iterations;
    };
    for (const Case& c : {Case{3, 2, 0.25, 1}, Case{6, 3, 0.945, 2}, Case{100, 7, 0.996, 8},
                          Case{2, 4, 0.961, 3}}) {
        // The last case: a larger requested width is kept (width 2 would give 1 iteration).
        const std::string out = search_output(c.s, c.width);
        std::string lines = "Iterating " + std::to_string(c.iterations) + " times\n";
        for (int i = 1; i <= c.iterations; ++i)
            lines += "Iteration #" + std::to_string(i) + "\n";
        EXPECT_EQ(
            out.rfind(lines + "\nFound " + std::to_string(c.s) + " with a probability of ", 0), 0u)
            << out;
        EXPECT_EQ(out.substr(out.size() - 2), "\n\n");
        EXPECT_NEAR(found_probability(out, c.s), c.p, 0.001) << "s=" << c.s << " width " << c.width;
    }
}
