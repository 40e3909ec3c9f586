// tests/programs/qasm_test.cpp: the OpenQASM export prepares the replay's state. A small
// reader of the statements the exporter writes simulates them with double amplitudes, which
// are compared with those `qucode run` prints for the same dump and seed, global phase included.
#include "programs/qasm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/objcode.h"
#include "engine/register.h"
#include "programs/disasm.h"
#include "tests/programs/program_fixture.h"

namespace {

using Complex = std::complex<double>;
using Matrix2 = std::array<Complex, 4>; // row-major m00 m01 m10 m11
constexpr Complex I{0, 1};
// Probabilities agree to 1e-5. Amplitudes get 1e-4: renormalising after an unlikely
// measurement outcome magnifies the engine's single-precision rounding, while a wrong phase
// convention is off by far more.
constexpr double TOLERANCE = 1e-5;
constexpr double AMPLITUDE_TOLERANCE = 1e-4;

using test_support::run_qucode;
using test_support::slurp;
using test_support::temp_path;
using test_support::write_bytes;

// What the reader saw and the state it prepared, basis values over the OpenQASM qubits.
struct QasmRun {
    std::string error; // empty when every line was understood
    int64_t qubits = 0;
    int64_t bits = 0;
    std::unordered_map<uint64_t, Complex> state{{0, 1.0}};
};

// Reads only the statements qucode qasm writes, with the standard gates' textbook matrices.
// Measurements draw as the engine draws (uniform_random against the chance of a 0) so that a
// seeded run takes the replay's branch. A register measure at the very end leaves the state
// as it is (the engine only samples there); skip_final_measures says the dump ends in one.
class QasmReader {
public:
    QasmRun run(const std::string& text, bool skip_final_measures)
    {
        std::vector<std::string> lines;
        std::stringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line.rfind("//", 0) != 0)
                lines.push_back(line);
        size_t last_gate = 0;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].find(" = measure ") == std::string::npos)
                last_gate = i;
        if (lines.size() < 3 || lines[0] != "OPENQASM 3.0;" ||
            lines[1] != "include \"stdgates.inc\";")
            out_.error = "missing version or include";
        for (size_t i = 2; i < lines.size() && out_.error.empty(); ++i)
            statement(lines[i], skip_final_measures && i > last_gate);
        return out_;
    }

