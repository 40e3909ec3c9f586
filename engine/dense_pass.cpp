// engine/dense_pass.cpp: hadamard_held_dense, the Hadamard gate on the whole array of a
// register held by value, in vectors of four amplitudes (compiled for AVX2 as well).
#include <algorithm>
#include <cstring>

#include "engine/kernels.h"
#include "engine/vector_clones.h"

namespace {

using engine::GateOutcome;
using engine::HADAMARD;
using engine::Parts;

// The helpers below take and return vectors but are always inlined, so no call passes one
// across the ABI that the common (pre-AVX) clone would change.
#pragma GCC diagnostic ignored "-Wpsabi"

// Four amplitudes, real and imaginary parts interleaved, and masks over them that cover
// both parts of an amplitude.
using Floats = float __attribute__((vector_size(32)));
using Masks = int32_t __attribute__((vector_size(32)));

// The presence bitmaps, a byte (eight indices) at a time.
const uint8_t* bytes(const uint64_t* bits)
{
    return reinterpret_cast<const uint8_t*>(bits);
}

uint8_t* bytes(uint64_t* bits)
{
    return reinterpret_cast<uint8_t*>(bits);
}

// The masks of the four amplitudes whose bits are set in a nibble, and back.
struct NibbleMasks {
    Masks of[16];
    NibbleMasks()
    {
        for (int n = 0; n < 16; n++)
            for (int lane = 0; lane < 8; lane++)
                of[n][lane] = (n >> (lane / 2)) & 1 ? -1 : 0;
    }
};
const NibbleMasks nibble_masks;

[[gnu::always_inline]] inline unsigned nibble(Masks m)
{
    return (m[0] & 1u) | (m[2] & 2u) | (m[4] & 4u) | (m[6] & 8u);
}

// quantum_cmul of element E with four amplitudes: re = m.re a.re - m.im a.im,
// im = m.re a.im + m.im a.re. The elements are constants, so the products that two of them
// share (s times the lower member, 0 times its swapped parts) are formed once.
template <int E> [[gnu::always_inline]] inline Floats times(Floats a)
{
    const Floats swapped = __builtin_shufflevector(a, a, 1, 0, 3, 2, 5, 4, 7, 6);
    const Floats t1 = HADAMARD[E].re * a, t2 = HADAMARD[E].im * swapped;
    const Floats difference = t1 - t2, sum = t1 + t2;
    return __builtin_shufflevector(difference, sum, 0, 9, 2, 11, 4, 13, 6, 15);
}

// All ones where an amplitude's probability is not below limit.
[[gnu::always_inline]] inline Masks large(Floats a, Floats limit)
{
    const Floats squares = a * a;
    const Floats prob = squares + __builtin_shufflevector(squares, squares, 1, 0, 3, 2, 5, 4, 7, 6);
    return ~(prob < limit);
}

// Four pairs at once, present where the masks say. A pair of two entries takes the pair
// update; a lone entry takes it with a zero partner (the array holds zero there), and its
// partner is made as the element times the entry. Amplitudes below the limit become zero
// and get no keep bit.
struct Kept {
    Masks lo, hi;
};

[[gnu::always_inline]] inline Kept update(Floats limit, Floats& lo, Floats& hi,
                                          Masks in_lo, Masks in_hi)
{
    const Floats x0 = times<0>(lo), x1 = times<1>(hi);
    const Floats y0 = times<2>(lo), y1 = times<3>(hi);
    const Masks pair_lo = reinterpret_cast<Masks>(x0 + x1);
    const Masks pair_hi = reinterpret_cast<Masks>(y0 + y1);
    const Masks new_lo = (pair_lo & in_lo) | (reinterpret_cast<Masks>(x1) & in_hi & ~in_lo);
    const Masks new_hi = (pair_hi & in_hi) | (reinterpret_cast<Masks>(y0) & in_lo & ~in_hi);
    const Masks any = in_lo | in_hi;
    const Kept kept{large(reinterpret_cast<Floats>(new_lo), limit) & any,
                    large(reinterpret_cast<Floats>(new_hi), limit) & any};
    lo = reinterpret_cast<Floats>(new_lo & kept.lo);
    hi = reinterpret_cast<Floats>(new_hi & kept.hi);
    return kept;
}

Floats load(const Parts* p)
{
    Floats f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

void store(Parts* p, Floats f)
{
    std::memcpy(p, &f, sizeof f);
}

// update with the pair's members at indices lo and hi; when the offset swaps the two
// values, the upper value sits at the lower index.
template <bool SWAP>
[[gnu::always_inline]] inline Kept update_at(Floats limit, Floats& lo, Floats& hi,
                                             Masks in_lo, Masks in_hi)
{
    if constexpr (SWAP) {
        const Kept kept = update(limit, hi, lo, in_hi, in_lo);
        return {kept.hi, kept.lo};
    } else {
        return update(limit, lo, hi, in_lo, in_hi);
    }
}

[[gnu::always_inline]] inline Floats magnitude(Floats a)
{
    return reinterpret_cast<Floats>(reinterpret_cast<Masks>(a) & 0x7fffffff);
}

[[gnu::always_inline]] inline Floats larger(Floats a, Floats b)
{
    return a > b ? a : b;
}

// What a gate did, gathered lane by lane on the way: the largest part written, and the
// amplitudes made and purged (each as -1 on both of its lanes).
struct Tally {
    Floats largest{};
    Masks made{}, purged{};

    [[gnu::always_inline]] void add(Floats lo, Floats hi, Masks in_lo, Masks in_hi, Kept kept)
    {
        largest = larger(largest, larger(magnitude(lo), magnitude(hi)));
        made += (kept.lo & ~in_lo) + (kept.hi & ~in_hi);
        purged += (in_lo & ~kept.lo) + (in_hi & ~kept.hi);
    }
};

// The gate on qubit 0 or 1, whose pairs lie inside eight neighbouring amplitudes (one byte
// of bits): they are sorted into the lower and the upper members and back.
template <int BIT, bool SWAP>
[[gnu::always_inline]] inline Tally small_stride(Floats limit, Parts* amplitude,
                                                 const uint64_t* present, uint64_t* next,
                                                 int64_t values)
{
    static_assert(BIT == 1 || BIT == 2);
    Tally tally;
    for (int64_t i = 0; i < values; i += 8) {
        const unsigned in = bytes(present)[i >> 3];
        if (in == 0)
            continue;
        const Floats a = load(amplitude + i), b = load(amplitude + i + 4);
        Floats lo, hi;
        unsigned in_lo, in_hi;
        if constexpr (BIT == 1) {
            lo = __builtin_shufflevector(a, b, 0, 1, 4, 5, 8, 9, 12, 13);
            hi = __builtin_shufflevector(a, b, 2, 3, 6, 7, 10, 11, 14, 15);
            const auto even = [](unsigned n) {
                return (n & 1) | ((n >> 1) & 2) | ((n >> 2) & 4) | ((n >> 3) & 8);
            };
            in_lo = even(in);
            in_hi = even(in >> 1);
        } else {
            lo = __builtin_shufflevector(a, b, 0, 1, 2, 3, 8, 9, 10, 11);
            hi = __builtin_shufflevector(a, b, 4, 5, 6, 7, 12, 13, 14, 15);
            in_lo = (in & 3) | ((in >> 2) & 12);
            in_hi = ((in >> 2) & 3) | ((in >> 4) & 12);
        }
        const Masks mask_lo = nibble_masks.of[in_lo], mask_hi = nibble_masks.of[in_hi];
        const Kept kept = update_at<SWAP>(limit, lo, hi, mask_lo, mask_hi);
        tally.add(lo, hi, mask_lo, mask_hi, kept);
        const unsigned out_lo = nibble(kept.lo), out_hi = nibble(kept.hi);
        unsigned out;
        if constexpr (BIT == 1) {
            store(amplitude + i, __builtin_shufflevector(lo, hi, 0, 1, 8, 9, 2, 3, 10, 11));
            store(amplitude + i + 4, __builtin_shufflevector(lo, hi, 4, 5, 12, 13, 6, 7, 14, 15));
            const auto spread = [](unsigned n) {
                return (n & 1) | ((n & 2) << 1) | ((n & 4) << 2) | ((n & 8) << 3);
            };
            out = spread(out_lo) | (spread(out_hi) << 1);
        } else {
            store(amplitude + i, __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 8, 9, 10, 11));
            store(amplitude + i + 4, __builtin_shufflevector(lo, hi, 4, 5, 6, 7, 12, 13, 14, 15));
            out = (out_lo & 3) | ((out_lo & 12) << 2) | ((out_hi & 3) << 2) | ((out_hi & 12) << 4);
        }
        bytes(next)[i >> 3] = static_cast<uint8_t>(out);
    }
    return tally;
}

// The pairs (i, i + stride) in blocks of four (half a byte of bits).
template <bool SWAP>
[[gnu::always_inline]] inline Tally wide_stride(Floats limit, Parts* amplitude,
                                                 const uint64_t* present, uint64_t* next,
                                                 int64_t values, uint64_t stride)
{
    Tally tally;
    for (uint64_t base = 0; base < static_cast<uint64_t>(values); base += 2 * stride) {
        for (uint64_t i = base; i < base + stride; i += 4) {
            const uint64_t j = i + stride;
            const unsigned in_lo = (bytes(present)[i >> 3] >> (i & 4)) & 15;
            const unsigned in_hi = (bytes(present)[j >> 3] >> (j & 4)) & 15;
            if ((in_lo | in_hi) == 0)
                continue;
            Floats lo = load(amplitude + i), hi = load(amplitude + j);
            const Masks mask_lo = nibble_masks.of[in_lo], mask_hi = nibble_masks.of[in_hi];
            const Kept kept = update_at<SWAP>(limit, lo, hi, mask_lo, mask_hi);
            tally.add(lo, hi, mask_lo, mask_hi, kept);
            store(amplitude + i, lo);
            store(amplitude + j, hi);
            bytes(next)[i >> 3] |= static_cast<uint8_t>(nibble(kept.lo) << (i & 4));
            bytes(next)[j >> 3] |= static_cast<uint8_t>(nibble(kept.hi) << (j & 4));
        }
    }
    return tally;
}

template <bool SWAP>
[[gnu::always_inline]] inline Tally any_stride(float limit_value, Parts* amplitude,
                                                const uint64_t* present, uint64_t* next,
                                                int64_t values, uint64_t stride)
{
    // Made here, not passed in: the common clone must not take vectors as arguments.
    const Floats limit = Floats{} + limit_value;
    if (stride == 1)
        return small_stride<1, SWAP>(limit, amplitude, present, next, values);
    if (stride == 2)
        return small_stride<2, SWAP>(limit, amplitude, present, next, values);
    return wide_stride<SWAP>(limit, amplitude, present, next, values, stride);
}

} // namespace

