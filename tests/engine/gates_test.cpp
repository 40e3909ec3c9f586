// Gates: permutations, phase factors, the generic gates, decoherence and error correction.
#include "engine/gates.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <vector>

#include "engine/by_value.h"
#include "engine/entries.h"
#include "engine/held_order.h"
#include "engine/error.h"
#include "engine/measure.h"
#include "engine/objcode.h"
#include "engine/kernels.h"

namespace {

constexpr float S = 0.70710677f;
const double PI = std::acos(-1.0);

quantum_reg_struct entries(int64_t width, std::vector<uint64_t> values,
                           std::vector<quantum_amplitude> amplitudes = {})
{
    quantum_reg_struct reg = register_new(0, width);
    register_delete_keep_hash(reg);
    engine::entries_new(reg, int64_t(values.size()), true);
    for (size_t i = 0; i < values.size(); i++) {
        reg.state[i] = values[i];
        reg.amplitude[i] = i < amplitudes.size() ? amplitudes[i] : quantum_amplitude(1.0f, 0.0f);
    }
    return reg;
}

std::vector<uint64_t> states(const quantum_reg_struct& reg)
{
    return std::vector<uint64_t>(reg.state, reg.state + reg.size);
}

std::vector<uint8_t> recorded_since(int64_t start)
{
    return std::vector<uint8_t>(objcode_data() + start, objcode_data() + objcode_position());
}

// The expected phase factor: cos and sin in double of the single-precision angle.
quantum_amplitude factor(double angle)
{
    const float phi = static_cast<float>(angle);
    return {static_cast<float>(std::cos(double(phi))), static_cast<float>(std::sin(double(phi)))};
}

class GateTest : public testing::Test {
protected:
    void SetUp() override { base_ = memory_account(0); }
    void TearDown() override
    {
        register_delete(reg_);
        objcode_stop();
        EXPECT_EQ(memory_account(0), base_) << "memory accounting leaked";
    }
    quantum_reg_struct reg_;
    int64_t base_ = 0;
};

} // namespace

TEST_F(GateTest, GenericGateAppendsMissingPartnersInEntryOrder)
{
    reg_ = entries(3, {0, 3, 2});
    apply_hadamard(1, reg_);
    // 0 finds its partner 2; 3 misses 1, appended; 2 was done with 0 and, at S - S = 0,
    // is purged.
    EXPECT_EQ(states(reg_), (std::vector<uint64_t>{0, 3, 1}));
    EXPECT_EQ(reg_.amplitude[0], quantum_amplitude(S + S, 0.0f));
    EXPECT_EQ(reg_.amplitude[1], quantum_amplitude(-S, 0.0f));
    EXPECT_EQ(reg_.amplitude[2], quantum_amplitude(S, 0.0f));
}

TEST_F(GateTest, GenericGateStopsAtTheFirstUnreachablePartner)
{
    reg_ = entries(3, {1, 2, 4}, {0.5f, 0.25f, 0.125f});
    quantum_amplitude elements[4] = {1.0f, 1.0f, 0.0f, 1.0f};
    quantum_matrix_struct m{2, 2, elements};
    apply_gate1(0, m, reg_);
    // 1 creates 0 (m1 != 0); 2 would need m2, which is 0: the pass ends, 4 keeps its value,
    // and the entries made room for are purged.
    EXPECT_EQ(states(reg_), (std::vector<uint64_t>{1, 2, 4, 0}));
    EXPECT_EQ(reg_.amplitude[0], quantum_amplitude(0.5f, 0.0f));
    EXPECT_EQ(reg_.amplitude[1], quantum_amplitude(0.25f, 0.0f));
    EXPECT_EQ(reg_.amplitude[2], quantum_amplitude(0.125f, 0.0f));
    EXPECT_EQ(reg_.amplitude[3], quantum_amplitude(0.5f, 0.0f));
}

