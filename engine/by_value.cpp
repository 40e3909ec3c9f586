// engine/by_value.cpp: a register held in an array indexed by its basis values.
//
// The one-gate path finds each entry's partner through an index from value to position and
// updates the pairs one by one. Held by value, the amplitudes sit at their values: the
// partners of a gate on qubit k lie 2^k apart, and several pairs are updated per vector
// operation (hadamard_held_dense, hadamard_real). The entry order is carried along
// as the one-gate path leaves it: the kept entries in their order, then the new partners in
// the order of the entries that made them (held_order.cpp). Every amplitude goes through
// the same products and sums as there.
//
// While held, the entry order is a list of indices (32 bits) rather than values: value v sits
// at index v ^ offset. Flips of all values by the same bits only change the offset; the few
// entries a conditional flip moves are moved one by one.
#include "engine/by_value.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "engine/error.h"
#include "engine/gates.h"
#include "engine/objcode.h"
#include "engine/vector_clones.h"

namespace {

using engine::Parts;

// Widest value range held; the buffers take about 14 bytes per value (the register's own
// arrays are given back meanwhile).
constexpr int WIDTH_MAX = 26;
// The array may be at most this many times longer than the register it stands for.
constexpr int64_t SPREAD_MAX = 4;
// A gate on complex amplitudes runs over the whole array once the register fills this share
// of it (1 / n), the 512-bit pass being the cheaper per value; below, it visits the entries
// through their presence bits.
constexpr int64_t DENSE_SHARE = 8, WIDE_DENSE_SHARE = 32;
// Levels run block by block take blocks of this many values (64 KiB of amplitudes, which
// stay in the second-level cache; the tests take the smallest, to have many blocks) and at
// most this many levels.
constexpr int64_t BLOCK_VALUES = 8192, TEST_BLOCK_VALUES = 64;
constexpr int64_t BLOCK_LEVELS_MAX = 8;
// While no amplitude part exceeds this, no product of a gate (elements below 1) overflows,
// so none turns NaN and needs the recovery of quantum_cmul. Checked before every gate.
constexpr float PART_MAX = 1048576.0f;
// Real parts have no such products: while they stay finite the sums and squares are those of
// the one-gate path, which turn infinite there alike. Each gate at most multiplies the
// largest part by 2 s (1 + 2^-23)^2 < 1.5, which bounds it between the exact scans.
constexpr float REAL_PART_MAX = 0x1p100f;
constexpr float REAL_GROWTH = 1.5f;

engine::Held& held = engine::fast_paths.held;
engine::HeldKernels forced = engine::HeldKernels::chosen;

// An index's presence bit.
bool bit(const uint64_t* bits, uint64_t i)
{
    return (bits[i >> 6] >> (i & 63)) & 1;
}

void set_bit(uint64_t* bits, uint64_t i)
{
    bits[i >> 6] |= uint64_t{1} << (i & 63);
}

using Outcome = engine::GateOutcome;
using engine::HADAMARD;

} // namespace

