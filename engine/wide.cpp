// engine/wide.cpp: the 512-bit kernels: hadamard_wide, flips_wide and flips_held_wide.
//
// The Hadamard pass of a register held by value takes eight amplitudes per vector; presence
// and keep bits live in mask registers, so it needs none of the lane shuffling the common
// pass spends on its flags. The products and sums are those of the common pass, in the same
// order: the results agree bit for bit. The flips take eight values per vector and one
// masked exclusive or per flip.
#include "engine/kernels.h"

// GCC 12's 512-bit intrinsics start some results from a deliberately undefined vector,
// which its own uninitialized-use check then reports.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#define WIDE [[gnu::target("avx512f,avx512bw,avx512vl,bmi2,popcnt")]]

namespace {

using engine::Parts;

// The lanes of the real parts (even) and of the imaginary parts (odd).
constexpr __mmask16 IMAGINARY = 0xAAAA;
// The mask of an amplitude covers both of its lanes.
constexpr unsigned EVEN_LANES = 0x5555;

struct Pass {
    __m512 limit, s, minus_s, zero;
    __m512 largest;
    int64_t made2 = 0, purged2 = 0; // counted per lane, two per amplitude
};

// The element (re, 0) times eight amplitudes; zero_swapped is 0 times their parts swapped.
WIDE [[gnu::always_inline]] inline __m512 times(__m512 re, __m512 zero_swapped, __m512 a)
{
    const __m512 t1 = _mm512_mul_ps(re, a);
    return _mm512_mask_blend_ps(IMAGINARY, _mm512_sub_ps(t1, zero_swapped),
                                _mm512_add_ps(t1, zero_swapped));
}

WIDE [[gnu::always_inline]] inline __mmask16 large(const Pass& pass, __m512 a)
{
    const __m512 squares = _mm512_mul_ps(a, a);
    const __m512 prob = _mm512_add_ps(squares, _mm512_permute_ps(squares, 0xB1));
    return _mm512_cmp_ps_mask(prob, pass.limit, _CMP_NLT_UQ);
}

// Eight amplitudes' bits (one each) as lane masks (two each), and back.
WIDE [[gnu::always_inline]] inline __mmask16 lanes(unsigned bits)
{
    return static_cast<__mmask16>(_pdep_u32(bits, EVEN_LANES) * 3);
}

WIDE [[gnu::always_inline]] inline unsigned bits(__mmask16 lanes)
{
    return _pext_u32(lanes, EVEN_LANES);
}

// Eight pairs: the pair update where both are present, the update with a zero partner and
// the made partner where one is, and the purge. Returns the keep bits of lo and hi.
WIDE [[gnu::always_inline]] inline void update(Pass& pass, __m512& lo, __m512& hi,
                                               unsigned in_lo, unsigned in_hi, unsigned& keep_lo,
                                               unsigned& keep_hi)
{
    const __mmask16 lanes_lo = lanes(in_lo), lanes_hi = lanes(in_hi);
    const __m512 zero_lo = _mm512_mul_ps(pass.zero, _mm512_permute_ps(lo, 0xB1));
    const __m512 zero_hi = _mm512_mul_ps(pass.zero, _mm512_permute_ps(hi, 0xB1));
    // Elements s, s, s, -s: the lower member's two products are one.
    const __m512 x0 = times(pass.s, zero_lo, lo);
    const __m512 x1 = times(pass.s, zero_hi, hi);
    const __m512 y1 = times(pass.minus_s, zero_hi, hi);
    const __m512 new_lo = _mm512_mask_mov_ps(
        _mm512_maskz_mov_ps(lanes_hi & ~lanes_lo, x1), lanes_lo, _mm512_add_ps(x0, x1));
    const __m512 new_hi = _mm512_mask_mov_ps(
        _mm512_maskz_mov_ps(lanes_lo & ~lanes_hi, x0), lanes_hi, _mm512_add_ps(x0, y1));
    const __mmask16 any = lanes_lo | lanes_hi;
    const __mmask16 kept_lo = large(pass, new_lo) & any, kept_hi = large(pass, new_hi) & any;
    lo = _mm512_maskz_mov_ps(kept_lo, new_lo);
    hi = _mm512_maskz_mov_ps(kept_hi, new_hi);
    pass.largest = _mm512_max_ps(pass.largest, _mm512_max_ps(_mm512_abs_ps(lo), _mm512_abs_ps(hi)));
    pass.made2 += _mm_popcnt_u32(kept_lo & ~lanes_lo) + _mm_popcnt_u32(kept_hi & ~lanes_hi);
    pass.purged2 += _mm_popcnt_u32(lanes_lo & ~kept_lo) + _mm_popcnt_u32(lanes_hi & ~kept_hi);
    keep_lo = bits(kept_lo);
    keep_hi = bits(kept_hi);
}

// update with the members at indices lo and hi; with SWAP the upper value sits at the lower
// index.
template <bool SWAP>
WIDE [[gnu::always_inline]] inline void update_at(Pass& pass, __m512& lo, __m512& hi,
                                                  unsigned in_lo, unsigned in_hi,
                                                  unsigned& keep_lo, unsigned& keep_hi)
{
    if constexpr (SWAP)
        update(pass, hi, lo, in_hi, in_lo, keep_hi, keep_lo);
    else
        update(pass, lo, hi, in_lo, in_hi, keep_lo, keep_hi);
}

// The bits of eight or sixteen indices from i on (i a multiple of as many).
unsigned bits_at(const uint64_t* bits, int64_t i, int count)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(bits) + (i >> 3);
    return count == 8 ? bytes[0] : bytes[0] | (unsigned{bytes[1]} << 8);
}