TEST_F(GateTest, RotationsRecordTheAngleAndUseHalfAngleElements)
{
    reg_ = register_new(0, 1);
    const int64_t start = objcode_position();
    apply_rot_y(0, 1.0f, reg_);
    EXPECT_EQ(recorded_since(start),
              (std::vector<uint8_t>{0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    const float co = static_cast<float>(std::cos(0.5)), si = static_cast<float>(std::sin(0.5));
    ASSERT_EQ(states(reg_), (std::vector<uint64_t>{0, 1}));
    EXPECT_EQ(reg_.amplitude[0], quantum_amplitude(co, 0.0f));
    EXPECT_EQ(reg_.amplitude[1], quantum_amplitude(si, 0.0f));
    apply_rot_x(0, 1.0f, reg_);
    EXPECT_NEAR(reg_.amplitude[0].real(), co * co, 1e-6);
    EXPECT_NEAR(reg_.amplitude[0].imag(), -si * si, 1e-6);

    quantum_reg_struct zero = entries(2, {1, 2}, {0.6f, quantum_amplitude(0.0f, 0.8f)});
    apply_rot_x(0, 0.0f, zero);
    EXPECT_EQ(states(zero), (std::vector<uint64_t>{1, 2})) << "a rotation by zero changes nothing";
    EXPECT_EQ(zero.amplitude[0], quantum_amplitude(0.6f, 0.0f));
    EXPECT_EQ(zero.amplitude[1], quantum_amplitude(0.0f, 0.8f));
    register_delete(zero);
}

// No program applies a generic two-qubit gate: one smoke check.
TEST_F(GateTest, TwoQubitGateMapsQuadruples)
{
    reg_ = register_new(2, 2);
    // Row and column r: bit target1 = r >> 1, bit target2 = r & 1.
    // H on target1 as a 4x4 matrix: |10> (value 1) goes to (|00> - |10>) / sqrt 2.
    quantum_amplitude h[16] = {S, 0, S, 0, 0, S, 0, S, S, 0, -S, 0, 0, S, 0, -S};
    quantum_matrix_struct hm{4, 4, h};
    apply_gate2(1, 0, hm, reg_);
    ASSERT_EQ(states(reg_), (std::vector<uint64_t>{2, 0}));
    EXPECT_EQ(reg_.amplitude[0], quantum_amplitude(-S, 0.0f));
    EXPECT_EQ(reg_.amplitude[1], quantum_amplitude(S, 0.0f));
}

TEST_F(GateTest, PermutationsMapEveryEntryAndRecordTheirCodes)
{
    struct Case {
        const char* name;
        int64_t width;
        std::vector<uint64_t> in, out;
        void (*apply)(quantum_reg_struct&);
        std::optional<std::vector<uint8_t>> code;
    };
    using R = quantum_reg_struct&;
    using Code = std::vector<uint8_t>;
    const Case cases[] = {
        {"cnot", 2, {1, 2}, {3, 2}, [](R r) { apply_cnot(0, 1, r); }, Code{0x01, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"toffoli needs both controls", 3, {3, 1, 7, 2}, {7, 1, 3, 2}, [](R r) { apply_toffoli(0, 1, 2, r); },
         Code{0x02, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2}},
        {"multi cnot records nothing", 4, {3, 1, 11}, {7, 1, 15},
         [](R r) { apply_multi_cnot(2, r, int64_t{0}, int64_t{1}, int64_t{2}); }, Code{}},
        {"multi cnot, one control", 4, {7, 1, 15}, {15, 9, 7}, [](R r) { apply_multi_cnot(0, r, int64_t{3}); },
         Code{}},
        {"swap leads records per entry", 4, {0b0110, 0b0001, 0b11011}, {0b1001, 0b0100, 0b11110},
         [](R r) { swap_leads(2, r); }, Code{0x0E, 0, 0, 0, 2, 0x0E, 0, 0, 0, 2, 0x0E, 0, 0, 0, 2}},
        {"swap leads, negative width", 4, {0b0110}, {0b0110}, [](R r) { swap_leads(-738197493, r); }, std::nullopt},
        // Width 1: the fields are bit 1 and bit 4.
        {"controlled swap", 5, {0b00011, 0b00010, 0b10001}, {0b10001, 0b00010, 0b00011},
         [](R r) { controlled_swap(0, 1, r); }, std::nullopt},
    };
    reg_ = register_new(0, 0);
    for (const Case& c : cases) {
        quantum_reg_struct r = entries(c.width, c.in);
        const int64_t start = objcode_position();
        c.apply(r);
        EXPECT_EQ(states(r), c.out) << c.name;
        if (c.code) {
            EXPECT_EQ(recorded_since(start), *c.code) << c.name;
        }
        register_delete(r);
    }
}

TEST_F(GateTest, ConditionalPhaseFactors)
{
    reg_ = entries(4, {0b1010, 0b1000, 0b1110});
    const int64_t start = objcode_position();
    apply_cond_phase(3, 1, reg_);
    const quantum_amplitude z = factor(PI / 4);
    EXPECT_EQ(reg_.amplitude[0], z);
    EXPECT_EQ(reg_.amplitude[1], quantum_amplitude(1.0f, 0.0f));
    EXPECT_EQ(reg_.amplitude[2], z);
    EXPECT_EQ(recorded_since(start), (std::vector<uint8_t>{0x0C, 0, 0, 0, 3, 0, 0, 0, 1}));
    apply_cond_phase_inv(3, 1, reg_);
    EXPECT_EQ(objcode_position(), start + 9) << "the inverse records nothing";
    EXPECT_EQ(reg_.amplitude[0], quantum_cmul(z, factor(-PI / 4)));
}

TEST_F(GateTest, PhaseKickScaleAndRotZ)
{
    reg_ = entries(2, {1, 0}, {1.0f, quantum_amplitude(0.0f, 1.0f)});
    apply_phase_kick(0, 0.3f, reg_);
    const quantum_amplitude k = factor(0.3f);
    EXPECT_EQ(reg_.amplitude[0], k);
    EXPECT_EQ(reg_.amplitude[1], quantum_amplitude(0.0f, 1.0f));
    apply_phase_scale(5, 0.3f, reg_);
    EXPECT_EQ(reg_.amplitude[0], quantum_cmul(k, k));
    EXPECT_EQ(reg_.amplitude[1], quantum_cmul(quantum_amplitude(0.0f, 1.0f), k));

    quantum_reg_struct z = entries(1, {1, 0});
    apply_rot_z(0, 0.5f, z);
    const quantum_amplitude h = factor(0.25f);
    EXPECT_EQ(z.amplitude[0], h);
    const float den = h.real() * h.real() + h.imag() * h.imag();
    EXPECT_EQ(z.amplitude[1], quantum_amplitude(h.real() / den, -h.imag() / den));
    register_delete(z);
}

TEST_F(GateTest, CondPhaseKickAndShift)
{
    reg_ = entries(2, {3, 2, 1});
    const int64_t start = objcode_position();
    apply_cond_phase_kick(1, 0, 0.5f, reg_);
    EXPECT_EQ(reg_.amplitude[0], factor(0.5f));
    EXPECT_EQ(reg_.amplitude[1], quantum_amplitude(1.0f, 0.0f));
    apply_cond_phase_shift(1, 0, 0.5f, reg_);
    EXPECT_EQ(reg_.amplitude[0], quantum_cmul(factor(0.5f), factor(0.25f)));
    EXPECT_EQ(reg_.amplitude[1], quantum_cdiv(1.0f, factor(0.25f)));
    EXPECT_EQ(reg_.amplitude[2], quantum_amplitude(1.0f, 0.0f));
    EXPECT_EQ(recorded_since(start),
              (std::vector<uint8_t>{0x0D, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F,
                                    0x0C, 0, 0, 0, 1, 0, 0, 0, 0}));
}

TEST_F(GateTest, WalshRecordsOneHadamardPerQubit)
{
    reg_ = register_new(0, 2);
    const int64_t start = objcode_position();
    apply_walsh(2, reg_);
    EXPECT_EQ(recorded_since(start),
              (std::vector<uint8_t>{0x06, 0, 0, 0, 0, 0x06, 0, 0, 0, 1}));
    EXPECT_EQ(states(reg_), (std::vector<uint64_t>{0, 1, 2, 3}));
    for (int64_t i = 0; i < 4; i++)
        EXPECT_EQ(reg_.amplitude[i], quantum_amplitude(S * S, 0.0f));
}

// What a run of gates leaves behind, all of which must come out bit for bit the same
// whichever way the gates ran: basis values in entry order, amplitude bytes, object code,
// gate count and the warnings on stderr.
struct RunResult {
    std::vector<uint64_t> values;
    std::vector<uint8_t> amplitudes, code;
    int64_t gates = 0;
    std::string warnings;

    bool operator==(const RunResult&) const = default;
};

// Runs circuit on reg (deleted afterwards) with the fast paths on or off, the given kernels
// forced, the 512-bit passes allowed or not, and the entry order recorded for holds of any
// size (so that its cycles show up in small registers).
RunResult run_circuit(quantum_reg_struct reg, bool fast, bool wide, engine::HeldKernels kernels,
                      const std::function<void(quantum_reg_struct&)>& circuit)
{
    engine::set_fast_paths(fast);
    engine::allow_wide_vectors(wide);
    engine::force_held_kernels(kernels);
    engine::allow_order_recording_always(true);
    gate_counter(-1);
    testing::internal::CaptureStderr();
    circuit(reg);
    RunResult out;
    out.warnings = testing::internal::GetCapturedStderr();
    engine::set_fast_paths(true);
    engine::allow_wide_vectors(true);
    engine::force_held_kernels(engine::HeldKernels::chosen);
    engine::allow_order_recording_always(false);
    out.values = states(reg);
    const auto* bytes = reinterpret_cast<const uint8_t*>(reg.amplitude);
    out.amplitudes.assign(bytes, bytes + sizeof(quantum_amplitude) * static_cast<size_t>(reg.size));
    out.code = recorded_since(0);
    out.gates = gate_counter(0);
    register_delete(reg);
    return out;
}

// Every kernel variant of kernels.h on both pass widths (the 512-bit ones where the
// processor has them), each against the gates one by one.
void expect_all_kernels_match(const std::function<quantum_reg_struct()>& make,
                              const std::function<void(quantum_reg_struct&)>& circuit,
                              const std::string& what)
{
    using engine::HeldKernels;
    const RunResult plain = run_circuit(make(), false, false, HeldKernels::chosen, circuit);
    for (const bool wide : {true, false}) {
        for (const HeldKernels kernels : {HeldKernels::chosen, HeldKernels::sparse,
                                          HeldKernels::dense, HeldKernels::blocked,
                                          HeldKernels::each}) {
            const RunResult held = run_circuit(make(), true, wide, kernels, circuit);
            const std::string where = what + ", wide " + std::to_string(wide) + ", kernels " +
                                      std::to_string(static_cast<int>(kernels));
            EXPECT_EQ(held.values, plain.values) << where;
            EXPECT_EQ(held.amplitudes, plain.amplitudes) << where;
            EXPECT_EQ(held.code, plain.code) << where;
            EXPECT_EQ(held.gates, plain.gates) << where;
            EXPECT_EQ(held.warnings, plain.warnings) << where;
        }
    }
}

// Inside a run, Hadamard gates hold a register that fills most of its value range by value,
// the flips shifting or moving its entries; real amplitudes are held as real parts. Random
// registers and circuits (with lone entries, exact cancellations and purges down to a
// sparse register, amplitudes near the purge limit, signed zeros, flips that move a few
// entries or push them out of range, a table more than half full) must come out as from the
// gates one by one.
TEST_F(GateTest, HadamardsHeldByValueMatchTheGatesOneByOne)
{
    std::mt19937 rng(2026);
    const auto pick = [&rng](int64_t n) {
        return static_cast<int64_t>(std::uniform_int_distribution<int64_t>(0, n - 1)(rng));
    };
    for (int trial = 0; trial < 48; trial++) {
        const int64_t width = trial % 2 == 1 ? 8 : 3 + trial % 5;
        // 0: all 1/4, which cancel in pairs; 1: complex, some imaginary parts -0; 2: real,
        // from a few values, some of them close to the purge limit; 3: real.
        const int kind = trial % 4;
        std::vector<uint64_t> values;
        for (uint64_t v = 0; v < (uint64_t{1} << width); v++)
            if (kind == 0 || pick(4) != 0)
                values.push_back(v);
        std::shuffle(values.begin(), values.end(), rng);
        std::vector<quantum_amplitude> amplitudes;
        std::uniform_real_distribution<float> part(-1.0f, 1.0f);
        const float few[] = {0.25f, -0.25f, 0.5f, -0.125f, 6e-5f, -9e-5f, 2e-5f};
        for (size_t i = 0; i < values.size(); i++) {
            if (kind == 0)
                amplitudes.push_back({0.25f, 0.0f});
            else if (kind == 1)
                amplitudes.push_back({part(rng), pick(3) == 0 ? -0.0f : part(rng)});
            else if (kind == 2)
                amplitudes.push_back({few[pick(7)], 0.0f});
            else
                amplitudes.push_back({part(rng), 0.0f});
        }
        std::vector<std::vector<int64_t>> gates;
        for (int g = 0; g < 60; g++) {
            const int64_t type = pick(8), a = pick(width), b = pick(width);
            gates.push_back({type, a, b, (a + b + 1) % (width + 2)});
        }
        // A table of just the width's values: more than half full, it warns.
        const int64_t hashw = trial % 8 == 7 ? width : width + 2;
        const auto make = [&] {
            quantum_reg_struct reg = entries(width, values, amplitudes);
            if (hashw != reg.hashw) {
                hash_destroy(reg);
                reg.hashw = hashw;
                reg.hash = static_cast<int64_t*>(std::calloc(size_t{1} << hashw, sizeof(int64_t)));
                memory_account(8 * (int64_t{1} << hashw));
            }
            return reg;
        };
        const auto circuit = [&](quantum_reg_struct& reg) {
            permutation_run_open(reg);
            for (const auto& gate : gates) {
                switch (gate[0]) {
                case 0: apply_walsh(gate[1] + 1, reg); break;
                case 1: apply_sigma_x(gate[1], reg); break;
                case 2: apply_cnot(gate[1], gate[3], reg); break;
                case 3: if (gate[1] != gate[2]) apply_toffoli(gate[1], gate[2], gate[3], reg); break;
                default: apply_hadamard(gate[3], reg); break;
                }
            }
            permutation_run_close();
        };
        expect_all_kernels_match(make, circuit, "trial " + std::to_string(trial));
    }
}

// Grover's iterations on a held register bring its entry order back after one to four of
// them, so the order is replayed from a recorded cycle instead of carried gate by gate. A
// gate that differs (another searched value), presence that differs (purges as the
// amplitudes of the other values pass near zero), or a gate that needs the register written
// back in the middle of a cycle ends it, and the order must be exactly where the gates one by
// one leave it.
TEST_F(GateTest, HeldOrderCyclesMatchTheGatesOneByOne)
{
    struct Case {
        int64_t width, searched, iterations, other, write_back;
    };
    const engine::OrderCounts before = engine::order_counts();
    for (const Case& c : {Case{6, 0, 40, 33, 17}, Case{6, 45, 24, 45, 11}, Case{7, 100, 30, 3, 0},
                          Case{8, 0, 36, 200, 29}}) {
        const int64_t w = c.width;
        const auto make = [&] {
            quantum_reg_struct reg = register_new(0, w);
            apply_sigma_x(w, reg);
            apply_walsh(w, reg);
            apply_hadamard(w, reg);
            return reg;
        };
        const auto oracle = [w](uint64_t s, quantum_reg_struct& reg) {
            permutation_run_open(reg);
            for (int64_t i = 0; i < w; i++)
                if (((s >> i) & 1) == 0)
                    apply_sigma_x(i, reg);
            apply_toffoli(0, 1, w + 1, reg);
            for (int64_t i = 1; i < w; i++)
                apply_toffoli(i, w + i, w + i + 1, reg);
            apply_cnot(2 * w, w, reg);
            for (int64_t i = w - 1; i >= 1; i--)
                apply_toffoli(i, w + i, w + i + 1, reg);
            apply_toffoli(0, 1, w + 1, reg);
            for (int64_t i = 0; i < w; i++)
                if (((s >> i) & 1) == 0)
                    apply_sigma_x(i, reg);
            permutation_run_close();
        };
        const auto inversion = [w](quantum_reg_struct& reg) {
            for (int64_t i = 0; i < w; i++)
                apply_sigma_x(i, reg);
            apply_hadamard(w - 1, reg);
            permutation_run_open(reg);
            apply_toffoli(0, 1, w + 1, reg);
            for (int64_t i = 1; i <= w - 2; i++)
                apply_toffoli(i, w + i, w + i + 1, reg);
            apply_cnot(2 * w - 1, w - 1, reg);
            for (int64_t i = w - 2; i >= 1; i--)
                apply_toffoli(i, w + i, w + i + 1, reg);
            apply_toffoli(0, 1, w + 1, reg);
            permutation_run_close();
            apply_hadamard(w - 1, reg);
            for (int64_t i = 0; i < w; i++)
                apply_sigma_x(i, reg);
        };
        const auto circuit = [&](quantum_reg_struct& reg) {
            permutation_run_open(reg);
            for (int64_t k = 1; k <= c.iterations; k++) {
                // From two thirds on the oracle searches another value.
                oracle(k < 2 * c.iterations / 3 ? c.searched : c.other, reg);
                apply_walsh(w, reg);
                if (k == c.write_back)
                    apply_sigma_z(w + 1, reg);
                inversion(reg);
                apply_walsh(w, reg);
            }
            apply_hadamard(w, reg);
            permutation_run_close();
        };
        expect_all_kernels_match(make, circuit, "width " + std::to_string(w) + ", searched " +
                                                    std::to_string(c.searched));
    }
    const engine::OrderCounts after = engine::order_counts();
    EXPECT_GT(after.cycles, before.cycles);
    EXPECT_GT(after.ended_by_gate, before.ended_by_gate);
    EXPECT_GT(after.ended_for_order, before.ended_for_order);
}

// No program decoheres or encodes: one check each.
TEST_F(GateTest, DecoherenceDeviateByThePolarMethod)
{
    // Hand computation of the noise for one qubit, in the stated precisions.
    srand(21);
    float u, v, s;
    do {
        u = static_cast<float>(2 * (rand() / 2147483647.0) - 1);
        v = static_cast<float>(2 * (rand() / 2147483647.0) - 1);
        s = u * u + v * v;
    } while (s >= 1);
    float n = static_cast<float>(u * std::sqrt(-2 * std::log(double(s)) / double(s)));
    n = static_cast<float>(n * std::sqrt(double(2.0f * 0.25f)));
    n = n * 0.5f;

    reg_ = entries(1, {0, 1}, {S, quantum_amplitude(0.0f, S)});
    set_decoherence(0.25f);
    srand(21);
    decohere(reg_);
    set_decoherence(0);
    EXPECT_EQ(reg_.amplitude[0], quantum_cmul(quantum_amplitude(S, 0.0f), quantum_cexp(0.0f - n)));
    EXPECT_EQ(reg_.amplitude[1], quantum_cmul(quantum_amplitude(0.0f, S), quantum_cexp(0.0f + n)));
}

TEST_F(GateTest, ErrorCorrectionEncodesFlipsAndDecodes)
{
    reg_ = register_new(2, 2);
    ec_encode(0, 0, reg_);
    EXPECT_EQ(reg_.width, 6);
    EXPECT_EQ(states(reg_), (std::vector<uint64_t>{2 | 8 | 32}));
    int64_t type = 0, width = 0;
    ec_get_status(type, width);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(width, 2);
    apply_sigma_x(0, reg_);
    EXPECT_EQ(states(reg_), (std::vector<uint64_t>{63}));
    apply_cnot(1, 0, reg_);
    EXPECT_EQ(states(reg_), (std::vector<uint64_t>{63 ^ 21}));
    ec_decode(0, 0, reg_);
    ec_get_status(type, width);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(reg_.width, 2);
    EXPECT_EQ(states(reg_), (std::vector<uint64_t>{2}));
    ec_counter(-1, 1073741824, reg_);
}

TEST(ComplexProduct, InfiniteFactorGivesAnInfiniteResult)
{
    const float inf = INFINITY, nan = NAN;
    const quantum_amplitude p = quantum_cmul({inf, nan}, {1.0f, 0.0f});
    EXPECT_TRUE(std::isinf(p.real()) || std::isinf(p.imag()));
    const quantum_amplitude q = quantum_cmul({inf, inf}, {inf, inf});
    EXPECT_TRUE(std::isinf(q.imag()));
    const quantum_amplitude r = quantum_cmul({2.0f, 3.0f}, {4.0f, -5.0f});
    EXPECT_EQ(r, quantum_amplitude(23.0f, 2.0f));
}

// A program watches its register between gates: inside a run the read sees the queued flips
// and a register held by value, records nothing and leaves the register as the same gates
// without reads leave it.
TEST_F(GateTest, ProbabilityReadInsideARunMatchesThePlainRegister)
{
    constexpr int64_t w = 7;
    const auto plain_sum = [](const quantum_reg_struct& reg, uint64_t mask, uint64_t value) {
        double sum = 0;
        for (int64_t i = 0; i < reg.size; i++)
            if ((reg.state[i] & mask) == value)
                sum += quantum_prob(reg.amplitude[i]);
        return sum;
    };
    int held_reads = 0;
    const auto circuit = [&](quantum_reg_struct& reg, std::vector<double>* reads) {
        permutation_run_open(reg);
        apply_walsh(w, reg);
        for (int64_t k = 0; k < 6; k++) {
            apply_sigma_x(k % w, reg);
            apply_toffoli(0, 1, w, reg);
            held_reads += reads && engine::by_value_holds(reg);
            if (reads)
                for (uint64_t mask : {uint64_t{0x7F}, uint64_t{0x0C}, uint64_t{0}})
                    reads->push_back(register_probability_where(reg, mask, mask & 0x25));
            apply_hadamard(k % 3, reg);
        }
        permutation_run_close();
    };
    quantum_reg_struct plain = register_new(0, w);
    circuit(plain, nullptr);
    const int64_t plain_bytes = objcode_position();

    reg_ = register_new(0, w);
    std::vector<double> reads;
    circuit(reg_, &reads);
    EXPECT_EQ(objcode_position(), plain_bytes) << "the reads recorded something";
    EXPECT_GT(held_reads, 0) << "no read met the register held by value";
    ASSERT_EQ(reg_.size, plain.size);
    for (int64_t i = 0; i < reg_.size; i++) {
        EXPECT_EQ(reg_.state[i], plain.state[i]) << i;
        EXPECT_EQ(reg_.amplitude[i], plain.amplitude[i]) << i;
    }
    // The last reads against a pass over the register as the run left it, with the final
    // Hadamard undone by a fresh run up to the same point.
    quantum_reg_struct upto = register_new(0, w);
    permutation_run_open(upto);
    apply_walsh(w, upto);
    for (int64_t k = 0; k < 6; k++) {
        apply_sigma_x(k % w, upto);
        apply_toffoli(0, 1, w, upto);
        if (k < 5)
            apply_hadamard(k % 3, upto);
    }
    permutation_run_close();
    const size_t last = reads.size() - 3;
    EXPECT_FLOAT_EQ(static_cast<float>(reads[last]), static_cast<float>(plain_sum(upto, 0x7F, 0x25)));
    EXPECT_FLOAT_EQ(static_cast<float>(reads[last + 1]), static_cast<float>(plain_sum(upto, 0x0C, 0x04)));
    EXPECT_NEAR(reads[last + 2], 1.0, 1e-5);
    register_delete(upto);
    register_delete(plain);
}
