// tests/circuits/program_run_test.cpp: whole programs with known outcome tables, the refusals
// of probs, the state budget, and qucode's run, probs and sample as a person uses them.
#include "circuits/program_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numbers>
#include <string>

#include "circuits/qasm_reader.h"
#include "engine/objcode.h"
#include "tests/circuits/read_fixture.h"
#include "tests/support/test_support.h"

namespace {

using circuits::Circuit;
using circuits::OutcomeRows;
using circuits_test::read;
using test_support::run_qucode;
using test_support::temp_path;

// The probs table as a map, checked to be in order (most probable first).
std::map<std::string, double> probabilities(const std::string& program)
{
    OutcomeRows<double> rows;
    EXPECT_TRUE(circuits::outcome_probabilities(read(program), 0, {}, rows));
    objcode_stop();
    std::map<std::string, double> table;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) {
            EXPECT_GE(rows[i - 1].second, rows[i].second);
        }
        table[rows[i].first] = rows[i].second;
    }
    return table;
}

void expect_table(const std::map<std::string, double>& got,
                  const std::map<std::string, double>& want)
{
    EXPECT_EQ(got.size(), want.size());
    for (const auto& [bits, p] : want) {
        const auto found = got.find(bits);
        ASSERT_NE(found, got.end()) << bits;
        EXPECT_NEAR(found->second, p, 1e-6) << bits;
    }
}

std::map<std::string, int64_t> samples(const std::string& program, int64_t shots, unsigned seed)
{
    std::srand(seed);
    OutcomeRows<int64_t> rows;
    EXPECT_TRUE(circuits::outcome_samples(read(program), shots, {}, rows));
    objcode_stop();
    std::map<std::string, int64_t> table;
    int64_t total = 0;
    for (const auto& [bits, n] : rows) {
        table[bits] = n;
        total += n;
    }
    EXPECT_EQ(total, shots);
    return table;
}

const std::string TELEPORT = R"(OPENQASM 3;
include "stdgates.inc";
qubit[3] q;
bit a;
bit b;
bit r;
ry(THETA) q[0];
h q[1];
cx q[1], q[2];
cx q[0], q[1];
h q[0];
a = measure q[0];
b = measure q[1];
if (b) { x q[2]; }
if (a == 1) z q[2];
r = measure q[2];
)";

std::string teleport(const std::string& theta)
{
    std::string p = TELEPORT;
    p.replace(p.find("THETA"), 5, theta);
    return p;
}

} // namespace

TEST(ProgramOutcomes, BellState)
{
    expect_table(probabilities("OPENQASM 2.0;\ninclude \"qelib1.inc\";\nqreg q[2];\ncreg c[2];\n"
                               "h q[0];\ncx q[0], q[1];\nmeasure q -> c;\n"),
                 {{"00", 0.5}, {"11", 0.5}});
}

TEST(ProgramOutcomes, GhzAcrossRegistersAndWithoutMeasurement)
{
    const std::string ghz =
        "OPENQASM 3;\ninclude \"stdgates.inc\";\nqubit[3] q;\nbit[2] lo;\nbit[2] hi;\n"
        "h q[0];\ncx q[0], q[1];\ncx q[1], q[2];\n";
    expect_table(probabilities(
                     ghz + "lo[0] = measure q[0];\nlo[1] = measure q[1];\nhi[1] = measure q[2];\n"),
                 {{"00 00", 0.5}, {"10 11", 0.5}});
    // Without a measurement: the probabilities of all qubits, registers last declared first.
    expect_table(probabilities(ghz + "qubit[1] extra;\nx extra;\n"),
                 {{"1 000", 0.5}, {"1 111", 0.5}});
}

TEST(ProgramOutcomes, QftOfABasisStateHasTheFourierAmplitudes)
{
    // QFT|5> on 3 qubits, q[0] the lowest bit: amplitude e^(2 pi i 5 y / 8) / sqrt(8) at y.
    const Circuit qft = read(R"(OPENQASM 3;
include "stdgates.inc";
gate qft3 a, b, c {
  h c; cp(pi/2) b, c; cp(pi/4) a, c;
  h b; cp(pi/2) a, b;
  h a;
  swap a, c;
}
qubit[3] q;
x q[0];
x q[2];
qft3 q[0], q[1], q[2];
)");
    quantum_reg_struct reg;
    ASSERT_TRUE(circuits::run_to_register(qft, {}, reg));
    objcode_stop();
    ASSERT_EQ(reg.size, 8);
    for (int64_t i = 0; i < reg.size; ++i) {
        const std::complex<double> want = std::polar(
            1 / std::sqrt(8.0), 2 * std::numbers::pi * 5 * static_cast<double>(reg.state[i]) / 8);
        EXPECT_NEAR(reg.amplitude[i].real(), want.real(), 1e-6) << reg.state[i];
        EXPECT_NEAR(reg.amplitude[i].imag(), want.imag(), 1e-6) << reg.state[i];
    }
    register_delete(reg);
}