// One gate visiting the entries through their presence bits, each pair once: at its member
// with the gate's bit clear, or at the other one when that stands alone. The pairs are
// independent, so the order of the visits does not matter. The same products and sums as
// the dense kernel.
engine::GateOutcome engine::hadamard_held_sparse(float limit, Parts* amplitude,
                                                 const uint64_t* present, uint64_t* next,
                                                 int64_t values, uint64_t stride, bool swap)
{
    const Parts zero{0.0f, 0.0f};
    Outcome outcome;
    for (int64_t k = 0; k < values / 64; k++) {
        for (uint64_t w = present[k]; w != 0; w &= w - 1) {
            const uint64_t at = static_cast<uint64_t>(k) * 64 + std::countr_zero(w);
            if ((at & stride) != 0 && bit(present, at ^ stride))
                continue;
            const bool upper = ((at & stride) != 0) != swap;
            const bool partner = bit(present, at ^ stride);
            // The indices of the lower and the upper value.
            const uint64_t i = upper ? at ^ stride : at, j = i ^ stride;
            const bool in_lo = !upper || partner, in_hi = upper || partner;
            const Parts lo = amplitude[i], hi = amplitude[j];
            const Parts x0 = engine::cmul(HADAMARD[0], lo), x1 = engine::cmul(HADAMARD[1], hi);
            const Parts y0 = engine::cmul(HADAMARD[2], lo), y1 = engine::cmul(HADAMARD[3], hi);
            const Parts new_lo = in_lo ? engine::add(x0, x1) : x1;
            const Parts new_hi = in_hi ? engine::add(y0, y1) : y0;
            const bool keep_lo = !(engine::prob(new_lo) < limit);
            const bool keep_hi = !(engine::prob(new_hi) < limit);
            amplitude[i] = keep_lo ? new_lo : zero;
            amplitude[j] = keep_hi ? new_hi : zero;
            next[i >> 6] |= uint64_t{keep_lo} << (i & 63);
            next[j >> 6] |= uint64_t{keep_hi} << (j & 63);
            outcome.made += (keep_lo && !in_lo) + (keep_hi && !in_hi);
            outcome.purged += (in_lo && !keep_lo) + (in_hi && !keep_hi);
            outcome.largest = std::max({outcome.largest, std::abs(new_lo.re), std::abs(new_lo.im),
                                        std::abs(new_hi.re), std::abs(new_hi.im)});
        }
    }
    return outcome;
}

namespace {

void free_buffers()
{
    held.amplitude.release();
    held.real_amplitude.release();
    held.present.release();
    held.next.release();
    engine::order_end(held.order);
    held.levels.release();
    held.moves = {};
    held.moving = {};
    held.reg = nullptr;
}

// The held entries back into new arrays of the register, in entry order, and the buffers
// given back. The values are the indices' values, or for the entries of moved (sorted by
// position) the values given there.
void write_back(const engine::Moved* moved, size_t count, uint64_t offset)
{
    quantum_reg_struct& reg = *held.reg;
    const uint32_t* order = engine::order_exact(held.order);
    if (!engine::entries_new(reg, reg.size, false)) {
        free_buffers();
        return;
    }
    auto* amplitude = reinterpret_cast<Parts*>(reg.amplitude);
    if (held.real) {
        const float* real = held.real_amplitude.data;
        for (int64_t p = 0; p < reg.size; p++)
            amplitude[p] = Parts{real[order[p]], 0.0f};
    } else {
        const Parts* dense = held.amplitude.data;
        for (int64_t p = 0; p < reg.size; p++)
            amplitude[p] = dense[order[p]];
    }
    held.amplitude.release();
    held.real_amplitude.release();
    if (!engine::entries_add_state(reg)) {
        engine::entries_free(reg);
        reg.size = 0;
        free_buffers();
        return;
    }
    size_t k = 0;
    for (int64_t p = 0; p < reg.size; p++)
        reg.state[p] = k < count && moved[k].position == p ? moved[k++].value : order[p] ^ offset;
    free_buffers();
}

using engine::Cube;

// Beyond these the run is taken entry by entry instead.
constexpr size_t CUBES_MAX = 16;
constexpr int64_t CUBE_STEPS_MAX = 1 << 14;

// Follows the run on values of which only some bits are known, splitting on a control bit
// where it is not: every flip only adds a constant, so within a branch each bit is its
// original value xor what the flips before added, and a leaf knows exactly which flips
// fired. For the oracle and the inversion a few dozen branches settle every value.
struct CubeSearch {
    const engine::Flip* flips;
    size_t count;
    uint64_t low, offset, before;
    std::vector<Cube>& cubes;
    int64_t steps = CUBE_STEPS_MAX;

