// engine/by_value.cpp: a register held in an array indexed by its basis values.
//
// The one-gate path finds each entry's partner through an index from value to position and
// updates the pairs one by one. Held by value, the amplitudes sit at their values: the
// partners of a gate on qubit k lie 2^k apart, and several pairs are updated per vector
// operation (hadamard_held_dense). The entry order is carried along gate by gate as the
// one-gate path leaves it: the kept entries in their order, then the new partners in the
// order of the entries that made them. Every amplitude goes through the same products and
// sums as there.
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
// A gate runs over the whole array once the register fills this share of it (1 / n), the
// 512-bit pass being the cheaper per value; below, it visits the entries through their
// order.
constexpr int64_t DENSE_SHARE = 8, WIDE_DENSE_SHARE = 32;
// Levels run block by block take blocks of this many values (64 KiB of amplitudes, which
// stay in the second-level cache; the tests take the smallest, to have many blocks) and at
// most this many levels.
constexpr int64_t BLOCK_VALUES = 8192, TEST_BLOCK_VALUES = 64;
constexpr int64_t BLOCK_LEVELS_MAX = 8;
// While no amplitude part exceeds this, no product of a gate (elements below 1) overflows,
// so none turns NaN and needs the recovery of quantum_cmul. Checked before every gate.
constexpr float PART_MAX = 1048576.0f;

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

