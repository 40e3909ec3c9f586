// Measurement outcomes for known draws, collapse and renormalisation.
#include "engine/measure.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

#include "engine/gates.h"
#include "engine/objcode.h"

namespace {

// The first draw rand gives after srand(seed).
double first_draw(unsigned seed)
{
    srand(seed);
    return rand() / 2147483647.0;
}

// A seed whose first draw satisfies pred.
template <typename Pred> unsigned seed_where(Pred pred)
{
    for (unsigned seed = 1;; seed++)
        if (pred(first_draw(seed)))
            return seed;
}

quantum_reg_struct entries(int64_t width, std::vector<uint64_t> values,
                           std::vector<quantum_amplitude> amplitudes)
{
    quantum_reg_struct reg = register_new_sparse(int64_t(values.size()), width);
    for (size_t i = 0; i < values.size(); i++) {
        reg.state[i] = values[i];
        reg.amplitude[i] = amplitudes[i];
    }
    return reg;
}

constexpr float S = 0.70710677f;

} // namespace

TEST(UniformRandom, IsRandOverItsMaximum)
{
    srand(11);
    const int r = rand();
    srand(11);
    EXPECT_EQ(uniform_random(), r / 2147483647.0);
}

TEST(Measure, TheDrawSelectsAlongTheStoredOrder)
{
    // Probabilities 0.25, 0.25, 0.5 in stored order 6, 1, 3. A draw past a total below one,
    // or an empty register, gives all ones; a total above one still measures; a single
    // entry is always the outcome.
    struct Case {
        std::vector<uint64_t> values;
        std::vector<quantum_amplitude> amplitudes;
        double above, below;
        uint64_t expected;
    };
    const std::vector<quantum_amplitude> quarters = {0.5f, quantum_amplitude(0, 0.5f), S};
    for (const Case& c : {Case{{6, 1, 3}, quarters, -1, 0.25, 6}, Case{{6, 1, 3}, quarters, 0.26, 0.49, 1},
                          Case{{6, 1, 3}, quarters, 0.51, 2, 3}, Case{{}, {}, -1, 2, ~uint64_t{0}},
                          Case{{1, 2}, {0.1f, 0.1f}, 0.03, 2, ~uint64_t{0}},
                          Case{{2, 3}, {1.0f, 1.0f}, 0.9, 2, 2}, Case{{9}, {1.0f}, -1, 2, 9}}) {
        quantum_reg_struct reg = entries(3, c.values, c.amplitudes);
        srand(seed_where([&](double u) { return u > c.above && u < c.below; }));
        EXPECT_EQ(measure(reg), c.expected) << "draw in (" << c.above << ", " << c.below << ")";
        register_delete(reg);
    }
}

TEST(MeasureQubit, EqualSuperpositionCollapsesToEitherSide)
{
    const float p0 = S * S;
    const float norm = static_cast<float>(std::sqrt(double(p0)));
    for (const int want : {0, 1}) {
        quantum_reg_struct reg = register_new(0, 1);
        apply_hadamard(0, reg);
        int64_t* table = reg.hash;
        srand(seed_where([&](double u) { return want ? u > p0 : u <= p0; }));
        EXPECT_EQ(measure_qubit(0, reg), want);
        EXPECT_EQ(reg.width, 0);
        ASSERT_EQ(reg.size, 1);
        EXPECT_EQ(reg.state[0], 0u);
        EXPECT_EQ(reg.amplitude[0], quantum_amplitude(S / norm, 0.0f));
        EXPECT_EQ(reg.hash, table) << "the table is handed over";
        const uint8_t* code = objcode_data();
        const std::vector<uint8_t> tail(code + objcode_position() - 5, code + objcode_position());
        EXPECT_EQ(tail, (std::vector<uint8_t>{0x81, 0, 0, 0, 0}));
        register_delete(reg);
        objcode_stop();
    }
}