TEST(ProgramOutcomes, RippleCarryAdderAddsEverySuperposedPair)
{
    // Cuccaro's adder on 3-bit a and b: a in {1, 3, 5, 7}, b in {4, 5, 6, 7}.
    const std::string adder = R"(OPENQASM 2.0;
include "qelib1.inc";
gate maj a, b, c { cx c, b; cx c, a; ccx a, b, c; }
gate uma a, b, c { ccx a, b, c; cx c, a; cx a, b; }
qreg cin[1];
qreg a[3];
qreg b[3];
qreg cout[1];
creg sum[4];
x a[0]; h a[1]; h a[2];
x b[2]; h b[0]; h b[1];
maj cin[0], b[0], a[0];
maj a[0], b[1], a[1];
maj a[1], b[2], a[2];
cx a[2], cout[0];
uma a[1], b[2], a[2];
uma a[0], b[1], a[1];
uma cin[0], b[0], a[0];
measure b[0] -> sum[0];
measure b[1] -> sum[1];
measure b[2] -> sum[2];
measure cout[0] -> sum[3];
)";
    std::map<std::string, double> want;
    for (int a : {1, 3, 5, 7})
        for (int b : {4, 5, 6, 7}) {
            std::string bits;
            for (int k = 3; k >= 0; --k)
                bits += (a + b) >> k & 1 ? '1' : '0';
            want[bits] += 1.0 / 16;
        }
    expect_table(probabilities(adder), want);
}

TEST(ProgramOutcomes, TeleportationWithConditionsIsSampledRunByRun)
{
    // |1> arrives as 1 every time; a and b are fair coins.
    const auto one = samples(teleport("pi"), 400, 7);
    int64_t r_one = 0;
    for (const auto& [bits, n] : one) {
        ASSERT_EQ(bits.size(), 5u) << bits;
        r_one += bits[0] == '1' ? n : 0;
        EXPECT_NEAR(static_cast<double>(n), 100.0, 40.0) << bits;
    }
    EXPECT_EQ(r_one, 400);
    // ry(1.2)|0> arrives as 0 with probability cos^2(0.6) = 0.681; 4000 runs, 4 sigma.
    const auto some = samples(teleport("1.2"), 4000, 11);
    int64_t zeros = 0;
    for (const auto& [bits, n] : some)
        zeros += bits[0] == '0' ? n : 0;
    EXPECT_NEAR(static_cast<double>(zeros) / 4000, 0.6812, 4 * std::sqrt(0.68 * 0.32 / 4000));
    // The same seed, the same samples.
    EXPECT_EQ(samples(teleport("1.2"), 500, 3), samples(teleport("1.2"), 500, 3));
}

TEST(ProgramOutcomes, TerminalMeasurementsAreDrawnFromTheTable)
{
    const auto drawn = samples("OPENQASM 2.0;\ninclude \"qelib1.inc\";\nqreg q[1];\ncreg c[1];\n"
                               "ry(2*pi/3) q[0];\nmeasure q -> c;\n",
                               20000, 5);
    // p(1) = sin^2(pi/3) = 0.75.
    EXPECT_NEAR(static_cast<double>(drawn.at("1")) / 20000, 0.75,
                4 * std::sqrt(0.75 * 0.25 / 20000));
    // A measurement into no bit that gates follow: run by run, the qubits read at the end.
    const auto bitless = samples("OPENQASM 3;\ninclude \"stdgates.inc\";\nqubit[2] q;\nh q[0];\n"
                                 "measure q[0];\ncx q[0], q[1];\n",
                                 200, 9);
    EXPECT_EQ(bitless.size(), 2u);
    EXPECT_EQ(bitless.count("00") + bitless.count("11"), 2u);
}

