// Tests for engine/arith: the modular exponentiation circuit on basis states, the Fourier
// transform against the discrete transform, and the classical number theory.
#include "engine/arith.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "engine/gates.h"
#include "engine/objcode.h"

namespace {

int64_t power_mod(int64_t x, int64_t k, int64_t n)
{
    int64_t r = 1 % n;
    for (int64_t i = 0; i < k; ++i)
        r = r * x % n;
    return r;
}

uint64_t reverse_bits(uint64_t y, int n)
{
    uint64_t r = 0;
    for (int i = 0; i < n; ++i)
        r |= ((y >> i) & 1) << (n - 1 - i);
    return r;
}

// The records of the current recording after the first skip bytes, as opcode strings.
std::vector<uint8_t> recorded_opcodes(int64_t skip)
{
    std::vector<uint8_t> ops;
    const uint8_t* data = objcode_data();
    for (int64_t pos = skip; pos < objcode_position();) {
        ops.push_back(data[pos]);
        pos += objcode_record_length(data[pos]);
    }
    return ops;
}

struct ModExpCase {
    int64_t n;
    int64_t x;
};

class ModularExponentiation : public ::testing::TestWithParam<ModExpCase> {};

} // namespace

// Gates

TEST_P(ModularExponentiation, EveryExponentLeavesThePowerAndClearsScratch)
{
    const auto [n, x] = GetParam();
    const int64_t w = get_width(n);
    const int64_t m = 4;
    const int64_t scratch = 3 * w + 2;
    for (int64_t k = 0; k < (1 << m); ++k) {
        quantum_reg_struct reg = register_new(static_cast<uint64_t>(k), m);
        register_add_scratch(scratch, reg);
        modular_exponentiation(n, x, m, w, reg);
        ASSERT_EQ(reg.size, 1);
        const uint64_t v = reg.state[0];
        EXPECT_EQ(v >> scratch, static_cast<uint64_t>(k)) << "exponent register changed, k=" << k;
        EXPECT_EQ((v >> (2 * w + 2)) & ((uint64_t{1} << w) - 1),
                  static_cast<uint64_t>(power_mod(x, k, n)))
            << "N=" << n << " x=" << x << " k=" << k;
        EXPECT_EQ(v & ((uint64_t{1} << (2 * w + 2)) - 1), 0u) << "scratch not cleared, k=" << k;
        EXPECT_EQ(reg.amplitude[0], quantum_amplitude(1, 0));
        register_delete(reg);
    }
    objcode_stop();
}

INSTANTIATE_TEST_SUITE_P(Moduli, ModularExponentiation,
                         ::testing::Values(ModExpCase{15, 7}, ModExpCase{15, 2}, ModExpCase{21, 5},
                                           ModExpCase{21, 2}, ModExpCase{33, 5}, ModExpCase{35, 3}));

TEST(ModularExponentiationCase, BatchedRunEqualsGateByGate)
{
    // The same superposed factoring register through both paths: each exponent gets its power,
    // and basis values in stored order, amplitudes, object code and gate count all agree,
    // also when the batched run's code spills to a file after one page.
    const int64_t n = 35, x = 3, w = get_width(n), m = 6;
    struct Run {
        std::vector<uint64_t> states;
        std::vector<quantum_amplitude> amplitudes;
        std::vector<uint8_t> objcode;
        int64_t gates = 0;
    };
    auto run = [&](bool batched, int64_t memory_limit) {
        arith_set_batching(batched);
        objcode_set_memory_limit(memory_limit);
        quantum_reg_struct reg = register_new(0, m);
        for (int64_t i = 0; i < m; ++i)
            apply_hadamard(i, reg);
        register_add_scratch(3 * w + 2, reg);
        const int64_t gates_before = gate_counter(0);
        modular_exponentiation(n, x, m, w, reg);
        Run r;
        r.gates = gate_counter(0) - gates_before;
        r.states.assign(reg.state, reg.state + reg.size);
        r.amplitudes.assign(reg.amplitude, reg.amplitude + reg.size);
        r.objcode.assign(objcode_data(), objcode_data() + objcode_position());
        register_delete(reg);
        objcode_stop();
        arith_set_batching(true);
        objcode_set_memory_limit(OBJCODE_MEMORY_LIMIT);
        return r;
    };
    const Run direct = run(false, 0);
    const Run batched = run(true, 0);
    const Run spilled = run(true, OBJCODE_PAGE_BYTES);
    ASSERT_EQ(direct.states.size(), 64u);
    for (const uint64_t v : direct.states) {
        EXPECT_EQ((v >> (2 * w + 2)) & ((1u << w) - 1), uint64_t(power_mod(x, int64_t(v >> (3 * w + 2)), n)));
        EXPECT_EQ(v & ((uint64_t{1} << (2 * w + 2)) - 1), 0u) << "scratch not cleared";
    }
    EXPECT_EQ(batched.states, direct.states);
    EXPECT_EQ(batched.amplitudes, direct.amplitudes);
    EXPECT_EQ(batched.objcode, direct.objcode);
    ASSERT_GT(direct.objcode.size(), static_cast<size_t>(OBJCODE_PAGE_BYTES)); // so the spill happens
    EXPECT_EQ(spilled.objcode, direct.objcode);
    EXPECT_EQ(batched.gates, direct.gates);
    EXPECT_GT(direct.gates, 1000);
}