private:
    void fail(const std::string& line) { out_.error = "cannot read: " + line; }

    uint64_t bit(int64_t wire)
    {
        if (wire < 0 || wire >= out_.qubits || wire >= 64)
            out_.error = "qubit " + std::to_string(wire) + " out of range";
        return uint64_t{1} << (wire & 63);
    }

    void apply(const Matrix2& m, uint64_t b)
    {
        std::unordered_map<uint64_t, Complex> next;
        for (const auto& [v, a] : out_.state) {
            const uint64_t v0 = v & ~b;
            const bool one = (v & b) != 0;
            next[v0] += (one ? m[1] : m[0]) * a;
            next[v0 | b] += (one ? m[3] : m[2]) * a;
        }
        std::erase_if(next, [](const auto& e) { return std::norm(e.second) < 1e-24; });
        out_.state = std::move(next);
    }

    template <typename F> void permute(F f)
    {
        std::unordered_map<uint64_t, Complex> next;
        for (const auto& [v, a] : out_.state)
            next[f(v)] += a;
        out_.state = std::move(next);
    }

    void measure(uint64_t b, bool skip)
    {
        if (skip)
            return;
        double p0 = 0;
        for (const auto& [v, a] : out_.state)
            if (!(v & b))
                p0 += std::norm(a);
        const bool one = uniform_random() > p0;
        const double keep = one ? 1 - p0 : p0;
        std::erase_if(out_.state, [&](const auto& e) { return ((e.first & b) != 0) != one; });
        for (auto& e : out_.state)
            e.second /= std::sqrt(keep);
    }

    void statement(const std::string& line, bool final_measure)
    {
        long long n = 0, k = 0, w = 0;
        char tail = 0;
        if (std::sscanf(line.c_str(), "qubit[%lld] q%c", &n, &tail) == 2 && tail == ';') {
            out_.qubits = n;
            return;
        }
        if (std::sscanf(line.c_str(), "bit[%lld] c%c", &n, &tail) == 2 && tail == ';') {
            out_.bits = n;
            return;
        }
        if (line == "reset q;") {
            out_.state = {{0, 1.0}};
            return;
        }
        if (std::sscanf(line.c_str(), "c[%lld] = measure q[%lld]%c", &k, &w, &tail) == 3 &&
            tail == ';') {
            if (k < 0 || k >= out_.bits)
                out_.error = "bit out of range: " + line;
            measure(bit(w), final_measure);
            return;
        }
        // name, an optional (angle), then qubits q[i] separated by ", ", then ";".
        const size_t name_end = line.find_first_of("( ;");
        if (name_end == std::string::npos || line.back() != ';')
            return fail(line);
        const std::string name = line.substr(0, name_end);
        size_t at = name_end;
        double theta = 0;
        if (line[at] == '(') {
            char* end = nullptr;
            theta = std::strtod(line.c_str() + at + 1, &end);
            if (end == line.c_str() + at + 1 || *end != ')')
                return fail(line);
            at = static_cast<size_t>(end - line.c_str()) + 1;
        }
        std::vector<uint64_t> q;
        while (at < line.size() - 1) {
            long long index = 0;
            int used = 0;
            const char* format = q.empty() ? " q[%lld]%n" : ", q[%lld]%n";
            if (std::sscanf(line.c_str() + at, format, &index, &used) != 1 || used == 0)
                return fail(line);
            q.push_back(bit(index));
            at += static_cast<size_t>(used);
        }
        const double c = std::cos(theta / 2), s = std::sin(theta / 2), h = 1 / std::sqrt(2.0);
        const std::map<std::string, Matrix2> one_qubit = {
            {"x", {0, 1, 1, 0}},
            {"y", {0, -I, I, 0}},
            {"z", {1, 0, 0, -1}},
            {"h", {h, h, h, -h}},
            {"rx", {c, -I * s, -I * s, c}},
            {"ry", {c, -s, s, c}},
            {"rz", {std::exp(-I * (theta / 2)), 0, 0, std::exp(I * (theta / 2))}},
            {"p", {1, 0, 0, std::exp(I * theta)}},
        };
        if (one_qubit.count(name) && q.size() == 1)
            return apply(one_qubit.at(name), q[0]);
        if (name == "gphase" && q.empty()) {
            for (auto& e : out_.state)
                e.second *= std::exp(I * theta);
            return;
        }
        if (name == "cx" && q.size() == 2 && q[0] != q[1])
            return permute([&](uint64_t v) { return v & q[0] ? v ^ q[1] : v; });
        if (name == "ccx" && q.size() == 3)
            return permute([&](uint64_t v) { return (v & q[0]) && (v & q[1]) ? v ^ q[2] : v; });
        if (name == "swap" && q.size() == 2)
            return permute([&](uint64_t v) {
                return ((v & q[0]) != 0) == ((v & q[1]) != 0) ? v : v ^ q[0] ^ q[1];
            });
        if (name == "cp" && q.size() == 2 && q[0] != q[1]) {
            for (auto& e : out_.state)
                if ((e.first & q[0]) && (e.first & q[1]))
                    e.second *= std::exp(I * theta);
            return;
        }
        fail(line);
    }

    QasmRun out_;
};

// The amplitudes `qucode run` prints for the dump, by the engine's basis value.
std::map<uint64_t, Complex> replayed(const std::string& path, unsigned seed)
{
    const test_support::ToolRun run =
        run_qucode("run '" + path + "' --seed " + std::to_string(seed));
    EXPECT_EQ(run.status, 0);
    std::map<uint64_t, Complex> out;
    std::stringstream in(run.out);
    for (std::string line; std::getline(in, line);) {
        double re = 0, im = 0;
        long long v = 0;
        if (std::sscanf(line.c_str(), "%lf %lfi|%lld>", &re, &im, &v) == 3)
            out[static_cast<uint64_t>(v)] += Complex(re, im);
    }
    return out;
}