    // From flip k on, for the values whose bits under known equal those of value, with the
    // flips so far adding added. False when the search gives up.
    bool walk(size_t k, uint64_t known, uint64_t value, uint64_t added)
    {
        for (; k < count; k++) {
            if (--steps < 0)
                return false;
            const uint64_t mask = flips[k].mask;
            if ((~(value ^ added) & mask & known) != 0)
                continue; // a known control bit is clear
            const uint64_t open = mask & ~known;
            if (open != 0) {
                const uint64_t b = open & (~open + 1);
                return walk(k, known | b, value, added) && walk(k, known | b, value | b, added);
            }
            added ^= flips[k].flip;
        }
        const uint64_t change = added ^ before;
        if (change == 0)
            return true;
        if (cubes.size() >= CUBES_MAX)
            return false;
        cubes.push_back({static_cast<uint32_t>(known & low),
                         static_cast<uint32_t>((value ^ offset) & known & low), change});
        return true;
    }
};

} // namespace

bool engine::flips_held_cubes(const Flip* flips, size_t count, uint64_t values, uint64_t offset,
                              std::vector<Cube>& cubes)
{
    uint64_t before = 0;
    for (size_t i = 0; i < count; i++)
        before ^= flips[i].mask == 0 ? flips[i].flip : 0;
    const uint64_t low = values - 1;
    cubes.clear();
    cubes.reserve(CUBES_MAX);
    CubeSearch search{flips, count, low, offset, before, cubes};
    if (search.walk(0, ~low, offset & ~low, 0))
        return true;
    cubes.clear();
    return false;
}

// A cube's indices, 64 at a time: its words are those whose index bits above the sixth
// match, enumerated as the subsets of its free bits there; within a word the match is a
// fixed mask.
void engine::cube_members(const uint64_t* present, uint64_t values, const Cube* cubes,
                          size_t count, std::vector<Move>& moves)
{
    const uint64_t low = values - 1;
    for (size_t c = 0; c < count; c++) {
        const uint64_t mask = cubes[c].mask, pattern = cubes[c].pattern;
        uint64_t in_word = 0;
        for (uint64_t l = 0; l < 64; l++)
            in_word |= uint64_t{(l & mask & 63) == (pattern & 63)} << l;
        const uint64_t free = low & ~mask & ~uint64_t{63};
        uint64_t sub = 0;
        do {
            const uint64_t word = ((pattern & ~uint64_t{63}) | sub) >> 6;
            for (uint64_t w = present[word] & in_word; w != 0; w &= w - 1) {
                const uint64_t from = word * 64 + std::countr_zero(w);
                moves.push_back({from, from ^ cubes[c].change});
            }
            sub = (sub - free) & free;
        } while (sub != 0);
    }
}

// Every entry through the run.
VECTOR_CLONES void engine::flips_held_each(const uint32_t* order, int64_t size,
                                           const Flip* flips, size_t count, uint64_t offset,
                                           uint64_t new_offset, std::vector<Moved>& moved)
{
    for (int64_t p = 0; p < size; p++) {
        const uint64_t v = flipped(order[p] ^ offset, flips, count);
        if ((v ^ new_offset) != order[p])
            moved.push_back({p, v});
    }
}

