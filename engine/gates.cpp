// engine/gates.cpp: permutation, phase and generic gates, decoherence and the gate count.
#include "engine/gates.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/by_value.h"
#include "engine/entries.h"
#include "engine/error.h"
#include "engine/measure.h"
#include "engine/objcode.h"
#include "engine/parts.h"
#include "engine/vector_clones.h"

engine::FastPaths engine::fast_paths;

namespace {

using engine::Parts;

constexpr double PI = 3.14159265358979323846;

int64_t gate_count = 0;
int64_t decoherence_flag = 0;
float decoherence_lambda = 0;
// Direct indexing, permutation runs and holding by value; off only to compare.
bool fast_paths_on = true;

uint64_t qubit_bit(int64_t q)
{
    return uint64_t{1} << (q & 63);
}

int rec(int64_t q)
{
    return static_cast<int>(q);
}

bool ec_active()
{
    int64_t type = 0, width = 0;
    ec_get_status(type, width);
    return type != 0;
}

void settle(const quantum_reg_struct& reg);

// Multiplies a by z where the entry's basis value has every bit of mask set.
void phase_where(uint64_t mask, quantum_amplitude z, quantum_reg_struct& reg)
{
    settle(reg);
    if (!reg.state) {
        for (int64_t i = 0; i < reg.size; i++)
            if ((static_cast<uint64_t>(i) & mask) == mask)
                reg.amplitude[i] = quantum_cmul(reg.amplitude[i], z);
        return;
    }
    const uint64_t* state = reg.state;
    quantum_amplitude* amplitude = reg.amplitude;
    for (int64_t i = 0; i < reg.size; i++)
        if ((state[i] & mask) == mask)
            amplitude[i] = quantum_cmul(amplitude[i], z);
}

// Where bit control is set (mask 0: everywhere): a * z if bit target is set, else a / z.
void phase_shift_where(uint64_t control_mask, uint64_t target_bit, quantum_amplitude z,
                       quantum_reg_struct& reg)
{
    settle(reg);
    for (int64_t i = 0; i < reg.size; i++) {
        const uint64_t v = reg.state ? reg.state[i] : static_cast<uint64_t>(i);
        if ((v & control_mask) != control_mask)
            continue;
        if (v & target_bit)
            reg.amplitude[i] = quantum_cmul(reg.amplitude[i], z);
        else
            reg.amplitude[i] = quantum_cdiv(reg.amplitude[i], z);
    }
}

// Flips bit target where every bit of mask is set.
void flip_where(uint64_t mask, int64_t target, quantum_reg_struct& reg)
{
    if (reg.state)
        engine::flips_one(mask, qubit_bit(target), reg.state, reg.size);
}

// The open run of permutation gates (see gates.h).
quantum_reg_struct*& run_reg = engine::fast_paths.run_reg;
int64_t& run_depth = engine::fast_paths.run_depth;
std::vector<engine::Flip>& run_ops = engine::fast_paths.run_flips;

// Eight values at a time in vector registers across the whole run.
using Lanes = uint64_t __attribute__((vector_size(32)));

} // namespace

VECTOR_CLONES void engine::flips_one(uint64_t mask, uint64_t flip, uint64_t* state,
                                     int64_t size)
{
    for (int64_t i = 0; i < size; i++) {
        const uint64_t v = state[i];
        state[i] = v ^ (((v & mask) == mask) ? flip : 0);
    }
}

VECTOR_CLONES void engine::flips_queued(uint64_t* state, int64_t size, const Flip* ops,
                                        size_t count)
{
    int64_t k = 0;
    for (; k + 8 <= size; k += 8) {
        Lanes a, b;
        std::memcpy(&a, state + k, sizeof a);
        std::memcpy(&b, state + k + 4, sizeof b);
        for (size_t i = 0; i < count; i++) {
            const uint64_t mask = ops[i].mask, flip = ops[i].flip;
            // A comparison of vectors gives all ones where it holds.
            a ^= reinterpret_cast<Lanes>((a & mask) == mask) & flip;
            b ^= reinterpret_cast<Lanes>((b & mask) == mask) & flip;
        }
        std::memcpy(state + k, &a, sizeof a);
        std::memcpy(state + k + 4, &b, sizeof b);
    }
    for (; k < size; k++)
        state[k] = flipped(state[k], ops, count);
}

