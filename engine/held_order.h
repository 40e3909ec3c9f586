// engine/held_order.h: the entry order of a register held by value, carried from gate to
// gate, or replayed from a recorded cycle while the gates and their presence bits repeat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/entries.h"
#include "engine/kernels.h"

namespace engine {

// One gate as the order sees it: a Hadamard gate pairs indices stride apart; a run of flips
// (stride 0) moves the indices of its cubes. after is the presence after the gate, an id in
// the recording's store of bitmaps.
struct OrderStep {
    uint64_t stride = 0;
    uint32_t cubes_at = 0, cubes = 0;
    int32_t after = 0;
    int64_t made = 0, purged = 0;
};

// The order of the held entries as indices, in entry order. The one-gate path leaves it
// after each gate as the kept entries in their order, then the new partners in the order of
// their makers; that depends only on the order before, the gate and the presence of every
// index before and after. So once the order and the presence come back to where a recording
// of the gates began, and the gates that follow are those recorded with the presence
// recorded, the order runs through the recorded cycle again and needs no carrying: Grover's
// iterations come back after one to four of them. The recording holds the gates since it
// began and each distinct presence bitmap once; a gate that differs ends the cycle, and the
// order is replayed from the cycle's start up to it.
struct HeldOrder {
    enum class Mode { carry, record, cycle };

    WorkBuffer<uint32_t> indices; // stale while cycling: then it holds the cycle's start
    WorkBuffer<uint32_t> made;  // the new partners of one gate, in order
    int64_t size = 0;
    int64_t words = 0; // of a presence bitmap
    Mode mode = Mode::carry;
    bool recording_allowed = false;

    // The recording: the order where it began (while recording), the presence bitmaps (id 0
    // the one where it began), the gates, and the place in the cycle.
    WorkBuffer<uint32_t> start;
    int64_t start_size = 0;
    std::vector<uint64_t*> bitmaps;
    std::vector<uint64_t> bitmap_hashes;
    std::vector<OrderStep> steps;
    std::vector<Cube> cube_store;
    size_t phase = 0;
    size_t steps_limit = 0;
};

// Starts carrying the order of size entries already written to held.indices (reserved for
// at least all indices, as held.made for half of them plus one) with bitmaps of words words;
// recording only if allowed.
void order_begin(HeldOrder& held, int64_t size, int64_t words, bool recording_allowed);
// The order after a Hadamard gate on indices stride apart, with the presence before and
// after and what the gate made and purged.
void order_hadamard(HeldOrder& held, uint64_t stride, const uint64_t* before,
                    const uint64_t* after, GateOutcome outcome);
// The order after a run of flips given by its cubes (index ^ change for the indices in a
// cube); moved says whether any held entry lay in one. present is the presence after it.
void order_flips(HeldOrder& held, const Cube* cubes, size_t count, bool moved,
                 const uint64_t* present);
// The exact order, replayed if cycling. A caller that then changes it itself calls
// order_changed, which ends any recording.
uint32_t* order_exact(HeldOrder& held);
void order_changed(HeldOrder& held);
// Gives back everything.
void order_end(HeldOrder& held);

// Whether holds of values values record; the tests allow it for any size.
bool order_recording_allowed(int64_t values);
void allow_order_recording_always(bool allowed);
// For the tests: how often a cycle was found, and how often one ended at a gate that
// differed or because the exact order was wanted.
struct OrderCounts {
    int64_t cycles = 0, ended_by_gate = 0, ended_for_order = 0;
};
OrderCounts order_counts();

} // namespace engine