// The listing's records as (mnemonic, operand text), through the disassembler.
std::vector<std::pair<std::string, std::string>> listed(const std::vector<uint8_t>& dump)
{
    if (opcode_name(0).empty())
        initopcodenames();
    testing::internal::CaptureStdout(); // the disassembler's own diagnostic lines
    const std::vector<uint8_t> listing = disassemble(dump);
    testing::internal::GetCapturedStdout();
    std::vector<std::pair<std::string, std::string>> out;
    std::string line;
    for (uint8_t b : listing) {
        if (b != 13) {
            line += static_cast<char>(b);
            continue;
        }
        std::string mnemonic = line.substr(51, 16);
        mnemonic.erase(mnemonic.find_last_not_of(' ') + 1);
        out.emplace_back(mnemonic, line.size() > 67 ? line.substr(67) : "");
        line.clear();
    }
    return out;
}

// Compares the replay of path with the exported program read back, basis value by basis
// value. The engine's shifted qubit indices are mapped back to the wires they started on
// through the listing's removing measurements.
void expect_same_state(const std::string& path, unsigned seed, bool ends_in_register_measure)
{
    const test_support::ToolRun run = run_qucode("qasm '" + path + "'");
    ASSERT_EQ(run.status, 0);
    const std::string& text = run.out;
    std::srand(seed);
    const QasmRun read = QasmReader().run(text, ends_in_register_measure);
    ASSERT_EQ(read.error, "") << text;

    std::vector<int64_t> wires(64);
    std::iota(wires.begin(), wires.end(), 0);
    int64_t fresh = 64;
    const std::string dump = slurp(path);
    for (const auto& [mnemonic, operands] : listed({dump.begin(), dump.end()}))
        if (mnemonic == "measure_bit") {
            wires.erase(wires.begin() + (std::stoll(operands) & 63));
            wires.push_back(fresh++);
        }
    std::map<uint64_t, Complex> exported;
    for (const auto& [v, a] : read.state) {
        uint64_t engine = 0;
        for (int p = 0; p < 64; ++p)
            if (wires[p] < 64 && (v >> wires[p] & 1))
                engine |= uint64_t{1} << p;
        exported[engine] += a;
    }

    const std::map<uint64_t, Complex> expected = replayed(path, seed);
    ASSERT_FALSE(expected.empty());
    std::map<uint64_t, Complex> all = expected;
    all.insert(exported.begin(), exported.end());
    for (const auto& [v, unused] : all) {
        const Complex want = expected.count(v) ? expected.at(v) : 0;
        const Complex got = exported.count(v) ? exported.at(v) : 0;
        EXPECT_NEAR(std::norm(got), std::norm(want), TOLERANCE) << "basis value " << v << "\n"
                                                                << text;
        EXPECT_NEAR(std::abs(got - want), 0, AMPLITUDE_TOLERANCE) << "basis value " << v;
    }
}

