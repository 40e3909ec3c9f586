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

#include "engine/kernels.h"


#define AVX2 [[gnu::target("avx2,popcnt")]]

namespace {

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

void tally(engine::GateOutcome& outcome, uint64_t before, uint64_t after)
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
            tally(outcome, w, next[k]);
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
            tally(outcome, lo, out.lo);
            tally(outcome, hi, out.hi);
        }
    }
}

// Lanes whose probability is below the limit are purged to +0; returns the purged lanes.
AVX2 [[gnu::always_inline]] inline __m256 purge(__m256 limit, __m256& x)
{
    const __m256 purged = _mm256_cmp_ps(_mm256_mul_ps(x, x), limit, _CMP_LT_OQ);
    x = _mm256_andnot_ps(purged, x);
    return purged;
}

// The presence bits of eight amplitudes at bit shift of a word: the lanes not purged.
AVX2 [[gnu::always_inline]] inline uint64_t bits(__m256 purged, int shift)
{
    const auto lanes = static_cast<unsigned>(~_mm256_movemask_ps(purged) & 0xFF);
    return uint64_t{lanes} << shift;
}

// Two vectors of a pair: a with the gate's bit clear, b with it set.
template <bool SWAP>
AVX2 [[gnu::always_inline]] inline void update_vectors(__m256 limit, __m256& a, __m256& b,
                                                       __m256& purged_a, __m256& purged_b)
{
    const __m256 s = _mm256_set1_ps(S);
    const __m256 p = _mm256_mul_ps(s, a), q = _mm256_mul_ps(s, b);
    a = SWAP ? _mm256_sub_ps(q, p) : _mm256_add_ps(p, q);
    b = SWAP ? _mm256_add_ps(q, p) : _mm256_sub_ps(p, q);
    purged_a = purge(limit, a);
    purged_b = purge(limit, b);
}

// Strides of 1, 2 and 4, the pairs within a vector: each lane forms its own product and
// meets its partner's through a permutation. A lane with the bit clear (p own, q the
// partner's) takes p + q, one with it set (q own) p - q; with SWAP q - p and q + p.
template <int STRIDE, bool SWAP>
AVX2 [[gnu::always_inline]] inline __m256 update_within(__m256 limit, __m256& v)
{
    const __m256 own = _mm256_mul_ps(_mm256_set1_ps(S), v);
    __m256 other;
    if constexpr (STRIDE == 1)
        other = _mm256_permute_ps(own, 0xB1);
    else if constexpr (STRIDE == 2)
        other = _mm256_permute_ps(own, 0x4E);
    else
        other = _mm256_permute2f128_ps(own, own, 1);
    const __m256 sum = _mm256_add_ps(own, other), difference = _mm256_sub_ps(other, own);
    // The lanes whose index has the bit set.
    constexpr int SET = STRIDE == 1 ? 0xAA : STRIDE == 2 ? 0xCC : 0xF0;
    v = _mm256_blend_ps(sum, difference, SWAP ? ~SET & 0xFF : SET);
    return purge(limit, v);
}

// A word of sixty-four amplitudes (strides under 64). Returns the word's presence bits.
template <int STRIDE, bool SWAP>
AVX2 [[gnu::always_inline]] inline uint64_t vector_word(float limit_value, float* at)
{
    const __m256 limit = _mm256_set1_ps(limit_value);
    uint64_t out = 0;
    if constexpr (STRIDE >= 8) {
        constexpr int APART = STRIDE / 8;
        for (int v = 0; v < 8; v++) {
            if (v & APART)
                continue;
            __m256 a = _mm256_loadu_ps(at + 8 * v), b = _mm256_loadu_ps(at + 8 * (v + APART));
            __m256 purged_a, purged_b;
            update_vectors<SWAP>(limit, a, b, purged_a, purged_b);
            _mm256_storeu_ps(at + 8 * v, a);
            _mm256_storeu_ps(at + 8 * (v + APART), b);
            out |= bits(purged_a, 8 * v) | bits(purged_b, 8 * (v + APART));
        }
    } else {
        for (int v = 0; v < 8; v++) {
            __m256 a = _mm256_loadu_ps(at + 8 * v);
            const __m256 purged = update_within<STRIDE, SWAP>(limit, a);
            _mm256_storeu_ps(at + 8 * v, a);
            out |= bits(purged, 8 * v);
        }
    }
    return out;
}

