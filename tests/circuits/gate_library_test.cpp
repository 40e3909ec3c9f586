// tests/circuits/gate_library_test.cpp: every gate of qelib1.inc and stdgates.inc, and the
// modifiers, run on the engine from a superposition and compared with the gate's textbook
// matrix in double precision, global phase included.
#include "circuits/gate_library.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "circuits/program_run.h"
#include "circuits/qasm_reader.h"
#include "engine/objcode.h"

namespace {

using circuits::Circuit;
using Complex = std::complex<double>;
using Matrix = std::vector<std::vector<Complex>>; // [row][column]

constexpr double PI = std::numbers::pi;
const Complex I(0, 1);

Complex e(double angle)
{
    return std::polar(1.0, angle);
}

Matrix m2(Complex a, Complex b, Complex c, Complex d)
{
    return {{a, b}, {c, d}};
}

Matrix identity(size_t n)
{
    Matrix m(n, std::vector<Complex>(n, 0.0));
    for (size_t i = 0; i < n; ++i)
        m[i][i] = 1;
    return m;
}

Matrix product(const Matrix& a, const Matrix& b)
{
    Matrix m(a.size(), std::vector<Complex>(b[0].size(), 0.0));
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t k = 0; k < b.size(); ++k)
            for (size_t j = 0; j < b[0].size(); ++j)
                m[i][j] += a[i][k] * b[k][j];
    return m;
}

Matrix adjoint(const Matrix& m)
{
    Matrix a(m[0].size(), std::vector<Complex>(m.size()));
    for (size_t i = 0; i < m.size(); ++i)
        for (size_t j = 0; j < m[0].size(); ++j)
            a[j][i] = std::conj(m[i][j]);
    return a;
}

Matrix scaled(Complex s, Matrix m)
{
    for (auto& row : m)
        for (Complex& x : row)
            x *= s;
    return m;
}

// Textbook matrices, written with the first qubit of a call as the most significant bit.
Matrix rx(double t)
{
    return m2(std::cos(t / 2), -I * std::sin(t / 2), -I * std::sin(t / 2), std::cos(t / 2));
}
Matrix ry(double t)
{
    return m2(std::cos(t / 2), -std::sin(t / 2), std::sin(t / 2), std::cos(t / 2));
}
Matrix rz(double t)
{
    return m2(e(-t / 2), 0, 0, e(t / 2));
}
Matrix phase(double l)
{
    return m2(1, 0, 0, e(l));
}
// OpenQASM 3's U, which qelib1's u3 and U follow here.
Matrix u(double t, double p, double l)
{
    return m2(std::cos(t / 2), -e(l) * std::sin(t / 2), e(p) * std::sin(t / 2),
              e(p + l) * std::cos(t / 2));
}
const Matrix X = m2(0, 1, 1, 0);
const Matrix Y = m2(0, -I, I, 0);
const Matrix Z = m2(1, 0, 0, -1);
const Matrix H = scaled(1 / std::sqrt(2.0), m2(1, 1, 1, -1));
const Matrix SX = scaled(0.5, m2(1.0 + I, 1.0 - I, 1.0 - I, 1.0 + I));

// The gate m with `controls` more qubits in front, all of which must be 1.
Matrix controlled(const Matrix& m, int controls = 1)
{
    const size_t n = m.size() << controls;
    Matrix c = identity(n);
    const size_t base = n - m.size();
    for (size_t i = 0; i < m.size(); ++i)
        for (size_t j = 0; j < m.size(); ++j)
            c[base + i][base + j] = m[i][j];
    return c;
}

Matrix two_qubit_exp(const Matrix& pauli, double t)
{
    // exp(-i t/2 P (x) P) = cos(t/2) - i sin(t/2) P (x) P.
    Matrix m = identity(4);
    for (size_t i = 0; i < 4; ++i)
        for (size_t j = 0; j < 4; ++j)
            m[i][j] = std::cos(t / 2) * m[i][j] -
                      I * std::sin(t / 2) * pauli[i >> 1][j >> 1] * pauli[i & 1][j & 1];
    return m;
}

// The matrix of a gate on `qubits` qubits (first one most significant) as one acting on
// wire bits: a list of one- and two-qubit steps, multiplied in double.
struct Step {
    Matrix m;
    std::vector<int> wires; // the first is the most significant qubit of m
};

