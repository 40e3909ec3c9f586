// tests/programs/random_test.cpp: the random bit, oracle data and code test programs, and
// the refusals of the O command.
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/objcode.h"
#include "programs/input_limits.h"
#include "programs/random.h"
#include "tests/programs/program_fixture.h"
#include "toolkit/window.h"

using program_test::fields;
using program_test::ProgramWindowTest;

namespace {

const std::string BIT_ZERO = "Der Quanten-Zufallsgenerator hat eine 0 ergeben.";
const std::string BIT_ONE = "Der Quanten-Zufallsgenerator hat eine 1 ergeben.";
const std::string TOO_NARROW = "Bitte geben Sie eine Registerzahl von mindestens 3 ein.";
const std::string TOO_WIDE = "Bitte geben Sie eine Registerzahl von höchstens 24 ein.";

std::vector<int> values_of(const std::vector<std::string>& f)
{
    std::vector<int> out;
    for (const std::string& field : f)
        if (field != "        ")
            out.push_back(std::atoi(field.c_str()));
    return out;
}

} // namespace

TEST_F(ProgramWindowTest, RandomPrintsOneOfItsTwoLines)
{
    std::set<std::string> seen;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        fresh_window();
        srand(seed);
        randomprogram();
        const std::vector<std::string> r = rows();
        ASSERT_EQ(r.size(), 1u);
        ASSERT_TRUE(r[0] == BIT_ZERO || r[0] == BIT_ONE) << r[0];
        EXPECT_EQ(window_table[0].TextVpos, 2); // the line is ended
        seen.insert(r[0]);
    }
    EXPECT_EQ(seen.size(), 2u) << "twenty seeded runs gave only one value";
    // The circuit of the last run: width 1 from 0, Hadamard on qubit 0, measure bit 0.
    EXPECT_EQ(program_test::recorded(),
              (std::vector<uint8_t>{0xF0, 0, 0, 0, 1, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x06, 0, 0, 0,
                                    0, 0x81, 0, 0, 0, 0}));
}

TEST_F(ProgramWindowTest, OracleThreeShowsEightValuesOnOneLine)
{
    srand(5);
    oracleprogram(3);
    const std::vector<std::string> r = rows();
    ASSERT_EQ(r.size(), 5u) << ::testing::PrintToString(r);
    EXPECT_EQ(r[0], "Sortierte Datenmenge mit 8 Elementen:");
    EXPECT_EQ(values_of(fields(raw_row(2))), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(raw_row(2).substr(0, 16), "0       1       ");
    EXPECT_EQ(r[2], "");
    ASSERT_EQ(r[3].rfind("Unsortierte Datenmenge mit ", 0), 0u) << r[3];
    const int entries = std::atoi(r[3].c_str() + 27);
    EXPECT_EQ(r[3], "Unsortierte Datenmenge mit " + std::to_string(entries) + " Elementen:");
    const std::vector<int> mixed = values_of(fields(raw_row(5)));
    EXPECT_EQ(static_cast<int>(mixed.size()), entries);
    EXPECT_EQ(std::set<int>(mixed.begin(), mixed.end()).size(), mixed.size());
    for (int v : mixed)
        EXPECT_LT(v, 8);
    // No line end after the second listing.
    EXPECT_EQ(window_table[0].TextVpos, 5);
}

TEST_F(ProgramWindowTest, OracleSevenShowsExactlyHundredValuesInTenLines)
{
    srand(5);
    oracleprogram(7);
    const std::vector<std::string> r = rows();
    EXPECT_EQ(r[0], "Sortierte Datenmenge mit 128 Elementen:");
    std::vector<int> sorted;
    for (int line = 2; line <= 11; ++line) {
        const std::vector<int> v = values_of(fields(raw_row(line)));
        ASSERT_EQ(v.size(), 10u) << "line " << line;
        sorted.insert(sorted.end(), v.begin(), v.end());
    }
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(sorted[i], i);
    // Ten full lines leave the cursor at column 1, so only the empty line follows.
    EXPECT_EQ(raw_row(12), std::string(80, ' '));
    ASSERT_GE(r.size(), 13u);
    EXPECT_EQ(r[12].rfind("Unsortierte Datenmenge mit ", 0), 0u) << r[12];
}

TEST_F(ProgramWindowTest, CodeTestLeavesTheInversionCircuitOfWidthEight)
{
    codetestprogram();
    EXPECT_TRUE(rows().empty());
    std::vector<uint8_t> expected = {0xF0, 0, 0, 0, 8, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    using program_test::add_gate;
    for (int i = 0; i < 8; ++i)
        add_gate(expected, 0x03, {i});
    add_gate(expected, 0x06, {7});
    add_gate(expected, 0x02, {0, 1, 9});
    for (int i = 1; i <= 6; ++i)
        add_gate(expected, 0x02, {i, 8 + i, 9 + i});
    add_gate(expected, 0x01, {15, 7});
    for (int i = 6; i >= 1; --i)
        add_gate(expected, 0x02, {i, 8 + i, 9 + i});
    add_gate(expected, 0x02, {0, 1, 9});
    add_gate(expected, 0x06, {7});
    for (int i = 0; i < 8; ++i)
        add_gate(expected, 0x03, {i});
    ASSERT_TRUE(objcode_active());
    EXPECT_EQ(program_test::recorded(), expected);
}

// Refusals of the O command, at their edges.

TEST(OracleRefusal, WidthsFromThreeToTwentyFourRun)
{
    // Just outside each bound is in the bad-input table.
    for (auto [width, refusal] : {std::pair<int64_t, std::string>{3, ""}, {24, ""},
                                  {INT64_MIN, TOO_NARROW}, {INT64_MAX, TOO_WIDE}})
        EXPECT_EQ(programs::oracle_refusal(width), refusal) << width;
}