// Whether four words from k on and four from h on hold no entry; then their bits after the
// gate are zero too. Most words of a sparse register are empty, and so passed over four
// pairs at a time.
AVX2 [[gnu::always_inline]] inline bool empty_words(const uint64_t* present, uint64_t* next,
                                                    int64_t k, int64_t h)
{
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(present + k));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(present + h));
    const __m256i any = _mm256_or_si256(lo, hi);
    if (!_mm256_testz_si256(any, any))
        return false;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(next + k), _mm256_setzero_si256());
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(next + h), _mm256_setzero_si256());
    return true;
}

template <int STRIDE, bool SWAP>
AVX2 [[gnu::always_inline]] inline void word_within(float limit, float* amplitude,
                                                    const uint64_t* present, uint64_t* next,
                                                    int64_t k, engine::GateOutcome& outcome)
{
    constexpr uint64_t lower = LOWER[std::countr_zero(unsigned{STRIDE})];
    const uint64_t w = present[k];
    if (w == 0) {
        next[k] = 0;
        return;
    }
    const uint64_t pairs = (w | (w >> STRIDE)) & lower;
    float* at = amplitude + k * 64;
    if (std::popcount(pairs) <= SCALAR_PAIRS_WITHIN) {
        const Words out = scalar_pairs<SWAP>(limit, at, 0, STRIDE, pairs);
        next[k] = out.lo | (out.hi << STRIDE);
    } else {
        next[k] = vector_word<STRIDE, SWAP>(limit, at);
    }
    tally(outcome, w, next[k]);
}

template <int STRIDE, bool SWAP>
AVX2 void words_within(float limit, float* amplitude, const uint64_t* present, uint64_t* next,
                       int64_t words, engine::GateOutcome& outcome)
{
    int64_t k = 0;
    for (; k + 4 <= words; k += 4) {
        if (empty_words(present, next, k, k))
            continue;
        for (int64_t j = k; j < k + 4; j++)
            word_within<STRIDE, SWAP>(limit, amplitude, present, next, j, outcome);
    }
    for (; k < words; k++)
        word_within<STRIDE, SWAP>(limit, amplitude, present, next, k, outcome);
}

// Strides of 64 and more: the words k and h = k + stride / 64, vector by vector.
template <bool SWAP>
AVX2 [[gnu::always_inline]] inline void word_pair(float limit_value, float* amplitude,
                                                    const uint64_t* present, uint64_t* next,
                                                    int64_t k, int64_t h,
                                                    engine::GateOutcome& outcome)
{
    const uint64_t lo = present[k], hi = present[h];
    if ((lo | hi) == 0) {
        next[k] = 0;
        next[h] = 0;
        return;
    }
    Words out;
    if (std::popcount(lo | hi) <= SCALAR_PAIRS_APART) {
        out = scalar_pairs<SWAP>(limit_value, amplitude, static_cast<uint64_t>(k) * 64,
                                 static_cast<uint64_t>(h) * 64, lo | hi);
    } else {
        const __m256 limit = _mm256_set1_ps(limit_value);
        float* at_lo = amplitude + k * 64;
        float* at_hi = amplitude + h * 64;
        for (int v = 0; v < 8; v++) {
            __m256 a = _mm256_loadu_ps(at_lo + 8 * v), b = _mm256_loadu_ps(at_hi + 8 * v);
            __m256 purged_a, purged_b;
            update_vectors<SWAP>(limit, a, b, purged_a, purged_b);
            _mm256_storeu_ps(at_lo + 8 * v, a);
            _mm256_storeu_ps(at_hi + 8 * v, b);
            out.lo |= bits(purged_a, 8 * v);
            out.hi |= bits(purged_b, 8 * v);
        }
    }
    next[k] = out.lo;
    next[h] = out.hi;
    tally(outcome, lo, out.lo);
    tally(outcome, hi, out.hi);
}

