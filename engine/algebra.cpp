// engine/algebra.cpp: register vector algebra, Hamiltonian application and density operators.
#include "engine/algebra.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "engine/entries.h"
#include "engine/error.h"
#include "engine/measure.h"

namespace {

// One density component costs its probability (4 bytes) and its register record (48 bytes).
constexpr int64_t DENSITY_COMPONENT_BYTES = 52;

// Whether reg looks its basis values up in a table; otherwise it is dense.
bool has_table(const quantum_reg_struct& reg)
{
    return reg.hashw != 0 && reg.hash != nullptr;
}

uint64_t basis_value_at(const quantum_reg_struct& reg, int64_t position)
{
    return reg.state ? reg.state[position] : static_cast<uint64_t>(position);
}

// Position of v in reg, or -1. Without a table the register is dense: v is its own
// position, as long as it lies within the stored entries. Needs a current table.
int64_t find_position(uint64_t v, const quantum_reg_struct& reg)
{
    if (has_table(reg))
        return state_lookup(v, reg);
    return v < static_cast<uint64_t>(reg.size) ? static_cast<int64_t>(v) : -1;
}

void rebuild_table(quantum_reg_struct& reg)
{
    if (has_table(reg))
        hash_rebuild(reg);
}

// target += b. Entries of b that target lacks are appended and entered into its table, so
// that the table stays current for the rest of the pass. A dense target cannot hold values
// beyond its entries: those are dropped and reported once.
void add_into(quantum_reg_struct& target, const quantum_reg_struct& b)
{
    rebuild_table(target);
    int64_t missing = 0;
    for (int64_t j = 0; j < b.size; ++j) {
        if (find_position(basis_value_at(b, j), target) < 0)
            ++missing;
    }
    if (missing > 0 && !target.state) {
        quantum_error(QUANTUM_FAILURE);
        missing = 0;
    }
    const int64_t old_size = target.size;
    if (!engine::entries_resize(target, old_size + missing))
        return;
    int64_t next = old_size;
    const bool tabled = has_table(target);
    for (int64_t j = 0; j < b.size; ++j) {
        const uint64_t v = basis_value_at(b, j);
        // Before the appended entries are tabled, a dense lookup must not find them.
        int64_t pos = tabled ? state_lookup(v, target)
                             : (v < static_cast<uint64_t>(old_size) ? static_cast<int64_t>(v) : -1);
        if (pos >= 0) {
            target.amplitude[pos] += b.amplitude[j];
        } else if (missing > 0 && next < target.size) {
            target.state[next] = v;
            target.amplitude[next] = b.amplitude[j];
            if (tabled)
                hash_insert(v, next, target);
            ++next;
        }
    }
}

template <bool Conjugate>
void accumulate(quantum_amplitude& sum, quantum_amplitude x, quantum_amplitude y)
{
    if constexpr (Conjugate) {
        const double ar = x.real(), ai = -static_cast<double>(x.imag());
        const double br = y.real(), bi = y.imag();
        const double re = ar * br - ai * bi;
        const double im = ar * bi + ai * br;
        sum = {static_cast<float>(static_cast<double>(sum.real()) + re),
               static_cast<float>(static_cast<double>(sum.imag()) + im)};
    } else {
        sum += quantum_cmul(x, y);
    }
}

// The pass over a, with the lookup in b chosen once: the Hamiltonian applications spend
// most of their time here.
template <bool Conjugate>
quantum_amplitude dot_pass(const quantum_reg_struct& a, const quantum_reg_struct& b)
{
    quantum_amplitude sum = 0;
    const quantum_amplitude* const a_amp = a.amplitude;
    const quantum_amplitude* const b_amp = b.amplitude;
    if (has_table(b)) {
        for (int64_t i = 0; i < a.size; ++i) {
            const int64_t j = state_lookup(basis_value_at(a, i), b);
            if (j >= 0)
                accumulate<Conjugate>(sum, a_amp[i], b_amp[j]);
        }
        return sum;
    }
    const auto b_size = static_cast<uint64_t>(b.size);
    for (int64_t i = 0; i < a.size; ++i) {
        const uint64_t v = basis_value_at(a, i);
        if (v < b_size)
            accumulate<Conjugate>(sum, a_amp[i], b_amp[v]);
    }
    return sum;
}

quantum_amplitude dot(quantum_reg_struct& a, quantum_reg_struct& b, bool conjugate)
{
    rebuild_table(b);
    return conjugate ? dot_pass<true>(a, b) : dot_pass<false>(a, b);
}

// Probability that qubit q reads 0, summed in double.
double probability_of_zero(int64_t q, const quantum_reg_struct& reg)
{
    const uint64_t mask = uint64_t{1} << (static_cast<uint64_t>(q) & 63);
    double p0 = 0;
    for (int64_t i = 0; i < reg.size; ++i) {
        if ((basis_value_at(reg, i) & mask) == 0)
            p0 += quantum_prob(reg.amplitude[i]);
    }
    return p0;
}

// The component's amplitudes laid out densely over basis values 0 .. dim-1.
std::vector<quantum_amplitude> dense_amplitudes(quantum_reg_struct& reg, uint64_t dim)
{
    std::vector<quantum_amplitude> out(dim);
    if (has_table(reg)) {
        hash_rebuild(reg);
        for (uint64_t v = 0; v < dim; ++v) {
            const int64_t pos = state_lookup(v, reg);
            if (pos >= 0)
                out[v] = reg.amplitude[pos];
        }
    } else {
        for (int64_t i = 0; i < reg.size; ++i) {
            const uint64_t v = basis_value_at(reg, i);
            if (v < dim)
                out[v] += reg.amplitude[i];
        }
    }
    return out;
}

} // namespace

