// engine/held_order.cpp: the entry order of a held register, carried or replayed.
#include "engine/held_order.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace {

using engine::Cube;
using engine::GateOutcome;
using engine::HeldOrder;
using engine::OrderStep;
using Mode = engine::HeldOrder::Mode;

// Recording pays from holds of this many values on (a few percent of a gate's time there);
// smaller ones are carried gate by gate.
constexpr int64_t RECORDING_VALUES_MIN = 4096;
// A recording that has not come back after steps_limit gates starts again where it stands,
// with twice the limit up to STEPS_MAX: it may have begun before the gates settled into
// their cycle (Grover's take three to five iterations). The cycle is one to four iterations
// of 2 w + 6 gates, with 2 w + 3 presence bitmaps; a recording meeting more than
// BITMAPS_MAX distinct ones starts again.
constexpr size_t STEPS_FIRST = 128, STEPS_MAX = 2048;
constexpr size_t BITMAPS_MAX = 96;

bool record_always = false;
engine::OrderCounts counts;

bool bit(const uint64_t* bits, uint64_t i)
{
    return (bits[i >> 6] >> (i & 63)) & 1;
}

// The entry order after a gate: the kept entries in their order, then the partners made,
// in the order of their makers. Returns the new size. A gate that made no partner (the
// first half of each Walsh layer) only drops entries, without looking partners up.
int64_t reorder(uint32_t* order, int64_t size, const uint64_t* present, const uint64_t* next,
                uint32_t stride, GateOutcome changes, uint32_t* made)
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

// The indices of the order that lie in a cube take their new place.
void move_in_order(uint32_t* order, int64_t size, const Cube* cubes, size_t count)
{
    for (int64_t p = 0; p < size; p++) {
        for (size_t c = 0; c < count; c++) {
            if ((order[p] & cubes[c].mask) == cubes[c].pattern) {
                order[p] ^= static_cast<uint32_t>(cubes[c].change);
                break;
            }
        }
    }
}

bool same_bits(const uint64_t* a, const uint64_t* b, int64_t words)
{
    return std::memcmp(a, b, static_cast<size_t>(words) * sizeof(uint64_t)) == 0;
}

uint64_t hash_bits(const uint64_t* bits, int64_t words)
{
    uint64_t h = 0;
    for (int64_t k = 0; k < words; k++)
        h = (h ^ bits[k]) * 0x9E3779B97F4A7C15u + static_cast<uint64_t>(k);
    return h;
}

void drop_recording(HeldOrder& held)
{
    held.start.release();
    for (uint64_t* b : held.bitmaps)
        engine::work_release(b, held.words);
    held.bitmaps.clear();
    held.bitmap_hashes.clear();
    held.steps.clear();
    held.cube_store.clear();
    held.phase = 0;
    held.mode = Mode::carry;
}

// The id of a bitmap equal to bits, stored now if there is none; -1 when memory or the
// budget is short.
int32_t bitmap_id(HeldOrder& held, const uint64_t* bits)
{
    const uint64_t h = hash_bits(bits, held.words);
    for (size_t id = 0; id < held.bitmaps.size(); id++)
        if (held.bitmap_hashes[id] == h && same_bits(held.bitmaps[id], bits, held.words))
            return static_cast<int32_t>(id);
    if (held.bitmaps.size() >= BITMAPS_MAX)
        return -1;
    auto* copy = engine::work_array<uint64_t>(held.words, false, false);
    if (!copy)
        return -1;
    std::memcpy(copy, bits, static_cast<size_t>(held.words) * sizeof(uint64_t));
    try {
        held.bitmaps.push_back(copy);
        held.bitmap_hashes.push_back(h);
    } catch (const std::bad_alloc&) {
        engine::work_release(copy, held.words);
        if (held.bitmaps.size() > held.bitmap_hashes.size())
            held.bitmaps.pop_back();
        return -1;
    }
    return static_cast<int32_t>(held.bitmaps.size() - 1);
}

// A recording that begins here, with the order and presence as they are now.
void begin_recording(HeldOrder& held, const uint64_t* present)
{
    drop_recording(held);
    if (!held.recording_allowed || !held.start.reserve(std::max<int64_t>(held.size, 1)))
        return;
    std::memcpy(held.start.data, held.indices.data, static_cast<size_t>(held.size) * sizeof(uint32_t));
    held.start_size = held.size;
    if (bitmap_id(held, present) != 0) {
        drop_recording(held);
        return;
    }
    held.mode = Mode::record;
}

