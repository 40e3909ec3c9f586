// engine/kernels.h: every implementation of the Hadamard (generic one-qubit) gate and of the
// flips, named by what it is, and when each runs. All give the same bits as the first of
// their kind; the gate tests run each against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/parts.h"
#include "engine/register.h"

namespace engine {

// Generic one-qubit gate (the Hadamard, the rotations), reg not held:
//   gate1_generic         every register: table lookups, done flags, purge afterwards.
//   gate1_direct          distinct basis values below the table's length: partners found
//                         through an array indexed by value, gate and purge in one pass.
// Hadamard on a register held by value (inside a permutation run, or a Walsh layer) whose
// amplitudes are complex:
//   hadamard_held_sparse  the register fills less than 1/8 of its array (1/32 where the
//                         512-bit pass runs): the entries visited through their presence bits.
//   hadamard_held_dense   fuller: one pass over the whole array, four amplitudes a vector.
//   hadamard_wide         the same in 512-bit vectors, on processors with AVX-512 BW/VL.
//   hadamard_held_blocked the first levels of a Walsh layer on a full array: several levels
//                         per cache-sized block, each through one of the two above, so that
//                         the array passes through memory once for all of them.
// ... whose amplitudes are all real (every imaginary part +0, as in Grover's search), kept
// as their real parts:
//   hadamard_real         with AVX2: the presence bits a word (64 indices) at a time, empty
//                         words passed over, words with few pairs taken pair by pair, fuller
//                         ones in vectors of eight amplitudes.
//   hadamard_real_low     with AVX2, the gates on qubits 0 to 5 in a row (the first six of a
//                         Walsh layer, the register full): all six on a word, kept in
//                         vectors meanwhile, before the next word, so that the array passes
//                         through memory once for them.
//   hadamard_real_scalar  without AVX2: every pair by itself, empty words passed over.
// The entry order of a held register is carried gate by gate, or replayed from a recorded
// cycle of gates (held_order.h).
// Flips (controlled-NOT, Toffoli, Pauli-X):
//   flips_one             one gate outside a run, on every basis value.
//   flips_queued          a run's queued flips on every basis value, in one pass.
//   flips_wide            the same in 512-bit vectors.
//   flips_held_cubes      a run on a held register: the run followed on sets of values
//                         (cubes), so only the entries it moves are touched, found through
//                         the presence bits of the cubes' indices (the oracle, the inversion).
//   flips_held_each       when the run splits into too many cubes: every entry through the
//                         run, in entry order.
//   flips_held_wide       flips_held_each in 512-bit vectors.

// The element of the Hadamard gate, 1 / sqrt(2) in single precision, and the gate's four
// elements, all real.
constexpr float HADAMARD_ELEMENT = 0.70710677f;
constexpr Parts HADAMARD[4] = {{HADAMARD_ELEMENT, 0.0f},
                               {HADAMARD_ELEMENT, 0.0f},
                               {HADAMARD_ELEMENT, 0.0f},
                               {-HADAMARD_ELEMENT, 0.0f}};

// What a Hadamard on a held register did: the largest amplitude part it wrote, the partners
// it made and the entries it purged.
struct GateOutcome {
    float largest = 0;
    int64_t made = 0, purged = 0;
};

// A queued flip of a permutation run: flip where every bit of mask is set (0: everywhere).
struct Flip {
    uint64_t mask;
    uint64_t flip;
};

// v after a run of flips, in order.
inline uint64_t flipped(uint64_t v, const Flip* flips, size_t count)
{
    for (size_t i = 0; i < count; i++)
        v ^= (v & flips[i].mask) == flips[i].mask ? flips[i].flip : 0;
    return v;
}

// The indices a run of flips moves, as cubes: an index with (index & mask) == pattern goes to
// index ^ change. Disjoint, so an index meets at most one.
struct Cube {
    uint32_t mask, pattern;
    uint64_t change;

