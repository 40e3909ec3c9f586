// engine/ec.cpp: error correction by three copies of the register (a copy's qubit i sits at
// i, i + w and i + 2w), with fault-tolerant replacements for the plain permutation gates.
#include "engine/ec.h"

#include "engine/gates.h"
#include "engine/measure.h"

namespace {

int64_t ec_type = 0;
int64_t ec_width = 0;
int64_t ec_count = 0;
int64_t ec_frequency = 1073741824;

// Decoherence off for a stretch of gates. Restoring puts back the earlier on/off state
// as well as lambda: re-setting lambda alone would switch on decoherence that was off.
// Restoring twice is harmless, so a loop too short to reach its restore point can be
// followed by a final restore.
struct DecoherencePause {
    float lambda = get_decoherence();
    bool was_on = engine::decoherence_on();
    bool restored = false;
    DecoherencePause() { set_decoherence(0); }
    void restore()
    {
        if (was_on && !restored)
            set_decoherence(lambda);
        restored = true;
    }
};

uint64_t qubit_bit(int64_t q)
{
    return uint64_t{1} << (q & 63);
}

int parity3(uint64_t v, int64_t q, int64_t w)
{
    return static_cast<int>(((v & qubit_bit(q)) != 0) ^ ((v & qubit_bit(q + w)) != 0) ^
                            ((v & qubit_bit(q + 2 * w)) != 0));
}

} // namespace

void ec_set_status(int64_t type, int64_t width)
{
    ec_type = type;
    ec_width = width;
}

void ec_get_status(int64_t& type, int64_t& width)
{
    type = ec_type;
    width = ec_width;
}

void ec_encode(int64_t, int64_t k, quantum_reg_struct& reg)
{
    const int64_t n = reg.width;
    DecoherencePause pause;
    for (int64_t i = 0; i < n; i++) {
        if (i == n - 1)
            pause.restore();
        if (i < k) {
            apply_hadamard(n + i, reg);
            apply_hadamard(2 * n + i, reg);
            apply_cnot(n + i, i, reg);
            apply_cnot(2 * n + i, i, reg);
        } else {
            apply_cnot(i, n + i, reg);
            apply_cnot(i, 2 * n + i, reg);
        }
    }
    pause.restore();
    ec_set_status(1, n);
    reg.width = 3 * n;
}

void ec_decode(int64_t, int64_t k, quantum_reg_struct& reg)
{
    const int64_t width = reg.width;
    const int64_t n = width / 3;
    DecoherencePause pause;
    ec_set_status(0, 0);
    for (int64_t i = n - 1; i >= 0; i--) {
        if (i == 0)
            pause.restore();
        if (i < k) {
            apply_cnot(2 * n + i, i, reg);
            apply_cnot(n + i, i, reg);
            apply_hadamard(2 * n + i, reg);
            apply_hadamard(n + i, reg);
        } else {
            apply_cnot(i, 2 * n + i, reg);
            apply_cnot(i, n + i, reg);
        }
    }
    pause.restore();
    if (width < 3)
        return;
    // The copies now hold the syndrome; measure them away, fixing flagged phase flips.
    for (int64_t i = 1; i <= n; i++) {
        const int a = measure_qubit(n, reg);
        const int b = measure_qubit(2 * n - i, reg);
        if (a == 1 && b == 1 && i - 1 < k)
            apply_sigma_z(i - 1, reg);
    }
}

int64_t ec_counter(int64_t inc, int64_t frequency, quantum_reg_struct& reg)
{
    if (inc > 0)
        ec_count += inc;
    else if (inc < 0)
        ec_count = 0;
    if (frequency > 0)
        ec_frequency = frequency;
    if (ec_count >= ec_frequency) {
        ec_count = 0;
        ec_decode(0, ec_width, reg);
        ec_encode(0, ec_width, reg);
    }
    return ec_count;
}

void ec_sigma_x_ft(int64_t target, quantum_reg_struct& reg)
{
    const int64_t saved_type = ec_type;
    const int64_t w = ec_width;
    ec_type = 0;
    DecoherencePause pause;
    apply_sigma_x(target, reg);
    apply_sigma_x(target + w, reg);
    pause.restore();
    apply_sigma_x(target + 2 * w, reg);
    ec_counter(1, 0, reg);
    ec_type = saved_type;
}

void ec_cnot_ft(int64_t control, int64_t target, quantum_reg_struct& reg)
{
    const int64_t saved_type = ec_type;
    const int64_t w = ec_width;
    ec_type = 0;
    DecoherencePause pause;
    apply_cnot(control, target, reg);
    apply_cnot(control + w, target + w, reg);
    pause.restore();
    apply_cnot(control + 2 * w, target + 2 * w, reg);
    ec_counter(1, 0, reg);
    ec_type = saved_type;
}

void ec_toffoli_ft(int64_t control1, int64_t control2, int64_t target, quantum_reg_struct& reg)
{
    const int64_t w = ec_width;
    if (reg.state) {
        const uint64_t flips =
            qubit_bit(target) | qubit_bit(target + w) | qubit_bit(target + 2 * w);
        for (int64_t i = 0; i < reg.size; i++) {
            const uint64_t v = reg.state[i];
            if (parity3(v, control1, w) == 1 && parity3(v, control2, w) == 1)
                reg.state[i] = v ^ flips;
        }
    }
    decohere(reg);
    ec_counter(1, 0, reg);
}