TEST(MuxAdders, RecordTheirGatesInOrder)
{
    quantum_reg_struct reg = register_new(0, 8);
    const int64_t start = objcode_position();
    mux_half_adder_inverse(2, 1, 2, 3, 4, reg);
    EXPECT_EQ(recorded_opcodes(start),
              (std::vector<uint8_t>{OBJCODE_SIGMA_X, OBJCODE_CNOT, OBJCODE_TOFFOLI, OBJCODE_SIGMA_X}));
    const int64_t second = objcode_position();
    mux_full_adder(3, 1, 2, 3, 4, 5, reg);
    EXPECT_EQ(recorded_opcodes(second),
              (std::vector<uint8_t>{OBJCODE_TOFFOLI, OBJCODE_CNOT, OBJCODE_TOFFOLI, OBJCODE_CNOT}));
    // Toffoli (5, 2, 3): controls then target, 4 bytes each, big-endian.
    const uint8_t* rec = objcode_data() + second;
    EXPECT_EQ(rec[4], 5);
    EXPECT_EQ(rec[8], 2);
    EXPECT_EQ(rec[12], 3);
    register_delete(reg);
    objcode_stop();
}

// What the adders compute is checked through the modular exponentiation above.

TEST(Qft, SmallCasesRecordTheStatedGates)
{
    quantum_reg_struct reg = register_new(0, 2);
    const int64_t start = objcode_position();
    qft(2, reg);
    ASSERT_EQ(recorded_opcodes(start),
              (std::vector<uint8_t>{OBJCODE_HADAMARD, OBJCODE_COND_PHASE, OBJCODE_HADAMARD}));
    const uint8_t* rec = objcode_data() + start;
    EXPECT_EQ(rec[4], 1) << "first Hadamard on qubit 1";
    EXPECT_EQ(rec[9], 1) << "conditional phase control 1";
    EXPECT_EQ(rec[13], 0) << "conditional phase target 0";
    EXPECT_EQ(rec[18], 0) << "last Hadamard on qubit 0";
    register_delete(reg);
    objcode_stop();
}

TEST(Qft, MatchesDiscreteFourierTransformWithReversedOutput)
{
    const double pi = 3.14159265358979323846;
    for (const auto& [n, x] : std::vector<std::pair<int, uint64_t>>{{3, 1}, {3, 5}, {3, 6}, {4, 3}, {4, 0}}) {
        quantum_reg_struct reg = register_new(x, n);
        qft(n, reg);
        const double dim = std::pow(2.0, n);
        ASSERT_EQ(reg.size, int64_t(dim)) << "n=" << n << " x=" << x;
        for (int64_t i = 0; i < reg.size; ++i) {
            const uint64_t y = reg.state[i];
            const std::complex<double> expected =
                std::polar(1.0 / std::sqrt(dim), 2 * pi * double(x * reverse_bits(y, n)) / dim);
            EXPECT_NEAR(reg.amplitude[i].real(), expected.real(), 1e-6) << "n=" << n << " x=" << x << " y=" << y;
            EXPECT_NEAR(reg.amplitude[i].imag(), expected.imag(), 1e-6) << "n=" << n << " x=" << x << " y=" << y;
        }
        register_delete(reg);
    }
    objcode_stop();
}