    bool operator==(const Cube&) const = default;
};

// An entry of a held register whose index a run of flips changes, and its new value.
struct Moved {
    int64_t position;
    uint64_t value;
};

// An index of a held register that a run of flips moves, and where to.
struct Move {
    uint64_t from, to;
};

// Whether this processor runs the 512-bit kernels and the tests have not turned them off.
bool wide_vectors();
void allow_wide_vectors(bool allowed);

// One-qubit gate with matrix m (m0 m1 / m2 m3) on the qubit of bit, purge, load warning and
// decoherence included, as apply_gate1 does. gate1_direct returns false, with nothing
// done, where it does not apply.
void gate1_generic(uint64_t bit, const quantum_amplitude* m, quantum_reg_struct& reg);
bool gate1_direct(uint64_t bit, const quantum_amplitude* m, quantum_reg_struct& reg);

// The Hadamard gate on qubit log2(stride) of a held register: amplitudes by index (zero where
// no entry), presence bits before (present) and after (next, cleared by the caller except for
// hadamard_real_dense, which writes all of it). Pairs of two take the pair update, a lone
// entry the update with a zero partner and makes its partner; amplitudes whose probability
// is below limit are purged (zero, no bit). With swap the upper value of each pair sits at
// the lower index. values, the array's length, is a power of two, at least 64.
// The real kernels leave the largest part to the caller (-1).
GateOutcome hadamard_held_sparse(float limit, Parts* amplitude, const uint64_t* present,
                                 uint64_t* next, int64_t values, uint64_t stride, bool swap);
GateOutcome hadamard_held_dense(float limit, Parts* amplitude, const uint64_t* present,
                                uint64_t* next, int64_t values, uint64_t stride, bool swap);
GateOutcome hadamard_wide(float limit, Parts* amplitude, const uint64_t* present,
                          uint64_t* next, int64_t values, uint64_t stride, bool swap);
GateOutcome hadamard_real(float limit, float* amplitude, const uint64_t* present,
                          uint64_t* next, int64_t values, uint64_t stride, bool swap);
GateOutcome hadamard_real_scalar(float limit, float* amplitude, const uint64_t* present,
                                 uint64_t* next, int64_t values, uint64_t stride, bool swap);
// The Hadamard gates on qubits 0 to WORD_LEVELS - 1, one after the other, as hadamard_real
// would, word by word. levels[j] holds the presence bits before level j: levels[0] given,
// the others written here; outcomes[j] receives what level j did.
constexpr int WORD_LEVELS = 6;
void hadamard_real_low(float limit, float* amplitude, uint64_t* const* levels, int64_t values,
                       uint64_t offset, GateOutcome* outcomes);
// Whether this processor runs hadamard_real and hadamard_real_low.
bool real_vectors_available();
// The largest magnitude among the real parts.
float real_largest(const float* amplitude, int64_t values);

// Hadamard gates on qubits first, first + 1, ... first + count - 1 (2^(first + count) at most
// block, itself a power of two from 64 to values) over the whole array, a block at a time
// and within a block level by level, as hadamard_held_dense (wide: hadamard_wide) would one
// gate after the other. bits[j] holds the presence bits before level j: bits[0] given, the
// others cleared by the caller and written here; outcomes[j] receives what level j did.
void hadamard_held_blocked(float limit, Parts* amplitude, uint64_t* const* bits, int64_t values,
                           int64_t first, int64_t count, uint64_t offset, int64_t block,
                           bool wide, GateOutcome* outcomes);

// The flips on every basis value: flips_one a single one, the others a run in order.
void flips_one(uint64_t mask, uint64_t flip, uint64_t* state, int64_t size);
void flips_queued(uint64_t* state, int64_t size, const Flip* flips, size_t count);
void flips_wide(uint64_t* state, int64_t size, const Flip* flips, size_t count);

// A run of flips on a held register's indices (value = index ^ offset; the unconditional
// flips alone take it to new_offset). flips_held_cubes finds the cubes of indices it moves
// and returns false, with none found, when the run splits into too many; cube_members
// appends the present indices that lie in them, with where each goes. flips_held_each and
// flips_held_wide append to moved, in order, the entries of the order whose index changes,
// with their new values. May throw std::bad_alloc from the vectors; the caller catches it.
bool flips_held_cubes(const Flip* flips, size_t count, uint64_t values, uint64_t offset,
                      std::vector<Cube>& cubes);
void cube_members(const uint64_t* present, uint64_t values, const Cube* cubes, size_t count,
                  std::vector<Move>& moves);
void flips_held_each(const uint32_t* order, int64_t size, const Flip* flips, size_t count,
                     uint64_t offset, uint64_t new_offset, std::vector<Moved>& moved);
void flips_held_wide(const uint32_t* order, int64_t size, const Flip* flips, size_t count,
                     uint64_t offset, uint64_t new_offset, std::vector<Moved>& moved);

} // namespace engine
