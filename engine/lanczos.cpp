// engine/lanczos.cpp: ground-state solvers (Lanczos, modified Lanczos, imaginary-time
// evolution) and time evolution by diagonalisation, over the register vector algebra.
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <new>
#include <vector>

#include "engine/algebra.h"
#include "engine/error.h"
#include "engine/vector_clones.h"

// LAPACK through its Fortran interface: every argument by reference, string lengths last.
extern "C" {
void dstevd_(const char* jobz, const int* n, double* d, double* e, double* z, const int* ldz,
             double* work, const int* lwork, int* iwork, const int* liwork, int* info,
             size_t jobz_len);
void cheev_(const char* jobz, const char* uplo, const int* n, quantum_amplitude* a,
            const int* lda, float* w, quantum_amplitude* work, const int* lwork, float* rwork,
            int* info, size_t jobz_len, size_t uplo_len);
}


namespace {

const double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

// Bytes accounted per Lanczos step: one register record and two coefficients.
constexpr int64_t LANCZOS_STEP_BYTES = 64;

void report_lapack_status(int info)
{
    if (info < 0)
        quantum_error(QUANTUM_ELAPACKARG);
    else if (info > 0)
        quantum_error(QUANTUM_ELAPACKCONV);
}

quantum_reg_struct copy_of(const quantum_reg_struct& src)
{
    quantum_reg_struct dst;
    register_copy(src, dst);
    return dst;
}

quantum_reg_struct times_h(const quantum_hamiltonian& h, quantum_reg_struct& x)
{
    return apply_hamiltonian(h, 0, x, APPLY_KEEPS_COLUMNS);
}

// H x for the Lanczos recurrence, from the columns or from a streamed product.
using Product = std::function<quantum_reg_struct(quantum_reg_struct& x)>;

double real_dot(quantum_reg_struct& a, quantum_reg_struct& b)
{
    return register_dot_product(a, b).real();
}

// x = x + s * y, with s rounded to single precision as the vectors are.
void add_scaled(quantum_reg_struct& x, quantum_reg_struct& y, double s)
{
    quantum_reg_struct tmp = copy_of(y);
    register_scale(tmp, quantum_amplitude(static_cast<float>(s), 0));
    register_vector_add_inplace(x, tmp);
    register_delete(tmp);
}

// Copies the amplitudes of src into dst position by position (same size).
void copy_amplitudes(quantum_reg_struct& dst, const quantum_reg_struct& src)
{
    const int64_t n = std::min(dst.size, src.size);
    for (int64_t k = 0; k < n; ++k)
        dst.amplitude[k] = src.amplitude[k];
}

// Lowest eigenvalue and its eigenvector of the tridiagonal matrix (alpha, sqrt(beta)).
double tridiagonal_ground(const std::vector<double>& alpha, const std::vector<double>& beta,
                          int order, std::vector<double>& z)
{
    std::vector<double> d(alpha.begin(), alpha.begin() + order);
    std::vector<double> e(static_cast<size_t>(order), 0.0);
    for (int j = 0; j + 1 < order; ++j)
        e[j] = std::sqrt(beta[j]);
    z.assign(static_cast<size_t>(order) * order, 0.0);
    const int lwork = order * order + 4 * order + 1;
    const int liwork = 5 * order + 3;
    std::vector<double> work(static_cast<size_t>(lwork));
    std::vector<int> iwork(static_cast<size_t>(liwork));
    int info = 0;
    dstevd_("V", &order, d.data(), e.data(), z.data(), &order, work.data(), &lwork, iwork.data(),
            &liwork, &info, 1);
    report_lapack_status(info);
    return d[0];
}

// The unnormalised three-term recurrence grows (or shrinks) its vectors by about beta per
// step and leaves single precision after some twenty steps on a 16-spin ring. Each stored
// vector is therefore the true one times 2^scale[j], rescaled whenever its squared length
// leaves [2^-32, 2^32]. Scaling by a power of two is exact in binary floating point while
// nothing overflows or turns subnormal, so:
//  - H u = 2^e H v, and a copy scaled by a single-precision factor is 2^e times the true
//    product; sums of such terms with one common exponent are 2^e times the true sums.
//  - <u, u> = 4^e <v, v> in every partial sum (double products of floats are exact, and
//    both roundings commute with 2^e), so alpha = Re<Hu, u> / <u, u> is the true alpha.
//  - beta(i-1) = n_i / <v(i-1), v(i-1)> comes out times 4^(e_i - e_(i-1)); ldexp takes that
//    off exactly.
//  - The new vector starts at the scale of v(i-1); v(i-2) enters with the single-precision
//    -beta(i-2) times 2^(e_(i-1) - e_(i-2)), which is again exact.
//  - Normalising u gives bit for bit the normalised v, so the Ritz vector sees no scales.
// Where the unscaled arithmetic stays finite (and no vector needs reorthogonalising, below),
// energy and amplitudes are bit-identical to it.
constexpr double RITZ_LENGTH_TOLERANCE = 1e-3;
constexpr double SQUARED_LENGTH_HIGH = 0x1p32;
constexpr double SQUARED_LENGTH_LOW = 0x1p-32;

// Exponent k such that 2^-k brings a squared length n back near 1; 0 while n is in range.
int rescale_exponent(double n)
{
    if (!std::isfinite(n) || !(n > 0) || (n <= SQUARED_LENGTH_HIGH && n >= SQUARED_LENGTH_LOW))
        return 0;
    int exponent = 0;
    std::frexp(n, &exponent);
    return exponent / 2;
}

// Every amplitude times 2^-k, exactly and with the signs of zeros kept. A product with a
// power of two rounds as ldexp does, so a factor that single precision holds is used.
void scale_by_power_of_two(quantum_reg_struct& reg, int k)
{
    if (k > -FLT_MAX_EXP && k < FLT_MAX_EXP - 2) {
        const float factor = std::ldexp(1.0f, -k);
        for (int64_t j = 0; j < reg.size; ++j)
            reg.amplitude[j] = {reg.amplitude[j].real() * factor,
                                reg.amplitude[j].imag() * factor};
        return;
    }
    for (int64_t j = 0; j < reg.size; ++j)
        reg.amplitude[j] = {std::ldexp(reg.amplitude[j].real(), -k),
                            std::ldexp(reg.amplitude[j].imag(), -k)};
}

// Without reorthogonalisation, single-precision Lanczos vectors lose their orthogonality
// once the lowest Ritz value has converged; copies of it then keep appearing, and the
// lowest value creeps by 1e-10 to 1e-6 per step for thousands of steps (and at last well
// below the true ground energy) instead of settling within 1e-12. The loss is therefore
// estimated as it grows (Simon's recurrence for omega(i, k) = <q_i, q_k> of the normalised
// vectors), and once it passes the square root of single precision the newest vector and
// the one after it are orthogonalised against all earlier ones. A run whose vectors stay
// semi-orthogonal takes the plain recurrence unchanged.
constexpr double SINGLE_EPSILON = 0x1p-24;
const double SEMI_ORTHOGONAL = std::sqrt(SINGLE_EPSILON);

// <b, x> in double, over eight partial sums so that the pass runs at the speed of memory.
constexpr int64_t DOT_LANES = 8;

struct DotLanes {
    double re[DOT_LANES] = {};
    double im[DOT_LANES] = {};
};

// Adds the terms of positions [from, to) of <b, x> to the partial sums: whole groups of
// eight lane by lane, then what is left (only at the end of a vector) to the first lane.
[[gnu::always_inline]] inline void add_dot_terms(const float* bf, const float* xf, int64_t from,
                                                 int64_t to, DotLanes& sums)
{
    auto term = [&](int64_t j, int64_t lane) {
        const double br = bf[2 * j], bi = bf[2 * j + 1];
        const double xr = xf[2 * j], xi = xf[2 * j + 1];
        sums.re[lane] += br * xr + bi * xi;
        sums.im[lane] += br * xi - bi * xr;
    };
    int64_t k = from;
    for (; k + DOT_LANES <= to; k += DOT_LANES)
        for (int64_t lane = 0; lane < DOT_LANES; ++lane)
            term(k + lane, lane);
    for (; k < to; ++k)
        term(k, 0);
}

std::complex<double> lane_total(const DotLanes& sums)
{
    double sum_re = 0, sum_im = 0;
    for (int64_t lane = 0; lane < DOT_LANES; ++lane) {
        sum_re += sums.re[lane];
        sum_im += sums.im[lane];
    }
    return {sum_re, sum_im};
}

const float* parts(const quantum_reg_struct& r)
{
    return reinterpret_cast<const float*>(r.amplitude);
}

VECTOR_CLONES std::complex<double> dot_in_double(const quantum_reg_struct& b,
                                                const quantum_reg_struct& x)
{
    DotLanes sums;
    add_dot_terms(parts(b), parts(x), 0, std::min(b.size, x.size), sums);
    return lane_total(sums);
}

// <basis[j], x> for every j < count, each exactly as dot_in_double gives it, in one pass
// over x: block by block, so that x is read once instead of once per basis vector.
VECTOR_CLONES std::vector<std::complex<double>>
dots_in_double(const std::vector<quantum_reg_struct>& basis, size_t count,
               const quantum_reg_struct& x)
{
    // A multiple of the lanes, so that only a vector's end leaves a group unfilled.
    constexpr int64_t BLOCK = 256 * DOT_LANES;
    std::vector<DotLanes> sums(count);
    for (int64_t k0 = 0; k0 < x.size; k0 += BLOCK) {
        for (size_t j = 0; j < count; ++j) {
            const int64_t n = std::min(basis[j].size, x.size);
            const int64_t whole = n - n % DOT_LANES;
            if (k0 < whole)
                add_dot_terms(parts(basis[j]), parts(x), k0, std::min(k0 + BLOCK, whole), sums[j]);
        }
    }
    std::vector<std::complex<double>> dots(count);
    for (size_t j = 0; j < count; ++j) {
        const int64_t n = std::min(basis[j].size, x.size);
        add_dot_terms(parts(basis[j]), parts(x), n - n % DOT_LANES, n, sums[j]);
        dots[j] = lane_total(sums[j]);
    }
    return dots;
}

double squared_length(const quantum_reg_struct& x)
{
    return dot_in_double(x, x).real();
}

// Two registers that line up position by position without lookups: dense, no basis-value
// arrays, one size.
bool aligned(const quantum_reg_struct& a, const quantum_reg_struct& b)
{
    return a.hashw == 0 && b.hashw == 0 && !a.state && !b.state && a.size == b.size &&
           a.amplitude && b.amplitude;
}

// Re<v, v> and Re<w, v> as register_dot_product forms them (products in double, each sum
// rounded to single after every addition), and <v, v> in double: one pass for three.
// Packed real vectors sum all three in double.
struct StepDots {
    double vv = 0;
    double wv = 0;
    double vv_double = 0;
};

StepDots step_dots(quantum_reg_struct& v, quantum_reg_struct& w, bool packed_real)
{
    if (packed_real) {
        double vv = 0, wv = 0;
        const float* vf = parts(v);
        const float* wf = parts(w);
        for (int64_t k = 0; k < 2 * v.size; ++k) {
            vv += static_cast<double>(vf[k]) * vf[k];
            wv += static_cast<double>(wf[k]) * vf[k];
        }
        return {vv, wv, vv};
    }
    if (!aligned(v, w))
        return {real_dot(v, v), real_dot(w, v), squared_length(v)};
    float vv = 0, wv = 0;
    double d = 0;
    for (int64_t k = 0; k < v.size; ++k) {
        const double vr = v.amplitude[k].real(), vi = v.amplitude[k].imag();
        const double wr = w.amplitude[k].real(), wi = w.amplitude[k].imag();
        vv = static_cast<float>(static_cast<double>(vv) + (vr * vr - (-vi) * vi));
        wv = static_cast<float>(static_cast<double>(wv) + (wr * vr - (-wi) * vi));
        d += vr * vr + vi * vi;
    }
    return {vv, wv, d};
}

// x scaled by s1, plus w, plus y scaled by s2 (both factors rounded to single): the
// three-term recurrence in one pass, rounded as the separate scale and add steps round.
quantum_reg_struct recurrence(const quantum_reg_struct& x, double s1, quantum_reg_struct& w,
                              quantum_reg_struct& y, double s2)
{
    quantum_reg_struct next = copy_of(x);
    const quantum_amplitude r1(static_cast<float>(s1), 0), r2(static_cast<float>(s2), 0);
    if (!aligned(next, w) || !aligned(next, y)) {
        register_scale(next, r1);
        register_vector_add_inplace(next, w);
        add_scaled(next, y, s2);
        return next;
    }
    for (int64_t k = 0; k < next.size; ++k)
        next.amplitude[k] = quantum_cmul(next.amplitude[k], r1) + w.amplitude[k] +
                            quantum_cmul(y.amplitude[k], r2);
    return next;
}

// x + sum over j < count of c[j] basis[j], position by position: the terms are summed in
// double in the order of j, block by block so that each vector is read once, and rounded
// once. A null x starts from zero.
VECTOR_CLONES void add_combination(quantum_reg_struct& out, const quantum_reg_struct* x,
                     const std::vector<quantum_reg_struct>& basis,
                     const std::vector<std::complex<double>>& c, size_t count)
{
    constexpr int64_t BLOCK = 1024;
    std::vector<double> re(BLOCK), im(BLOCK);
    for (int64_t k0 = 0; k0 < out.size; k0 += BLOCK) {
        const int64_t len = std::min(BLOCK, out.size - k0);
        for (int64_t k = 0; k < len; ++k) {
            re[k] = x && k0 + k < x->size ? x->amplitude[k0 + k].real() : 0.0;
            im[k] = x && k0 + k < x->size ? x->amplitude[k0 + k].imag() : 0.0;
        }
        for (size_t j = 0; j < count; ++j) {
            const quantum_amplitude* a = basis[j].amplitude + k0;
            const double cr = c[j].real(), ci = c[j].imag();
            const int64_t jlen = std::min(len, basis[j].size - k0);
            for (int64_t k = 0; k < jlen; ++k) {
                const double ar = a[k].real(), ai = a[k].imag();
                re[k] += cr * ar - ci * ai;
                im[k] += cr * ai + ci * ar;
            }
        }
        for (int64_t k = 0; k < len; ++k)
            out.amplitude[k0 + k] = {static_cast<float>(re[k]), static_cast<float>(im[k])};
    }
}

// How the solver's registers stand for the problem's vectors.
struct Shape {
    // Entries of the problem's vectors, which bounds the number of Lanczos vectors.
    int64_t size = 0;
    // Each amplitude packs two real entries of a real problem: only real parts of inner
    // products mean anything (the real part of a complex product is the packed real one).
    bool packed_real = false;
};

// The two passes above for packed real vectors, on their floats: half the arithmetic.
VECTOR_CLONES std::vector<double> packed_dots(const std::vector<quantum_reg_struct>& basis,
                                              size_t count, const quantum_reg_struct& x)
{
    constexpr int64_t BLOCK = 512 * DOT_LANES;
    const int64_t n = 2 * x.size;
    const int64_t whole = n - n % DOT_LANES;
    std::vector<std::array<double, DOT_LANES>> sums(count);
    for (int64_t k0 = 0; k0 < whole; k0 += BLOCK) {
        const int64_t end = std::min(k0 + BLOCK, whole);
        for (size_t j = 0; j < count; ++j) {
            const float* b = parts(basis[j]);
            const float* xf = parts(x);
            auto& lanes = sums[j];
            for (int64_t k = k0; k < end; k += DOT_LANES)
                for (int64_t lane = 0; lane < DOT_LANES; ++lane)
                    lanes[lane] += static_cast<double>(b[k + lane]) * xf[k + lane];
        }
    }
    std::vector<double> dots(count);
    for (size_t j = 0; j < count; ++j) {
        for (int64_t k = whole; k < n; ++k)
            sums[j][0] += static_cast<double>(parts(basis[j])[k]) * parts(x)[k];
        for (const double lane : sums[j])
            dots[j] += lane;
    }
    return dots;
}

VECTOR_CLONES void add_packed_combination(quantum_reg_struct& out, const quantum_reg_struct* x,
                                          const std::vector<quantum_reg_struct>& basis,
                                          const std::vector<double>& c, size_t count)
{
    constexpr int64_t BLOCK = 2048;
    const int64_t n = 2 * out.size;
    auto* outf = reinterpret_cast<float*>(out.amplitude);
    std::vector<double> sum(BLOCK);
    for (int64_t k0 = 0; k0 < n; k0 += BLOCK) {
        const int64_t len = std::min(BLOCK, n - k0);
        for (int64_t k = 0; k < len; ++k)
            sum[k] = x ? parts(*x)[k0 + k] : 0.0;
        for (size_t j = 0; j < count; ++j) {
            const float* a = parts(basis[j]) + k0;
            const double cj = c[j];
            for (int64_t k = 0; k < len; ++k)
                sum[k] += cj * a[k];
        }
        for (int64_t k = 0; k < len; ++k)
            outf[k0 + k] = static_cast<float>(sum[k]);
    }
}

// x minus its projections on basis[0 .. count-1] (classical Gram-Schmidt in double).
// length2[j] is the squared length of basis[j].
void orthogonalise(quantum_reg_struct& x, const std::vector<quantum_reg_struct>& basis,
                   const std::vector<double>& length2, size_t count, const Shape& shape)
{
    if (shape.packed_real) {
        std::vector<double> c = packed_dots(basis, count, x);
        for (size_t j = 0; j < count; ++j)
            c[j] = length2[j] > 0 ? -c[j] / length2[j] : 0.0;
        add_packed_combination(x, &x, basis, c, count);
        return;
    }
    std::vector<std::complex<double>> c = dots_in_double(basis, count, x);
    for (size_t j = 0; j < count; ++j)
        c[j] = length2[j] > 0 ? -c[j] / length2[j] : 0.0;
    add_combination(x, &x, basis, c, count);
}

// The estimates omega(i, k), k < i, for the newest normalised vector q_i from those of q_(i-1)
// and q_(i-2), the recurrence's alpha_k and b_k = sqrt(beta(k-1)), and b_i. omega(i, i) = 1 is
// implied; the rounding of each step enters as eps (b_(k+1) + b_i) / b_i.
std::vector<double> next_omega(const std::vector<double>& last, const std::vector<double>& before,
                               const std::vector<double>& alpha, const std::vector<double>& beta,
                               size_t i, double b_i, double eps1)
{
    auto b = [&](size_t k) { return k == 0 ? 0.0 : std::sqrt(beta[k - 1]); };
    // last: omega(i-1, k) for k < i-1; before: omega(i-2, k) for k < i-2.
    auto w_last = [&](size_t k) { return k + 1 == i ? 1.0 : last[k]; };
    auto w_before = [&](size_t k) { return k + 2 == i ? 1.0 : before[k]; };
    std::vector<double> omega(i, 0.0);
    for (size_t k = 0; k + 1 < i; ++k) {
        double t = b(k + 1) * w_last(k + 1) + (alpha[k] - alpha[i - 1]) * w_last(k) -
                   b(i - 1) * w_before(k);
        if (k > 0)
            t += b(k) * w_last(k - 1);
        t /= b_i;
        t += std::copysign(SINGLE_EPSILON * (b(k + 1) + b_i) / b_i, t);
        omega[k] = t;
    }
    omega[i - 1] = eps1;
    return omega;
}

double lanczos(quantum_reg_struct& psi, const Product& times_h, double epsilon,
               const Shape& shape)
{
    const int64_t size = shape.size;
    if (size <= 0) {
        quantum_error(QUANTUM_ENOCONVERGE);
        return NOT_A_NUMBER;
    }
    std::vector<quantum_reg_struct> v;
    std::vector<int> scale; // stored v[j] = 2^scale[j] * true v[j]
    std::vector<double> alpha, beta;

    v.push_back(copy_of(psi));
    scale.push_back(0);
    register_normalize(v[0]);
    quantum_reg_struct w = times_h(v[0]);
    // Packed real vectors sum their inner products in double: their sums already differ
    // from the complex ones, and double sums keep the ground state's moments near 1e-5.
    auto inner = [&shape](quantum_reg_struct& a, quantum_reg_struct& b) {
        return shape.packed_real ? dot_in_double(a, b).real() : real_dot(a, b);
    };
    alpha.push_back(inner(w, v[0]));
    if (size == 1) {
        // A single entry is its own eigenvector; there is no second vector to build.
        copy_amplitudes(psi, v[0]);
        register_delete(w);
        register_delete(v[0]);
        return alpha[0];
    }

    // Finishes v[i] (built at the scale of v[i-1]): w = H v[i], alpha_i, beta(i-1), and the
    // rescaling. False when v[i] vanished: the Krylov space of i vectors is invariant.
    // <v[j], v[j]> of the stored vectors, as register_dot_product gives it (its imaginary
    // part is exactly 0), or in double for packed vectors. A rescaled vector's is the
    // finishing n times 4^-k, exactly.
    std::vector<double> stored_n = {inner(v[0], v[0])};
    std::vector<double> length2;
    auto finish = [&](size_t i) {
        quantum_reg_struct& vi = v[i];
        w = times_h(vi);
        const StepDots dots = step_dots(vi, w, shape.packed_real);
        double n = dots.vv;
        if (n == 0)
            return false;
        alpha.push_back(dots.wv / n);
        const int k = rescale_exponent(n);
        if (k != 0) {
            scale_by_power_of_two(vi, k);
            scale_by_power_of_two(w, k);
            n = std::ldexp(n, -2 * k);
        }
        scale[i] = scale[i - 1] - k;
        const std::complex<double> previous(stored_n[i - 1], 0.0);
        const double b = (std::complex<double>(n) / previous).real();
        beta.push_back(std::ldexp(b, -2 * (scale[i] - scale[i - 1])));
        stored_n.push_back(n);
        length2.push_back(std::ldexp(dots.vv_double, -2 * k));
        return true;
    };

    // Pass: the second vector, v1 = H v0 - alpha0 v0.
    v.push_back(copy_of(v[0]));
    scale.push_back(0);
    register_scale(v[1], quantum_amplitude(static_cast<float>(-alpha[0]), 0));
    register_vector_add_inplace(v[1], w);
    register_delete(w);
    int64_t i = 2;
    double energy = alpha[0];
    std::vector<double> z(1, 1.0);
    bool exhausted = !finish(1);
    if (exhausted) {
        // v0 is an eigenvector: alpha0 is exact with one vector.
        i = 1;
    }
    length2.insert(length2.begin(), squared_length(v[0]));
    const double eps1 = SINGLE_EPSILON * std::sqrt(static_cast<double>(size)) / 2;
    std::vector<double> omega_before;
    std::vector<double> omega_last = {eps1}; // omega(1, 0)
    bool orthogonalise_next = false;

    // Pass: grow the Krylov space until the lowest Ritz value settles.
    double previous_energy = DBL_MAX;
    int64_t grown = 0; // steps accounted, one per vector beyond the second
    while (!exhausted && i < size) {
        energy = tridiagonal_ground(alpha, beta, static_cast<int>(i), z);
        if (epsilon > std::fabs(energy - previous_energy))
            break;
        previous_energy = energy;
        memory_account(LANCZOS_STEP_BYTES);
        ++grown;
        const auto last = static_cast<size_t>(i - 1);
        const float b = std::ldexp(static_cast<float>(beta[last - 1]),
                                   scale[last] - scale[last - 1]);
        quantum_reg_struct next = recurrence(v[last], -alpha[last], w, v[last - 1], -b);
        register_delete(w);
        // next is at the scale of v[last], so the ratio of their lengths is b_i.
        const auto count = static_cast<size_t>(i);
        const double b_i = std::sqrt(squared_length(next) / length2[last]);
        std::vector<double> omega;
        if (b_i > 0 && std::isfinite(b_i)) {
            omega = next_omega(omega_last, omega_before, alpha, beta, count, b_i, eps1);
            const bool lost = std::any_of(omega.begin(), omega.end(),
                                          [](double o) { return std::fabs(o) > SEMI_ORTHOGONAL; });
            if (lost || orthogonalise_next) {
                orthogonalise(next, v, length2, count, shape);
                std::fill(omega.begin(), omega.end(), eps1);
            }
            orthogonalise_next = lost;
        } else {
            omega.assign(count, eps1);
        }
        omega_before = std::move(omega_last);
        omega_last = std::move(omega);
        v.push_back(next);
        scale.push_back(0);
        if (!finish(count)) {
            // The residual vanished: the Ritz value of these i vectors is exact.
            exhausted = true;
            break;
        }
        ++i;
    }

    // The count of vectors may not reach the register's size, even for an exhausted space.
    const bool converged = i < size;
    if (converged) {
        // Pass: the Ritz vector from the normalised Lanczos vectors.
        for (int64_t j = 0; j < i; ++j)
            register_normalize(v[j]);
        if (shape.packed_real) {
            add_packed_combination(psi, nullptr, v, z, static_cast<size_t>(i));
        } else {
            std::vector<std::complex<double>> coefficients(z.begin(), z.begin() + i);
            add_combination(psi, nullptr, v, coefficients, static_cast<size_t>(i));
        }
        // Vectors that are only semi-orthogonal can leave the Ritz vector's length off 1
        // although it points the right way; its callers read probabilities from it. A vector
        // that is already of unit length is left bit for bit as it is.
        const double length = register_dot_product(psi, psi).real();
        if (std::fabs(length - 1) > RITZ_LENGTH_TOLERANCE)
            register_normalize(psi);
    }
    if (w.amplitude)
        register_delete(w);
    for (auto& r : v)
        register_delete(r);
    memory_account(-LANCZOS_STEP_BYTES * grown);
    if (!converged) {
        quantum_error(QUANTUM_ENOCONVERGE);
        return NOT_A_NUMBER;
    }
    return energy;
}

// Two-vector iteration: the best state in span{psi, H psi} replaces psi, until its energy
// settles. Works on a copy, so a failed run leaves psi as it was.
double modified_lanczos(quantum_reg_struct& psi, const quantum_hamiltonian& h, double epsilon)
{
    const int64_t size = psi.size;
    quantum_reg_struct x = copy_of(psi);
    double previous = DBL_MAX;
    double energy = NOT_A_NUMBER;
    bool converged = false;
    for (int64_t iter = 0; iter < size; ++iter) {
        register_normalize(x);
        quantum_reg_struct hx = times_h(h, x);
        const double e = real_dot(hx, x);
        // phi = (H x - e x) / b, orthogonal to x; b^2 its squared length.
        add_scaled(hx, x, -e);
        const double b2 = real_dot(hx, hx);
        if (!(b2 > 0)) {
            // x is an eigenvector to working precision.
            register_delete(hx);
            energy = e;
            converged = true;
            break;
        }
        const double b = std::sqrt(b2);
        register_scale(hx, quantum_amplitude(static_cast<float>(1.0 / b), 0));
        quantum_reg_struct hphi = times_h(h, hx);
        const double g = real_dot(hphi, hx);
        register_delete(hphi);
        // Lowest eigenpair of [[e, b], [b, g]] in closed form.
        const double mean = 0.5 * (e + g);
        const double half = 0.5 * (e - g);
        const double lambda = mean - std::sqrt(half * half + b2);
        double c1 = b, c2 = lambda - e;
        const double len = std::sqrt(c1 * c1 + c2 * c2);
        c1 /= len;
        c2 /= len;
        register_scale(x, quantum_amplitude(static_cast<float>(c1), 0));
        add_scaled(x, hx, c2);
        register_delete(hx);
        energy = lambda;
        if (epsilon > std::fabs(lambda - previous)) {
            converged = true;
            break;
        }
        previous = lambda;
    }
    if (converged) {
        register_normalize(x);
        copy_amplitudes(psi, x);
    }
    register_delete(x);
    if (!converged) {
        quantum_error(QUANTUM_ENOCONVERGE);
        return NOT_A_NUMBER;
    }
    return energy;
}

// One classical fourth-order Runge-Kutta step of d psi / d tau = -H psi, as a new register.
quantum_reg_struct rk4_step(const quantum_hamiltonian& h, quantum_reg_struct& x, double dt)
{
    quantum_reg_struct k1 = times_h(h, x);
    quantum_reg_struct y = copy_of(x);
    add_scaled(y, k1, -0.5 * dt);
    quantum_reg_struct k2 = times_h(h, y);
    register_delete(y);
    y = copy_of(x);
    add_scaled(y, k2, -0.5 * dt);
    quantum_reg_struct k3 = times_h(h, y);
    register_delete(y);
    y = copy_of(x);
    add_scaled(y, k3, -dt);
    quantum_reg_struct k4 = times_h(h, y);
    register_delete(y);

    quantum_reg_struct out = copy_of(x);
    add_scaled(out, k1, -dt / 6);
    add_scaled(out, k2, -dt / 3);
    add_scaled(out, k3, -dt / 3);
    add_scaled(out, k4, -dt / 6);
    register_delete(k1);
    register_delete(k2);
    register_delete(k3);
    register_delete(k4);
    return out;
}

// Length of a - b over their common positions.
double distance(const quantum_reg_struct& a, const quantum_reg_struct& b)
{
    double s = 0;
    const int64_t n = std::min(a.size, b.size);
    for (int64_t k = 0; k < n; ++k) {
        const double dr = static_cast<double>(a.amplitude[k].real()) - b.amplitude[k].real();
        const double di = static_cast<double>(a.amplitude[k].imag()) - b.amplitude[k].imag();
        s += dr * dr + di * di;
    }
    return std::sqrt(s);
}

// Imaginary-time evolution. A positive step is used as it is; otherwise each step is
// checked against two half steps and resized by 0.9 (tol/err)^0.2 after an accepted step or
// 0.9 (tol/err)^0.25 after a rejected one, within a quarter and four times the old step.
// Single-precision vectors carry rounding noise near 1e-6 in every step, which would pass
// for truncation error and pin the step; the step tolerance is epsilon but at least 1e-4.
double imaginary_time(quantum_reg_struct& psi, const quantum_hamiltonian& h, double epsilon,
                      double step)
{
    constexpr double DEFAULT_FIRST_STEP = 0.1;
    constexpr double FINEST_STEP_ERROR = 1e-4;
    const bool adaptive = !(step > 0);
    double dt = adaptive ? (step < 0 ? -step : DEFAULT_FIRST_STEP) : step;
    const double tolerance = std::max(epsilon, FINEST_STEP_ERROR);

    const int64_t size = psi.size;
    quantum_reg_struct x = copy_of(psi);
    register_normalize(x);
    double previous = DBL_MAX;
    double energy = NOT_A_NUMBER;
    bool converged = false;
    for (int64_t iter = 0; iter < size; ++iter) {
        quantum_reg_struct next = rk4_step(h, x, dt);
        if (adaptive) {
            quantum_reg_struct half = rk4_step(h, x, dt / 2);
            quantum_reg_struct two_halves = rk4_step(h, half, dt / 2);
            register_delete(half);
            const double err = distance(next, two_halves);
            register_delete(next);
            next = two_halves;
            const bool accepted = err <= tolerance;
            double factor = 4;
            if (err > 0)
                factor = 0.9 * std::pow(tolerance / err, accepted ? 0.2 : 0.25);
            dt *= std::clamp(factor, 0.25, 4.0);
            if (!accepted) {
                register_delete(next);
                continue;
            }
        }
        register_delete(x);
        x = next;
        register_normalize(x);
        quantum_reg_struct hx = times_h(h, x);
        energy = real_dot(hx, x);
        register_delete(hx);
        if (epsilon > std::fabs(energy - previous)) {
            converged = true;
            break;
        }
        previous = energy;
    }
    if (converged)
        copy_amplitudes(psi, x);
    register_delete(x);
    if (!converged) {
        quantum_error(QUANTUM_ENOCONVERGE);
        return NOT_A_NUMBER;
    }
    return energy;
}

// The decomposition kept between calls of diagonal_time_evolution: it is redone only when
// the matrix (not merely the register size) differs from the one it was made for.
struct Eigenbasis {
    int64_t dim = -1;
    std::vector<quantum_amplitude> source; // the matrix it was made from, row-major
    std::vector<float> energies;
    quantum_matrix_struct vectors;         // column j: eigenvector j
    quantum_matrix_struct adjoint;         // its conjugate transpose
};

Eigenbasis eigenbasis;

bool same_matrix(const Eigenbasis& e, const quantum_matrix_struct& h)
{
    const auto n = static_cast<size_t>(h.rows * h.cols);
    return e.dim == h.rows && e.source.size() == n &&
           std::equal(e.source.begin(), e.source.end(), h.t);
}

void diagonalise(const quantum_matrix_struct& h)
{
    const int n = static_cast<int>(h.rows);
    bool hermitian = true;
    for (int i = 0; i < n && hermitian; ++i) {
        for (int j = 0; j < n && hermitian; ++j)
            hermitian = std::abs(matrix_at(h, i, j) - std::conj(matrix_at(h, j, i))) <= 1e-6f;
    }
    if (!hermitian)
        quantum_error(QUANTUM_EHERMITIAN);

    // LAPACK stores columns contiguously; our matrices store rows.
    std::vector<quantum_amplitude> a(static_cast<size_t>(n) * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            a[static_cast<size_t>(i) + static_cast<size_t>(j) * n] = matrix_at(h, i, j);
    std::vector<float> w(static_cast<size_t>(n));
    std::vector<float> rwork(static_cast<size_t>(std::max(1, 3 * n - 2)));
    int info = 0;
    int lwork = -1;
    quantum_amplitude query;
    cheev_("V", "U", &n, a.data(), &n, w.data(), &query, &lwork, rwork.data(), &info, 1, 1);
    report_lapack_status(info);
    lwork = std::max(1, static_cast<int>(query.real()));
    std::vector<quantum_amplitude> work(static_cast<size_t>(lwork));
    cheev_("V", "U", &n, a.data(), &n, w.data(), work.data(), &lwork, rwork.data(), &info, 1, 1);
    report_lapack_status(info);

    matrix_delete(eigenbasis.vectors);
    matrix_delete(eigenbasis.adjoint);
    eigenbasis.vectors = matrix_new(n, n);
    eigenbasis.adjoint = matrix_new(n, n);
    if (!eigenbasis.vectors.t || !eigenbasis.adjoint.t) {
        eigenbasis.dim = -1;
        return;
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            matrix_at(eigenbasis.vectors, i, j) = a[static_cast<size_t>(i) + static_cast<size_t>(j) * n];
            matrix_at(eigenbasis.adjoint, i, j) = a[static_cast<size_t>(i) + static_cast<size_t>(j) * n];
        }
    }
    // matrix_adjoint keeps the diagonal as it is, being meant for Hermitian matrices; an
    // eigenvector matrix has complex diagonal elements, so those are conjugated here.
    matrix_adjoint(eigenbasis.adjoint);
    for (int i = 0; i < n; ++i)
        matrix_at(eigenbasis.adjoint, i, i) = std::conj(matrix_at(eigenbasis.adjoint, i, i));
    eigenbasis.energies = w;
    eigenbasis.source.assign(h.t, h.t + static_cast<size_t>(n) * n);
    eigenbasis.dim = n;
}

} // namespace

