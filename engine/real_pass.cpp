// engine/real_pass.cpp: the Hadamard gate on a held register whose amplitudes are all real,
// hadamard_real and hadamard_real_scalar.
//
// With every imaginary part +0 the generic gate's complex products and sums are real ones,
// bit for bit: (s, 0) (a, +0) = (s a - 0 (+0), s (+0) + 0 a) = (s a, +0), as x - (+0) is x
// for every x and +0 + (+-0) is +0. With (-s, 0) the imaginary part may come out -0, but it
// is only added to a +0 again. So a pair (lo, hi) becomes (s lo + s hi, s lo - s hi), each
// imaginary part +0, and the probability is re * re. Nor does presence matter to the sums:
// an absent index holds +0, and s x + s (+0), s x - s (+0) and +0 - s x are what the
// one-gate path computes for a lone entry and the partner it makes, except that a zero may
// come out with the other sign; a zero is purged either way. So the passes need the presence
// bits only to skip what is empty, and the bits after a gate are the amplitudes that are not
// zero.
//
// The passes go through the presence bits a word (64 indices) at a time: a gate's pairs lie
// within a word, or in two words stride / 64 apart. Empty words are passed over, words with
// few pairs take them one by one, fuller ones go through vectors of eight.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <immintrin.h>
#include <type_traits>

#include "engine/kernels.h"

// The helpers take and return vectors but are always inlined into the AVX2 passes, so no
// call passes one across the ABI.
#pragma GCC diagnostic ignored "-Wpsabi"

#define AVX2 [[gnu::target("avx2,popcnt")]]