TEST(Qft, InverseUndoesTheTransform)
{
    quantum_reg_struct reg = register_new(11, 4);
    qft(4, reg);
    qft_inverse(4, reg);
    double p = 0;
    for (int64_t i = 0; i < reg.size; ++i) {
        if (reg.state[i] == 11)
            p = std::norm(std::complex<double>(reg.amplitude[i]));
        else
            EXPECT_LT(std::abs(reg.amplitude[i]), 1e-3);
    }
    EXPECT_NEAR(p, 1.0, 1e-5);
    register_delete(reg);
    objcode_stop();
}

// Classical functions

TEST(Gcd, KnownValuesAndSigns)
{
    EXPECT_EQ(gcd(15, 6), 3);
    EXPECT_EQ(gcd(0, 7), 7);
    EXPECT_EQ(gcd(667, 23), 23);
    EXPECT_EQ(gcd(-15, 6), -3) << "the sign follows the signed remainders";
    EXPECT_EQ(gcd(INT64_MIN, -1), -1) << "no trap on the one overflowing remainder";
}

// No program uses these two: one smoke check each.
TEST(IntPowAndInverseMod, WrappingPowersAndBoundedSearch)
{
    EXPECT_EQ(int_pow(2, 10), 1024);
    EXPECT_EQ(int_pow(5, -3), 1);
    EXPECT_EQ(int_pow(2, 64), 0);
    EXPECT_EQ(inverse_mod(667, 2), 334);
    EXPECT_EQ(inverse_mod(15, 5), 0) << "no inverse: a bounded search, not an endless one";
}

TEST(ModPow, ReducedPowersWithoutOverflow)
{
    const int64_t mersenne = (int64_t{1} << 61) - 1; // prime: a^(p-1) = 1 by Fermat
    const struct {
        int64_t a, b, n, expected;
    } cases[] = {
        {192, 154, 667, 231}, {3, mersenne - 1, mersenne, 1}, {mersenne - 1, 3, mersenne, mersenne - 1},
        {-2, 3, 7, 6},        {5, 0, 7, 1},                   {5, -4, 7, 1},
        {5, 0, 1, 0},         {5, 3, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mod_pow(c.a, c.b, c.n), c.expected) << c.a << "^" << c.b << " mod " << c.n;
}

TEST(InverseMod, KnownInversesAndNone)
{
    EXPECT_EQ(inverse_mod(15, 7), 13);
    EXPECT_EQ(inverse_mod(21, 2), 11);
    EXPECT_EQ(inverse_mod(667, 2), 334);
    EXPECT_EQ(inverse_mod(15, 5), 0) << "no inverse: a bounded search, not an endless one";
    EXPECT_EQ(inverse_mod(0, 3), 0);
}

TEST(GetWidth, SmallestPowerOfTwoReachingN)
{
    // The last case is past the 32-bit power: the true width.
    for (const auto& [n, w] : std::vector<std::pair<int64_t, int64_t>>{
             {1, 1}, {2, 1}, {3, 2}, {15, 4}, {16, 4}, {17, 5}, {667 * 667, 19}, {0, 1},
             {int64_t{1} << 30, 30}, {(int64_t{1} << 30) + 1, 31}})
        EXPECT_EQ(get_width(n), w) << "n=" << n;
}

TEST(ContinuedFraction, KnownConvergents)
{
    // A denominator bound below the next convergent keeps the previous one (1/1000 at width 9);
    // no usable bound (width 31) or a zero denominator gives 0/0.
    struct Case {
        int64_t a, b, width, p, q;
    };
    for (const Case& c : {Case{192, 256, 4, 3, 4}, Case{0, 256, 4, 0, 1}, Case{1536, 8192, 13, 3, 16},
                          Case{85, 256, 8, 1, 3}, Case{1, 1000, 10, 1, 995}, Case{1, 1000, 9, 0, 1},
                          Case{3, 4, 31, 0, 0}, Case{3, 0, 8, 0, 0}}) {
        int64_t a = c.a, b = c.b;
        continued_fraction_approx(a, b, c.width);
        EXPECT_EQ(a, c.p) << c.a << "/" << c.b << " width " << c.width;
        EXPECT_EQ(b, c.q) << c.a << "/" << c.b << " width " << c.width;
    }
}