// Vector operations

quantum_amplitude register_dot_product(quantum_reg_struct& a, quantum_reg_struct& b)
{
    return dot(a, b, true);
}

quantum_amplitude register_dot_product_noconj(quantum_reg_struct& a, quantum_reg_struct& b)
{
    return dot(a, b, false);
}

quantum_reg_struct register_vector_add(quantum_reg_struct& a, quantum_reg_struct b)
{
    quantum_reg_struct sum;
    register_copy(a, sum);
    add_into(sum, b);
    return sum;
}

void register_vector_add_inplace(quantum_reg_struct& a, quantum_reg_struct b)
{
    add_into(a, b);
}

void register_scale(quantum_reg_struct& reg, quantum_amplitude r)
{
    for (int64_t i = 0; i < reg.size; ++i)
        reg.amplitude[i] = quantum_cmul(reg.amplitude[i], r);
}

void register_normalize(quantum_reg_struct& reg)
{
    double s = 0;
    for (int64_t i = 0; i < reg.size; ++i)
        s += quantum_prob(reg.amplitude[i]);
    // A zero vector has no direction to keep; scaling it would only fill it with NaN.
    if (!(s > 0))
        return;
    const auto r = static_cast<float>(1.0 / std::sqrt(s));
    for (int64_t i = 0; i < reg.size; ++i)
        reg.amplitude[i] = {reg.amplitude[i].real() * r, reg.amplitude[i].imag() * r};
}

namespace {

// The result register of a Hamiltonian application: same width and size, no table, zeroed
// amplitudes, and state[i] = i when the input has a basis-value array.
quantum_reg_struct new_product_register(const quantum_reg_struct& reg)
{
    quantum_reg_struct out;
    out.width = reg.width;
    out.hashw = 0;
    if (reg.size <= 0 || !engine::entries_new(out, reg.size, reg.state != nullptr))
        return out;
    if (out.state) {
        for (int64_t i = 0; i < reg.size; ++i)
            out.state[i] = static_cast<uint64_t>(i);
    }
    return out;
}

} // namespace