namespace engine {

// One gate over the whole array; next must be cleared.
VECTOR_CLONES GateOutcome hadamard_held_dense(float limit_value, Parts* amplitude,
                                              const uint64_t* present, uint64_t* next,
                                              int64_t values, uint64_t stride, bool swap)
{
    const Tally tally =
        swap ? any_stride<true>(limit_value, amplitude, present, next, values, stride)
             : any_stride<false>(limit_value, amplitude, present, next, values, stride);
    GateOutcome outcome;
    for (int lane = 0; lane < 8; lane++) {
        outcome.largest = std::max(outcome.largest, tally.largest[lane]);
        outcome.made -= tally.made[lane];
        outcome.purged -= tally.purged[lane];
    }
    outcome.made /= 2;
    outcome.purged /= 2;
    return outcome;
}

void hadamard_held_blocked(float limit, Parts* amplitude, uint64_t* const* bits, int64_t values,
                           int64_t first, int64_t count, uint64_t offset, int64_t block,
                           bool wide, GateOutcome* outcomes)
{
    for (int64_t j = 0; j < count; j++)
        outcomes[j] = GateOutcome{};
    for (int64_t base = 0; base < values; base += block) {
        Parts* at = amplitude + base;
        for (int64_t j = 0; j < count; j++) {
            const uint64_t stride = uint64_t{1} << (first + j);
            const bool swap = (offset & stride) != 0;
            const uint64_t* present = bits[j] + base / 64;
            uint64_t* next = bits[j + 1] + base / 64;
            const GateOutcome level =
                wide ? hadamard_wide(limit, at, present, next, block, stride, swap)
                     : hadamard_held_dense(limit, at, present, next, block, stride, swap);
            outcomes[j].largest = std::max(outcomes[j].largest, level.largest);
            outcomes[j].made += level.made;
            outcomes[j].purged += level.purged;
        }
    }
}

} // namespace engine
