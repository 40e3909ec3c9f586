// engine/by_value.h: a register held in an array indexed by its basis values, where the
// Hadamard gates pair amplitudes by stride instead of looking partners up; and the state
// every fast path keeps between gates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/entries.h"
#include "engine/held_order.h"
#include "engine/kernels.h"
#include "engine/register.h"

namespace engine {

// The register held by value and its buffers (by_value.cpp). Amplitudes that are all real
// (every imaginary part +0) are kept as their real parts alone, which halves the memory and
// the arithmetic of a gate (real_pass.cpp).
struct Held {
    quantum_reg_struct* reg = nullptr;
    int64_t values = 0;                         // the array's length, a power of two
    uint64_t offset = 0;                        // value v sits at index v ^ offset
    float largest = 0;                          // no amplitude part held is larger
    bool real = false;                          // real parts only
    WorkBuffer<Parts> amplitude;                // by index, zero where no entry is
    WorkBuffer<float> real_amplitude;           // the same when real
    WorkBuffer<uint64_t> present, next;         // a bit per index: an entry before / after a gate
    WorkBuffer<uint64_t> levels;                // presence bits after each level of a block run
    HeldOrder order;                            // the entries' indices, in entry order
    std::vector<Move> moves;                    // the indices a run of flips moves
    std::vector<Parts> moving;                  // their amplitudes on the way
};

// Everything the fast paths keep between gates, in one place (the engine runs on one
// thread). Its buffers are counted in the memory total while they exist: the hold's only
// while it lasts, the direct index until the register it served is deleted
// (fast_paths_forget), is held, or recording stops (fast_paths_release).
struct FastPaths {
    // The open permutation run and its queued flips (gates.cpp).
    quantum_reg_struct* run_reg = nullptr;
    int64_t run_depth = 0;
    std::vector<Flip> run_flips;
    // gate1_direct's index by basis value: position + 1, all zero between gates.
    WorkBuffer<uint32_t> index_plus_one;
    const quantum_reg_struct* index_served = nullptr;
    Held held;
};
extern FastPaths fast_paths;

// Ends any run and hold, and gives back every buffer of the fast paths.
void fast_paths_release();
// Ends a run on reg and its hold, and gives back the buffers that served it; called before
// reg's arrays are freed.
void fast_paths_forget(const quantum_reg_struct& reg);

// Takes reg by value when it suits: most of the basis values below a small power of two,
// each stored once, amplitudes far from overflow, a hash table with room. True when reg is
// held (already or now). While held, reg.size follows every gate but reg has no arrays (they
// are given back, to keep the peak low); only these functions and by_value_release may
// touch reg.
bool by_value_take(quantum_reg_struct& reg);
bool by_value_holds(const quantum_reg_struct& reg);

// Records, counts and applies Hadamard(first), Hadamard(first + 1), ... on the held
// register as apply_hadamard does, bit for bit: amplitudes, entry order and warnings.
// Returns how many of the n gates it applied; the rest must take the one-gate path, after
// by_value_release.
int64_t by_value_hadamards(int64_t first, int64_t n, quantum_reg_struct& reg);

// Applies a run of flips to the held register's values, bit for bit as one by one. The
// unconditional ones only shift the indices; the entries the others move are moved (or,
// if one lands beyond the array, the register is written back and held no more). False,
// with the register written back and the flips not applied, when memory is short.
bool by_value_flips(const Flip* flips, size_t count);

// Writes the held register's values and amplitudes back into new arrays, holds it no more
// and gives back the hold's buffers. The arrays are made one at a time, each after the
// buffers it no longer needs are gone. Should memory still be short, the register is left
// empty, reported.
void by_value_release();

// Ends the hold without writing back, for a register about to be deleted.
void by_value_drop();

// Sum of the probabilities of the held values v with (v & mask) == value, read in place.
double by_value_probability(uint64_t mask, uint64_t value);

// For the tests: which kernels a held register takes where several could (real holds have
// no blocked kernel and take the chosen one instead).
enum class HeldKernels { chosen, sparse, dense, blocked, each };
void force_held_kernels(HeldKernels kernels);

} // namespace engine