quantum_reg_struct apply_hamiltonian_product(const quantum_hamiltonian_product& h,
                                             quantum_reg_struct reg)
{
    quantum_reg_struct out = new_product_register(reg);
    if (out.amplitude && reg.amplitude)
        h(reg.amplitude, out.amplitude, out.size);
    return out;
}

quantum_reg_struct apply_hamiltonian(const quantum_hamiltonian& h, double t,
                                     quantum_reg_struct reg, int flags)
{
    quantum_reg_struct out = new_product_register(reg);
    if (!out.amplitude)
        return out;
    for (int64_t i = 0; i < reg.size; ++i) {
        quantum_reg_struct column = h(static_cast<uint64_t>(i), t);
        out.amplitude[i] = register_dot_product_noconj(column, reg);
        if (!(flags & APPLY_KEEPS_COLUMNS))
            register_delete(column);
    }
    return out;
}

void matrix_vector_mul(quantum_reg_struct& result, quantum_reg_struct input,
                       const quantum_matrix_struct& m)
{
    if (result.size < m.rows || input.size < m.cols || !m.t) {
        quantum_error(QUANTUM_EMSIZE);
        return;
    }
    for (int64_t i = 0; i < m.rows; ++i) {
        quantum_amplitude sum = 0;
        for (int64_t j = 0; j < m.cols; ++j)
            sum += quantum_cmul(matrix_at(m, i, j), input.amplitude[j]);
        result.amplitude[i] = sum;
    }
}

// Density operators

quantum_density_op_struct density_new(int64_t n, const float* prob, quantum_reg_struct* regs)
{
    quantum_density_op_struct rho;
    if (n <= 0)
        return rho;
    rho.prob = static_cast<float*>(std::malloc(sizeof(float) * static_cast<size_t>(n)));
    rho.reg = static_cast<quantum_reg_struct*>(std::malloc(sizeof(quantum_reg_struct) * static_cast<size_t>(n)));
    if (!rho.prob || !rho.reg) {
        quantum_error(QUANTUM_ENOMEM);
        std::free(rho.prob);
        std::free(rho.reg);
        rho.prob = nullptr;
        rho.reg = nullptr;
        return rho;
    }
    memory_account(DENSITY_COMPONENT_BYTES * n);
    rho.num = n;
    for (int64_t k = 0; k < n; ++k) {
        rho.prob[k] = prob[k];
        new (&rho.reg[k]) quantum_reg_struct(regs[k]);
        regs[k] = quantum_reg_struct{};
    }
    return rho;
}

quantum_density_op_struct density_from_register(quantum_reg_struct& reg)
{
    const float one = 1.0f;
    return density_new(1, &one, &reg);
}

int64_t density_reduce(int64_t q, quantum_density_op_struct& rho)
{
    const int64_t n = rho.num;
    if (n <= 0)
        return n;
    auto* prob = static_cast<float*>(std::realloc(rho.prob, sizeof(float) * static_cast<size_t>(2 * n)));
    if (!prob) {
        quantum_error(QUANTUM_ENOMEM);
        return n;
    }
    rho.prob = prob;
    auto* regs = static_cast<quantum_reg_struct*>(
        std::realloc(static_cast<void*>(rho.reg), sizeof(quantum_reg_struct) * static_cast<size_t>(2 * n)));
    if (!regs) {
        quantum_error(QUANTUM_ENOMEM);
        return n;
    }
    rho.reg = regs;
    memory_account(DENSITY_COMPONENT_BYTES * n);
    for (int64_t k = 0; k < n; ++k) {
        quantum_reg_struct psi = rho.reg[k];
        const double p0 = probability_of_zero(q, psi);
        const float p = rho.prob[k];
        // Both halves share psi's table; psi's own arrays go once both are made.
        new (&rho.reg[k + n]) quantum_reg_struct(state_collapse(q, 1, psi));
        rho.reg[k] = state_collapse(q, 0, psi);
        rho.prob[k] = static_cast<float>(p * p0);
        rho.prob[k + n] = static_cast<float>(p * (1.0 - p0));
        register_delete_keep_hash(psi);
    }
    rho.num = 2 * n;
    return rho.num;
}