namespace {

// Applies and empties the open run; a register held by value takes it on its indices.
void flush_run()
{
    if (!run_reg || run_ops.empty()) {
        run_ops.clear();
        return;
    }
    // A held register has no arrays until it is written back.
    const bool done = engine::by_value_holds(*run_reg) &&
                      engine::by_value_flips(run_ops.data(), run_ops.size());
    if (!done && run_reg->state && engine::wide_vectors())
        engine::flips_wide(run_reg->state, run_reg->size, run_ops.data(), run_ops.size());
    else if (!done && run_reg->state)
        engine::flips_queued(run_reg->state, run_reg->size, run_ops.data(), run_ops.size());
    run_ops.clear();
}

// The queued flips of reg applied and its amplitudes written back, before a gate that is
// not queued reads or changes them.
void settle(const quantum_reg_struct& reg)
{
    if (run_reg == &reg)
        flush_run();
    if (engine::by_value_holds(reg))
        engine::by_value_release();
}

// Ends the open run, however deeply nested.
void close_run()
{
    flush_run();
    engine::by_value_release();
    run_reg = nullptr;
    run_depth = 0;
}

// Whether reg is held by value for the Hadamard gates, taking it now if it suits.
bool hold_by_value(quantum_reg_struct& reg)
{
    if (!fast_paths_on || decoherence_flag)
        return false;
    if (run_reg == &reg)
        flush_run();
    return engine::by_value_take(reg);
}

// Flips bit target where every bit of mask is set: queued while a run is open on reg,
// at once otherwise. Unconditional flips in a row make one flip of all their bits.
void permute(uint64_t mask, int64_t target, quantum_reg_struct& reg)
{
    if (run_reg != &reg) {
        flip_where(mask, target, reg);
        return;
    }
    const uint64_t flip = qubit_bit(target);
    if (mask == 0 && !run_ops.empty() && run_ops.back().mask == 0) {
        run_ops.back().flip ^= flip;
        return;
    }
    try {
        run_ops.push_back({mask, flip});
    } catch (const std::bad_alloc&) {
        // No room to queue: the run so far, then this flip, at once.
        settle(reg);
        flip_where(mask, target, reg);
    }
}

// The pair update of the generic gate; the products and sums in the order stated.
quantum_amplitude pair_update(quantum_amplitude ma, quantum_amplitude a, quantum_amplitude mb,
                              quantum_amplitude b)
{
    return quantum_cmul(ma, a) + quantum_cmul(mb, b);
}

bool is_zero(quantum_amplitude a)
{
    return a.real() == 0 && a.imag() == 0;
}

using engine::work_array;
using engine::work_release;

// A register whose basis values are distinct and all lie below its hash table's length can
// find a partner by indexing an array with the value itself: no table to clear and fill, no
// probing. The array (fast_paths.index_plus_one) holds position + 1 (0: absent). It is all
// zeros between gates, each gate clearing what it entered, and is kept (and counted) until
// the register it serves is deleted.

// Indexes reg directly and finds its pairs across bit: partner[p] is the position of
// state[p] ^ bit or -1, and paired counts the entries that have one. False, with nothing
// entered, when a basis value lies beyond the table's length or is stored twice, when the
// table would have to grow (hash_rebuild reports a full table and widens it), or for
// positions beyond 31 bits.
bool pair_directly(const quantum_reg_struct& reg, uint64_t bit, int32_t* partner, int64_t& paired)
{
    const int32_t slots = hash_length(reg.hashw);
    if (!fast_paths_on || !reg.state || !reg.hash || slots <= 0 || reg.size <= 0 ||
        reg.size >= slots)
        return false;
    const uint64_t* state = reg.state;
    const int64_t size = reg.size;
    uint64_t any = 0;
    for (int64_t p = 0; p < size; p++)
        any |= state[p];
    if (any >= static_cast<uint64_t>(slots))
        return false;
    // Every value lies below range, a power of two: so does a partner unless bit is beyond.
    const uint64_t range = std::bit_ceil(any + 1);
    engine::WorkBuffer<uint32_t>& index_plus_one = engine::fast_paths.index_plus_one;
    if (engine::fast_paths.index_served != &reg)
        index_plus_one.release();
    if (!index_plus_one.reserve(static_cast<int64_t>(range)))
        return false;
    engine::fast_paths.index_served = &reg;
    uint32_t* index = index_plus_one.data;
    paired = 0;
    // Backwards, so that an entry finds a partner after it at once and tells it.
    for (int64_t p = size - 1; p >= 0; p--) {
        const uint64_t v = state[p];
        if (index[v] != 0) {
            for (int64_t q = p + 1; q < size; q++)
                index[state[q]] = 0;
            return false;
        }
        index[v] = static_cast<uint32_t>(p + 1);
        const uint64_t w = v ^ bit;
        const uint32_t q = w < range ? index[w] : 0;
        partner[p] = static_cast<int32_t>(q) - 1;
        if (q != 0) {
            partner[q - 1] = static_cast<int32_t>(p);
            paired += 2;
        }
    }
    return true;
}

// apply_gate1 and its purge in one pass over a register paired directly (distinct values):
// an entry's partner comes after it exactly when the entry is not done yet, so no flags
// are needed, and every entry is final when the pass reaches it and moves at once behind
// the kept ones. The new partners are made in the grown tail and follow the kept entries in
// the order they were made, as the purge would leave them. Clears the direct index.
void pair_and_purge(uint64_t bit, const quantum_amplitude* matrix, const int32_t* partner,
                    int64_t add, quantum_reg_struct& reg)
{
    const int64_t old_size = reg.size;
    uint32_t* index = engine::fast_paths.index_plus_one.data;
    if (!engine::entries_resize(reg, old_size + add)) {
        for (int64_t i = 0; i < old_size; i++)
            index[reg.state[i]] = 0;
        return;
    }
    const float limit = engine::purge_limit(reg);
    const Parts m0 = engine::parts(matrix[0]), m1 = engine::parts(matrix[1]);
    const Parts m2 = engine::parts(matrix[2]), m3 = engine::parts(matrix[3]);
    const bool m1_zero = is_zero(matrix[1]), m2_zero = is_zero(matrix[2]);
    const Parts zero{0.0f, 0.0f};
    uint64_t* state = reg.state;
    // A complex<float> array is an array of real and imaginary parts.
    auto* amplitude = reinterpret_cast<Parts*>(reg.amplitude);
    int64_t kept = 0;
    int64_t made = old_size;
    bool stopped = false;
    for (int64_t i = 0; i < old_size; i++) {
        const uint64_t v = state[i];
        index[v] = 0;
        Parts a = amplitude[i];
        const int64_t j = partner[i];
        if (!stopped && (j > i || j < 0)) {
            const bool iset = (v & bit) != 0;
            const Parts tnot = j >= 0 ? amplitude[j] : zero;
            const Parts old = a;
            a = iset ? mul_add(m2, tnot, m3, old) : mul_add(m0, old, m1, tnot);
            if (j >= 0) {
                amplitude[j] = iset ? mul_add(m0, tnot, m1, old) : mul_add(m2, old, m3, tnot);
            } else if (iset ? m1_zero : m2_zero) {
                // The matrix cannot reach the partner: the gate ends here.
                stopped = true;
            } else {
                const Parts fresh = cmul(iset ? m1 : m2, old);
                if (!(prob(fresh) < limit)) {
                    state[made] = v ^ bit;
                    amplitude[made] = fresh;
                    made++;
                }
            }
        }
        // Written always, kept only if large enough: no branch to mispredict.
        state[kept] = v;
        amplitude[kept] = a;
        kept += !(prob(a) < limit);
    }
    const int64_t made_count = made - old_size;
    if (kept < old_size && made_count > 0) {
        std::memmove(state + kept, state + old_size,
                     static_cast<size_t>(made_count) * sizeof(uint64_t));
        std::memmove(amplitude + kept, amplitude + old_size,
                     static_cast<size_t>(made_count) * sizeof(Parts));
    }
    engine::entries_resize(reg, kept + made_count);
    engine::hash_load_warning(reg);
    decohere(reg);
}

// The end of both generic gates: purge (with the load warning) or, without a table, the
// warning alone; then decoherence.
void finish_generic(quantum_reg_struct& reg)
{
    if (reg.hashw != 0)
        purge_small_amplitudes(reg);
    else
        engine::hash_load_warning(reg);
    decohere(reg);
}

} // namespace