TEST(ProgramOutcomes, ProbsRefusesEarlyMeasurementsAndUncertainResets)
{
    OutcomeRows<double> rows;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(circuits::outcome_probabilities(read(teleport("1.2")), 0, {}, rows));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "p.qasm:12:5: Auf diese Messung folgen noch Operationen, die von ihr abhängen; "
              "exakte Wahrscheinlichkeiten gibt es nur für Messungen am Ende (\"qucode sample\" "
              "zieht Stichproben).\n");
    objcode_stop();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(circuits::outcome_probabilities(
        read("OPENQASM 2.0;\ninclude \"qelib1.inc\";\nqreg q[2];\nh q[0];\nreset q;\n"), 0, {},
        rows));
    EXPECT_EQ(
        testing::internal::GetCapturedStderr(),
        "p.qasm:5:1: \"reset\" trifft hier ein Qubit in Überlagerung; die "
        "Wahrscheinlichkeiten hängen dann vom Zufall ab (dafür gibt es \"qucode sample\").\n");
    objcode_stop();
    // A reset of a qubit that is certainly 1 is no chance at all.
    expect_table(
        probabilities("OPENQASM 2.0;\ninclude \"qelib1.inc\";\nqreg q[2];\nx q;\nreset q[0];\n"),
        {{"10", 1.0}});
    // Measuring a qubit again, or into a second bit, is still terminal.
    expect_table(probabilities("OPENQASM 2.0;\ninclude \"qelib1.inc\";\nqreg q[1];\ncreg c[2];\n"
                               "h q;\nmeasure q[0] -> c[0];\nmeasure q[0] -> c[1];\n"),
                 {{"00", 0.5}, {"11", 0.5}});
}

TEST(ProgramOutcomes, TheStateBudgetStopsBeforeTheGate)
{
    circuits::RunOptions options;
    options.max_states = 1000;
    OutcomeRows<double> rows;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(circuits::outcome_probabilities(
        read("OPENQASM 3;\ninclude \"stdgates.inc\";\nqubit[10] q;\nh q;\n"), 0, options, rows));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "p.qasm:4:1: Das Gatter würde das Register auf 1.024 Zustände vergrößern, mehr "
              "als die Grenze von 1.000 (--max-states); abgebrochen.\n");
    objcode_stop();
    options.max_states = 1024;
    EXPECT_TRUE(circuits::outcome_probabilities(
        read("OPENQASM 3;\ninclude \"stdgates.inc\";\nqubit[10] q;\nh q;\n"), 0, options, rows));
    EXPECT_EQ(rows.size(), 1024u);
    objcode_stop();
}

TEST(QucodePrograms, RunProbsSampleAndDumpAsAPersonUsesThem)
{
    const std::string program = temp_path("bell.qasm");
    std::ofstream(program) << "OPENQASM 2.0;\ninclude \"qelib1.inc\";\nqreg q[2];\ncreg c[2];\n"
                              "h q[0];\ncx q[0], q[1];\nmeasure q -> c;\n";
    const test_support::ToolRun probs = run_qucode("probs '" + program + "'");
    EXPECT_EQ(probs.status, 0);
    EXPECT_EQ(probs.out, "00 0.499999983\n11 0.499999983\n");
    const test_support::ToolRun sample =
        run_qucode("sample '" + program + "' --shots 100 --seed 4");
    EXPECT_EQ(sample.status, 0);
    EXPECT_EQ(sample.out, run_qucode("sample '" + program + "' --shots 100 --seed 4").out);
    EXPECT_TRUE(sample.out.rfind("00 ", 0) == 0 || sample.out.rfind("11 ", 0) == 0) << sample.out;
    // run from standard input, with the object code of the run kept and listed.
    const std::string dump = temp_path("bell.qucode");
    const test_support::ToolRun run =
        run_qucode("run - --seed 1 --dump '" + dump + "' < '" + program + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out ==
                    " 1.000000 +0.000000i|0> (1.000000e+00) (|00>)\n\nKlassische Bits: 00\n" ||
                run.out == " 1.000000 +0.000000i|3> (1.000000e+00) (|11>)\n\nKlassische Bits: 11\n")
        << run.out;
    const test_support::ToolRun listed = run_qucode("list '" + dump + "'");
    EXPECT_NE(listed.out.find("hadamard        0"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("cnot            0, 1"), std::string::npos);
    EXPECT_NE(listed.out.find("measure_bit_p   1"), std::string::npos);
    // A refusal is one line naming the place, and status 1.
    std::ofstream(program) << "OPENQASM 3;\nqubit q;\nfor int i in [0:1] { }\n";
    const test_support::ToolRun refused = run_qucode("run '" + program + "'");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, program + ":3:1: Schleifen (\"for\") werden nicht unterstützt.\n");
    EXPECT_EQ(refused.out, "");
    const test_support::ToolRun no_shots = run_qucode("sample '" + program + "'");
    EXPECT_EQ(no_shots.status, 2);
    EXPECT_EQ(no_shots.err.rfind("qucode: sample braucht --shots N.\n", 0), 0u);
    const test_support::ToolRun of_dump = run_qucode("probs '" + dump + "'");
    EXPECT_EQ(of_dump.status, 1);
    EXPECT_NE(of_dump.err.find("probs braucht ein OpenQASM-Programm"), std::string::npos);
    std::remove(program.c_str());
    std::remove(dump.c_str());
}