namespace engine {

bool by_value_holds(const quantum_reg_struct& reg)
{
    return held.reg == &reg;
}

bool by_value_take(quantum_reg_struct& reg)
{
    if (held.reg == &reg)
        return true;
    by_value_release();
    if (!reg.state || !reg.amplitude || !reg.hash || reg.hashw == 0 || reg.size <= 0 ||
        reg.size >= hash_length(reg.hashw))
        return false;
    uint64_t any = 0;
    for (int64_t p = 0; p < reg.size; p++)
        any |= reg.state[p];
    const int width = std::max(static_cast<int>(std::bit_width(any)), 6);
    if (width > WIDTH_MAX)
        return false;
    const int64_t values = int64_t{1} << width;
    if (values > SPREAD_MAX * reg.size)
        return false;
    // The direct index is not needed while held.
    if (fast_paths.index_served == &reg) {
        fast_paths.index_plus_one.release();
        fast_paths.index_served = nullptr;
    }
    // Pass: the order of the values, each once, below values; the parts no larger than
    // PART_MAX; whether every imaginary part is +0.
    if (!held.present.reserve(values / 64) || !held.next.reserve(values / 64) ||
        !held.order.indices.reserve(values) || !held.order.made.reserve(values / 2 + 1)) {
        free_buffers();
        return false;
    }
    uint64_t* present = held.present.data;
    std::fill_n(present, values / 64, 0);
    const auto* amplitude = reinterpret_cast<const Parts*>(reg.amplitude);
    uint32_t* order = held.order.indices.data;
    float largest = 0;
    bool real = true;
    int64_t p = 0;
    for (; p < reg.size; p++) {
        const uint64_t v = reg.state[p];
        if (bit(present, v))
            break;
        set_bit(present, v);
        order[p] = static_cast<uint32_t>(v);
        largest = std::max({largest, std::abs(amplitude[p].re), std::abs(amplitude[p].im)});
        real &= std::bit_cast<uint32_t>(amplitude[p].im) == 0;
    }
    if (p < reg.size || !(largest <= PART_MAX)) {
        free_buffers();
        return false;
    }

    // Pass: the amplitudes by value, zero where no entry is. The arrays are stale while
    // held; each is given back as soon as it is read, to keep the peak low, and made anew
    // when the hold ends.
    entries_drop_state(reg);
    if (real ? !held.real_amplitude.reserve(values) : !held.amplitude.reserve(values)) {
        if (entries_add_state(reg)) {
            for (int64_t k = 0; k < reg.size; k++)
                reg.state[k] = order[k];
        }
        free_buffers();
        return false;
    }
    if (real) {
        float* dense = held.real_amplitude.data;
        std::fill_n(dense, values, 0.0f);
        for (int64_t k = 0; k < reg.size; k++)
            dense[order[k]] = amplitude[k].re;
    } else {
        Parts* dense = held.amplitude.data;
        std::fill_n(dense, values, Parts{0.0f, 0.0f});
        for (int64_t k = 0; k < reg.size; k++)
            dense[order[k]] = amplitude[k];
    }
    entries_free(reg);
    held.reg = &reg;
    held.values = values;
    held.offset = 0;
    held.largest = largest;
    held.real = real;
    order_begin(held.order, reg.size, values / 64, order_recording_allowed(values));
    return true;
}

} // namespace engine

