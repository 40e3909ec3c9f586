// engine/wide.h: the hottest gate passes in 512-bit vectors, for processors that have them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/by_value.h"
#include "engine/dense_pass.h"
#include "engine/parts.h"

namespace engine {

// Whether this processor runs the passes below and the tests have not turned them off;
// otherwise the gates take their common passes, with the same results bit for bit.
bool wide_vectors();
void allow_wide_vectors(bool allowed);

// dense_pass in 512-bit vectors.
GateOutcome wide_dense_pass(float limit, Parts* amplitude, const uint64_t* present,
                            uint64_t* next, int64_t values, uint64_t stride, bool swap);

// The flips on every basis value, in order.
void wide_flips(uint64_t* state, int64_t size, const Flip* flips, size_t count);

// The positions (and indices) of the entries of order whose index meets one of the
// conditions, in order, into positions and indices (sixteen entries of room beyond the last
// one written). Returns how many.
int64_t wide_pick(const uint32_t* order, int64_t size, const Condition* conditions,
                  size_t count, uint32_t* positions, uint32_t* indices);

// The flips on the values of a held register's indices (value = index ^ offset): the
// entries whose new index (value ^ new_offset) differs are appended to moved, in order.
void wide_find_moved(const uint32_t* order, int64_t size, const Flip* flips, size_t count,
                     uint64_t offset, uint64_t new_offset, std::vector<Moved>& moved);

} // namespace engine