int64_t gate_counter(int64_t k)
{
    if (k > 0)
        gate_count += k;
    else if (k < 0)
        gate_count = 0;
    return gate_count;
}

float get_decoherence()
{
    return decoherence_lambda;
}

void set_decoherence(float lambda)
{
    if (lambda != 0 || std::isnan(lambda)) {
        decoherence_flag = 1;
        decoherence_lambda = lambda;
    } else {
        decoherence_flag = 0;
    }
}

namespace engine {

bool decoherence_on()
{
    return decoherence_flag != 0;
}

void fast_paths_forget(const quantum_reg_struct& reg)
{
    if (by_value_holds(reg))
        by_value_drop();
    if (run_reg == &reg) {
        run_ops.clear();
        run_reg = nullptr;
        run_depth = 0;
    }
    if (fast_paths.index_served == &reg) {
        fast_paths.index_plus_one.release();
        fast_paths.index_served = nullptr;
    }
}

void fast_paths_release()
{
    close_run();
    fast_paths.index_plus_one.release();
    fast_paths.index_served = nullptr;
    fast_paths.run_flips = {};
}

void set_fast_paths(bool enabled)
{
    close_run();
    fast_paths_on = enabled;
}

} // namespace engine

void decohere(quantum_reg_struct& reg)
{
    gate_counter(1);
    if (!decoherence_flag)
        return;
    // Noise acts on the values and amplitudes as they are after every gate so far.
    settle(reg);
    const int64_t width = reg.width > 0 ? reg.width : 0;
    float* noise = work_array<float>(width);
    if (!noise)
        return;

    // Pass: one normal deviate per qubit by the polar method, scaled by sqrt(2 lambda) / 2.
    const double scale = std::sqrt(static_cast<double>(2.0f * decoherence_lambda));
    for (int64_t i = 0; i < width; i++) {
        float u, v, s;
        do {
            u = static_cast<float>(2 * uniform_random() - 1);
            v = static_cast<float>(2 * uniform_random() - 1);
            s = u * u + v * v;
        } while (s >= 1);
        const double sd = s;
        float x = static_cast<float>(u * std::sqrt(-2 * std::log(sd) / sd));
        x = static_cast<float>(x * scale);
        noise[i] = x * 0.5f;
    }

    // Pass: each entry turns by the sum of +-deviates of its qubits.
    for (int64_t k = 0; k < reg.size; k++) {
        const uint64_t value = reg.state ? reg.state[k] : static_cast<uint64_t>(k);
        float angle = 0;
        for (int64_t i = 0; i < width; i++) {
            if (value & qubit_bit(i))
                angle += noise[i];
            else
                angle -= noise[i];
        }
        reg.amplitude[k] = quantum_cmul(reg.amplitude[k], quantum_cexp(angle));
    }
    work_release(noise, width);
}