quantum_matrix_struct density_matrix(quantum_density_op_struct rho)
{
    if (rho.num <= 0 || !rho.reg)
        return quantum_matrix_struct{};
    const int64_t w = rho.reg[0].width;
    if (w < 0 || w >= 31) {
        quantum_error(QUANTUM_EMLARGE);
        return quantum_matrix_struct{};
    }
    const uint64_t dim = uint64_t{1} << w;
    quantum_matrix_struct m = matrix_new(static_cast<int64_t>(dim), static_cast<int64_t>(dim));
    if (!m.t)
        return m;
    for (int64_t k = 0; k < rho.num; ++k) {
        std::vector<quantum_amplitude> a;
        try {
            a = dense_amplitudes(rho.reg[k], dim);
        } catch (const std::bad_alloc&) {
            quantum_error(QUANTUM_ENOMEM);
            matrix_delete(m);
            return quantum_matrix_struct{};
        }
        const quantum_amplitude p = rho.prob[k];
        // Row index takes the amplitude, column index its conjugate: |psi><psi|.
        for (uint64_t i = 0; i < dim; ++i) {
            if (a[i] == quantum_amplitude(0))
                continue;
            const quantum_amplitude pa = quantum_cmul(p, a[i]);
            for (uint64_t j = 0; j < dim; ++j)
                matrix_at(m, static_cast<int64_t>(i), static_cast<int64_t>(j)) +=
                    quantum_cmul(pa, std::conj(a[j]));
        }
    }
    return m;
}

void density_print(quantum_density_op_struct rho)
{
    quantum_matrix_struct m = density_matrix(rho);
    matrix_print(m);
    matrix_delete(m);
}

void density_delete(quantum_density_op_struct& rho)
{
    // Components split from one register share its table: free each distinct table once.
    std::vector<int64_t*> freed;
    for (int64_t k = 0; k < rho.num; ++k) {
        quantum_reg_struct& r = rho.reg[k];
        if (r.hash) {
            bool seen = false;
            for (int64_t* t : freed)
                seen = seen || t == r.hash;
            if (!seen) {
                freed.push_back(r.hash);
                hash_destroy(r);
            }
            r.hash = nullptr;
        }
        register_delete_keep_hash(r);
    }
    if (rho.num > 0)
        memory_account(-DENSITY_COMPONENT_BYTES * rho.num);
    std::free(rho.prob);
    std::free(static_cast<void*>(rho.reg));
    rho = quantum_density_op_struct{};
}

float density_purity(quantum_density_op_struct rho)
{
    float purity = 0;
    for (int64_t k = 0; k < rho.num; ++k)
        purity += rho.prob[k] * rho.prob[k];
    for (int64_t k = 0; k < rho.num; ++k) {
        for (int64_t l = 0; l < k; ++l) {
            quantum_reg_struct& a = rho.reg[k];
            quantum_reg_struct& b = rho.reg[l];
            const quantum_amplitude d = register_dot_product(a, b);
            const quantum_amplitude pd = quantum_cmul(rho.prob[k] * rho.prob[l], d);
            // register_dot_product rebuilt b's table, so lookups in b are current.
            for (int64_t i = 0; i < a.size; ++i) {
                const int64_t j = find_position(basis_value_at(a, i), b);
                if (j < 0)
                    continue;
                const quantum_amplitude term =
                    quantum_cmul(pd, quantum_cmul(a.amplitude[i], std::conj(b.amplitude[j])));
                purity += 2 * term.real();
            }
        }
    }
    return purity;
}
