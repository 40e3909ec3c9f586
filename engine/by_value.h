// engine/by_value.h: a register held in an array indexed by its basis values, where the
// Hadamard gates pair amplitudes by stride instead of looking partners up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/register.h"

namespace engine {

// The element of the Hadamard gate, 1 / sqrt(2) in single precision.
constexpr float HADAMARD_ELEMENT = 0.70710677f;

// Takes reg by value when it suits: most of the basis values below a small power of two,
// each stored once, amplitudes far from overflow, a hash table with room. True when reg is
// held (already or now). While held, reg.state and reg.size follow every gate but
// reg.amplitude is stale; only these functions and by_value_release may touch reg.
bool by_value_take(quantum_reg_struct& reg);
bool by_value_holds(const quantum_reg_struct& reg);

// Records, counts and applies Hadamard(first), Hadamard(first + 1), ... on the held
// register as apply_hadamard does, bit for bit: amplitudes, entry order, warnings and memory
// accounted. Returns how many of the n gates it applied; the rest must take the one-gate
// path, after by_value_release.
int64_t by_value_hadamards(int64_t first, int64_t n, quantum_reg_struct& reg);

// An entry whose basis value a run of flips changed by other than the run's unconditional
// flips.
struct Moved {
    int64_t position;
    uint64_t old_value;
};

// The held register's values were flipped in place: every entry by common, except the
// moved ones. Moves their amplitudes (or releases the register if one no longer fits).
void by_value_flipped(uint64_t common, const Moved* moved, size_t count);

// Writes the amplitudes of the held register back to its arrays and holds it no more.
void by_value_release();

} // namespace engine