namespace {

// Eight amplitudes' real parts, and masks over them.
using Floats = float __attribute__((vector_size(32)));
using Ints = int32_t __attribute__((vector_size(32)));

constexpr float S = engine::HADAMARD_ELEMENT;
// Up to this many pairs in a word (or a pair of words, twice the vectors) go one by one;
// more go through vectors.
constexpr int SCALAR_PAIRS_WITHIN = 1, SCALAR_PAIRS_APART = 2;

// One pair: a at the index with the gate's bit clear, b at the one with it set; with SWAP
// b holds the lower value. Purged amplitudes become +0.
template <bool SWAP>
[[gnu::always_inline]] inline void update(float limit, float& a, float& b)
{
    const float p = S * a, q = S * b;
    const float x = SWAP ? q - p : p + q;
    const float y = SWAP ? q + p : p - q;
    a = x * x < limit ? 0.0f : x;
    b = y * y < limit ? 0.0f : y;
}

// Purged lanes become +0; returns the lanes kept, which are those not zero.
[[gnu::always_inline]] inline Ints purge(Floats limit, Floats& x)
{
    const Ints keep = ~(x * x < limit);
    x = reinterpret_cast<Floats>(reinterpret_cast<Ints>(x) & keep);
    return keep;
}

// The presence bits of the words lo and hi after the gate, the pairs at the set bits of pairs
// (index lo_base + b with hi_base + b) taken one by one.
struct Words {
    uint64_t lo = 0, hi = 0;
};

template <bool SWAP>
[[gnu::always_inline]] inline Words scalar_pairs(float limit, float* amplitude, uint64_t lo_base,
                                                 uint64_t hi_base, uint64_t pairs)
{
    Words out;
    for (; pairs != 0; pairs &= pairs - 1) {
        const int b = std::countr_zero(pairs);
        float x = amplitude[lo_base + b], y = amplitude[hi_base + b];
        update<SWAP>(limit, x, y);
        amplitude[lo_base + b] = x;
        amplitude[hi_base + b] = y;
        out.lo |= uint64_t{x != 0.0f} << b;
        out.hi |= uint64_t{y != 0.0f} << b;
    }
    return out;
}

// The lower members' bits of a word for strides under 64: the positions with the bit clear.
constexpr uint64_t LOWER[6] = {0x5555555555555555, 0x3333333333333333, 0x0F0F0F0F0F0F0F0F,
                               0x00FF00FF00FF00FF, 0x0000FFFF0000FFFF, 0x00000000FFFFFFFF};

void count(engine::GateOutcome& outcome, uint64_t before, uint64_t after)
{
    outcome.made += std::popcount(after & ~before);
    outcome.purged += std::popcount(before & ~after);
}

template <bool SWAP>
void scalar_pass(float limit, float* amplitude, const uint64_t* present, uint64_t* next,
                 int64_t words, uint64_t stride, engine::GateOutcome& outcome)
{
    if (stride < 64) {
        const uint64_t lower = LOWER[std::countr_zero(stride)];
        for (int64_t k = 0; k < words; k++) {
            const uint64_t w = present[k];
            const uint64_t base = static_cast<uint64_t>(k) * 64;
            const Words out =
                scalar_pairs<SWAP>(limit, amplitude, base, base + stride, (w | (w >> stride)) & lower);
            next[k] = out.lo | (out.hi << stride);
            count(outcome, w, next[k]);
        }
        return;
    }
    const auto apart = static_cast<int64_t>(stride / 64);
    for (int64_t first = 0; first < words; first += 2 * apart) {
        for (int64_t k = first; k < first + apart; k++) {
            const int64_t h = k + apart;
            const uint64_t lo = present[k], hi = present[h];
            const Words out = scalar_pairs<SWAP>(limit, amplitude, static_cast<uint64_t>(k) * 64,
                                                 static_cast<uint64_t>(h) * 64, lo | hi);
            next[k] = out.lo;
            next[h] = out.hi;
            count(outcome, lo, out.lo);
            count(outcome, hi, out.hi);
        }
    }
}

AVX2 [[gnu::always_inline]] inline Floats load(const float* p)
{
    Floats f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

AVX2 [[gnu::always_inline]] inline void store(float* p, Floats f)
{
    std::memcpy(p, &f, sizeof f);
}

// The presence bits of eight amplitudes at bit shift of a word, from the lanes kept.
AVX2 [[gnu::always_inline]] inline uint64_t bits(Ints keep, int shift)
{
    const auto lanes = static_cast<unsigned>(_mm256_movemask_ps(reinterpret_cast<__m256>(keep)));
    return uint64_t{lanes} << shift;
}

// Two vectors of a pair: a with the gate's bit clear, b with it set.
template <bool SWAP>
AVX2 [[gnu::always_inline]] inline void update_vectors(Floats limit, Floats& a, Floats& b,
                                                       Ints& keep_a, Ints& keep_b)
{
    const Floats s = Floats{} + S;
    const Floats p = s * a, q = s * b;
    a = SWAP ? q - p : p + q;
    b = SWAP ? q + p : p - q;
    keep_a = purge(limit, a);
    keep_b = purge(limit, b);
}

// Strides of 1, 2 and 4, the pairs within a vector: each lane forms its own product and
// meets its partner's through a permutation. A lane with the bit clear (p own, q the
// partner's) takes p + q, one with it set (q own) p - q; with SWAP q - p and q + p.
template <int STRIDE, bool SWAP>
AVX2 [[gnu::always_inline]] inline Ints update_within(Floats limit, Floats& v)
{
    const Floats own = (Floats{} + S) * v;
    Floats other;
    if constexpr (STRIDE == 1)
        other = __builtin_shufflevector(own, own, 1, 0, 3, 2, 5, 4, 7, 6);
    else if constexpr (STRIDE == 2)
        other = __builtin_shufflevector(own, own, 2, 3, 0, 1, 6, 7, 4, 5);
    else
        other = __builtin_shufflevector(own, own, 4, 5, 6, 7, 0, 1, 2, 3);
    const Floats sum = own + other, difference = other - own;
    // All ones in the lanes whose index has the bit set.
    constexpr Ints set = STRIDE == 1   ? Ints{0, -1, 0, -1, 0, -1, 0, -1}
                         : STRIDE == 2 ? Ints{0, 0, -1, -1, 0, 0, -1, -1}
                                       : Ints{0, 0, 0, 0, -1, -1, -1, -1};
    const Ints take_difference = SWAP ? ~set : set;
    v = reinterpret_cast<Floats>((reinterpret_cast<Ints>(difference) & take_difference) |
                                 (reinterpret_cast<Ints>(sum) & ~take_difference));
    return purge(limit, v);
}

// A word of sixty-four amplitudes (strides under 64). Returns the word's presence bits.
template <int STRIDE, bool SWAP>
AVX2 [[gnu::always_inline]] inline uint64_t vector_word(float limit_value, float* at)
{
    const Floats limit = Floats{} + limit_value;
    uint64_t out = 0;
    if constexpr (STRIDE >= 8) {
        constexpr int APART = STRIDE / 8;
        for (int v = 0; v < 8; v++) {
            if (v & APART)
                continue;
            Floats a = load(at + 8 * v), b = load(at + 8 * (v + APART));
            Ints keep_a, keep_b;
            update_vectors<SWAP>(limit, a, b, keep_a, keep_b);
            store(at + 8 * v, a);
            store(at + 8 * (v + APART), b);
            out |= bits(keep_a, 8 * v) | bits(keep_b, 8 * (v + APART));
        }
    } else {
        for (int v = 0; v < 8; v++) {
            Floats a = load(at + 8 * v);
            const Ints keep = update_within<STRIDE, SWAP>(limit, a);
            store(at + 8 * v, a);
            out |= bits(keep, 8 * v);
        }
    }
    return out;
}

template <int STRIDE, bool SWAP>
AVX2 void words_within(float limit, float* amplitude, const uint64_t* present, uint64_t* next,
                       int64_t words, engine::GateOutcome& outcome)
{
    constexpr uint64_t lower = LOWER[std::countr_zero(unsigned{STRIDE})];
    for (int64_t k = 0; k < words; k++) {
        const uint64_t w = present[k];
        const uint64_t pairs = (w | (w >> STRIDE)) & lower;
        float* at = amplitude + k * 64;
        if (std::popcount(pairs) <= SCALAR_PAIRS_WITHIN) {
            const Words out = scalar_pairs<SWAP>(limit, at, 0, STRIDE, pairs);
            next[k] = out.lo | (out.hi << STRIDE);
        } else {
            next[k] = vector_word<STRIDE, SWAP>(limit, at);
        }
        count(outcome, w, next[k]);
    }
}

// Strides of 64 and more: the words k and k + stride / 64, vector by vector.
template <bool SWAP>
AVX2 void words_apart(float limit_value, float* amplitude, const uint64_t* present,
                      uint64_t* next, int64_t words, int64_t apart, engine::GateOutcome& outcome)
{
    const Floats limit = Floats{} + limit_value;
    for (int64_t first = 0; first < words; first += 2 * apart) {
        for (int64_t k = first; k < first + apart; k++) {
            const int64_t h = k + apart;
            const uint64_t lo = present[k], hi = present[h];
            float* at_lo = amplitude + k * 64;
            float* at_hi = amplitude + h * 64;
            Words out;
            if (std::popcount(lo | hi) <= SCALAR_PAIRS_APART) {
                out = scalar_pairs<SWAP>(limit_value, amplitude, static_cast<uint64_t>(k) * 64,
                                         static_cast<uint64_t>(h) * 64, lo | hi);
            } else {
                for (int v = 0; v < 8; v++) {
                    Floats a = load(at_lo + 8 * v), b = load(at_hi + 8 * v);
                    Ints keep_a, keep_b;
                    update_vectors<SWAP>(limit, a, b, keep_a, keep_b);
                    store(at_lo + 8 * v, a);
                    store(at_hi + 8 * v, b);
                    out.lo |= bits(keep_a, 8 * v);
                    out.hi |= bits(keep_b, 8 * v);
                }
            }
            next[k] = out.lo;
            next[h] = out.hi;
            count(outcome, lo, out.lo);
            count(outcome, hi, out.hi);
        }
    }
}

template <bool SWAP>
AVX2 void vector_pass(float limit, float* amplitude, const uint64_t* present, uint64_t* next,
                      int64_t words, uint64_t stride, engine::GateOutcome& outcome)
{
    switch (stride) {
    case 1: words_within<1, SWAP>(limit, amplitude, present, next, words, outcome); break;
    case 2: words_within<2, SWAP>(limit, amplitude, present, next, words, outcome); break;
    case 4: words_within<4, SWAP>(limit, amplitude, present, next, words, outcome); break;
    case 8: words_within<8, SWAP>(limit, amplitude, present, next, words, outcome); break;
    case 16: words_within<16, SWAP>(limit, amplitude, present, next, words, outcome); break;
    case 32: words_within<32, SWAP>(limit, amplitude, present, next, words, outcome); break;
    default:
        words_apart<SWAP>(limit, amplitude, present, next, words,
                          static_cast<int64_t>(stride / 64), outcome);
    }
}

} // namespace

namespace engine {

bool real_vectors_available()
{
    static const bool available =
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    return available;
}

// The largest part is left to the caller's bound (-1).
AVX2 GateOutcome hadamard_real(float limit, float* amplitude, const uint64_t* present,
                               uint64_t* next, int64_t values, uint64_t stride, bool swap)
{
    GateOutcome outcome;
    outcome.largest = -1;
    if (swap)
        vector_pass<true>(limit, amplitude, present, next, values / 64, stride, outcome);
    else
        vector_pass<false>(limit, amplitude, present, next, values / 64, stride, outcome);
    return outcome;
}

GateOutcome hadamard_real_scalar(float limit, float* amplitude, const uint64_t* present,
                                 uint64_t* next, int64_t values, uint64_t stride, bool swap)
{
    GateOutcome outcome;
    outcome.largest = -1;
    if (swap)
        scalar_pass<true>(limit, amplitude, present, next, values / 64, stride, outcome);
    else
        scalar_pass<false>(limit, amplitude, present, next, values / 64, stride, outcome);
    return outcome;
}

// Magnitudes compare as their bit patterns (no part is NaN), which vectorizes.
float real_largest(const float* amplitude, int64_t values)
{
    uint32_t largest = 0;
    for (int64_t i = 0; i < values; i++)
        largest = std::max(largest, std::bit_cast<uint32_t>(amplitude[i]) & 0x7FFFFFFFu);
    return std::bit_cast<float>(largest);
}

} // namespace engine
