// tests/programs/qasm_test.cpp: the OpenQASM export of dumps, byte for byte, its refusals of
// records without a unitary form, and qucode's shared command line.
#include "programs/qasm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/programs/program_fixture.h"

namespace {

using test_support::run_qucode;
using test_support::slurp;
using test_support::temp_path;
using test_support::write_bytes;

} // namespace

TEST(QasmExport, EveryOpcodeAndTheIndexMapOfRemovingMeasurements)
{
    // Width 4, init 5, measure_bit 0 (the engine's qubit 1 is q[1] from here on), cnot 0 1,
    // one swap-leads call written as three records, cond_phase 2 0, phase_scale 0.5, then
    // every other opcode once, and measure. This text was checked against a simulation of
    // its statements with the standard gates' matrices: for several seeds it prepares the
    // replay's state, global phase included.
    std::vector<uint8_t> dump;
    const auto gate = [&dump](uint8_t opcode, std::vector<int64_t> operands, double angle = NAN) {
        test_support::add_gate(dump, opcode, std::move(operands));
        if (!std::isnan(angle))
            dump.insert(dump.end(), reinterpret_cast<const uint8_t*>(&angle),
                        reinterpret_cast<const uint8_t*>(&angle) + sizeof angle);
    };
    gate(0xF0, {4});
    dump.insert(dump.end(), {0x00, 0, 0, 0, 0, 0, 0, 0, 5});
    gate(0x81, {0});
    gate(0x01, {0, 1});
    for (int i = 0; i < 3; ++i)
        gate(0x0E, {1});
    gate(0x0C, {2, 0});
    gate(0x0B, {7}, 0.5);
    gate(0x02, {0, 1, 2});
    gate(0x04, {0});
    gate(0x05, {1});
    gate(0x06, {2});
    gate(0x07, {0}, 1.5);
    gate(0x08, {1}, -0.75);
    gate(0x09, {2}, 2.0);
    gate(0x0A, {0}, 0.25);
    gate(0x82, {1});
    gate(0x0D, {1, 2}, 0.5);
    gate(0xFF, {});
    gate(0x80, {});
    const std::string path = temp_path("conventions.qucode");
    write_bytes(path, dump);

    std::string text;
    ASSERT_TRUE(qasm_export(path, text));
    EXPECT_EQ(text,
              "// " + path +
                  ": object code as OpenQASM 3 (qucode qasm)\n"
                  "// 21 records: init 1, cnot 1, toffoli 1, sigma_y 1, sigma_z 1, hadamard 1, "
                  "rotate_x 1, rotate_y 1, rotate_z 1, phase_kick 1, phase_scale 1, cond_phase 1, "
                  "cphase_kick 1, swapleads 3 in 1 call, measure 1, measure_bit 1, "
                  "measure_bit_p 1, qbits 1, nop 1\n"
                  "// q[i] is the engine's qubit i until a measurement removes one; c is filled in "
                  "record order.\n"
                  "OPENQASM 3.0;\ninclude \"stdgates.inc\";\nqubit[4] q;\nbit[5] c;\n"
                  "// width 4\n// init 5\nx q[0];\nx q[2];\n"
                  "c[0] = measure q[0];\n"
                  "cx q[1], q[2];\n"
                  "// swap leads 1 (3 records)\nswap q[1], q[2];\n"
                  "cp(0.7853981852531433) q[3], q[1];\n" // pi/4 rounded to single precision
                  "gphase(0.5);\n"
                  "ccx q[1], q[2], q[3];\ny q[1];\nz q[2];\nh q[3];\n"
                  "rx(1.5) q[1];\nry(-0.75) q[2];\nrz(2) q[3];\np(0.25) q[1];\n"
                  "c[1] = measure q[2];\n"
                  "cp(0.5) q[2], q[3];\n"
                  "// measure: every live qubit, the lowest engine qubit first\n"
                  "c[2] = measure q[1];\nc[3] = measure q[2];\nc[4] = measure q[3];\n");
    std::remove(path.c_str());
}