// Permutation gates

void apply_cnot(int64_t control, int64_t target, quantum_reg_struct& reg)
{
    if (ec_active()) {
        ec_cnot_ft(control, target, reg);
        return;
    }
    objcode_record(OBJCODE_CNOT, rec(control), rec(target));
    permute(qubit_bit(control), target, reg);
    decohere(reg);
}

void apply_toffoli(int64_t control1, int64_t control2, int64_t target, quantum_reg_struct& reg)
{
    if (ec_active()) {
        ec_toffoli_ft(control1, control2, target, reg);
        return;
    }
    objcode_record(OBJCODE_TOFFOLI, rec(control1), rec(control2), rec(target));
    permute(qubit_bit(control1) | qubit_bit(control2), target, reg);
    decohere(reg);
}

namespace engine {

void apply_multi_cnot_list(int64_t n, const int64_t* indices, size_t count,
                           quantum_reg_struct& reg)
{
    settle(reg);
    // The controls go straight into the mask: a count from the caller never sizes an array,
    // and no index is read beyond those given.
    const auto controls =
        static_cast<size_t>(std::clamp<int64_t>(n, 0, static_cast<int64_t>(count) - 1));
    uint64_t mask = 0;
    for (size_t i = 0; i < controls; i++)
        mask |= qubit_bit(static_cast<int32_t>(indices[i]));
    flip_where(mask, indices[controls], reg);
    decohere(reg);
}

} // namespace engine

