// engine/dense_pass.h: the Hadamard gate over the whole array of a register held by value.
#pragma once

#include <cstdint>

#include "engine/parts.h"

namespace engine {

// What a gate did: the largest amplitude part it wrote, the partners it made and the
// entries it purged.
struct GateOutcome {
    float largest = 0;
    int64_t made = 0, purged = 0;
};

// The Hadamard gate on qubit log2(stride) over an array of values amplitudes (values a
// power of two, at least 64) and their presence bits, bit for bit as the one-gate path:
// pairs of two take the pair update, a lone entry the update with a zero partner and makes
// its partner, amplitudes below limit are purged (zero, no bit in next, which must be
// cleared). With swap the upper value of each pair sits at the lower index. Runs the
// 512-bit pass where the processor has it.
GateOutcome dense_pass(float limit, Parts* amplitude, const uint64_t* present, uint64_t* next,
                       int64_t values, uint64_t stride, bool swap);

} // namespace engine