double ground_state(quantum_reg_struct& reg, const quantum_hamiltonian& h, int32_t solver,
                    double epsilon, double step)
{
    // The solvers keep their Krylov bases and LAPACK workspaces in vectors; a failed
    // allocation is an error code like any other, never an exception for the caller.
    try {
        switch (solver) {
        case SOLVER_LANCZOS:
            return lanczos(reg, [&h](quantum_reg_struct& x) { return times_h(h, x); },
                           epsilon, {reg.size});
        case SOLVER_MODIFIED_LANCZOS:
            return modified_lanczos(reg, h, epsilon);
        case SOLVER_IMAGINARY_TIME:
            return imaginary_time(reg, h, epsilon, step);
        default:
            // The code has no message of its own; the reporter prints "unknown error code".
            quantum_error(8);
            return NOT_A_NUMBER;
        }
    } catch (const std::bad_alloc&) {
        quantum_error(QUANTUM_ENOMEM);
        return NOT_A_NUMBER;
    }
}

double ground_state_streamed(quantum_reg_struct& reg, const quantum_hamiltonian_product& h,
                             double epsilon)
{
    try {
        return lanczos(reg,
                       [&h](quantum_reg_struct& x) { return apply_hamiltonian_product(h, x); },
                       epsilon, {reg.size});
    } catch (const std::bad_alloc&) {
        quantum_error(QUANTUM_ENOMEM);
        return NOT_A_NUMBER;
    }
}

