// engine/wide.h: the hottest gate passes in 512-bit vectors, for processors that have them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/by_value.h"
#include "engine/parts.h"

namespace engine {

// Whether this processor runs the passes below and the tests have not turned them off;
// otherwise the gates take their common passes, with the same results bit for bit.
bool wide_vectors();
void allow_wide_vectors(bool allowed);

// What a gate did: the largest amplitude part it wrote, the partners it made and the
// entries it purged.
struct GateOutcome {
    float largest = 0;
    int64_t made = 0, purged = 0;
};

// The Hadamard gate on qubit log2(stride) over an array of values amplitudes (values a
// power of two, at least 64) and their presence flags (-1 present, 0 not), bit for bit as
// the common pass: pairs of two take the pair update, lone entries the update with a zero
// partner and make their partner, amplitudes below limit are purged. With swap the upper
// value of each pair sits at the lower index.
GateOutcome wide_dense_gate(float limit, Parts* amplitude, const int8_t* present, int8_t* next,
                            int64_t values, uint64_t stride, bool swap);

// A queued flip of a permutation run: flip where every bit of mask is set (0: everywhere).
struct Flip {
    uint64_t mask;
    uint64_t flip;
};

// The flips on every basis value, in order. With moved, the entries whose value changed by
// other than common are listed there, in order of position.
void wide_flips(uint64_t* state, int64_t size, const Flip* flips, size_t count,
                uint64_t common, std::vector<Moved>* moved);

} // namespace engine