void apply_sigma_x(int64_t target, quantum_reg_struct& reg)
{
    if (ec_active()) {
        ec_sigma_x_ft(target, reg);
        return;
    }
    objcode_record(OBJCODE_SIGMA_X, rec(target));
    permute(0, target, reg);
    decohere(reg);
}

void apply_sigma_y(int64_t target, quantum_reg_struct& reg)
{
    settle(reg);
    objcode_record(OBJCODE_SIGMA_Y, rec(target));
    const uint64_t bit = qubit_bit(target);
    const quantum_amplitude i_unit(0.0f, 1.0f);
    const quantum_amplitude minus_i = -i_unit;
    if (reg.state) {
        for (int64_t k = 0; k < reg.size; k++) {
            const bool was_set = (reg.state[k] & bit) != 0;
            reg.state[k] ^= bit;
            reg.amplitude[k] = quantum_cmul(was_set ? minus_i : i_unit, reg.amplitude[k]);
        }
    }
    decohere(reg);
}

void apply_sigma_z(int64_t target, quantum_reg_struct& reg)
{
    settle(reg);
    objcode_record(OBJCODE_SIGMA_Z, rec(target));
    const uint64_t bit = qubit_bit(target);
    for (int64_t k = 0; k < reg.size; k++) {
        const uint64_t v = reg.state ? reg.state[k] : static_cast<uint64_t>(k);
        if (v & bit)
            reg.amplitude[k] = -reg.amplitude[k];
    }
    decohere(reg);
}

void swap_leads(int64_t width, quantum_reg_struct& reg)
{
    settle(reg);
    if (ec_active()) {
        for (int64_t i = 0; i < width; i++) {
            apply_cnot(i, width + i, reg);
            apply_cnot(width + i, i, reg);
            apply_cnot(i, width + i, reg);
        }
        return;
    }
    if (!reg.state)
        return;
    // Field masks built without shifting by 64 or more, for any width.
    const auto low_bits = [](int64_t bits) {
        return bits <= 0 ? uint64_t{0} : bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
    };
    const auto shift_left = [](uint64_t x, int64_t s) { return s < 0 || s >= 64 ? 0 : x << s; };
    const auto shift_right = [](uint64_t x, int64_t s) { return s < 0 || s >= 64 ? 0 : x >> s; };
    const uint64_t low_mask = low_bits(width);
    const uint64_t high_mask = low_bits(2 * width) & ~low_mask;
    for (int64_t k = 0; k < reg.size; k++) {
        objcode_record(OBJCODE_SWAP_LEADS, rec(width));
        const uint64_t v = reg.state[k];
        const uint64_t p1 = v & low_mask;
        const uint64_t p2 = v & high_mask;
        reg.state[k] = v - (p1 + p2) + shift_left(p1, width) + shift_right(p2, width);
    }
}

void controlled_swap(int64_t control, int64_t width, quantum_reg_struct& reg)
{
    for (int64_t l = 0; l < width; l++) {
        apply_toffoli(control, width + l, 2 * width + l + 2, reg);
        apply_toffoli(control, 2 * width + l + 2, width + l, reg);
        apply_toffoli(control, width + l, 2 * width + l + 2, reg);
    }
}

void permutation_run_open(quantum_reg_struct& reg)
{
    if (run_reg == &reg) {
        run_depth++;
        return;
    }
    close_run();
    // Error correction replaces the gates by sequences of its own, and noise must see every
    // gate's values: then the gates act one by one as always.
    if (!fast_paths_on || ec_active() || decoherence_flag || !reg.state)
        return;
    run_reg = &reg;
    run_depth = 1;
}

void permutation_run_close()
{
    if (run_depth > 1)
        run_depth--;
    else
        close_run();
}

double register_probability_where(quantum_reg_struct& reg, uint64_t mask, uint64_t value)
{
    if (run_reg == &reg)
        flush_run();
    if (engine::by_value_holds(reg))
        return engine::by_value_probability(mask, value);
    if (!reg.amplitude)
        return 0.0;
    double sum = 0.0;
    for (int64_t p = 0; p < reg.size; p++) {
        const uint64_t v = reg.state ? reg.state[p] : static_cast<uint64_t>(p);
        if ((v & mask) == value)
            sum += quantum_prob(reg.amplitude[p]);
    }
    return sum;
}

