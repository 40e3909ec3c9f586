// tests/programs/qasm_test.cpp: the OpenQASM export of dumps, byte for byte, its refusals of
// records without a unitary form, and qucode's shared command line.
#include "circuits/qasm_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/objcode.h"
#include "engine/register.h"
#include "engine/replay.h"
#include "tests/programs/program_fixture.h"

namespace {

using test_support::run_qucode;
using test_support::slurp;
using test_support::temp_path;
using test_support::write_bytes;

using Table = std::map<std::string, double>;

// One record of a dump: where it stands, its qubit operands and, for an init, its value.
struct Record {
    uint8_t op = 0;
    size_t at = 0, length = 0;
    int64_t q[3] = {};
    uint64_t value = 0;
};

std::vector<Record> decode(const std::vector<uint8_t>& dump)
{
    std::vector<Record> records;
    for (size_t at = 0; at < dump.size();) {
        Record r;
        r.op = dump[at];
        r.at = at;
        r.length = static_cast<size_t>(objcode_record_length(r.op));
        if (r.length == 0 || at + r.length > dump.size())
            break;
        const uint8_t* p = dump.data() + at + 1;
        const bool angle = (r.op >= 0x07 && r.op <= 0x0B) || r.op == 0x0D;
        for (size_t i = 0; r.op != 0x00 && i < (r.length - 1 - (angle ? 8 : 0)) / 4; ++i)
            r.q[i] = static_cast<int32_t>(uint32_t{p[4 * i]} << 24 | uint32_t{p[4 * i + 1]} << 16 |
                                          uint32_t{p[4 * i + 2]} << 8 | p[4 * i + 3]);
        for (int i = 0; r.op == 0x00 && i < 8; ++i)
            r.value = (r.value << 8) | p[i];
        records.push_back(r);
        at += r.length;
    }
    return records;
}

// The positions the exported program names for a gate record (an init: its set bits).
uint64_t named_positions(const Record& r)
{
    const auto bit = [](int64_t q) { return uint64_t{1} << (q & 63); };
    switch (r.op) {
    case 0x00:
        return r.value;
    case 0x01:
    case 0x0C:
    case 0x0D:
        return bit(r.q[0]) | bit(r.q[1]);
    case 0x02:
        return bit(r.q[0]) | bit(r.q[1]) | bit(r.q[2]);
    case 0x0E:
        return (uint64_t{1} << (2 * r.q[0])) - 1;
    default:
        return r.op >= 0x03 && r.op <= 0x0A ? bit(r.q[0]) : 0;
    }
}

// One way the replay's measurements can come out: the register after them, the probability
// of getting there, the bits so far (c[0] first) and the positions the program has named.
struct Branch {
    quantum_reg_struct reg;
    double weight = 1;
    std::string bits;
    uint64_t named = 0;
};

double probability(const quantum_amplitude& a)
{
    return std::norm(std::complex<double>(a.real(), a.imag()));
}

// The bytes from..to of the dump replayed into reg by the replay itself.
void replay_part(const std::vector<uint8_t>& dump, size_t from, size_t to, quantum_reg_struct& reg)
{
    if (from == to)
        return;
    FILE* file = fmemopen(const_cast<uint8_t*>(dump.data() + from), to - from, "rb");
    ASSERT_NE(file, nullptr);
    quantum_objcode_run_stream(file, reg, INT64_MAX);
    std::fclose(file);
    objcode_stop();
}

// The probability of every outcome of a dump's measurements when the replay runs it,
// following every outcome of each one-qubit measurement; a whole-register measurement counts
// where nothing acts on its register after it, with a bit per named position. Keys are the
// bits c[n-1] ... c[0] as `qucode probs` prints them for the exported program. Between the
// measurements the replay itself runs the records.
Table replay_probabilities(const std::vector<uint8_t>& dump)
{
    const std::vector<Record> records = decode(dump);
    std::vector<Branch> branches(1);
    size_t replayed = 0; // the dump's bytes before this have been replayed into every branch
    for (size_t k = 0; k < records.size(); ++k) {
        const Record& r = records[k];
        if (r.op < 0x80 || r.op > 0x82) {
            for (Branch& b : branches)
                b.named = r.op == 0x00 ? r.value : b.named | named_positions(r);
            continue;
        }
        for (Branch& b : branches)
            replay_part(dump, replayed, r.at, b.reg);
        replayed = r.at + r.length;
        const uint64_t bit = uint64_t{1} << (r.q[0] & 63);
        std::vector<Branch> next;
        for (Branch& b : branches) {
            quantum_reg_struct& reg = b.reg;
            if (r.op == 0x80) {
                // Counted only where no gate or measurement follows on this register.
                bool followed = false;
                for (size_t later = k + 1; later < records.size() && records[later].op != 0x00;
                     ++later)
                    followed = followed || (records[later].op != 0xF0 && records[later].op != 0xFF);
                if (followed) {
                    next.push_back(b);
                    continue;
                }
                for (int64_t i = 0; i < reg.size; ++i) {
                    Branch taken;
                    taken.weight = b.weight * probability(reg.amplitude[i]);
                    taken.bits = b.bits;
                    for (int p = 0; p < 64; ++p)
                        if (b.named >> p & 1)
                            taken.bits += static_cast<char>('0' + (reg.state[i] >> p & 1));
                    taken.named = b.named;
                    next.push_back(taken);
                }
                register_delete(reg);
                continue;
            }
            for (int outcome : {0, 1}) {
                double p = 0;
                for (int64_t i = 0; i < reg.size; ++i)
                    if (((reg.state[i] & bit) != 0) == (outcome == 1))
                        p += probability(reg.amplitude[i]);
                if (p < 1e-12)
                    continue;
                Branch taken = b;
                taken.weight = b.weight * p;
                taken.bits += static_cast<char>('0' + outcome);
                if (r.op == 0x81) {
                    // The engine's collapse, with the table the copy gives it of its own.
                    quantum_reg_struct collapsed = state_collapse(r.q[0], outcome, reg);
                    register_copy(collapsed, taken.reg);
                    register_delete_keep_hash(collapsed);
                    // The positions above the measured one move down by one.
                    taken.named = (b.named & (bit - 1)) | ((b.named >> 1) & ~(bit - 1));
                } else {
                    // Kept, renormalised; the other side gone.
                    register_copy(reg, taken.reg);
                    const auto scale = static_cast<float>(1 / std::sqrt(p));
                    for (int64_t i = 0; i < taken.reg.size; ++i)
                        taken.reg.amplitude[i] *=
                            ((taken.reg.state[i] & bit) != 0) == (outcome == 1) ? scale : 0.0f;
                    taken.named |= bit;
                }
                next.push_back(taken);
            }
            register_delete(reg);
        }
        branches = std::move(next);
    }
    Table table;
    for (Branch& b : branches) {
        table[std::string(b.bits.rbegin(), b.bits.rend())] += b.weight;
        register_delete(b.reg);
    }
    return table;
}

// A `qucode probs` table read back.
Table probs_table(const std::string& text)
{
    Table table;
    std::istringstream lines(text);
    std::string bits;
    double p;
    while (lines >> bits >> p)
        table[bits] = p;
    return table;
}

// Every outcome of either table above 1e-9 has the same probability in the other, to 1e-5.
void expect_same_table(const Table& got, const Table& want)
{
    for (const auto& [bits, p] : want)
        if (p >= 1e-9) {
            EXPECT_NEAR(got.count(bits) ? got.at(bits) : 0.0, p, 1e-5) << bits;
        }
    for (const auto& [bits, p] : got)
        EXPECT_NEAR(want.count(bits) ? want.at(bits) : 0.0, p, 1e-5) << bits;
}

// The round trip of one dump: without measurements the exported program, run, prints the
// replay's register; with them its outcome probabilities are the replay's.
void expect_round_trip(const std::vector<uint8_t>& dump, const std::string& name)
{
    const std::string path = temp_path(name + ".qucode");
    write_bytes(path, dump);
    // Without a measurement that counts (whole-register readings that gates follow do not),
    // the program prepares the register the replay prints.
    const Table replayed_table = replay_probabilities(dump);
    if (replayed_table.size() == 1 && replayed_table.begin()->first.empty()) {
        const test_support::ToolRun replayed = run_qucode("run '" + path + "' --seed 7");
        const test_support::ToolRun exported =
            run_qucode("qasm '" + path + "' | '" + ORBIKON_BUILD_DIR + "/qucode' run - --seed 7");
        EXPECT_EQ(exported.status, 0) << exported.err;
        EXPECT_GT(replayed.out.size(), 40u);
        EXPECT_EQ(exported.out, replayed.out);
    } else {
        const test_support::ToolRun exported = run_qucode(
            "qasm '" + path + "' | '" + ORBIKON_BUILD_DIR + "/qucode' probs - 2> /dev/null");
        EXPECT_EQ(exported.status, 0);
        expect_same_table(probs_table(exported.out), replayed_table);
    }
    std::remove(path.c_str());
}

} // namespace