namespace {

int64_t block_values()
{
    const int64_t block = forced == engine::HeldKernels::blocked ? TEST_BLOCK_VALUES : BLOCK_VALUES;
    return std::min(held.values, block);
}

// How many of the gates from target on to run block by block (0: one at a time): the low
// qubits of a layer while the register fills enough of the array for the dense kernel, if
// no level can reach the purge's corner cases the one-gate path checks before every gate:
// a full table or parts large enough to overflow (each level at most doubles them).
int64_t block_levels(int64_t target, int64_t n, const quantum_reg_struct& reg)
{
    using engine::HeldKernels;
    if (forced == HeldKernels::sparse || forced == HeldKernels::dense ||
        held.values >= hash_length(reg.hashw) || target < 0 || target >= 63)
        return 0;
    const int64_t block = block_values();
    const int64_t levels_in_block = std::bit_width(static_cast<uint64_t>(block)) - 1;
    int64_t count = std::min({n, levels_in_block - target, BLOCK_LEVELS_MAX});
    if (forced == HeldKernels::chosen) {
        // The register may halve with every level; a level that would be left sparse is
        // taken one at a time.
        const int64_t share = engine::wide_vectors() ? WIDE_DENSE_SHARE : DENSE_SHARE;
        int64_t filled = 0;
        while (filled < count && (reg.size >> filled) * share >= held.values)
            filled++;
        count = filled >= 2 ? filled : 0;
    }
    float bound = held.largest;
    for (int64_t j = 0; j < count; j++)
        bound *= 2;
    return count > 0 && bound <= PART_MAX ? count : 0;
}

// Runs count gates from target on through one pass of run (given the presence bits before
// each level, the first filled, and what each level did), then carries the order, the
// warnings and the count level by level, as one at a time. False, with nothing done, when
// memory is short.
template <typename Pass>
bool run_levels(int64_t target, int64_t count, quantum_reg_struct& reg, Pass run)
{
    const int64_t words = held.values / 64;
    if (!held.levels.reserve(count * words))
        return false;
    uint64_t* bits[BLOCK_LEVELS_MAX + 1];
    bits[0] = held.present.data;
    for (int64_t j = 1; j <= count; j++)
        bits[j] = held.levels.data + (j - 1) * words;
    for (int64_t j = 0; j < count; j++)
        objcode_record(OBJCODE_HADAMARD, static_cast<int>(target + j));
    engine::GateOutcome outcomes[BLOCK_LEVELS_MAX];
    run(bits, outcomes);
    for (int64_t j = 0; j < count; j++) {
        held.largest = outcomes[j].largest;
        reg.size += outcomes[j].made - outcomes[j].purged;
        engine::order_hadamard(held.order, uint64_t{1} << (target + j), bits[j], bits[j + 1],
                               outcomes[j]);
        engine::hash_load_warning(reg);
        gate_counter(1);
    }
    std::copy_n(bits[count], words, held.present.data);
    return true;
}

bool run_block_levels(int64_t target, int64_t count, float limit, quantum_reg_struct& reg)
{
    return run_levels(target, count, reg, [&](uint64_t* const* bits, engine::GateOutcome* outcomes) {
        std::fill_n(held.levels.data, count * (held.values / 64), 0);
        engine::hadamard_held_blocked(limit, held.amplitude.data, bits, held.values, target,
                                      count, held.offset, block_values(), engine::wide_vectors(),
                                      outcomes);
    });
}

// Whether a real hold takes the gates from target on as the first six of a Walsh layer, word
// by word: the register full enough to fill most words, no level able to fill the table
// (the one-gate path widens it first) or to reach a part too large.
bool real_low_levels(int64_t target, int64_t n, const quantum_reg_struct& reg)
{
    if (target != 0 || n < engine::WORD_LEVELS || !engine::real_vectors_available() ||
        forced == engine::HeldKernels::sparse || held.values >= hash_length(reg.hashw) ||
        reg.size * DENSE_SHARE < held.values)
        return false;
    float bound = held.largest;
    for (int j = 0; j < engine::WORD_LEVELS; j++)
        bound *= REAL_GROWTH;
    return bound <= REAL_PART_MAX;
}

bool run_real_low_levels(float limit, quantum_reg_struct& reg)
{
    const float largest = held.largest;
    return run_levels(0, engine::WORD_LEVELS, reg,
                      [&](uint64_t* const* bits, engine::GateOutcome* outcomes) {
                          engine::hadamard_real_low(limit, held.real_amplitude.data, bits,
                                                    held.values, held.offset, outcomes);
                          float bound = largest;
                          for (int j = 0; j < engine::WORD_LEVELS; j++)
                              outcomes[j].largest = bound *= REAL_GROWTH;
                      });
}

// One gate on a held register's real parts; its largest part a bound.
engine::GateOutcome real_gate(float limit, uint64_t stride, bool swap)
{
    const bool vectors = engine::real_vectors_available() && forced != engine::HeldKernels::sparse;
    engine::GateOutcome outcome =
        vectors ? engine::hadamard_real(limit, held.real_amplitude.data, held.present.data,
                                        held.next.data, held.values, stride, swap)
                : engine::hadamard_real_scalar(limit, held.real_amplitude.data,
                                               held.present.data, held.next.data, held.values,
                                               stride, swap);
    outcome.largest = REAL_GROWTH * held.largest;
    return outcome;
}

engine::GateOutcome complex_gate(float limit, uint64_t stride, bool swap, int64_t size)
{
    using engine::HeldKernels;
    std::fill_n(held.next.data, held.values / 64, 0);
    const bool wide = engine::wide_vectors();
    const bool sparse = forced == HeldKernels::chosen
                            ? size * (wide ? WIDE_DENSE_SHARE : DENSE_SHARE) < held.values
                            : forced == HeldKernels::sparse;
    Parts* dense = held.amplitude.data;
    if (sparse)
        return engine::hadamard_held_sparse(limit, dense, held.present.data, held.next.data,
                                            held.values, stride, swap);
    if (wide)
        return engine::hadamard_wide(limit, dense, held.present.data, held.next.data,
                                     held.values, stride, swap);
    return engine::hadamard_held_dense(limit, dense, held.present.data, held.next.data,
                                       held.values, stride, swap);
}

// Whether no amplitude part held is too large for the next gate, the bound of a real hold
// made exact when it would say otherwise.
bool parts_small()
{
    if (!held.real)
        return held.largest <= PART_MAX;
    if (held.largest > REAL_PART_MAX)
        held.largest = engine::real_largest(held.real_amplitude.data, held.values);
    return held.largest <= REAL_PART_MAX;
}

} // namespace