// A random circuit through the engine with recording on, so the dump holds exactly what the
// recorder writes: every opcode at least once, in random order, with random qubits and angles.
void record_random_circuit(unsigned seed, const std::string& path, bool& register_measure)
{
    std::mt19937 rng(seed);
    auto pick = [&](int64_t below) {
        return std::uniform_int_distribution<int64_t>(0, below - 1)(rng);
    };
    auto angle = [&] { return std::uniform_real_distribution<float>(-7.0f, 7.0f)(rng); };
    quantum_reg_struct reg = register_new(static_cast<uint64_t>(pick(256)), 12);
    int64_t live = 8; // the qubits the circuit uses; a removing measurement takes one
    using Q = int64_t;
    using R = quantum_reg_struct;
    // One step per recorded kind of call; the measurement steps may change `live`.
    const std::vector<std::function<void(Q, Q, Q, R&)>> steps = {
        [](Q a, Q b, Q, R& r) { apply_cnot(a, b, r); },
        [](Q a, Q b, Q c, R& r) { apply_toffoli(a, b, c, r); },
        [](Q a, Q, Q, R& r) { apply_sigma_x(a, r); },
        [](Q a, Q, Q, R& r) { apply_sigma_y(a, r); },
        [](Q a, Q, Q, R& r) { apply_sigma_z(a, r); },
        [](Q a, Q, Q, R& r) { apply_hadamard(a, r); },
        [&](Q a, Q, Q, R& r) { apply_rot_x(a, angle(), r); },
        [&](Q a, Q, Q, R& r) { apply_rot_y(a, angle(), r); },
        [&](Q a, Q, Q, R& r) { apply_rot_z(a, angle(), r); },
        [&](Q a, Q, Q, R& r) { apply_phase_kick(a, angle(), r); },
        [&](Q a, Q, Q, R& r) { apply_phase_scale(a, angle(), r); },
        [](Q a, Q b, Q, R& r) { apply_cond_phase(a, b, r); },
        [&](Q a, Q b, Q, R& r) { apply_cond_phase_kick(a, b, angle(), r); },
        [&](Q, Q, Q, R& r) { swap_leads(1 + pick(live / 2), r); },
        [&](Q a, Q, Q, R& r) {
            if (live <= 5)
                return static_cast<void>(measure_qubit_preserve(a, r));
            measure_qubit(a, r);
            --live;
        },
        [](Q a, Q, Q, R& r) { measure_qubit_preserve(a, r); },
    };
    const size_t swap_step = 13;
    std::vector<size_t> order;
    for (size_t i = 0; i < 40; ++i)
        order.push_back(i < steps.size() ? i : static_cast<size_t>(pick(16)));
    std::shuffle(order.begin(), order.end(), rng);
    size_t previous = steps.size();
    for (size_t step : order) {
        const int64_t a = pick(live), b = (a + 1 + pick(live - 1)) % live;
        int64_t c = pick(live);
        while (c == a || c == b)
            c = pick(live);
        // Two swap-leads calls in a row write one run of records; keep them apart.
        if (step == swap_step && previous == swap_step)
            step = 3;
        steps[step](a, b, c, reg);
        previous = step;
    }
    apply_hadamard(0, reg);
    register_measure = seed % 2 == 0;
    if (register_measure)
        measure(reg);
    ASSERT_EQ(objcode_write_file(path.c_str()), 0);
    register_delete(reg);
    objcode_stop();
    // A no-operation record, which the replay skips, after the recorded code.
    std::ofstream(path, std::ios::binary | std::ios::app).put(static_cast<char>(0xFF));
}

} // namespace

TEST(QasmExport, RandomCircuitsOfEveryOpcodePrepareTheReplayedState)
{
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::string path = temp_path("random.qucode");
        std::srand(seed);
        bool register_measure = false;
        record_random_circuit(seed, path, register_measure);
        expect_same_state(path, seed, register_measure);
        std::remove(path.c_str());
    }
}

