// engine/measure.cpp: measurement of the whole register or of one qubit, drawing on rand.
#include "engine/measure.h"

#include <cmath>
#include <cstdlib>

#include "engine/entries.h"
#include "engine/error.h"
#include "engine/objcode.h"

namespace {

uint64_t basis_value(const quantum_reg_struct& reg, int64_t position)
{
    return reg.state ? reg.state[position] : static_cast<uint64_t>(position);
}

uint64_t qubit_bit(int64_t q)
{
    return uint64_t{1} << (q & 63);
}

// Probability that qubit q reads 0, summed in double over single-precision terms.
double probability_of_zero(int64_t q, const quantum_reg_struct& reg)
{
    const uint64_t bit = qubit_bit(q);
    double p0 = 0;
    for (int64_t i = 0; i < reg.size; i++)
        if (!(basis_value(reg, i) & bit))
            p0 += quantum_prob(reg.amplitude[i]);
    return p0;
}

// Bits below q stay, bits above q move down by one; q = 63 keeps only the low 63 bits.
uint64_t remove_bit(uint64_t v, int64_t q)
{
    const int shift = static_cast<int>(q & 63);
    const uint64_t low = v & (qubit_bit(shift) - 1);
    const uint64_t high = shift == 63 ? 0 : (v >> (shift + 1)) << shift;
    return low | high;
}

} // namespace

double uniform_random()
{
    return static_cast<double>(std::rand()) / 2147483647.0;
}

uint64_t measure(quantum_reg_struct reg)
{
    objcode_record(OBJCODE_MEASURE);
    double u = uniform_random();
    for (int64_t i = 0; i < reg.size; i++) {
        u -= quantum_prob(reg.amplitude[i]);
        if (u <= 0)
            return basis_value(reg, i);
    }
    return ~uint64_t{0};
}

quantum_reg_struct state_collapse(int64_t q, int value, quantum_reg_struct reg)
{
    const uint64_t bit = qubit_bit(q);
    const bool want = value != 0;
    int64_t n = 0;
    double d = 0;
    for (int64_t i = 0; i < reg.size; i++) {
        if (((basis_value(reg, i) & bit) != 0) == want) {
            n++;
            d += quantum_prob(reg.amplitude[i]);
        }
    }

    quantum_reg_struct out;
    out.width = reg.width - 1;
    out.hashw = reg.hashw;
    out.hash = reg.hash;
    if (!engine::entries_new(out, n, true))
        return out;

    const float norm = static_cast<float>(std::sqrt(d));
    int64_t k = 0;
    for (int64_t i = 0; i < reg.size; i++) {
        const uint64_t v = basis_value(reg, i);
        if (((v & bit) != 0) != want)
            continue;
        const quantum_amplitude a = reg.amplitude[i];
        out.state[k] = remove_bit(v, q);
        out.amplitude[k] = quantum_amplitude(a.real() / norm, a.imag() / norm);
        k++;
    }
    return out;
}

int measure_qubit(int64_t q, quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_MEASURE_QUBIT, static_cast<int>(q));
    const double p0 = probability_of_zero(q, reg);
    const int result = uniform_random() > p0 ? 1 : 0;
    quantum_reg_struct out = state_collapse(q, result, reg);
    // The table moves to the collapsed record; it is stale until the next rebuild.
    register_delete_keep_hash(reg);
    reg = out;
    return result;
}

int measure_qubit_preserve(int64_t q, quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_MEASURE_QUBIT_PRESERVE, static_cast<int>(q));
    const double p0 = probability_of_zero(q, reg);
    const int result = uniform_random() > p0 ? 1 : 0;
    const uint64_t bit = qubit_bit(q);
    const bool want = result != 0;

    int64_t n = 0;
    double d = 0;
    for (int64_t i = 0; i < reg.size; i++) {
        if (((basis_value(reg, i) & bit) != 0) != want) {
            reg.amplitude[i] = 0;
        } else {
            n++;
            d += quantum_prob(reg.amplitude[i]);
        }
    }

    // On failure the losing side is already zeroed, so the register stays a valid, if
    // unshrunk, state.
    quantum_reg_struct kept;
    if (!engine::entries_new(kept, n, true))
        return result;
    auto* amplitude = kept.amplitude;
    auto* state = kept.state;

    const float norm = static_cast<float>(std::sqrt(d));
    int64_t k = 0;
    for (int64_t i = 0; i < reg.size && k < n; i++) {
        const quantum_amplitude a = reg.amplitude[i];
        if (a.real() == 0 && a.imag() == 0)
            continue;
        state[k] = basis_value(reg, i);
        amplitude[k] = quantum_amplitude(a.real() / norm, a.imag() / norm);
        k++;
    }

    register_delete_keep_hash(reg);
    reg.size = n;
    reg.amplitude = amplitude;
    reg.state = state;
    return result;
}