namespace engine {

int64_t by_value_hadamards(int64_t first, int64_t n, quantum_reg_struct& reg)
{
    if (held.reg != &reg)
        return 0;
    const float limit = purge_limit(reg);
    int64_t done = 0;
    // The one-gate path widens a full hash table first; that gate is left to it.
    while (done < n && reg.size < hash_length(reg.hashw) && parts_small()) {
        if (held.real && real_low_levels(first + done, n - done, reg) &&
            run_real_low_levels(limit, reg)) {
            done += engine::WORD_LEVELS;
            continue;
        }
        const int64_t levels = held.real ? 0 : block_levels(first + done, n - done, reg);
        if (levels > 0 && run_block_levels(first + done, levels, limit, reg)) {
            done += levels;
            continue;
        }
        // Qubits beyond the array are left to the one-gate path.
        const int64_t target = first + done;
        const uint64_t stride = uint64_t{1} << (target & 63);
        if (stride >= static_cast<uint64_t>(held.values))
            break;
        objcode_record(OBJCODE_HADAMARD, static_cast<int>(target));
        const bool swap = (held.offset & stride) != 0;
        const Outcome outcome = held.real ? real_gate(limit, stride, swap)
                                          : complex_gate(limit, stride, swap, reg.size);
        held.largest = outcome.largest;
        reg.size += outcome.made - outcome.purged;
        order_hadamard(held.order, stride, held.present.data, held.next.data, outcome);
        hash_load_warning(reg);
        gate_counter(1);
        std::swap(held.present, held.next);
        done++;
    }
    return done;
}

} // namespace engine