Matrix sequence(int qubits, const std::vector<Step>& steps)
{
    const size_t n = size_t{1} << qubits;
    Matrix total = identity(n);
    for (const Step& s : steps) {
        Matrix full(n, std::vector<Complex>(n, 0.0));
        const size_t k = s.wires.size();
        for (size_t col = 0; col < n; ++col) {
            size_t local = 0;
            for (size_t w = 0; w < k; ++w)
                local |= ((col >> (qubits - 1 - s.wires[w])) & 1) << (k - 1 - w);
            for (size_t r = 0; r < (size_t{1} << k); ++r) {
                size_t row = col;
                for (size_t w = 0; w < k; ++w) {
                    const size_t bit = size_t{1} << (qubits - 1 - s.wires[w]);
                    row = (r >> (k - 1 - w) & 1) ? (row | bit) : (row & ~bit);
                }
                full[row][col] += s.m[r][local];
            }
        }
        total = product(full, total);
    }
    return total;
}

const Matrix T = phase(PI / 4);
const Matrix TDG = phase(-PI / 4);
const Matrix CX = controlled(X);

// The bodies of qelib1.inc's relative-phase Toffoli gates.
Matrix rccx()
{
    return sequence(3, {{H, {2}},
                        {T, {2}},
                        {CX, {1, 2}},
                        {TDG, {2}},
                        {CX, {0, 2}},
                        {T, {2}},
                        {CX, {1, 2}},
                        {TDG, {2}},
                        {H, {2}}});
}

Matrix rc3x()
{
    return sequence(4, {{H, {3}},
                        {T, {3}},
                        {CX, {2, 3}},
                        {TDG, {3}},
                        {H, {3}},
                        {CX, {0, 3}},
                        {T, {3}},
                        {CX, {1, 3}},
                        {TDG, {3}},
                        {CX, {0, 3}},
                        {T, {3}},
                        {CX, {1, 3}},
                        {TDG, {3}},
                        {H, {3}},
                        {T, {3}},
                        {CX, {2, 3}},
                        {TDG, {3}},
                        {H, {3}}});
}

// Angles of the product state the gates start from, one pair per qubit: ry(a) then p(b).
constexpr double PREP[][2] = {{0.7, 0.3}, {1.9, -1.1}, {2.4, 2.0},
                              {1.1, 0.9}, {0.4, -2.5}, {2.9, 1.3}};

struct GateCase {
    int version;
    std::string call; // the statement, with the gate's qubits as A, B, C, D, E
    Matrix matrix;    // first qubit most significant
};

// Runs the prepared superposition on qubits + 1 wires and the gate on the wires named in
// `wires` (A = wires[0], ...), and compares every amplitude with the matrix's result.
void expect_gate(const GateCase& c, std::vector<int> wires)
{
    const int qubits = static_cast<int>(std::log2(static_cast<double>(c.matrix.size())));
    const int n = qubits + 1;
    std::string program = c.version == 2 ? "OPENQASM 2.0;\ninclude \"qelib1.inc\";\nqreg q["
                                         : "OPENQASM 3;\ninclude \"stdgates.inc\";\nqreg q[";
    program += std::to_string(n) + "];\n";
    for (int w = 0; w < n; ++w)
        program += "ry(" + std::to_string(PREP[w][0]) + ") q[" + std::to_string(w) + "];\np(" +
                   std::to_string(PREP[w][1]) + ") q[" + std::to_string(w) + "];\n";
    std::string call = c.call;
    for (int k = 0; k < qubits; ++k) {
        const std::string name(1, static_cast<char>('A' + k));
        for (size_t at; (at = call.find(name)) != std::string::npos;)
            call.replace(at, 1, "q[" + std::to_string(wires[static_cast<size_t>(k)]) + "]");
    }
    program += call + "\n";
    SCOPED_TRACE(program);

    Circuit circuit;
    circuits::ReadError error;
    ASSERT_TRUE(circuits::read_qasm(program, "gate.qasm", circuit, error)) << error.message;
    quantum_reg_struct reg;
    ASSERT_TRUE(circuits::run_to_register(circuit, {}, reg));
    objcode_stop();

    // The state in double: wire w is bit w of the index.
    const size_t dim = size_t{1} << n;
    std::vector<Complex> state(dim);
    for (size_t v = 0; v < dim; ++v) {
        Complex a = 1;
        for (int w = 0; w < n; ++w)
            a *= (v >> w & 1) ? e(PREP[w][1]) * std::sin(PREP[w][0] / 2)
                              : Complex(std::cos(PREP[w][0] / 2));
        state[v] = a;
    }
    std::vector<Complex> expected(dim, 0.0);
    for (size_t v = 0; v < dim; ++v) {
        size_t column = 0;
        for (int k = 0; k < qubits; ++k)
            column |= (v >> wires[static_cast<size_t>(k)] & 1) << (qubits - 1 - k);
        for (size_t row = 0; row < c.matrix.size(); ++row) {
            size_t to = v;
            for (int k = 0; k < qubits; ++k) {
                const size_t bit = size_t{1} << wires[static_cast<size_t>(k)];
                to = (row >> (qubits - 1 - k) & 1) ? (to | bit) : (to & ~bit);
            }
            expected[to] += c.matrix[row][column] * state[v];
        }
    }
    std::vector<Complex> got(dim, 0.0);
    for (int64_t i = 0; i < reg.size; ++i)
        got[reg.state[i]] = Complex(reg.amplitude[i].real(), reg.amplitude[i].imag());
    register_delete(reg);
    for (size_t v = 0; v < dim; ++v)
        EXPECT_LT(std::abs(got[v] - expected[v]), 2e-6)
            << "basis value " << v << ": " << got[v] << " instead of " << expected[v];
}