// Gates that may create basis states

void apply_gate1(int64_t target, quantum_matrix_struct m, quantum_reg_struct& reg)
{
    settle(reg);
    if (m.rows != 2 || m.cols != 2) {
        quantum_error(QUANTUM_EMSIZE);
        // Reading four elements of a smaller matrix would leave its array.
        if (!m.t || m.rows * m.cols < 4 || m.rows <= 0 || m.cols <= 0)
            return;
    }
    if (!reg.amplitude)
        return;
    const uint64_t bit = qubit_bit(target);
    if (!engine::gate1_direct(bit, m.t, reg))
        engine::gate1_generic(bit, m.t, reg);
}

bool engine::gate1_direct(uint64_t bit, const quantum_amplitude* m, quantum_reg_struct& reg)
{
    if (reg.hashw == 0 || !reg.state)
        return false;
    const int64_t old_size = reg.size;
    auto* pairs = work_array<int32_t>(old_size, false);
    // Reported; the gate ends here as on any failed allocation.
    if (!pairs)
        return true;
    int64_t paired = 0;
    const bool direct = pair_directly(reg, bit, pairs, paired);
    // The table is left as it is: every lookup rebuilds it first.
    if (direct)
        pair_and_purge(bit, m, pairs, old_size - paired, reg);
    work_release(pairs, old_size);
    return direct;
}

void engine::gate1_generic(uint64_t bit, const quantum_amplitude* m, quantum_reg_struct& reg)
{
    const quantum_amplitude m0 = m[0], m1 = m[1], m2 = m[2], m3 = m[3];
    const int64_t old_size = reg.size;
    const bool sparse = reg.hashw != 0 && reg.state;

    // Pass: find every partner once; count the missing ones, which become new entries.
    auto* partner = work_array<int64_t>(old_size, false);
    if (!partner)
        return;
    int64_t add = 0;
    if (sparse) {
        hash_rebuild(reg);
        for (int64_t i = 0; i < old_size; i++) {
            partner[i] = state_lookup(reg.state[i] ^ bit, reg);
            if (partner[i] < 0)
                add++;
        }
    } else {
        // Without a table a position is its basis value; there is no room for new entries.
        for (int64_t i = 0; i < old_size; i++) {
            const uint64_t v = (reg.state ? reg.state[i] : static_cast<uint64_t>(i)) ^ bit;
            partner[i] = v < static_cast<uint64_t>(old_size) ? static_cast<int64_t>(v) : -1;
        }
    }
    const int64_t total = old_size + add;
    auto* done = work_array<char>(total);
    if (!done || (sparse && !engine::entries_resize(reg, total))) {
        work_release(done, total);
        work_release(partner, old_size);
        return;
    }

    // Pass: update each pair once; a missing partner is appended.
    int64_t next = old_size;
    for (int64_t i = 0; i < old_size; i++) {
        if (done[i])
            continue;
        const uint64_t v = reg.state ? reg.state[i] : static_cast<uint64_t>(i);
        const bool iset = (v & bit) != 0;
        const int64_t j = partner[i];
        const quantum_amplitude tnot = j >= 0 ? reg.amplitude[j] : quantum_amplitude(0.0f, 0.0f);
        const quantum_amplitude a = reg.amplitude[i];
        reg.amplitude[i] = iset ? pair_update(m2, tnot, m3, a) : pair_update(m0, a, m1, tnot);
        if (j >= 0) {
            reg.amplitude[j] = iset ? pair_update(m0, tnot, m1, a) : pair_update(m2, a, m3, tnot);
            done[j] = 1;
            continue;
        }
        // A missing partner stays empty when the matrix cannot reach it; then the gate
        // stops here, and the entries made room for are purged as zeros.
        if ((iset && is_zero(m1)) || (!iset && is_zero(m2)))
            break;
        if (!sparse)
            continue;
        reg.state[next] = v ^ bit;
        reg.amplitude[next] = iset ? quantum_cmul(m1, a) : quantum_cmul(m2, a);
        next++;
    }
    reg.size = total;
    work_release(done, total);
    work_release(partner, old_size);
    finish_generic(reg);
}