TEST(QasmExport, EngineConventionsAndTheIndexMapOfRemovingMeasurements)
{
    // Width 4, init 5, measure_bit 0 (the engine's qubit 1 is q[1] from here on), cnot 0 1,
    // one swap-leads call written as three records, cond_phase 2 0, phase_scale 0.5, measure.
    std::vector<uint8_t> dump;
    test_support::add_gate(dump, 0xF0, {4});
    dump.insert(dump.end(), {0x00, 0, 0, 0, 0, 0, 0, 0, 5});
    test_support::add_gate(dump, 0x81, {0});
    test_support::add_gate(dump, 0x01, {0, 1});
    for (int i = 0; i < 3; ++i)
        test_support::add_gate(dump, 0x0E, {1});
    test_support::add_gate(dump, 0x0C, {2, 0});
    test_support::add_gate(dump, 0x0B, {7});
    dump.insert(dump.end(), {0, 0, 0, 0, 0, 0, 0xE0, 0x3F, 0x80});
    const std::string path = temp_path("conventions.qucode");
    write_bytes(path, dump);

    std::string text;
    ASSERT_TRUE(qasm_export(path, text));
    EXPECT_EQ(text,
              "// " + path +
                  ": object code as OpenQASM 3 (qucode qasm)\n"
                  "// 10 records: init 1, cnot 1, phase_scale 1, cond_phase 1, swapleads 3 in 1 "
                  "call, measure 1, measure_bit 1, qbits 1\n"
                  "// q[i] is the engine's qubit i until a measurement removes one; c is filled in "
                  "record order.\n"
                  "OPENQASM 3.0;\ninclude \"stdgates.inc\";\nqubit[4] q;\nbit[4] c;\n"
                  "// width 4\n// init 5\nx q[0];\nx q[2];\n"
                  "c[0] = measure q[0];\n"
                  "cx q[1], q[2];\n"
                  "// swap leads 1 (3 records)\nswap q[1], q[2];\n"
                  "cp(0.7853981852531433) q[3], q[1];\n" // pi/4 rounded to single precision
                  "gphase(0.5);\n"
                  "// measure: every live qubit, the lowest engine qubit first\n"
                  "c[1] = measure q[1];\nc[2] = measure q[2];\nc[3] = measure q[3];\n");
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
        {"qasm '" + path + "' '" + path + "'", 2, "qucode: unerwartetes Argument"},
        {"qasm '" + path + "' --seed 1", 2, "qucode: unerwartetes Argument \"--seed\"."},
        {"list '" + path + "' -o x", 2, "qucode: unerwartetes Argument \"-o\"."},
        {"run '" + path + "' --seed x", 2, "qucode: --seed braucht eine ganze Zahl"},
        {"run --seed 7 '" + path + "'", 0, ""},
        {"-o '" + out + "' qasm '" + path + "'", 2, "qucode: unbekannter Befehl \"-o\"."},
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
    EXPECT_EQ(help.out.rfind("Aufruf: qucode run DATEI [--seed N] [--max-states N]\n", 0), 0u)
        << help.out;
    EXPECT_NE(help.out.find("qucode qasm DATEI [-o AUSGABE]"), std::string::npos);
    // -o writes exactly what standard output would carry.
    EXPECT_EQ(slurp(out), run_qucode("qasm '" + path + "'").out);
    EXPECT_NE(slurp(out).find("h q[0];\n"), std::string::npos);
    std::remove(path.c_str());
    std::remove(out.c_str());
}

TEST(QasmExport, ProgramDumpsAreReadBackAndPrepareTheReplayedState)
{
    const struct {
        const char* name;
        const char* keys;
        bool compare_state;
        bool ends_in_register_measure;
    } runs[] = {
        {"qasm-codetest", "t", true, false},
        {"qasm-grover", "g5\n0\n", true, false},
        {"qasm-oracle", "o3\n", false, false},
        {"qasm-shor", "s15\n", true, true},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.name);
        const program_test::HeadlessRun run = program_test::run_headless(r.name, r.keys);
        ASSERT_EQ(run.status, 0) << run.output;
        ASSERT_TRUE(run.dump_exists);
        const std::string path = temp_path(std::string(r.name) + ".qucode");
        write_bytes(path, run.dump);

        const test_support::ToolRun exported = run_qucode("qasm '" + path + "'");
        ASSERT_EQ(exported.status, 0);
        EXPECT_EQ(QasmReader().run(exported.out, r.ends_in_register_measure).error, "");
        if (r.compare_state)
            expect_same_state(path, 7, r.ends_in_register_measure);
        std::remove(path.c_str());
    }
}