void expect_gates(const std::vector<GateCase>& cases)
{
    for (const GateCase& c : cases) {
        const int qubits = static_cast<int>(std::log2(static_cast<double>(c.matrix.size())));
        // In order, and in reverse order with a gap, so that no gate depends on its qubits
        // being neighbours or ascending.
        std::vector<int> ascending, descending;
        for (int k = 0; k < qubits; ++k) {
            ascending.push_back(k);
            descending.push_back(qubits - k);
        }
        expect_gate(c, ascending);
        expect_gate(c, descending);
    }
}

} // namespace

TEST(GateLibrary, OneQubitGatesOfBothLibraries)
{
    const double t = 0.83, p = -1.37, l = 2.21;
    std::vector<GateCase> cases;
    for (int v : {2, 3}) {
        const std::vector<GateCase> both = {
            {v, "id A;", identity(2)},
            {v, "x A;", X},
            {v, "y A;", Y},
            {v, "z A;", Z},
            {v, "h A;", H},
            {v, "s A;", phase(PI / 2)},
            {v, "sdg A;", phase(-PI / 2)},
            {v, "t A;", T},
            {v, "tdg A;", TDG},
            {v, "sx A;", SX},
            {v, "rx(0.83) A;", rx(t)},
            {v, "ry(0.83) A;", ry(t)},
            {v, "rz(0.83) A;", rz(t)},
            {v, "p(2.21) A;", phase(l)},
            {v, "u1(2.21) A;", phase(l)},
            {v, "U(0.83, -1.37, 2.21) A;", u(t, p, l)},
        };
        cases.insert(cases.end(), both.begin(), both.end());
    }
    const std::vector<GateCase> own = {
        // qelib1.inc: u3 and u2 are U; stdgates.inc drops U's global phase from them.
        {2, "u3(0.83, -1.37, 2.21) A;", u(t, p, l)},
        {2, "u(0.83, -1.37, 2.21) A;", u(t, p, l)},
        {2, "u2(-1.37, 2.21) A;", u(PI / 2, p, l)},
        {2, "u0(0.5) A;", identity(2)},
        {2, "sxdg A;", adjoint(SX)},
        {3, "u3(0.83, -1.37, 2.21) A;", scaled(e(-(p + l) / 2), u(t, p, l))},
        {3, "u2(-1.37, 2.21) A;", scaled(e(-(p + l) / 2), u(PI / 2, p, l))},
        {3, "phase(2.21) A;", phase(l)},
        {3, "gphase(2.21);", scaled(e(l), identity(2))},
        {3, "U(0, -1.37, 2.21) A;", phase(p + l)},
    };
    cases.insert(cases.end(), own.begin(), own.end());
    expect_gates(cases);
}

