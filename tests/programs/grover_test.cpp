// tests/programs/grover_test.cpp: the Grover program, its circuits, the listing, the
// refusals of the G command, and the gates' fast paths against the plain ones.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/objcode.h"
#include "engine/register.h"
#include "programs/grover.h"
#include "programs/input_limits.h"
#include "tests/programs/program_fixture.h"
#include "toolkit/window.h"
#include "toolkit/cursor.h"

using program_test::ProgramWindowTest;

namespace {

using Gates = std::vector<std::pair<uint8_t, std::vector<int64_t>>>;

// The trace after the two records that open it (F0 width, 00 initial value).
std::vector<uint8_t> recorded_after_start()
{
    const std::vector<uint8_t> all = program_test::recorded();
    return all.size() < 14 ? all : std::vector<uint8_t>(all.begin() + 14, all.end());
}

double probability_in(const std::string& line)
{
    const std::string lead = "Die Wahrscheinlichkeit für das Suchergebnis beträgt ";
    if (line.rfind(lead, 0) != 0)
        return -1;
    return std::strtod(line.c_str() + lead.size(), nullptr);
}

} // namespace

// Circuits, checked through the gates they record.

TEST_F(ProgramWindowTest, OracleAndInversionCircuitsRecordTheirGates)
{
    const int64_t INVERSION = -1;
    const struct {
        int64_t width, pattern;
        Gates gates;
    } cases[] = {
        {3, 5, // bit 1 of 101 is the only 0
         {{3, {1}}, {2, {0, 1, 4}}, {2, {1, 4, 5}}, {2, {2, 5, 6}}, {1, {6, 3}}, {2, {2, 5, 6}},
          {2, {1, 4, 5}}, {2, {0, 1, 4}}, {3, {1}}}},
        {1, 1, {{2, {0, 1, 2}}, {1, {2, 1}}, {2, {0, 1, 2}}}}, // one qubit: the short form
        {3, INVERSION, // no chain
         {{3, {0}}, {3, {1}}, {3, {2}}, {6, {2}}, {2, {0, 1, 2}}, {6, {2}}, {3, {0}}, {3, {1}}, {3, {2}}}},
        {2, INVERSION, // Toffoli, controlled NOT, Toffoli
         {{3, {0}}, {3, {1}}, {6, {1}}, {2, {0, 1, 3}}, {1, {3, 1}}, {2, {0, 1, 3}}, {6, {1}},
          {3, {0}}, {3, {1}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " " << c.pattern);
        objcode_stop();
        quantum_reg_struct reg = register_new(0, c.width);
        if (c.pattern == INVERSION)
            inversioncircuit(reg);
        else
            oraclecircuit(c.pattern, reg);
        std::vector<uint8_t> expected;
        for (const auto& [opcode, operands] : c.gates)
            program_test::add_gate(expected, opcode, operands);
        EXPECT_EQ(recorded_after_start(), expected);
        if (c.width == 3 && c.pattern == 5) {
            // The basis value 0 is not marked, so the phase qubit stays as it was.
            ASSERT_EQ(reg.size, 1);
            EXPECT_EQ(reg.state[0], 0u);
        }
        register_delete(reg);
    }
}

// Numbers of the program.

TEST(GroverNumbers, IterationsWidthsFieldsAndShortestTexts)
{
    for (auto [width, iterations] : {std::pair{1, 1}, {2, 1}, {3, 2}, {4, 3}, {7, 8}, {10, 25}, {64, 0}})
        EXPECT_EQ(programs::grover_iterations(width), iterations) << width;
    // The width is raised to what the searched number needs.
    for (auto [searched, width, raised] : {std::tuple<int64_t, int64_t, int64_t>{5, 0, 3}, {0, 1, 1},
                                           {100, 2, 7}, {100, 9, 9}, {-7, -3, 1},
                                           {programs::GROVER_LARGEST_SEARCHED, 0, 20}})
        EXPECT_EQ(programs::grover_width(searched, width), raised) << searched << " " << width;
    // Listing fields are eight characters.
    EXPECT_EQ(programs::listing_field(0), "0       ");
    EXPECT_EQ(programs::listing_field(123456789), "12345678");
    EXPECT_EQ(programs::listing_field(UINT64_MAX), "18446744");
    // The shortest text that reads back.
    for (auto [value, text] : {std::pair<double, const char*>{0.5, "0.5"}, {0.1875, "0.1875"},
                               {1.0, "1.0"}, {0.1, "0.1"}, {0.0001, "0.0001"}, {5e-05, "5e-05"},
                               {1.25e-07, "1.25e-07"}, {123.0, "123.0"}, {1e16, "1e+16"},
                               {-0.25, "-0.25"}, {0.0, "0.0"}})
        EXPECT_EQ(programs::shortest_text(value), text);
    const double f = static_cast<double>(0.94531250f);
    EXPECT_EQ(std::strtod(programs::shortest_text(f).c_str(), nullptr), f);
}

// Refusals of the G command, at their edges.

TEST(GroverRefusal, WidthsUpToTwentyAndSearchedNumbersUpToTwentyQubits)
{
    const std::string wide = "Bitte geben Sie eine Registerzahl von höchstens 20 ein.";
    const std::string large = "Bitte geben Sie eine gesuchte Zahl von höchstens 1.048.575 ein.";
    // The width of too large numbers would never be found; their check must come first.
    for (auto [searched, width, refusal] :
         {std::tuple<int64_t, int64_t, std::string>{5, 20, ""}, {5, 0, ""}, {5, -100, ""}, {-5, 3, ""},
          {5, 21, wide}, {5, 24, wide}, {5, INT64_MAX, wide}, {1048575, 0, ""}, {1048576, 0, large},
          {INT64_MAX, 3, large}, {int64_t{1} << 30, 0, large}})
        EXPECT_EQ(programs::grover_refusal(searched, width), refusal) << searched << " " << width;
}

// The program's window text.

class GroverTest : public ProgramWindowTest {
protected:
    // The first `count` values of the data set from line 5 on, ten to a line, each below
    // `below`, none twice, in their listing fields; the field after them is blank.
    std::vector<int64_t> data_set(int64_t count, int64_t below) const
    {
        std::vector<int64_t> values;
        for (int64_t i = 0; i <= count; ++i) {
            const std::string f = raw_row(5 + i / 10).substr(8 * (i % 10), 8);
            if (i == count) {
                EXPECT_EQ(f, "        ") << "after " << count;
                break;
            }
            values.push_back(std::atoll(f.c_str()));
            EXPECT_EQ(f, programs::listing_field(values.back())) << i;
            EXPECT_LT(values.back(), below) << i;
        }
        EXPECT_EQ(std::set<int64_t>(values.begin(), values.end()).size(), values.size());
        return values;
    }
    // The place (from 1) of `searched` in the data set, 0 when it is not there.
    static int64_t place(const std::vector<int64_t>& values, int64_t searched)
    {
        const auto at = std::find(values.begin(), values.end(), searched);
        return at == values.end() ? 0 : at - values.begin() + 1;
    }
};

TEST_F(GroverTest, FiveWithWidthZeroRunsOnThreeQubits)
{
    srand(7);
    groverprogram(5, 0);
    const std::vector<std::string> r = rows();
    ASSERT_EQ(r.size(), 8u) << ::testing::PrintToString(r);
    EXPECT_EQ(std::vector<std::string>(r.begin(), r.begin() + 4),
              (std::vector<std::string>{"Registergröße = 3 Qubits", "2 Iterationen: #1, #2", "",
                                        "Unsortierte Datenmenge mit 8 Elementen, die durchsucht wurde:"}));
    const std::vector<int64_t> values = data_set(8, 8);
    EXPECT_EQ(r[5], "");
    EXPECT_EQ(r[6], "Die gesuchte Zahl 5 ist die " + std::to_string(place(values, 5)) +
                        ". Zahl in der Datenmenge.");
    EXPECT_NEAR(probability_in(r[7]), 0.945, 0.002) << r[7];
    // The probability line has no line end: the cursor stays behind it.
    EXPECT_EQ(window_table[0].TextVpos, 8);
    EXPECT_EQ(t_Hpos(0), static_cast<int64_t>(r[7].size() - 2) + 1); // two 2-byte letters
}

TEST_F(GroverTest, OneQubitIsSingularAndANegativeSearchedNumberFindsNothing)
{
    // The data set ends the output: nothing is found.
    srand(3);
    groverprogram(-1, 0);
    const std::vector<std::string> r = rows();
    ASSERT_EQ(r.size(), 5u) << ::testing::PrintToString(r);
    EXPECT_EQ(r[0], "Registergröße = 1 Qubit");
    EXPECT_EQ(r[1], "1 Iteration: #1");
    EXPECT_EQ(r[2], "");
    EXPECT_EQ(r[3].rfind("Unsortierte Datenmenge mit ", 0), 0u) << r[3];
}

TEST_F(GroverTest, HundredWithWidthTwoRunsOnSevenQubits)
{
    srand(11);
    groverprogram(100, 2);
    const std::vector<std::string> r = rows();
    ASSERT_EQ(r.size(), 17u) << ::testing::PrintToString(r);
    EXPECT_EQ(r[0], "Registergröße = 7 Qubits");
    EXPECT_EQ(r[1], "8 Iterationen: #1, #2, #3, #4, #5, #6, #7, #8");
    EXPECT_EQ(r[3], "Unsortierte Datenmenge mit 128 Elementen, die durchsucht wurde:");
    // Exactly 100 of the 128 values, ten to a line, then the empty line.
    const int64_t hundred_at = place(data_set(100, 128), 100);
    EXPECT_EQ(r[14], "");
    const std::string found = "Die gesuchte Zahl 100 ist die ";
    ASSERT_EQ(r[15].rfind(found, 0), 0u) << r[15];
    if (hundred_at != 0) {
        EXPECT_EQ(r[15], found + std::to_string(hundred_at) + ". Zahl in der Datenmenge.");
    }
    EXPECT_NEAR(probability_in(r[16]), 0.996, 0.002) << r[16];
}

// The gates' direct indexing, permutation runs and holding by value against the plain gates.

TEST_F(ProgramWindowTest, FastGatePathsChangeNoAmplitudeDrawRecordOrScreen)
{
    struct Run {
        std::vector<std::vector<uint64_t>> states;
        std::vector<std::vector<quantum_amplitude>> amplitudes;
        std::vector<std::string> screen;
        std::vector<uint8_t> dump;
    };
    const auto run = [this](int64_t searched, int64_t width, bool fast) {
        engine::set_fast_paths(fast);
        Run out;
        // The program's circuit, the register taken after every iteration and after the
        // measurement. Closing the run brings the register's arrays up to date.
        quantum_reg_struct reg = register_new(0, width);
        const auto keep = [&] {
            out.states.emplace_back(reg.state, reg.state + reg.size);
            out.amplitudes.emplace_back(reg.amplitude, reg.amplitude + reg.size);
        };
        apply_sigma_x(width, reg);
        apply_walsh(width + 1, reg);
        permutation_run_open(reg);
        for (int64_t k = 0; k < programs::grover_iterations(width); ++k) {
            oraclecircuit(static_cast<uint64_t>(searched), reg);
            apply_walsh(width, reg);
            inversioncircuit(reg);
            apply_walsh(width, reg);
            permutation_run_close();
            keep();
            permutation_run_open(reg);
        }
        apply_hadamard(width, reg);
        permutation_run_close();
        srand(static_cast<unsigned>(width));
        reg.width = width + 1;
        measure_qubit(width, reg);
        keep();
        register_delete(reg);
        // The program itself: its window and its object code.
        fresh_window();
        srand(static_cast<unsigned>(width));
        groverprogram(searched, width);
        out.screen = rows();
        out.dump = program_test::recorded();
        engine::set_fast_paths(true);
        return out;
    };
    for (int64_t width = 1; width <= 12; ++width) {
        const int64_t searched = (int64_t{1} << width) / 3;
        const Run plain = run(searched, width, false);
        const Run fast = run(searched, width, true);
        ASSERT_EQ(fast.states.size(), plain.states.size()) << width;
        for (size_t k = 0; k < plain.states.size(); ++k) {
            ASSERT_EQ(fast.states[k], plain.states[k]) << "width " << width << ", step " << k;
            ASSERT_EQ(fast.amplitudes[k].size(), plain.amplitudes[k].size()) << width;
            EXPECT_EQ(std::memcmp(fast.amplitudes[k].data(), plain.amplitudes[k].data(),
                                  sizeof(quantum_amplitude) * plain.amplitudes[k].size()),
                      0)
                << "width " << width << ", step " << k;
        }
        EXPECT_EQ(fast.screen, plain.screen) << width;
        EXPECT_EQ(fast.dump, plain.dump) << width;
        EXPECT_FALSE(plain.dump.empty()) << width;
    }
}