void apply_gate2(int64_t target1, int64_t target2, quantum_matrix_struct m,
                 quantum_reg_struct& reg)
{
    settle(reg);
    if (m.rows != 4 || m.cols != 4) {
        quantum_error(QUANTUM_EMSIZE);
        if (!m.t || m.rows * m.cols < 16 || m.rows <= 0 || m.cols <= 0)
            return;
    }
    const uint64_t bit1 = qubit_bit(target1);
    const uint64_t bit2 = qubit_bit(target2);
    // One qubit twice has no 4x4 meaning.
    if (bit1 == bit2) {
        quantum_error(QUANTUM_FAILURE);
        return;
    }
    if (!reg.amplitude)
        return;
    const int64_t old_size = reg.size;
    const bool sparse = reg.hashw != 0 && reg.state;
    const auto value_at = [&](int64_t p) {
        return reg.state ? reg.state[p] : static_cast<uint64_t>(p);
    };
    // Member r of a quadruple has bit target1 = r >> 1 and bit target2 = r & 1.
    const auto member = [&](uint64_t base, int r) {
        return base | ((r & 2) ? bit1 : 0) | ((r & 1) ? bit2 : 0);
    };
    const auto find = [&](uint64_t v) -> int64_t {
        if (sparse)
            return state_lookup(v, reg);
        return v < static_cast<uint64_t>(old_size) ? static_cast<int64_t>(v) : -1;
    };

    if (sparse)
        hash_rebuild(reg);

    // Pass: count the quadruple members that are missing, each quadruple once.
    auto* done = work_array<char>(old_size);
    if (!done)
        return;
    int64_t add = 0;
    if (sparse) {
        for (int64_t i = 0; i < old_size; i++) {
            if (done[i])
                continue;
            const uint64_t base = value_at(i) & ~(bit1 | bit2);
            for (int r = 0; r < 4; r++) {
                const int64_t p = find(member(base, r));
                if (p < 0)
                    add++;
                else
                    done[p] = 1;
            }
        }
        std::memset(done, 0, static_cast<size_t>(std::max<int64_t>(old_size, 0)));
    }
    if (sparse && !engine::entries_resize(reg, old_size + add)) {
        work_release(done, old_size);
        return;
    }

    // Pass: gather each quadruple, create its missing members, apply the matrix.
    int64_t next = old_size;
    for (int64_t i = 0; i < old_size; i++) {
        if (done[i])
            continue;
        const uint64_t base = value_at(i) & ~(bit1 | bit2);
        int64_t pos[4];
        quantum_amplitude in[4];
        for (int r = 0; r < 4; r++) {
            pos[r] = find(member(base, r));
            if (pos[r] < 0 && sparse) {
                pos[r] = next++;
                reg.state[pos[r]] = member(base, r);
                reg.amplitude[pos[r]] = 0;
            }
            in[r] = pos[r] >= 0 ? reg.amplitude[pos[r]] : quantum_amplitude(0.0f, 0.0f);
        }
        for (int r = 0; r < 4; r++) {
            if (pos[r] < 0)
                continue;
            quantum_amplitude sum = quantum_cmul(m.t[4 * r], in[0]);
            for (int c = 1; c < 4; c++)
                sum += quantum_cmul(m.t[4 * r + c], in[c]);
            reg.amplitude[pos[r]] = sum;
            if (pos[r] < old_size)
                done[pos[r]] = 1;
        }
    }
    reg.size = old_size + add;
    work_release(done, old_size);
    finish_generic(reg);
}

void apply_hadamard(int64_t target, quantum_reg_struct& reg)
{
    // Within a run the register stays held by value from gate to gate.
    if (run_reg == &reg && hold_by_value(reg) && engine::by_value_hadamards(target, 1, reg) == 1)
        return;
    objcode_record(OBJCODE_HADAMARD, rec(target));
    const float s = engine::HADAMARD_ELEMENT;
    quantum_amplitude elements[4] = {{s, 0.0f}, {s, 0.0f}, {s, 0.0f}, {-s, 0.0f}};
    quantum_matrix_struct m;
    m.rows = 2;
    m.cols = 2;
    m.t = elements;
    apply_gate1(target, m, reg);
}

