// engine/by_value.h: a register held in an array indexed by its basis values, where the
// Hadamard gates pair amplitudes by stride instead of looking partners up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/parts.h"
#include "engine/register.h"

namespace engine {

// The element of the Hadamard gate, 1 / sqrt(2) in single precision, and the gate's four
// elements, all real.
constexpr float HADAMARD_ELEMENT = 0.70710677f;
constexpr Parts HADAMARD[4] = {{HADAMARD_ELEMENT, 0.0f},
                               {HADAMARD_ELEMENT, 0.0f},
                               {HADAMARD_ELEMENT, 0.0f},
                               {-HADAMARD_ELEMENT, 0.0f}};

// Takes reg by value when it suits: most of the basis values below a small power of two,
// each stored once, amplitudes far from overflow, a hash table with room. True when reg is
// held (already or now). While held, reg.size follows every gate but reg.state and
// reg.amplitude are stale; only these functions and by_value_release may touch reg.
bool by_value_take(quantum_reg_struct& reg);
bool by_value_holds(const quantum_reg_struct& reg);

// Records, counts and applies Hadamard(first), Hadamard(first + 1), ... on the held
// register as apply_hadamard does, bit for bit: amplitudes, entry order, warnings and memory
// accounted. Returns how many of the n gates it applied; the rest must take the one-gate
// path, after by_value_release.
int64_t by_value_hadamards(int64_t first, int64_t n, quantum_reg_struct& reg);

// A queued flip of a permutation run: flip where every bit of mask is set (0: everywhere).
struct Flip {
    uint64_t mask;
    uint64_t flip;
};

// An index whose bits under mask equal pattern: where a conditional flip may fire first.
struct Condition {
    uint32_t mask, pattern;
    bool operator==(const Condition&) const = default;
};

// v after a run of flips, in order.
inline uint64_t flipped(uint64_t v, const Flip* flips, size_t count)
{
    for (size_t i = 0; i < count; i++)
        v ^= (v & flips[i].mask) == flips[i].mask ? flips[i].flip : 0;
    return v;
}

// An entry whose index a run of flips changes (its value changes by other than the run's
// unconditional flips), and its new value.
struct Moved {
    int64_t position;
    uint64_t value;
};

// Applies a run of flips to the held register's values, bit for bit as one by one. The
// unconditional ones only shift the indices; the entries the others move are moved (or,
// if one lands beyond the array, the register is written back and held no more).
void by_value_flips(const Flip* flips, size_t count);

// Writes the held register's values and amplitudes back to its arrays and holds it no more.
void by_value_release();

} // namespace engine