TEST(StateCollapse, RemovesTheMeasuredBit)
{
    quantum_reg_struct reg = entries(64, {0b1011, 0b1101, (uint64_t{1} << 63) | 5, 0b0110},
                                     {0.5f, 0.5f, 0.5f, 0.5f});
    quantum_reg_struct low = state_collapse(0, 1, reg);
    EXPECT_EQ(std::vector<uint64_t>(low.state, low.state + low.size),
              (std::vector<uint64_t>{0b101, 0b110, (uint64_t{1} << 62) | 2}));
    EXPECT_EQ(low.width, 63);
    quantum_reg_struct middle = state_collapse(2, 1, reg);
    EXPECT_EQ(std::vector<uint64_t>(middle.state, middle.state + middle.size),
              (std::vector<uint64_t>{0b101, (uint64_t{1} << 62) | 1, 0b010}));
    quantum_reg_struct top = state_collapse(63, 1, reg);
    ASSERT_EQ(top.size, 1);
    EXPECT_EQ(top.state[0], 5u);
    EXPECT_EQ(top.amplitude[0], quantum_amplitude(1.0f, 0.0f));
    for (quantum_reg_struct* r : {&low, &middle, &top})
        register_delete_keep_hash(*r);
    register_delete(reg);
}

TEST(StateCollapse, DividesEachPartBySinglePrecisionRoot)
{
    quantum_reg_struct reg = entries(2, {0, 2, 1}, {quantum_amplitude(0.3f, 0.4f), 0.6f, 0.5f});
    quantum_reg_struct out = state_collapse(0, 0, reg);
    const double d = double(0.3f * 0.3f + 0.4f * 0.4f) + double(0.6f * 0.6f);
    const float norm = static_cast<float>(std::sqrt(d));
    ASSERT_EQ(out.size, 2);
    EXPECT_EQ(out.amplitude[0], quantum_amplitude(0.3f / norm, 0.4f / norm));
    EXPECT_EQ(out.amplitude[1], quantum_amplitude(0.6f / norm, 0.0f));
    EXPECT_EQ(out.state[1], 1u);
    register_delete_keep_hash(out);
    register_delete(reg);
}

TEST(MeasureQubitPreserve, KeepsWidthAndValuesAndRenormalises)
{
    quantum_reg_struct reg = register_new(0, 3);
    apply_hadamard(0, reg);
    apply_hadamard(1, reg);
    srand(seed_where([](double u) { return u > 0.51; }));
    EXPECT_EQ(measure_qubit_preserve(1, reg), 1);
    EXPECT_EQ(reg.width, 3);
    ASSERT_EQ(reg.size, 2);
    EXPECT_EQ(std::vector<uint64_t>(reg.state, reg.state + 2), (std::vector<uint64_t>{2, 3}));
    double total = 0;
    for (int64_t i = 0; i < reg.size; i++)
        total += get_probability(i, reg);
    EXPECT_NEAR(total, 1.0, 1e-6);
    EXPECT_EQ(objcode_data()[objcode_position() - 5], 0x82);
    register_delete(reg);
    objcode_stop();
}

TEST(MeasureQubitPreserve, ZeroAmplitudesOfTheMeasuredSideLeaveEmptyPlacesAtTheEnd)
{
    quantum_reg_struct reg = entries(2, {1, 3, 0}, {0.0f, 1.0f, 0.0f});
    srand(seed_where([](double u) { return u > 0.01; }));
    EXPECT_EQ(measure_qubit_preserve(0, reg), 1);
    ASSERT_EQ(reg.size, 2);
    EXPECT_EQ(reg.state[0], 3u);
    EXPECT_EQ(reg.amplitude[0], quantum_amplitude(1.0f, 0.0f));
    EXPECT_EQ(reg.state[1], 0u);
    EXPECT_EQ(reg.amplitude[1], quantum_amplitude(0.0f, 0.0f));
    register_delete(reg);
}