void store_bits(uint64_t* bits, int64_t i, unsigned value, int count)
{
    auto* bytes = reinterpret_cast<uint8_t*>(bits) + (i >> 3);
    bytes[0] = static_cast<uint8_t>(value);
    if (count == 16)
        bytes[1] = static_cast<uint8_t>(value >> 8);
}

WIDE [[gnu::always_inline]] inline __m512 load(const Parts* p)
{
    return _mm512_loadu_ps(reinterpret_cast<const float*>(p));
}

WIDE [[gnu::always_inline]] inline void store(Parts* p, __m512 a)
{
    _mm512_storeu_ps(reinterpret_cast<float*>(p), a);
}

// The pairs (i, i + stride) for strides of eight amplitudes and more.
template <bool SWAP>
WIDE void wide_stride(Pass& pass, Parts* amplitude, const uint64_t* present, uint64_t* next,
                      int64_t values, int64_t stride)
{
    for (int64_t base = 0; base < values; base += 2 * stride) {
        for (int64_t i = base; i < base + stride; i += 8) {
            const int64_t j = i + stride;
            const unsigned in_lo = bits_at(present, i, 8), in_hi = bits_at(present, j, 8);
            unsigned keep_lo = 0, keep_hi = 0;
            if ((in_lo | in_hi) != 0) {
                __m512 lo = load(amplitude + i), hi = load(amplitude + j);
                update_at<SWAP>(pass, lo, hi, in_lo, in_hi, keep_lo, keep_hi);
                store(amplitude + i, lo);
                store(amplitude + j, hi);
            }
            store_bits(next, i, keep_lo, 8);
            store_bits(next, j, keep_hi, 8);
        }
    }
}

// Strides of 1, 2 and 4 amplitudes: the pairs lie inside sixteen neighbouring amplitudes,
// which are sorted into the lower and the upper members and back.
struct Sorting {
    __m512i lo, hi, first, second; // float indices into (a, b) and back into (lo, hi)
    unsigned lower;                // the lower members among the sixteen
};

WIDE Sorting sorting(int64_t stride)
{
    int lo[16], hi[16], first[16], second[16];
    int m = 0;
    Sorting s{};
    for (int k = 0; k < 16; k++) {
        if (k & stride)
            continue;
        s.lower |= 1u << k;
        for (int part = 0; part < 2; part++) {
            lo[2 * m + part] = 2 * k + part;
            hi[2 * m + part] = 2 * (k | static_cast<int>(stride)) + part;
        }
        m++;
    }
    // Back: amplitude k is lower member m (lane 2m of lo) or upper member m (of hi).
    int lower_seen = 0, upper_seen = 0;
    for (int k = 0; k < 16; k++) {
        const int from = (k & stride) ? 16 + 2 * upper_seen++ : 2 * lower_seen++;
        int* into = k < 8 ? first : second;
        into[2 * (k % 8)] = from;
        into[2 * (k % 8) + 1] = from + 1;
    }
    s.lo = _mm512_loadu_si512(lo);
    s.hi = _mm512_loadu_si512(hi);
    s.first = _mm512_loadu_si512(first);
    s.second = _mm512_loadu_si512(second);
    return s;
}

template <bool SWAP>
WIDE void small_stride(Pass& pass, Parts* amplitude, const uint64_t* present, uint64_t* next,
                       int64_t values, int64_t stride)
{
    const Sorting s = sorting(stride);
    const unsigned upper = ~s.lower & 0xFFFF;
    for (int64_t i = 0; i < values; i += 16) {
        const unsigned in = bits_at(present, i, 16);
        if (in == 0) {
            store_bits(next, i, 0, 16);
            continue;
        }
        const __m512 a = load(amplitude + i), b = load(amplitude + i + 8);
        __m512 lo = _mm512_permutex2var_ps(a, s.lo, b), hi = _mm512_permutex2var_ps(a, s.hi, b);
        unsigned keep_lo, keep_hi;
        update_at<SWAP>(pass, lo, hi, _pext_u32(in, s.lower), _pext_u32(in, upper), keep_lo,
                        keep_hi);
        store(amplitude + i, _mm512_permutex2var_ps(lo, s.first, hi));
        store(amplitude + i + 8, _mm512_permutex2var_ps(lo, s.second, hi));
        store_bits(next, i, _pdep_u32(keep_lo, s.lower) | _pdep_u32(keep_hi, upper), 16);
    }
}

} // namespace