double ground_state_real(quantum_reg_struct& reg, const quantum_real_product& h, double epsilon)
{
    const bool real = reg.amplitude && reg.size > 0 && reg.size % 2 == 0 && !reg.state &&
                      std::all_of(reg.amplitude, reg.amplitude + reg.size,
                                  [](quantum_amplitude a) { return a.imag() == 0; });
    if (!real) {
        // H is real: its product with a complex vector is that of the two parts.
        auto by_parts = [&h](const quantum_amplitude* in, quantum_amplitude* out, int64_t n) {
            std::vector<float> re(n), im(n), h_re(n), h_im(n);
            for (int64_t k = 0; k < n; ++k) {
                re[k] = in[k].real();
                im[k] = in[k].imag();
            }
            h(re.data(), h_re.data(), n);
            h(im.data(), h_im.data(), n);
            for (int64_t k = 0; k < n; ++k)
                out[k] = {h_re[k], h_im[k]};
        };
        return ground_state_streamed(reg, by_parts, epsilon);
    }
    // A real vector stays real under a real H: two entries per amplitude halve the work.
    quantum_reg_struct packed = register_new_dense(reg.size / 2, reg.width);
    if (!packed.amplitude)
        return NOT_A_NUMBER;
    for (int64_t k = 0; k < packed.size; ++k)
        packed.amplitude[k] = {reg.amplitude[2 * k].real(), reg.amplitude[2 * k + 1].real()};
    auto real_product = [&h](const quantum_amplitude* in, quantum_amplitude* out, int64_t n) {
        h(reinterpret_cast<const float*>(in), reinterpret_cast<float*>(out), 2 * n);
    };
    double energy = NOT_A_NUMBER;
    try {
        energy = lanczos(packed,
                         [&real_product](quantum_reg_struct& x) {
                             return apply_hamiltonian_product(real_product, x);
                         },
                         epsilon, {reg.size, true});
    } catch (const std::bad_alloc&) {
        quantum_error(QUANTUM_ENOMEM);
    }
    // A failed solve leaves reg as it was.
    if (!std::isnan(energy)) {
        for (int64_t k = 0; k < packed.size; ++k) {
            reg.amplitude[2 * k] = {packed.amplitude[k].real(), 0.0f};
            reg.amplitude[2 * k + 1] = {packed.amplitude[k].imag(), 0.0f};
        }
    }
    register_delete(packed);
    return energy;
}

void diagonal_time_evolution(double t, quantum_reg_struct& reg, const quantum_matrix_struct& h)
{
    if (h.rows != h.cols || h.rows != reg.size || !h.t || h.rows <= 0 ||
        h.rows > std::numeric_limits<int>::max()) {
        quantum_error(QUANTUM_EMSIZE);
        return;
    }
    if (!same_matrix(eigenbasis, h)) {
        try {
            diagonalise(h);
        } catch (const std::bad_alloc&) {
            // The vectors are made only after the workspaces, so none is lost here.
            eigenbasis.dim = -1;
            quantum_error(QUANTUM_ENOMEM);
            return;
        }
    }
    if (eigenbasis.dim != h.rows)
        return;

    quantum_reg_struct c = copy_of(reg);
    matrix_vector_mul(c, reg, eigenbasis.adjoint);
    for (int64_t j = 0; j < c.size; ++j) {
        const auto phase = static_cast<float>(-static_cast<double>(eigenbasis.energies[j]) * t);
        c.amplitude[j] = quantum_cmul(c.amplitude[j], quantum_cexp(phase));
    }
    matrix_vector_mul(reg, c, eigenbasis.vectors);
    register_delete(c);
}
