// engine/grover.cpp: the Grover search kernel.
#include "engine/grover.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/arith.h"
#include "engine/gates.h"
#include "engine/measure.h"

namespace {

constexpr double PI_4 = 0.7853981633974483;

// Bit i of the searched value, with the sign-extended 32-bit mask the dumps were made with.
bool searched_bit(int64_t s, int64_t i)
{
    const int64_t mask = static_cast<int32_t>(1u << (static_cast<uint64_t>(i) & 31));
    return (s & mask) != 0;
}

void flip_zero_bits(int64_t s, int64_t w, quantum_reg_struct& reg)
{
    for (int64_t i = 0; i < w; ++i) {
        if (!searched_bit(s, i))
            apply_sigma_x(i, reg);
    }
}

// pi/4 * sqrt(2^w), with 2^w as the 32-bit power; the loop bound of the driver.
double iteration_bound(int64_t w)
{
    const auto power = static_cast<int32_t>(1u << (static_cast<uint64_t>(w) & 31));
    return std::sqrt(static_cast<double>(power)) * PI_4;
}

} // namespace

void grover_oracle(int64_t s, quantum_reg_struct& reg)
{
    const int64_t w = reg.width;
    flip_zero_bits(s, w, reg);
    apply_toffoli(0, 1, w + 1, reg);
    for (int64_t i = 1; i < w; ++i)
        apply_toffoli(i, w + i, w + i + 1, reg);
    if (w == 0)
        apply_cnot(1, 0, reg);
    else
        apply_cnot(2 * w, w, reg);
    for (int64_t i = w - 1; i >= 1; --i)
        apply_toffoli(i, w + i, w + i + 1, reg);
    apply_toffoli(0, 1, w + 1, reg);
    flip_zero_bits(s, w, reg);
}

void grover_inversion(quantum_reg_struct& reg)
{
    const int64_t w = reg.width;
    for (int64_t i = 0; i < w; ++i)
        apply_sigma_x(i, reg);
    apply_hadamard(w - 1, reg);
    if (w == 3) {
        // Three index qubits need no scratch: one Toffoli is the whole chain.
        apply_toffoli(0, 1, 2, reg);
    } else {
        apply_toffoli(0, 1, w + 1, reg);
        for (int64_t i = 1; i <= w - 2; ++i)
            apply_toffoli(i, w + i, w + i + 1, reg);
        if (w >= 3)
            apply_cnot(2 * w - 1, w - 1, reg);
        else
            apply_cnot(w + 1, w - 1, reg);
        for (int64_t i = w - 2; i >= 1; --i)
            apply_toffoli(i, w + i, w + i + 1, reg);
        apply_toffoli(0, 1, w + 1, reg);
    }
    apply_hadamard(w - 1, reg);
    for (int64_t i = 0; i < w; ++i)
        apply_sigma_x(i, reg);
}

void grover_step(int64_t s, quantum_reg_struct& reg)
{
    grover_oracle(s, reg);
    for (int64_t i = 0; i < reg.width; ++i)
        apply_hadamard(i, reg);
    grover_inversion(reg);
    for (int64_t i = 0; i < reg.width; ++i)
        apply_hadamard(i, reg);
}

int grover_search(int64_t s, int64_t width)
{
    const int64_t needed = s == INT64_MAX ? 63 : get_width(s + 1);
    const int64_t w = std::max(width, needed);
    quantum_reg_struct reg = register_new(0, w);
    apply_sigma_x(w, reg);
    for (int64_t i = 0; i < w; ++i)
        apply_hadamard(i, reg);
    apply_hadamard(w, reg);

    std::printf("Iterating %i times\n", static_cast<int>(iteration_bound(w)));
    for (int64_t i = 1; static_cast<double>(i) <= iteration_bound(w); ++i) {
        std::printf("Iteration #%li\n", static_cast<long>(i));
        grover_step(s, reg);
    }

    // The phase qubit joins the register only to be measured away.
    apply_hadamard(w, reg);
    reg.width = w + 1;
    measure_qubit(w, reg);

    for (int64_t i = 0; i < reg.size; ++i) {
        if (reg.state && reg.state[i] == static_cast<uint64_t>(s))
            std::printf("\nFound %li with a probability of %f\n\n", static_cast<long>(s),
                        get_probability(i, reg));
    }
    std::fflush(stdout);
    register_delete(reg);
    return 0;
}
