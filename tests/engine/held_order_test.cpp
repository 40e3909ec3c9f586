// The entry order of a held register: replayed from a recorded cycle, it must be exactly the
// order carried gate by gate, also when a gate or its presence bits break the cycle.
#include "engine/held_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <vector>

namespace {

constexpr int64_t VALUES = 256, WORDS = VALUES / 64;

using Bits = std::vector<uint64_t>;

void set(Bits& bits, uint64_t i)
{
    bits[i >> 6] |= uint64_t{1} << (i & 63);
}

bool has(const Bits& bits, uint64_t i)
{
    return (bits[i >> 6] >> (i & 63)) & 1;
}

// A held order over VALUES indices, all present, in a shuffled order.
void begin(engine::HeldOrder& held, const std::vector<uint32_t>& start, bool record)
{
    held.indices.reserve(VALUES);
    held.made.reserve(VALUES / 2 + 1);
    std::copy(start.begin(), start.end(), held.indices.data);
    engine::order_begin(held, VALUES, WORDS, record);
}

// A Hadamard gate of the test's circuits, with the presence after it.
struct Gate {
    uint64_t stride = 0;
    Bits after;
};

// A Hadamard gate whose pairs keep (or make) only the member with the bit clear when
// dropping, both otherwise; now and then a dropping gate keeps the other member of one pair,
// which varies the presence but not the counts.
Gate hadamard(uint64_t stride, const Bits& before, std::mt19937& rng, bool drop)
{
    Gate g{stride, Bits(WORDS, 0)};
    const uint64_t odd = rng() % 40 == 0 ? rng() % VALUES : VALUES;
    for (uint64_t i = 0; i < VALUES; i++) {
        if ((i & stride) != 0)
            continue;
        const uint64_t j = i | stride;
        const bool lo = has(before, i), hi = has(before, j);
        if (!lo && !hi)
            continue;
        const bool flipped = drop && i == (odd & ~stride);
        set(g.after, flipped ? j : i);
        if (!drop)
            set(g.after, j);
    }
    return g;
}

} // namespace

TEST(HeldOrder, ReplayedCyclesMatchTheOrderCarriedGateByGate)
{
    std::mt19937 rng(77);
    engine::allow_order_recording_always(true);
    const engine::OrderCounts before = engine::order_counts();
    for (int trial = 0; trial < 30; trial++) {
        std::vector<uint32_t> start(VALUES);
        for (uint32_t i = 0; i < VALUES; i++)
            start[i] = i;
        std::shuffle(start.begin(), start.end(), rng);
        engine::HeldOrder carried, replayed;
        begin(carried, start, false);
        begin(replayed, start, true);
        Bits present(WORDS, ~uint64_t{0});
        // A period of gates: pairs of a dropping and a making Hadamard gate on one bit, and a
        // run of flips swapping two indices.
        const int pairs = 1 + trial % 3;
        std::vector<uint64_t> strides;
        for (int k = 0; k < pairs; k++)
            strides.push_back(uint64_t{1} << (rng() % 8));
        uint32_t a = rng() % VALUES, b = a ^ (1u + rng() % (VALUES - 1));
        for (int period = 0; period < 40; period++) {
            // Now and then the flips swap two other indices.
            if (rng() % 9 == 0) {
                a = rng() % VALUES;
                b = a ^ (1u + rng() % (VALUES - 1));
            }
            for (const uint64_t stride : strides) {
                for (const bool drop : {true, false}) {
                    const Gate g = hadamard(stride, present, rng, drop);
                    engine::GateOutcome outcome;
                    for (int64_t k = 0; k < WORDS; k++) {
                        outcome.made += std::popcount(g.after[k] & ~present[k]);
                        outcome.purged += std::popcount(present[k] & ~g.after[k]);
                    }
                    engine::order_hadamard(carried, stride, present.data(), g.after.data(), outcome);
                    engine::order_hadamard(replayed, stride, present.data(), g.after.data(), outcome);
                    present = g.after;
                }
            }
            // The flips: a and b trade places, each a cube of one index.
            const engine::Cube cubes[2] = {{VALUES - 1, a, uint64_t{a ^ b}},
                                           {VALUES - 1, b, uint64_t{a ^ b}}};
            const bool moved = has(present, a) || has(present, b);
            engine::order_flips(carried, cubes, 2, moved, present.data());
            engine::order_flips(replayed, cubes, 2, moved, present.data());
            if (has(present, a) != has(present, b)) {
                // Moving one present index onto an absent one moves its bit too.
                Bits after = present;
                after[a >> 6] ^= uint64_t{1} << (a & 63);
                after[b >> 6] ^= uint64_t{1} << (b & 63);
                present = after;
            }
            // Now and then the order is wanted in the middle of a cycle.
            if (rng() % 13 == 0) {
                const uint32_t* got = engine::order_exact(replayed);
                ASSERT_EQ(replayed.size, carried.size);
                ASSERT_TRUE(std::equal(got, got + carried.size, carried.indices.data))
                    << "trial " << trial << ", period " << period;
            }
        }
        const uint32_t* got = engine::order_exact(replayed);
        ASSERT_EQ(replayed.size, carried.size) << "trial " << trial;
        EXPECT_TRUE(std::equal(got, got + carried.size, carried.indices.data)) << "trial " << trial;
        engine::order_end(carried);
        engine::order_end(replayed);
    }
    engine::allow_order_recording_always(false);
    const engine::OrderCounts after = engine::order_counts();
    EXPECT_GT(after.cycles, before.cycles);
    EXPECT_GT(after.ended_by_gate, before.ended_by_gate);
    EXPECT_GT(after.ended_for_order, before.ended_for_order);
}