void apply_walsh(int64_t n, quantum_reg_struct& reg)
{
    // A register filling most of its value range takes the whole layer held by value.
    int64_t done = 0;
    if (n > 0 && hold_by_value(reg)) {
        done = engine::by_value_hadamards(0, n, reg);
        if (run_reg != &reg)
            engine::by_value_release();
    }
    for (int64_t i = done; i < n; i++)
        apply_hadamard(i, reg);
}

void apply_rot_x(int64_t target, float gamma, quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_ROT_X, rec(target), static_cast<double>(gamma));
    const float half = gamma * 0.5f;
    const float co = static_cast<float>(std::cos(static_cast<double>(half)));
    const float si = static_cast<float>(std::sin(static_cast<double>(half)));
    // -i * si: the real part is the signed zero -0 * si.
    const quantum_amplitude minus_i_si(-0.0f * si, -si);
    quantum_amplitude elements[4] = {{co, 0.0f}, minus_i_si, minus_i_si, {co, 0.0f}};
    quantum_matrix_struct m;
    m.rows = 2;
    m.cols = 2;
    m.t = elements;
    apply_gate1(target, m, reg);
}

void apply_rot_y(int64_t target, float gamma, quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_ROT_Y, rec(target), static_cast<double>(gamma));
    const float half = gamma * 0.5f;
    const float co = static_cast<float>(std::cos(static_cast<double>(half)));
    const float si = static_cast<float>(std::sin(static_cast<double>(half)));
    quantum_amplitude elements[4] = {{co, 0.0f}, {-si, 0.0f}, {si, 0.0f}, {co, 0.0f}};
    quantum_matrix_struct m;
    m.rows = 2;
    m.cols = 2;
    m.t = elements;
    apply_gate1(target, m, reg);
}

// Phase gates

void apply_rot_z(int64_t target, float gamma, quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_ROT_Z, rec(target), static_cast<double>(gamma));
    phase_shift_where(0, qubit_bit(target), quantum_cexp(gamma * 0.5f), reg);
    decohere(reg);
}

void apply_phase_kick(int64_t target, float gamma, quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_PHASE_KICK, rec(target), static_cast<double>(gamma));
    phase_where(qubit_bit(target), quantum_cexp(gamma), reg);
    decohere(reg);
}

void apply_phase_scale(int64_t target, float gamma, quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_PHASE_SCALE, rec(target), static_cast<double>(gamma));
    phase_where(0, quantum_cexp(gamma), reg);
    decohere(reg);
}

namespace {

// pi / 2^(control - target) with the power as an unsigned 64-bit shift, rounded to single.
float cond_phase_angle(double pi, int64_t control, int64_t target)
{
    const double power = static_cast<double>(uint64_t{1} << ((control - target) & 63));
    return static_cast<float>(pi / power);
}

} // namespace

void apply_cond_phase(int64_t control, int64_t target, quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_COND_PHASE, rec(control), rec(target));
    const quantum_amplitude z = quantum_cexp(cond_phase_angle(PI, control, target));
    phase_where(qubit_bit(control) | qubit_bit(target), z, reg);
    decohere(reg);
}

void apply_cond_phase_inv(int64_t control, int64_t target, quantum_reg_struct& reg)
{
    const quantum_amplitude z = quantum_cexp(cond_phase_angle(-PI, control, target));
    phase_where(qubit_bit(control) | qubit_bit(target), z, reg);
    decohere(reg);
}

void apply_cond_phase_kick(int64_t control, int64_t target, float gamma,
                           quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_COND_PHASE_KICK, rec(control), rec(target),
                   static_cast<double>(gamma));
    phase_where(qubit_bit(control) | qubit_bit(target), quantum_cexp(gamma), reg);
    decohere(reg);
}

void apply_cond_phase_shift(int64_t control, int64_t target, float gamma,
                            quantum_reg_struct& reg)
{
    objcode_record(OBJCODE_COND_PHASE, rec(control), rec(target));
    phase_shift_where(qubit_bit(control), qubit_bit(target), quantum_cexp(gamma * 0.5f), reg);
    decohere(reg);
}