template <bool SWAP>
AVX2 void words_apart(float limit, float* amplitude, const uint64_t* present, uint64_t* next,
                      int64_t words, int64_t apart, engine::GateOutcome& outcome)
{
    const int64_t step = std::min<int64_t>(apart, 4);
    for (int64_t first = 0; first < words; first += 2 * apart) {
        for (int64_t k = first; k < first + apart; k += step) {
            if (step == 4 && empty_words(present, next, k, k + apart))
                continue;
            for (int64_t j = k; j < k + step; j++)
                word_pair<SWAP>(limit, amplitude, present, next, j, j + apart, outcome);
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

// One of the gates on qubits 0 to 5 over a word held in eight vectors; returns the word's
// presence bits after it. With SWAP a pair of whole vectors trades places.
template <int LEVEL, bool SWAP>
AVX2 [[gnu::always_inline]] inline uint64_t level_in_word(__m256 limit, __m256* v)
{
    uint64_t out = 0;
    if constexpr (LEVEL < 3) {
        for (int k = 0; k < 8; k++)
            out |= bits(update_within<1 << LEVEL, SWAP>(limit, v[k]), 8 * k);
    } else {
        constexpr int APART = 1 << (LEVEL - 3);
        for (int k = 0; k < 8; k++) {
            if (k & APART)
                continue;
            __m256 purged_a, purged_b;
            update_vectors<SWAP>(limit, v[k], v[k + APART], purged_a, purged_b);
            out |= bits(purged_a, 8 * k) | bits(purged_b, 8 * (k + APART));
        }
    }
    return out;
}

template <int LEVEL>
AVX2 [[gnu::always_inline]] inline uint64_t level_in_word(__m256 limit, __m256* v, bool swap)
{
    return swap ? level_in_word<LEVEL, true>(limit, v) : level_in_word<LEVEL, false>(limit, v);
}

} // namespace

namespace engine {

AVX2 void hadamard_real_low(float limit_value, float* amplitude, uint64_t* const* levels,
                            int64_t values, uint64_t offset, GateOutcome* outcomes)
{
    const __m256 limit = _mm256_set1_ps(limit_value);
    bool swap[WORD_LEVELS];
    for (int j = 0; j < WORD_LEVELS; j++) {
        swap[j] = (offset >> j) & 1;
        outcomes[j] = GateOutcome{-1, 0, 0};
    }
    for (int64_t k = 0; k < values / 64; k++) {
        const uint64_t before = levels[0][k];
        if (before == 0) {
            for (int j = 1; j <= WORD_LEVELS; j++)
                levels[j][k] = 0;
            continue;
        }
        float* at = amplitude + k * 64;
        __m256 v[8];
        for (int i = 0; i < 8; i++)
            v[i] = _mm256_loadu_ps(at + 8 * i);
        levels[1][k] = level_in_word<0>(limit, v, swap[0]);
        levels[2][k] = level_in_word<1>(limit, v, swap[1]);
        levels[3][k] = level_in_word<2>(limit, v, swap[2]);
        levels[4][k] = level_in_word<3>(limit, v, swap[3]);
        levels[5][k] = level_in_word<4>(limit, v, swap[4]);
        levels[6][k] = level_in_word<5>(limit, v, swap[5]);
        for (int i = 0; i < 8; i++)
            _mm256_storeu_ps(at + 8 * i, v[i]);
        for (int j = 0; j < WORD_LEVELS; j++)
            tally(outcomes[j], levels[j][k], levels[j + 1][k]);
    }
}

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
