// tests/programs/grover_test.cpp: the Grover program, its circuits, the listing and the
// refusals of the G command.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/measure.h"
#include "engine/objcode.h"
#include "engine/register.h"
#include "programs/grover.h"
#include "programs/input_limits.h"
#include "tests/programs/program_fixture.h"

using program_test::fields;
using program_test::ProgramWindowTest;

namespace {

// The records after the two that open every trace (F0 width, 00 initial value).
std::vector<uint8_t> recorded_after_start()
{
    const uint8_t* data = objcode_data();
    if (data == nullptr || objcode_position() < 14)
        return {};
    return std::vector<uint8_t>(data + 14, data + objcode_position());
}

void add_int(std::vector<uint8_t>& bytes, int64_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void add_not(std::vector<uint8_t>& b, int64_t t)
{
    b.push_back(0x03);
    add_int(b, t);
}

void add_hadamard(std::vector<uint8_t>& b, int64_t t)
{
    b.push_back(0x06);
    add_int(b, t);
}

void add_cnot(std::vector<uint8_t>& b, int64_t c, int64_t t)
{
    b.push_back(0x01);
    add_int(b, c);
    add_int(b, t);
}

void add_toffoli(std::vector<uint8_t>& b, int64_t c1, int64_t c2, int64_t t)
{
    b.push_back(0x02);
    add_int(b, c1);
    add_int(b, c2);
    add_int(b, t);
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

TEST_F(ProgramWindowTest, OracleCircuitForWidthThreeAndPatternFive)
{
    quantum_reg_struct reg = register_new(0, 3);
    oraclecircuit(5, reg);
    std::vector<uint8_t> expected;
    add_not(expected, 1); // bit 1 of 101 is the only 0
    add_toffoli(expected, 0, 1, 4);
    add_toffoli(expected, 1, 4, 5);
    add_toffoli(expected, 2, 5, 6);
    add_cnot(expected, 6, 3);
    add_toffoli(expected, 2, 5, 6);
    add_toffoli(expected, 1, 4, 5);
    add_toffoli(expected, 0, 1, 4);
    add_not(expected, 1);
    EXPECT_EQ(recorded_after_start(), expected);
    // The basis value 0 is not marked, so the phase qubit stays as it was.
    ASSERT_EQ(reg.size, 1);
    EXPECT_EQ(reg.state[0], 0u);
    register_delete(reg);
}

TEST_F(ProgramWindowTest, OracleCircuitOfOneQubitUsesTheShortForm)
{
    quantum_reg_struct reg = register_new(0, 1);
    oraclecircuit(1, reg);
    std::vector<uint8_t> expected;
    add_toffoli(expected, 0, 1, 2);
    add_cnot(expected, 2, 1);
    add_toffoli(expected, 0, 1, 2);
    EXPECT_EQ(recorded_after_start(), expected);
    register_delete(reg);
}

TEST_F(ProgramWindowTest, OracleCircuitFlipsThePhaseQubitOfTheMarkedValue)
{
    // Basis value 6 on 3 qubits, phase qubit 3 clear: the oracle for 6 sets bit 3.
    quantum_reg_struct reg = register_new(6, 3);
    oraclecircuit(6, reg);
    ASSERT_EQ(reg.size, 1);
    EXPECT_EQ(reg.state[0], 6u + 8u);
    oraclecircuit(5, reg);
    EXPECT_EQ(reg.state[0], 6u + 8u);
    register_delete(reg);
}

TEST_F(ProgramWindowTest, InversionCircuitOfWidthThreeHasNoChain)
{
    quantum_reg_struct reg = register_new(0, 3);
    inversioncircuit(reg);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 3; ++i)
        add_not(expected, i);
    add_hadamard(expected, 2);
    add_toffoli(expected, 0, 1, 2);
    add_hadamard(expected, 2);
    for (int i = 0; i < 3; ++i)
        add_not(expected, i);
    EXPECT_EQ(recorded_after_start(), expected);
    register_delete(reg);
}

TEST_F(ProgramWindowTest, InversionCircuitOfWidthTwoHasToffoliNotToffoli)
{
    quantum_reg_struct reg = register_new(0, 2);
    inversioncircuit(reg);
    std::vector<uint8_t> expected;
    add_not(expected, 0);
    add_not(expected, 1);
    add_hadamard(expected, 1);
    add_toffoli(expected, 0, 1, 3);
    add_cnot(expected, 3, 1);
    add_toffoli(expected, 0, 1, 3);
    add_hadamard(expected, 1);
    add_not(expected, 0);
    add_not(expected, 1);
    EXPECT_EQ(recorded_after_start(), expected);
    register_delete(reg);
}

// Numbers of the program.

TEST(GroverNumbers, IterationsPerWidth)
{
    EXPECT_EQ(programs::grover_iterations(1), 1);
    EXPECT_EQ(programs::grover_iterations(2), 1);
    EXPECT_EQ(programs::grover_iterations(3), 2);
    EXPECT_EQ(programs::grover_iterations(4), 3);
    EXPECT_EQ(programs::grover_iterations(7), 8);
    EXPECT_EQ(programs::grover_iterations(10), 25);
    EXPECT_EQ(programs::grover_iterations(64), 0);
}

TEST(GroverNumbers, WidthIsRaisedToWhatTheSearchedNumberNeeds)
{
    EXPECT_EQ(programs::grover_width(5, 0), 3);
    EXPECT_EQ(programs::grover_width(0, 1), 1);
    EXPECT_EQ(programs::grover_width(100, 2), 7);
    EXPECT_EQ(programs::grover_width(100, 9), 9);
    EXPECT_EQ(programs::grover_width(-7, -3), 1);
    EXPECT_EQ(programs::grover_width(programs::GROVER_LARGEST_SEARCHED, 0), 24);
}

TEST(GroverNumbers, ListingFieldsAreEightCharacters)
{
    EXPECT_EQ(programs::listing_field(0), "0       ");
    EXPECT_EQ(programs::listing_field(12345678), "12345678");
    EXPECT_EQ(programs::listing_field(123456789), "12345678");
    EXPECT_EQ(programs::listing_field(UINT64_MAX), "18446744");
}

TEST(GroverNumbers, ShortestTextReadsBack)
{
    EXPECT_EQ(programs::shortest_text(0.5), "0.5");
    EXPECT_EQ(programs::shortest_text(0.1875), "0.1875");
    EXPECT_EQ(programs::shortest_text(1.0), "1.0");
    EXPECT_EQ(programs::shortest_text(0.1), "0.1");
    EXPECT_EQ(programs::shortest_text(0.0001), "0.0001");
    EXPECT_EQ(programs::shortest_text(5e-05), "5e-05");
    EXPECT_EQ(programs::shortest_text(1.25e-07), "1.25e-07");
    EXPECT_EQ(programs::shortest_text(123.0), "123.0");
    EXPECT_EQ(programs::shortest_text(1e16), "1e+16");
    EXPECT_EQ(programs::shortest_text(-0.25), "-0.25");
    EXPECT_EQ(programs::shortest_text(0.0), "0.0");
    const double f = static_cast<double>(0.94531250f);
    EXPECT_EQ(std::strtod(programs::shortest_text(f).c_str(), nullptr), f);
}

// Refusals of the G command, at their edges.

TEST(GroverRefusal, WidthsUpToTwentyFourRun)
{
    EXPECT_EQ(programs::grover_refusal(5, 24), "");
    EXPECT_EQ(programs::grover_refusal(5, 0), "");
    EXPECT_EQ(programs::grover_refusal(5, -100), "");
    EXPECT_EQ(programs::grover_refusal(-5, 3), "");
    EXPECT_EQ(programs::grover_refusal(5, 25),
              "Bitte geben Sie eine Registerzahl von höchstens 24 ein.");
    EXPECT_EQ(programs::grover_refusal(5, INT64_MAX),
              "Bitte geben Sie eine Registerzahl von höchstens 24 ein.");
}

TEST(GroverRefusal, SearchedNumbersNeedingMoreThanTwentyFourQubits)
{
    EXPECT_EQ(programs::grover_refusal(16777215, 0), "");
    EXPECT_EQ(programs::grover_refusal(16777216, 0),
              "Bitte geben Sie eine gesuchte Zahl von höchstens 16.777.215 ein.");
    // The width of such numbers would never be found; the check must come first.
    EXPECT_EQ(programs::grover_refusal(INT64_MAX, 3),
              "Bitte geben Sie eine gesuchte Zahl von höchstens 16.777.215 ein.");
    EXPECT_EQ(programs::grover_refusal(int64_t{1} << 30, 0),
              "Bitte geben Sie eine gesuchte Zahl von höchstens 16.777.215 ein.");
}

TEST_F(ProgramWindowTest, GroverProgramRefusesByItselfToo)
{
    groverprogram(5, 25);
    EXPECT_EQ(rows(), std::vector<std::string>{
                          "Bitte geben Sie eine Registerzahl von höchstens 24 ein."});
}

// The program's window text.

TEST_F(ProgramWindowTest, GroverFiveWithWidthZero)
{
    srand(7);
    groverprogram(5, 0);
    const std::vector<std::string> r = rows();
    ASSERT_EQ(r.size(), 8u) << ::testing::PrintToString(r);
    EXPECT_EQ(r[0], "Registergröße = 3 Qubits");
    EXPECT_EQ(r[1], "2 Iterationen: #1, #2");
    EXPECT_EQ(r[2], "");
    EXPECT_EQ(r[3], "Unsortierte Datenmenge mit 8 Elementen, die durchsucht wurde:");
    const std::vector<std::string> f = fields(raw_row(5));
    ASSERT_EQ(f.size(), 10u);
    std::vector<bool> seen(8, false);
    int64_t position_of_five = 0;
    for (int i = 0; i < 8; ++i) {
        const int value = std::atoi(f[i].c_str());
        ASSERT_GE(value, 0);
        ASSERT_LT(value, 8);
        EXPECT_FALSE(seen[value]);
        seen[value] = true;
        EXPECT_EQ(f[i], programs::listing_field(value));
        if (value == 5)
            position_of_five = i + 1;
    }
    EXPECT_EQ(f[8], "        ");
    EXPECT_EQ(r[5], "");
    EXPECT_EQ(r[6], "Die gesuchte Zahl 5 ist die " + std::to_string(position_of_five) +
                        ". Zahl in der Datenmenge.");
    EXPECT_NEAR(probability_in(r[7]), 0.945, 0.002) << r[7];
    // The probability line has no line end: the cursor stays behind it.
    EXPECT_EQ(window_table[0].TextVpos, 8);
    EXPECT_EQ(t_Hpos(0), static_cast<int64_t>(r[7].size() - 2) + 1); // two 2-byte letters
}

TEST_F(ProgramWindowTest, GroverZeroWithWidthOne)
{
    srand(7);
    groverprogram(0, 1);
    const std::vector<std::string> r = rows();
    ASSERT_GE(r.size(), 5u) << ::testing::PrintToString(r);
    EXPECT_EQ(r[0], "Registergröße = 1 Qubit");
    EXPECT_EQ(r[1], "1 Iteration: #1");
    EXPECT_EQ(r[2], "");
    EXPECT_EQ(r[3].rfind("Unsortierte Datenmenge mit ", 0), 0u) << r[3];
    // With one qubit the Toffoli chain reaches into the phase qubit, so scratch bits stay
    // set and the data set holds up to four values below 4.
    const int64_t entries = std::atoi(r[3].c_str() + 27);
    ASSERT_GE(entries, 1) << ::testing::PrintToString(r);
    ASSERT_LE(entries, 4) << ::testing::PrintToString(r);
    const std::vector<std::string> f = fields(raw_row(5));
    int64_t zero_at = 0;
    std::vector<bool> seen(4, false);
    for (int64_t i = 0; i < entries; ++i) {
        const int value = std::atoi(f[i].c_str());
        ASSERT_LT(value, 4) << f[i];
        EXPECT_FALSE(seen[value]);
        seen[value] = true;
        if (value == 0)
            zero_at = i + 1;
    }
    EXPECT_EQ(f[entries], "        ");
    if (zero_at == 0) {
        // Not found: the listing and its empty line are the last output.
        EXPECT_EQ(r.size(), 5u);
    } else {
        ASSERT_EQ(r.size(), 8u);
        EXPECT_EQ(r[6], "Die gesuchte Zahl 0 ist die " + std::to_string(zero_at) +
                            ". Zahl in der Datenmenge.");
        const double p = probability_in(r[7]);
        EXPECT_GT(p, 0);
        EXPECT_LE(p, 1.0001);
    }
}

TEST_F(ProgramWindowTest, GroverHundredWithWidthTwoRunsOnSevenQubits)
{
    srand(11);
    groverprogram(100, 2);
    const std::vector<std::string> r = rows();
    ASSERT_EQ(r.size(), 17u) << ::testing::PrintToString(r);
    EXPECT_EQ(r[0], "Registergröße = 7 Qubits");
    EXPECT_EQ(r[1], "8 Iterationen: #1, #2, #3, #4, #5, #6, #7, #8");
    EXPECT_EQ(r[3], "Unsortierte Datenmenge mit 128 Elementen, die durchsucht wurde:");
    // Exactly 100 of the 128 values, ten to a line, then the empty line.
    int64_t hundred_at = 0;
    for (int line = 5; line <= 14; ++line) {
        const std::vector<std::string> f = fields(raw_row(line));
        ASSERT_EQ(f.size(), 10u);
        for (int i = 0; i < 10; ++i) {
            EXPECT_NE(f[i], "        ") << "line " << line << " field " << i;
            if (std::atoi(f[i].c_str()) == 100)
                hundred_at = (line - 5) * 10 + i + 1;
        }
    }
    EXPECT_EQ(r[14], "");
    const std::string found = "Die gesuchte Zahl 100 ist die ";
    ASSERT_EQ(r[15].rfind(found, 0), 0u) << r[15];
    if (hundred_at != 0) {
        EXPECT_EQ(r[15], found + std::to_string(hundred_at) + ". Zahl in der Datenmenge.");
    }
    EXPECT_NEAR(probability_in(r[16]), 0.996, 0.002) << r[16];
}

TEST_F(ProgramWindowTest, GroverNegativeSearchedNumberFindsNothing)
{
    srand(3);
    groverprogram(-1, 0);
    const std::vector<std::string> r = rows();
    ASSERT_EQ(r.size(), 5u) << ::testing::PrintToString(r);
    EXPECT_EQ(r[0], "Registergröße = 1 Qubit");
    EXPECT_EQ(r[1], "1 Iteration: #1");
}

// End to end through the real program.

TEST(GroverHeadless, KeysGFiveReturnZeroReturn)
{
    const program_test::HeadlessRun run = program_test::run_headless("grover", "g5\n0\n");
    if (!run.built)
        GTEST_SKIP() << "build/orbikon not built";
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.screen.find("Grover Such-Algorithmus für unsortierte Daten:"),
              std::string::npos);
    EXPECT_NE(run.screen.find("Zahl (0-8000) eingeben, die gesucht wird : 5"), std::string::npos);
    EXPECT_NE(run.screen.find("Anzahl der Qubits (0 = benötigte Anzahl): 0"), std::string::npos);
    EXPECT_NE(run.screen.find("Registergröße = 3 Qubits\n2 Iterationen: #1, #2\n"),
              std::string::npos)
        << run.screen;
    EXPECT_NE(run.screen.find("Die gesuchte Zahl 5 ist die "), std::string::npos);
    EXPECT_NE(run.screen.find("Die Wahrscheinlichkeit für das Suchergebnis beträgt 0.9"),
              std::string::npos);
    ASSERT_TRUE(run.dump_exists);
    ASSERT_GE(run.dump.size(), 14u);
    EXPECT_EQ(std::vector<uint8_t>(run.dump.begin(), run.dump.begin() + 5),
              (std::vector<uint8_t>{0xF0, 0, 0, 0, 3}));
}

TEST(GroverHeadless, WideRegisterIsRefusedWithoutTail)
{
    // The random bit first, so there is a dump that the refusal must leave alone.
    const program_test::HeadlessRun run =
        program_test::run_headless("grover-wide", "rg5\n25\n");
    if (!run.built)
        GTEST_SKIP() << "build/orbikon not built";
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.screen.find("Anzahl der Qubits (0 = benötigte Anzahl): 25\n\n"
                              "Bitte geben Sie eine Registerzahl von höchstens 24 ein."),
              std::string::npos)
        << run.screen;
    EXPECT_EQ(run.screen.find("Registergröße"), std::string::npos);
    ASSERT_TRUE(run.dump_exists);
    EXPECT_EQ(run.dump.size(), 24u);
    EXPECT_EQ(run.dump[4], 1);
}