// After a gate carried while recording: the gate into the recording, and the cycle found
// when order and presence are back where it began. A recording that cannot go on starts
// again here.
void record(HeldOrder& held, OrderStep step, const Cube* cubes, const uint64_t* present)
{
    if (held.steps.size() >= held.steps_limit) {
        held.steps_limit = std::min(2 * held.steps_limit, STEPS_MAX);
        begin_recording(held, present);
        return;
    }
    step.after = bitmap_id(held, present);
    bool kept = step.after >= 0;
    if (kept) {
        try {
            step.cubes_at = static_cast<uint32_t>(held.cube_store.size());
            held.cube_store.insert(held.cube_store.end(), cubes, cubes + step.cubes);
            held.steps.push_back(step);
        } catch (const std::bad_alloc&) {
            kept = false;
        }
    }
    if (!kept) {
        begin_recording(held, present);
        return;
    }
    if (step.after == 0 && held.size == held.start_size &&
        std::memcmp(held.indices.data, held.start.data,
                    static_cast<size_t>(held.size) * sizeof(uint32_t)) == 0) {
        held.start.release();
        held.mode = Mode::cycle;
        held.phase = 0;
        counts.cycles++;
    }
}

// The order at the current place of the cycle, from its start, and carried from here on.
void replay(HeldOrder& held)
{
    for (size_t k = 0; k < held.phase; k++) {
        const OrderStep& step = held.steps[k];
        if (step.stride == 0) {
            move_in_order(held.indices.data, held.size, held.cube_store.data() + step.cubes_at,
                          step.cubes);
            continue;
        }
        const uint64_t* before = held.bitmaps[k == 0 ? 0 : held.steps[k - 1].after];
        held.size = reorder(held.indices.data, held.size, before, held.bitmaps[step.after],
                            static_cast<uint32_t>(step.stride),
                            GateOutcome{0, step.made, step.purged}, held.made.data);
    }
    drop_recording(held);
}

// While cycling: whether the gate is the one recorded next, with the presence recorded;
// then the cycle goes on. Otherwise the order is replayed up to here.
bool cycle_goes_on(HeldOrder& held, const OrderStep& step, const Cube* cubes,
                   const uint64_t* present)
{
    const OrderStep& next = held.steps[held.phase];
    bool same = next.stride == step.stride && next.cubes == step.cubes &&
                next.made == step.made && next.purged == step.purged &&
                std::equal(cubes, cubes + step.cubes, held.cube_store.begin() + next.cubes_at);
    same = same && (step.stride == 0 || same_bits(held.bitmaps[next.after], present, held.words));
    if (same) {
        held.phase = (held.phase + 1) % held.steps.size();
        return true;
    }
    counts.ended_by_gate++;
    replay(held);
    return false;
}

} // namespace

namespace engine {

bool order_recording_allowed(int64_t values)
{
    return record_always || values >= RECORDING_VALUES_MIN;
}

void allow_order_recording_always(bool allowed)
{
    record_always = allowed;
}

OrderCounts order_counts()
{
    return counts;
}

void order_begin(HeldOrder& held, int64_t size, int64_t words, bool recording_allowed)
{
    drop_recording(held);
    held.size = size;
    held.words = words;
    held.recording_allowed = recording_allowed;
    held.steps_limit = STEPS_FIRST;
}

void order_hadamard(HeldOrder& held, uint64_t stride, const uint64_t* before,
                    const uint64_t* after, GateOutcome outcome)
{
    const OrderStep step{stride, 0, 0, 0, outcome.made, outcome.purged};
    if (held.mode == Mode::cycle && cycle_goes_on(held, step, nullptr, after))
        return;
    held.size = reorder(held.indices.data, held.size, before, after, static_cast<uint32_t>(stride),
                        outcome, held.made.data);
    if (held.mode == Mode::record)
        record(held, step, nullptr, after);
    else
        begin_recording(held, after);
}

void order_flips(HeldOrder& held, const Cube* cubes, size_t count, bool moved,
                 const uint64_t* present)
{
    const OrderStep step{0, 0, static_cast<uint32_t>(count), 0, 0, 0};
    if (held.mode == Mode::cycle && cycle_goes_on(held, step, cubes, present))
        return;
    if (moved)
        move_in_order(held.indices.data, held.size, cubes, count);
    if (held.mode == Mode::record)
        record(held, step, cubes, present);
    else
        begin_recording(held, present);
}

uint32_t* order_exact(HeldOrder& held)
{
    if (held.mode == Mode::cycle) {
        counts.ended_for_order++;
        replay(held);
    }
    return held.indices.data;
}

void order_changed(HeldOrder& held)
{
    drop_recording(held);
}

void order_end(HeldOrder& held)
{
    drop_recording(held);
    held.indices.release();
    held.made.release();
    held.size = 0;
}

} // namespace engine