namespace {

// Moves the held amplitudes from index to index, out first, then in: a moved entry may
// land where another one left.
template <typename T>
void move_amplitudes(T* amplitude, uint64_t* present, const engine::Move* moves, size_t count,
                     T* moving)
{
    for (size_t k = 0; k < count; k++) {
        const uint64_t from = moves[k].from;
        moving[k] = amplitude[from];
        amplitude[from] = T{};
        present[from >> 6] &= ~(uint64_t{1} << (from & 63));
    }
    for (size_t k = 0; k < count; k++) {
        amplitude[moves[k].to] = moving[k];
        set_bit(present, moves[k].to);
    }
}

// The held amplitudes and presence bits moved as held.moves says (held.moving has room).
void move_held()
{
    if (held.real) {
        auto* moving = reinterpret_cast<float*>(held.moving.data());
        move_amplitudes(held.real_amplitude.data, held.present.data, held.moves.data(),
                        held.moves.size(), moving);
    } else {
        move_amplitudes(held.amplitude.data, held.present.data, held.moves.data(),
                        held.moves.size(), held.moving.data());
    }
}

// A run of flips that splits into too many cubes: every entry through it, in entry order,
// and the entries it moves moved one by one (the register written back if one leaves the
// array). False when memory is short.
bool flips_each(const engine::Flip* flips, size_t count, uint64_t offset, uint64_t new_offset)
{
    const auto values = static_cast<uint64_t>(held.values);
    uint32_t* order = engine::order_exact(held.order);
    const int64_t size = held.reg->size;
    std::vector<engine::Moved> moved;
    try {
        if (engine::wide_vectors())
            engine::flips_held_wide(order, size, flips, count, offset, new_offset, moved);
        else
            engine::flips_held_each(order, size, flips, count, offset, new_offset, moved);
        held.moves.clear();
        for (const engine::Moved& m : moved)
            held.moves.push_back({order[m.position], m.value ^ new_offset});
        held.moving.resize(moved.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    bool fits = true;
    for (const engine::Moved& m : moved)
        fits &= (m.value ^ new_offset) < values;
    if (!fits) {
        write_back(moved.data(), moved.size(), new_offset);
        return true;
    }
    move_held();
    for (size_t k = 0; k < moved.size(); k++)
        order[moved[k].position] = static_cast<uint32_t>(held.moves[k].to);
    engine::order_changed(held.order);
    held.offset = new_offset;
    return true;
}

} // namespace

namespace engine {

bool by_value_flips(const Flip* flips, size_t count)
{
    if (!held.reg)
        return false;
    const uint64_t offset = held.offset;
    uint64_t before = 0;
    for (size_t i = 0; i < count; i++)
        before ^= flips[i].mask == 0 ? flips[i].flip : 0;
    const uint64_t new_offset = offset ^ before;
    const auto values = static_cast<uint64_t>(held.values);
    std::vector<Cube> cubes;
    bool split = false;
    try {
        split = forced == HeldKernels::each || !flips_held_cubes(flips, count, values, offset, cubes);
        held.moves.clear();
        if (!split)
            cube_members(held.present.data, values, cubes.data(), cubes.size(), held.moves);
        held.moving.resize(held.moves.size());
    } catch (const std::bad_alloc&) {
        held.moves = {};
        held.moving = {};
        by_value_release();
        return false;
    }
    if (split) {
        if (!flips_each(flips, count, offset, new_offset)) {
            by_value_release();
            return false;
        }
        return true;
    }
    bool fits = true;
    for (const Move& m : held.moves)
        fits &= m.to < values;
    if (!fits) {
        // Written back with the entries that leave moved: their places in the order found
        // there.
        const uint32_t* order = order_exact(held.order);
        std::vector<Moved> moved;
        try {
            for (int64_t p = 0; p < held.reg->size; p++) {
                for (const Cube& c : cubes) {
                    if ((order[p] & c.mask) == c.pattern) {
                        moved.push_back({p, (order[p] ^ c.change) ^ new_offset});
                        break;
                    }
                }
            }
        } catch (const std::bad_alloc&) {
            by_value_release();
            return false;
        }
        write_back(moved.data(), moved.size(), new_offset);
        return true;
    }
    move_held();
    order_flips(held.order, cubes.data(), cubes.size(), !held.moves.empty(), held.present.data);
    held.offset = new_offset;
    return true;
}

void by_value_release()
{
    if (held.reg)
        write_back(nullptr, 0, held.offset);
}

void force_held_kernels(HeldKernels kernels)
{
    forced = kernels;
}

void by_value_drop()
{
    free_buffers();
}

double by_value_probability(uint64_t mask, uint64_t value)
{
    if (!held.reg || (value & ~mask) != 0)
        return 0.0;
    // Index i holds the value i ^ offset: the bits above the array come from the offset,
    // the bits below the mask are fixed, the others run through every combination.
    const uint64_t low = static_cast<uint64_t>(held.values) - 1;
    if (((held.offset & ~low) & mask) != (value & ~low))
        return 0.0;
    const uint64_t fixed = (value ^ held.offset) & mask & low;
    const uint64_t free = low & ~mask;
    double sum = 0.0;
    uint64_t part = 0;
    do {
        const uint64_t i = fixed | part;
        if (held.real) {
            const float re = held.real_amplitude.data[i];
            sum += re * re;
        } else {
            const Parts a = held.amplitude.data[i];
            sum += a.re * a.re + a.im * a.im;
        }
        part = (part - free) & free;
    } while (part != 0);
    return sum;
}

} // namespace engine