// One gate visiting the entries in their order, each pair once: at its lower member, or at
// the upper one when that stands alone. The same products and sums as the dense kernel.
engine::GateOutcome engine::hadamard_held_sparse(float limit, Parts* amplitude,
                                                 const uint64_t* present, uint64_t* next,
                                                 const uint32_t* order, int64_t size,
                                                 uint64_t stride, bool swap)
{
    const Parts zero{0.0f, 0.0f};
    Outcome outcome;
    for (int64_t p = 0; p < size; p++) {
        const uint64_t at = order[p];
        const bool upper = ((at & stride) != 0) != swap;
        const bool partner = bit(present, at ^ stride);
        if (upper && partner)
            continue;
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
    return outcome;
}

namespace {

// The entry order after a gate: the kept entries in their order, then the partners made,
// in the order of their makers. Returns the new size. A gate that made no partner (the
// first half of each Walsh layer) only drops entries, without looking partners up.
int64_t reorder(uint32_t* order, int64_t size, const uint64_t* present, const uint64_t* next,
                uint32_t stride, Outcome changes, uint32_t* made)
{
    if (changes.made == 0 && changes.purged == 0)
        return size;
    int64_t kept = 0;
    if (changes.made == 0) {
        for (int64_t p = 0; p < size; p++) {
            const uint32_t at = order[p];
            order[kept] = at;
            kept += bit(next, at);
        }
        return kept;
    }
    int64_t count = 0;
    for (int64_t p = 0; p < size; p++) {
        const uint32_t at = order[p], partner = at ^ stride;
        order[kept] = at;
        kept += bit(next, at);
        // Made: absent before, present after; both bits at once, without a branch.
        made[count] = partner;
        count += ((next[partner >> 6] & ~present[partner >> 6]) >> (partner & 63)) & 1;
    }
    std::memcpy(order + kept, made, static_cast<size_t>(count) * sizeof(uint32_t));
    return kept + count;
}

void free_buffers()
{
    held.amplitude.release();
    held.present.release();
    held.next.release();
    held.order.release();
    held.made.release();
    held.levels.release();
    held.moved = {};
    held.moving = {};
    held.reg = nullptr;
}

// The held entries back into new arrays of the register, in entry order, and the buffers
// given back. The values are the indices' values, or for the entries of moved (sorted by
// position) the values given there.
void write_back(const engine::Moved* moved, size_t count, uint64_t offset)
{
    quantum_reg_struct& reg = *held.reg;
    if (!engine::entries_new(reg, reg.size, false)) {
        free_buffers();
        return;
    }
    const Parts* dense = held.amplitude.data;
    const uint32_t* order = held.order.data;
    auto* amplitude = reinterpret_cast<Parts*>(reg.amplitude);
    for (int64_t p = 0; p < reg.size; p++)
        amplitude[p] = dense[order[p]];
    held.amplitude.release();
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

// The indices a run of flips moves, as cubes: an index with (index & mask) == pattern goes to
// index ^ change. Disjoint, so an entry meets at most one.
struct Cube {
    uint32_t mask, pattern;
    uint64_t change;
};

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

// The entries of order whose index lies in one of the cubes, with their new values, in
// order. Most blocks hold none; they are passed over in vectors.
VECTOR_CLONES void find_in_cubes(const uint32_t* order, int64_t size, const Cube* cubes,
                                 size_t count, uint64_t offset, uint64_t before,
                                 std::vector<engine::Moved>& moved)
{
    constexpr int64_t BLOCK = 64;
    for (int64_t start = 0; start < size; start += BLOCK) {
        const int64_t end = std::min(size, start + BLOCK);
        uint32_t any = 0;
        for (size_t c = 0; c < count; c++) {
            const uint32_t mask = cubes[c].mask, pattern = cubes[c].pattern;
            for (int64_t p = start; p < end; p++)
                any |= (order[p] & mask) == pattern;
        }
        if (any == 0)
            continue;
        for (int64_t p = start; p < end; p++) {
            for (size_t c = 0; c < count; c++) {
                if ((order[p] & cubes[c].mask) != cubes[c].pattern)
                    continue;
                moved.push_back({p, (order[p] ^ cubes[c].change) ^ offset ^ before});
                break;
            }
        }
    }
}

} // namespace

bool engine::flips_held_cubes(const uint32_t* order, int64_t size, uint64_t values,
                              const Flip* flips, size_t count, uint64_t offset,
                              std::vector<Moved>& moved)
{
    uint64_t before = 0;
    for (size_t i = 0; i < count; i++)
        before ^= flips[i].mask == 0 ? flips[i].flip : 0;
    const uint64_t low = values - 1;
    std::vector<Cube> cubes;
    cubes.reserve(CUBES_MAX);
    CubeSearch search{flips, count, low, offset, before, cubes};
    if (!search.walk(0, ~low, offset & ~low, 0))
        return false;
    if (!cubes.empty())
        find_in_cubes(order, size, cubes.data(), cubes.size(), offset, before, moved);
    return true;
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
    // PART_MAX.
    if (!held.present.reserve(values / 64) || !held.next.reserve(values / 64) ||
        !held.order.reserve(values)) {
        free_buffers();
        return false;
    }
    uint64_t* present = held.present.data;
    std::fill_n(present, values / 64, 0);
    const auto* amplitude = reinterpret_cast<const Parts*>(reg.amplitude);
    uint32_t* order = held.order.data;
    float largest = 0;
    int64_t p = 0;
    for (; p < reg.size; p++) {
        const uint64_t v = reg.state[p];
        if (bit(present, v))
            break;
        set_bit(present, v);
        order[p] = static_cast<uint32_t>(v);
        largest = std::max({largest, std::abs(amplitude[p].re), std::abs(amplitude[p].im)});
    }
    if (p < reg.size || !(largest <= PART_MAX)) {
        free_buffers();
        return false;
    }

    // Pass: the amplitudes by value, zero where no entry is. The arrays are stale while
    // held; each is given back as soon as it is read, to keep the peak low, and made anew
    // when the hold ends.
    entries_drop_state(reg);
    if (!held.amplitude.reserve(values)) {
        if (entries_add_state(reg)) {
            for (int64_t k = 0; k < reg.size; k++)
                reg.state[k] = order[k];
        }
        free_buffers();
        return false;
    }
    Parts* dense = held.amplitude.data;
    std::fill_n(dense, values, Parts{0.0f, 0.0f});
    for (int64_t k = 0; k < reg.size; k++)
        dense[order[k]] = amplitude[k];
    entries_free(reg);
    held.reg = &reg;
    held.values = values;
    held.offset = 0;
    held.largest = largest;
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

// Runs count gates from target on block by block, then carries the order, the warnings and
// the count level by level, as one at a time. False, with nothing done, when memory is short.
bool run_block_levels(int64_t target, int64_t count, float limit, quantum_reg_struct& reg)
{
    const int64_t words = held.values / 64;
    if (!held.levels.reserve(count * words) || !held.made.reserve(held.values / 2 + 1))
        return false;
    uint64_t* bits[BLOCK_LEVELS_MAX + 1];
    bits[0] = held.present.data;
    for (int64_t j = 1; j <= count; j++)
        bits[j] = held.levels.data + (j - 1) * words;
    std::fill_n(held.levels.data, count * words, 0);
    for (int64_t j = 0; j < count; j++)
        objcode_record(OBJCODE_HADAMARD, static_cast<int>(target + j));
    engine::GateOutcome outcomes[BLOCK_LEVELS_MAX];
    engine::hadamard_held_blocked(limit, held.amplitude.data, bits, held.values, target, count,
                                  held.offset, block_values(),
                                  engine::wide_vectors(), outcomes);
    for (int64_t j = 0; j < count; j++) {
        held.largest = outcomes[j].largest;
        reg.size = reorder(held.order.data, reg.size, bits[j], bits[j + 1],
                           static_cast<uint32_t>(uint64_t{1} << (target + j)), outcomes[j],
                           held.made.data);
        engine::hash_load_warning(reg);
        gate_counter(1);
    }
    std::copy_n(bits[count], words, held.present.data);
    return true;
}

} // namespace

namespace engine {

int64_t by_value_hadamards(int64_t first, int64_t n, quantum_reg_struct& reg)
{
    if (held.reg != &reg)
        return 0;
    const float limit = purge_limit(reg);
    Parts* dense = held.amplitude.data;
    int64_t done = 0;
    // The one-gate path widens a full hash table first; that gate is left to it.
    while (done < n && reg.size < hash_length(reg.hashw) && held.largest <= PART_MAX) {
        const int64_t levels = block_levels(first + done, n - done, reg);
        if (levels > 0 && run_block_levels(first + done, levels, limit, reg)) {
            done += levels;
            continue;
        }
        // Qubits beyond the array are left to the one-gate path.
        const int64_t target = first + done;
        const uint64_t stride = uint64_t{1} << (target & 63);
        if (stride >= static_cast<uint64_t>(held.values))
            break;
        // Room for the partners the gate can make: no more than entries, nor free indices.
        if (!held.made.reserve(std::min(reg.size, held.values - reg.size) + 1))
            break;
        objcode_record(OBJCODE_HADAMARD, static_cast<int>(target));
        Outcome outcome;
        std::fill_n(held.next.data, held.values / 64, 0);
        const bool swap = (held.offset & stride) != 0;
        const bool wide = wide_vectors();
        const bool sparse = forced == HeldKernels::chosen
                                ? reg.size * (wide ? WIDE_DENSE_SHARE : DENSE_SHARE) < held.values
                                : forced == HeldKernels::sparse;
        if (sparse) {
            outcome = hadamard_held_sparse(limit, dense, held.present.data, held.next.data,
                                           held.order.data, reg.size, stride, swap);
        } else if (wide) {
            outcome = hadamard_wide(limit, dense, held.present.data, held.next.data,
                                    held.values, stride, swap);
        } else {
            outcome = hadamard_held_dense(limit, dense, held.present.data, held.next.data,
                                          held.values, stride, swap);
        }
        held.largest = outcome.largest;
        reg.size = reorder(held.order.data, reg.size, held.present.data, held.next.data,
                           static_cast<uint32_t>(stride), outcome, held.made.data);
        hash_load_warning(reg);
        gate_counter(1);
        std::swap(held.present, held.next);
        done++;
    }
    return done;
}

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
    const int64_t size = held.reg->size;
    held.moved.clear();
    try {
        if (forced == HeldKernels::each ||
            !flips_held_cubes(held.order.data, size, values, flips, count, offset, held.moved)) {
            if (wide_vectors())
                flips_held_wide(held.order.data, size, flips, count, offset, new_offset,
                                held.moved);
            else
                flips_held_each(held.order.data, size, flips, count, offset, new_offset,
                                held.moved);
        }
        held.moving.resize(held.moved.size());
    } catch (const std::bad_alloc&) {
        held.moved = {};
        held.moving = {};
        by_value_release();
        return false;
    }
    bool fits = true;
    for (const Moved& m : held.moved)
        fits &= (m.value ^ new_offset) < values;
    if (!fits) {
        write_back(held.moved.data(), held.moved.size(), new_offset);
        return true;
    }
    // Out first, then in: a moved entry may land where another one left.
    Parts* dense = held.amplitude.data;
    uint64_t* present = held.present.data;
    uint32_t* order = held.order.data;
    for (size_t k = 0; k < held.moved.size(); k++) {
        const uint32_t from = order[held.moved[k].position];
        held.moving[k] = dense[from];
        dense[from] = Parts{0.0f, 0.0f};
        present[from >> 6] &= ~(uint64_t{1} << (from & 63));
    }
    for (size_t k = 0; k < held.moved.size(); k++) {
        const auto to = static_cast<uint32_t>(held.moved[k].value ^ new_offset);
        order[held.moved[k].position] = to;
        dense[to] = held.moving[k];
        set_bit(present, to);
    }
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

} // namespace engine