TEST(QasmExport, BadRecordsStopWithTheReplaysDiagnosticAndLeaveTheOutputAlone)
{
    std::vector<uint8_t> start;
    test_support::add_gate(start, 0xF0, {4});
    start.insert(start.end(), {0x00, 0, 0, 0, 0, 0, 0, 0, 0});
    const struct {
        const char* name;
        std::vector<uint8_t> tail;
        std::string diagnostic;
        bool replay_says_so; // the replay prints the same first line
    } cases[] = {
        {"unknown opcode", {0x06, 0, 0, 0, 1, 0x42}, "3: Unknown opcode 0x(42)!\n", true},
        {"cut-off angle", {0x07, 0, 0, 0, 1, 0, 0, 0}, "ERROR: failure\n", true},
        {"cut-off swap run", {0x0E, 0, 0, 0, 1, 0x0E, 0, 0}, "ERROR: failure\n", true},
        {"negative swap width", {0x0E, 0xFF, 0xFF, 0xFF, 0xFF}, "ERROR: failure\n", true},
        {"cnot on one qubit",
         {0x01, 0, 0, 0, 3, 0, 0, 0, 67},
         "qucode: record 2 (cnot) clears its qubit and has no unitary form.\n",
         false},
        {"toffoli onto a control",
         {0x02, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 2},
         "qucode: record 2 (toffoli) clears its qubit and has no unitary form.\n",
         false},
        {"swap wider than 32",
         {0x0E, 0, 0, 0, 33},
         "qucode: record 2 (swapleads) loses bits and has no unitary form.\n",
         false},
        {"infinite angle",
         {0x0A, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xF0, 0x7F},
         "qucode: record 2 (phase_kick) has no finite angle.\n",
         false},
    };
    const std::string path = temp_path("bad.qucode");
    const std::string out = temp_path("bad.qasm");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> dump = start;
        dump.insert(dump.end(), c.tail.begin(), c.tail.end());
        write_bytes(path, dump);
        std::ofstream(out) << "earlier program\n";
        const test_support::ToolRun to_file = run_qucode("qasm '" + path + "' -o '" + out + "'");
        EXPECT_EQ(to_file.out + to_file.err, c.diagnostic);
        EXPECT_EQ(to_file.status, 1);
        EXPECT_EQ(slurp(out), "earlier program\n");
        const test_support::ToolRun to_stdout = run_qucode("qasm '" + path + "'");
        EXPECT_EQ(to_stdout.out, "");
        EXPECT_EQ(to_stdout.status, 1);
        if (c.replay_says_so) {
            EXPECT_EQ(run_qucode("run '" + path + "'").err.rfind(c.diagnostic, 0), 0u);
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(testing::TempDir()))
        EXPECT_EQ(entry.path().string().find(out + ".tmp"), std::string::npos) << entry.path();
    std::remove(path.c_str());
    std::remove(out.c_str());
}

TEST(QasmExport, SharedCommandLineWithGermanUsage)
{
    std::vector<uint8_t> dump;
    test_support::add_gate(dump, 0xF0, {1});
    dump.insert(dump.end(), {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x06, 0, 0, 0, 0});
    const std::string path = temp_path("usage.qucode");
    const std::string out = temp_path("usage.qasm");
    write_bytes(path, dump);
    const struct {
        std::string args;
        int status;
        std::string err_start; // of standard error
    } cases[] = {
        {"", 2, "qucode: kein Befehl angegeben.\nAufruf: qucode run DATEI"},
        {"frob '" + path + "'", 2, "qucode: unbekannter Befehl \"frob\".\nAufruf:"},
        {"qasm", 2, "qucode: qasm braucht eine DATEI.\nAufruf:"},
        {"qasm '" + path + "' -o", 2, "qucode: -o braucht einen Dateinamen.\nAufruf:"},
        {"qasm '" + path + "' --seed 1", 2, "qucode: unerwartetes Argument \"--seed\"."},
        {"run '" + path + "' --seed x", 2, "qucode: --seed braucht eine ganze Zahl"},
        {"run --seed 7 '" + path + "'", 0, ""},
        {"qasm -o '" + out + "' '" + path + "'", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const test_support::ToolRun run = run_qucode(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err.rfind(c.err_start, 0), 0u) << run.err;
    }
    const test_support::ToolRun help = run_qucode("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(
        help.out.rfind("Aufruf: qucode run DATEI [--seed N] [--max-states N] [--dump AUS]\n", 0),
        0u)
        << help.out;
    EXPECT_NE(help.out.find("qucode qasm DATEI [-o AUSGABE]"), std::string::npos);
    // -o writes exactly what standard output would carry.
    EXPECT_EQ(slurp(out), run_qucode("qasm '" + path + "'").out);
    EXPECT_NE(slurp(out).find("h q[0];\n"), std::string::npos);
    std::remove(path.c_str());
    std::remove(out.c_str());
}

TEST(QasmExport, ProgramDumpsAreExported)
{
    for (const auto& [name, keys] : {std::pair{"qasm-codetest", "t"}, {"qasm-grover", "g5\n0\n"},
                                     {"qasm-oracle", "o3\n"}, {"qasm-shor", "s15\n"}}) {
        SCOPED_TRACE(name);
        const program_test::HeadlessRun run = program_test::run_headless(name, keys);
        ASSERT_EQ(run.status, 0) << run.output;
        ASSERT_TRUE(run.dump_exists);
        const std::string path = temp_path(std::string(name) + ".qucode");
        write_bytes(path, run.dump);
        const test_support::ToolRun exported = run_qucode("qasm '" + path + "'");
        EXPECT_EQ(exported.status, 0);
        EXPECT_NE(exported.out.find("\nOPENQASM 3.0;\ninclude \"stdgates.inc\";\nqubit["),
                  std::string::npos);
        std::remove(path.c_str());
    }
}