TEST(GateLibrary, ControlledAndTwoQubitGates)
{
    const double t = 0.83, p = -1.37, l = 2.21, g = 0.61;
    std::vector<GateCase> cases;
    for (int v : {2, 3}) {
        const std::vector<GateCase> both = {
            {v, "cx A, B;", CX},
            {v, "cy A, B;", controlled(Y)},
            {v, "cz A, B;", controlled(Z)},
            {v, "ch A, B;", controlled(H)},
            {v, "swap A, B;", sequence(2, {{CX, {0, 1}}, {CX, {1, 0}}, {CX, {0, 1}}})},
            {v, "crx(0.83) A, B;", controlled(rx(t))},
            {v, "cry(0.83) A, B;", controlled(ry(t))},
            {v, "crz(0.83) A, B;", controlled(rz(t))},
            {v, "cp(2.21) A, B;", controlled(phase(l))},
            {v, "cu(0.83, -1.37, 2.21, 0.61) A, B;", controlled(scaled(e(g), u(t, p, l)))},
            {v, "CX A, B;", CX},
            {v, "ccx A, B, C;", controlled(X, 2)},
            {v, "cswap A, B, C;",
             controlled(sequence(2, {{CX, {0, 1}}, {CX, {1, 0}}, {CX, {0, 1}}}))},
        };
        cases.insert(cases.end(), both.begin(), both.end());
    }
    const std::vector<GateCase> own = {
        {2, "cu1(2.21) A, B;", controlled(phase(l))},
        {2, "cu3(0.83, -1.37, 2.21) A, B;", controlled(u(t, p, l))},
        {2, "csx A, B;", controlled(SX)},
        {2, "rxx(0.83) A, B;", two_qubit_exp(X, t)},
        {2, "rzz(0.83) A, B;", two_qubit_exp(Z, t)},
        {2, "rccx A, B, C;", rccx()},
        {2, "c3x A, B, C, D;", controlled(X, 3)},
        {2, "c3sqrtx A, B, C, D;", controlled(SX, 3)},
        {2, "rc3x A, B, C, D;", rc3x()},
        {2, "c4x A, B, C, D, E;", controlled(X, 4)},
        {3, "cphase(2.21) A, B;", controlled(phase(l))},
    };
    cases.insert(cases.end(), own.begin(), own.end());
    expect_gates(cases);
}

TEST(GateLibrary, ModifiersOnAnyGate)
{
    const double t = 0.83, p = -1.37, l = 2.21;
    expect_gates({
        {3, "ctrl @ h A, B;", controlled(H)},
        {3, "ctrl(2) @ rx(0.83) A, B, C;", controlled(rx(t), 2)},
        {3, "ctrl @ ctrl @ y A, B, C;", controlled(Y, 2)},
        {3, "ctrl @ gphase(2.21) A;", phase(l)},
        {3, "ctrl(3) @ U(0.83, -1.37, 2.21) A, B, C, D;", controlled(u(t, p, l), 3)},
        {3, "ctrl @ swap A, B, C;",
         controlled(sequence(2, {{CX, {0, 1}}, {CX, {1, 0}}, {CX, {0, 1}}}))},
        {3, "ctrl @ ccx A, B, C, D;", controlled(X, 3)},
        {3, "negctrl @ x A, B;", sequence(2, {{X, {0}}, {CX, {0, 1}}, {X, {0}}})},
        {3, "inv @ U(0.83, -1.37, 2.21) A;", u(-t, -l, -p)},
        {3, "inv @ sx A;", adjoint(SX)},
        {3, "pow(3) @ t A;", phase(3 * PI / 4)},
        {3, "pow(-2) @ ry(0.83) A;", ry(-2 * t)},
        {3, "inv @ ctrl @ rz(0.83) A, B;", controlled(rz(-t))},
        {3, "ctrl @ inv @ s A, B;", controlled(phase(-PI / 2))},
    });
}

TEST(GateLibrary, EveryLibraryNameIsFoundAndOnlyInItsVersion)
{
    for (int v : {2, 3})
        for (std::string_view name : circuits::library_gate_names(v))
            EXPECT_NE(circuits::find_library_gate(v, name, false), nullptr) << name;
    EXPECT_EQ(circuits::find_library_gate(3, "c4x", false), nullptr);
    EXPECT_EQ(circuits::find_library_gate(2, "phase", false), nullptr);
    EXPECT_NE(circuits::find_library_gate(2, "CX", true), nullptr);
    EXPECT_EQ(circuits::find_library_gate(3, "CX", true), nullptr);
    EXPECT_NE(circuits::find_library_gate(3, "gphase", true), nullptr);
}