namespace engine {

namespace {
bool allowed = true;
}

bool wide_vectors()
{
    static const bool available = __builtin_cpu_supports("avx512f") &&
                                  __builtin_cpu_supports("avx512bw") &&
                                  __builtin_cpu_supports("avx512vl") &&
                                  __builtin_cpu_supports("bmi2") &&
                                  __builtin_cpu_supports("popcnt");
    return available && allowed;
}

void allow_wide_vectors(bool allow)
{
    allowed = allow;
}

WIDE GateOutcome hadamard_wide(float limit, Parts* amplitude, const uint64_t* present,
                                 uint64_t* next, int64_t values, uint64_t stride, bool swap)
{
    Pass pass;
    pass.limit = _mm512_set1_ps(limit);
    pass.s = _mm512_set1_ps(HADAMARD_ELEMENT);
    pass.minus_s = _mm512_set1_ps(-HADAMARD_ELEMENT);
    pass.zero = _mm512_set1_ps(0.0f);
    pass.largest = _mm512_setzero_ps();
    const auto step = static_cast<int64_t>(stride);
    if (step < 8 && swap)
        small_stride<true>(pass, amplitude, present, next, values, step);
    else if (step < 8)
        small_stride<false>(pass, amplitude, present, next, values, step);
    else if (swap)
        wide_stride<true>(pass, amplitude, present, next, values, step);
    else
        wide_stride<false>(pass, amplitude, present, next, values, step);
    return {_mm512_reduce_max_ps(pass.largest), pass.made2 / 2, pass.purged2 / 2};
}

// The run of flips on sixteen values: one masked exclusive or per flip and vector.
WIDE [[gnu::always_inline]] inline void flip_both(__m512i& a, __m512i& b, const Flip* flips,
                                                  size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const __m512i mask = _mm512_set1_epi64(static_cast<long long>(flips[i].mask));
        const __m512i flip = _mm512_set1_epi64(static_cast<long long>(flips[i].flip));
        a = _mm512_mask_xor_epi64(a, _mm512_cmpeq_epi64_mask(_mm512_and_si512(a, mask), mask), a,
                                  flip);
        b = _mm512_mask_xor_epi64(b, _mm512_cmpeq_epi64_mask(_mm512_and_si512(b, mask), mask), b,
                                  flip);
    }
}

WIDE void flips_wide(uint64_t* state, int64_t size, const Flip* flips, size_t count)
{
    int64_t k = 0;
    for (; k + 16 <= size; k += 16) {
        __m512i a = _mm512_loadu_si512(state + k), b = _mm512_loadu_si512(state + k + 8);
        flip_both(a, b, flips, count);
        _mm512_storeu_si512(state + k, a);
        _mm512_storeu_si512(state + k + 8, b);
    }
    for (; k < size; k++)
        state[k] = flipped(state[k], flips, count);
}

WIDE void flips_held_wide(const uint32_t* order, int64_t size, const Flip* flips, size_t count,
                          uint64_t offset, uint64_t new_offset, std::vector<Moved>& moved)
{
    const __m512i from = _mm512_set1_epi64(static_cast<long long>(offset));
    const __m512i to = _mm512_set1_epi64(static_cast<long long>(new_offset));
    int64_t k = 0;
    for (; k + 16 <= size; k += 16) {
        const __m512i at_a = _mm512_cvtepu32_epi64(_mm256_loadu_si256(
                          reinterpret_cast<const __m256i*>(order + k))),
                      at_b = _mm512_cvtepu32_epi64(_mm256_loadu_si256(
                          reinterpret_cast<const __m256i*>(order + k + 8)));
        __m512i a = _mm512_xor_si512(at_a, from), b = _mm512_xor_si512(at_b, from);
        flip_both(a, b, flips, count);
        const unsigned odd = _mm512_cmpneq_epi64_mask(_mm512_xor_si512(a, to), at_a) |
                             (_mm512_cmpneq_epi64_mask(_mm512_xor_si512(b, to), at_b) << 8);
        if (odd != 0) [[unlikely]] {
            alignas(64) uint64_t value[16];
            _mm512_store_si512(value, a);
            _mm512_store_si512(value + 8, b);
            for (int l = 0; l < 16; l++)
                if ((odd >> l) & 1)
                    moved.push_back({k + l, value[l]});
        }
    }
    for (; k < size; k++) {
        const uint64_t v = flipped(order[k] ^ offset, flips, count);
        if ((v ^ new_offset) != order[k])
            moved.push_back({k, v});
    }
}

} // namespace engine