TEST(QasmExport, EveryOpcodeAndTheIndexMapOfRemovingMeasurements)
{
    // Width 4, init 5, measure_bit 0 (the engine's qubit 1 is q[1] from here on), cnot 0 1,
    // a run of three swap-leads records (three calls on the replay's one entry), cond_phase 2 0,
    // phase_scale 0.5, then
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
                  "cphase_kick 1, swapleads 3 in 3 calls, measure 1, measure_bit 1, "
                  "measure_bit_p 1, qbits 1, nop 1\n"
                  "// q[i] is the engine's qubit i until a measurement removes one; c is filled in "
                  "record order.\n"
                  "OPENQASM 3.0;\npragma qucode width 12\ninclude \"stdgates.inc\";\nqubit[4] q;\n"
                  "bit[5] c;\n"
                  "// width 4\n// init 5\nx q[0];\nx q[2];\n"
                  "c[0] = measure q[0];\n"
                  "cx q[1], q[2];\n"
                  "// swap leads 1 (3 records, 3 calls)\nswap q[1], q[2];\nswap q[1], q[2];\n"
                  "swap q[1], q[2];\n"
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

TEST(QasmRoundTrip, ProgramDumps)
{
    const std::pair<const char*, const char*> programs[] = {
        {"codetest", "t"},      {"random", "r"},     {"oracle", "o3\n"}, {"grover5", "g5\n0\n"},
        {"grover8", "g8\n0\n"}, {"shor15", "s15\n"}, {"shor21", "s21\n"}};
    for (const auto& [name, keys] : programs) {
        SCOPED_TRACE(name);
        const program_test::HeadlessRun run =
            program_test::run_headless(std::string("qasm-") + name, keys);
        ASSERT_EQ(run.status, 0) << run.output;
        ASSERT_TRUE(run.dump_exists);
        expect_round_trip(run.dump, name);
    }
}

TEST(QasmRoundTrip, RandomCircuits)
{
    // Back-to-back swap-leads calls of one width, whole-register measurements that gates
    // follow and ones that end the circuit, measurements that remove qubits in between.
    std::mt19937 random(2024);
    for (int circuit = 0; circuit < 8; ++circuit) {
        SCOPED_TRACE(circuit);
        const bool measured = circuit % 2 == 1;
        const auto qubit = [&random] { return static_cast<int64_t>(random() % 8); };
        const auto angle = [&random] {
            return static_cast<float>(random() % 1000) / 150.0f - 3.0f;
        };
        std::srand(static_cast<unsigned>(circuit));
        quantum_reg_struct reg = register_new(random() % 16, 12);
        for (int step = 0; step < 40; ++step) {
            const int64_t a = qubit();
            int64_t b = qubit();
            if (b == a)
                b = (a + 1) % 8;
            switch (random() % 14) {
            case 0:
                apply_hadamard(a, reg);
                break;
            case 1:
                apply_cnot(a, b, reg);
                break;
            case 2:
                apply_toffoli(a, b, (b + 1) % 8 == a ? (a + 1) % 8 : (b + 1) % 8, reg);
                break;
            case 3:
                apply_sigma_x(a, reg);
                break;
            case 4:
                apply_sigma_y(a, reg);
                break;
            case 5:
                apply_sigma_z(a, reg);
                break;
            case 6:
                apply_rot_x(a, angle(), reg);
                break;
            case 7:
                apply_rot_y(a, angle(), reg);
                break;
            case 8:
                apply_rot_z(a, angle(), reg);
                break;
            case 9:
                apply_phase_kick(a, angle(), reg);
                break;
            case 10:
                apply_phase_scale(a, angle(), reg);
                break;
            case 11:
                apply_cond_phase(std::max(a, b), std::min(a, b), reg);
                break;
            case 12:
                apply_cond_phase_kick(a, b, angle(), reg);
                break;
            default:
                if (!measured || step < 30) {
                    const int64_t width = 1 + a % 4;
                    swap_leads(width, reg);
                    swap_leads(width, reg);
                    if (step % 3 == 0)
                        swap_leads(width, reg);
                } else {
                    measure_qubit(a, reg);
                }
            }
            if (step == 20)
                measure(reg);
        }
        if (measured) {
            measure_qubit_preserve(2, reg);
            measure(reg);
        }
        const std::vector<uint8_t> dump(objcode_data(), objcode_data() + objcode_position());
        register_delete(reg);
        objcode_stop();
        expect_round_trip(dump, "random" + std::to_string(circuit));
    }
}
