// Tests for engine/algebra and engine/lanczos: vector operations, the ground-state solvers
// against exact energies, and one smoke check each of time evolution and density operators.
#include "engine/algebra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "engine/error.h"
#include "engine/gates.h"
#include "engine/objcode.h"

extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                       double* w, double* work, const int* lwork, int* info, size_t, size_t);

namespace {

// A real symmetric Hamiltonian kept as its columns, each a sparse register without table.
class Columns {
public:
    // From a dense row-major matrix of dimension 2^width, which exact() diagonalises.
    Columns(int64_t width, std::vector<double> m) : dim_(int64_t{1} << width), dense_(std::move(m))
    {
        for (int64_t l = 0; l < dim_; ++l) {
            std::vector<std::pair<uint64_t, double>> entries;
            for (int64_t k = 0; k < dim_; ++k)
                if (dense_[k * dim_ + l] != 0)
                    entries.emplace_back(k, dense_[k * dim_ + l]);
            add(width, entries);
        }
    }
    // The ring of `spins` spins, built as the Ising program builds it: the flips with g, the
    // diagonal -sum s_i s_(i+1) last, everything times `scale`.
    Columns(int spins, float g, float scale) : dim_(int64_t{1} << spins)
    {
        for (int64_t l = 0; l < dim_; ++l) {
            std::vector<std::pair<uint64_t, double>> entries;
            int e = 0;
            for (int m = 0; m < spins; ++m) {
                entries.emplace_back(l ^ (int64_t{1} << m), g * scale);
                e += ((l >> m) ^ (l >> ((m + 1) % spins))) & 1 ? 1 : -1;
            }
            entries.emplace_back(l, static_cast<float>(e) * scale);
            add(spins, entries);
        }
    }
    ~Columns()
    {
        for (auto& c : columns_)
            register_delete(c);
    }

    quantum_hamiltonian callback()
    {
        return [this](uint64_t i, double) { return columns_[i]; };
    }

    // Eigenvalues ascending and eigenvectors (column j at j * dim) by LAPACK in double.
    std::vector<double> exact(std::vector<double>* vectors = nullptr) const
    {
        std::vector<double> a = dense_;
        std::vector<double> w(static_cast<size_t>(dim_));
        const int n = static_cast<int>(dim_);
        int lwork = 3 * n * n + 10;
        std::vector<double> work(static_cast<size_t>(lwork));
        int info = 0;
        dsyev_("V", "U", &n, a.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
        EXPECT_EQ(info, 0);
        if (vectors)
            *vectors = a;
        return w;
    }

    int64_t dim() const { return dim_; }

private:
    void add(int64_t width, const std::vector<std::pair<uint64_t, double>>& entries)
    {
        quantum_reg_struct c = register_new_sparse(static_cast<int64_t>(entries.size()), width);
        for (size_t e = 0; e < entries.size(); ++e) {
            c.state[e] = entries[e].first;
            c.amplitude[e] = {static_cast<float>(entries[e].second), 0};
        }
        columns_.push_back(c);
    }

    int64_t dim_;
    std::vector<double> dense_;
    std::vector<quantum_reg_struct> columns_;
};

// The ring's ground energy from its free-fermion solution (even sector).
double ring_energy(int spins, double g)
{
    double e = 0;
    for (int n = 0; n < spins; ++n)
        e -= std::sqrt(1 + g * g - 2 * g * std::cos((2 * n + 1) * M_PI / spins));
    return e;
}

// A random symmetric matrix with one well separated low diagonal element.
std::vector<double> separated_matrix(int64_t dim, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-0.3, 0.3);
    std::vector<double> m(static_cast<size_t>(dim * dim), 0.0);
    for (int64_t i = 0; i < dim; ++i) {
        m[i * dim + i] = i == 0 ? -4.0 : static_cast<double>(i % 5) * 0.5;
        for (int64_t j = 0; j < i; ++j)
            m[i * dim + j] = m[j * dim + i] = u(rng);
    }
    return m;
}

quantum_reg_struct random_start(int64_t width, unsigned seed)
{
    std::mt19937 rng(seed);
    quantum_reg_struct reg = register_new_dense(int64_t{1} << width, width);
    for (int64_t k = 0; k < reg.size; ++k)
        set_amplitude_real(k, reg, static_cast<double>(rng() % 65536));
    return reg;
}

double overlap_with(const quantum_reg_struct& reg, const std::vector<double>& vectors, int64_t dim)
{
    double s = 0, norm = 0;
    for (int64_t k = 0; k < dim; ++k) {
        s += reg.amplitude[k].real() * vectors[static_cast<size_t>(k)];
        norm += std::norm(std::complex<double>(reg.amplitude[k]));
    }
    return std::fabs(s) / std::sqrt(norm);
}

bool same_bits(const quantum_reg_struct& a, const quantum_reg_struct& b)
{
    return a.size == b.size &&
           std::memcmp(a.amplitude, b.amplitude, sizeof(quantum_amplitude) * static_cast<size_t>(a.size)) == 0;
}

class Algebra : public ::testing::Test {
protected:
    void SetUp() override
    {
        last_error = 0;
        memory_before_ = memory_account(0);
    }
    void TearDown() override
    {
        last_error = 0;
        objcode_stop();
    }
    int64_t memory_before_ = 0;
};

} // namespace

// Vector operations

TEST_F(Algebra, DotProductsConjugateTheFirstFactorAndUseTheTable)
{
    // Without tables both count as dense: value v at position v.
    quantum_reg_struct ad = register_new_dense(4, 2), bd = register_new_dense(4, 2);
    ad.amplitude[1] = {0, 1};
    ad.amplitude[3] = {2, 0};
    bd.amplitude[1] = {1, 0};
    bd.amplitude[2] = {5, 0};
    EXPECT_EQ(register_dot_product(ad, bd), quantum_amplitude(0, -1));
    EXPECT_EQ(register_dot_product_noconj(ad, bd), quantum_amplitude(0, 1));
    register_delete(ad);
    register_delete(bd);
    EXPECT_EQ(memory_account(0), memory_before_);

    quantum_reg_struct a = register_new(0, 3);
    apply_hadamard(0, a);
    apply_hadamard(2, a);
    quantum_reg_struct b = register_new(5, 3);
    EXPECT_NEAR(register_dot_product(a, b).real(), 0.5, 1e-6) << "the amplitude of 5 in a";
    register_delete(a);
    register_delete(b);
}

TEST_F(Algebra, VectorAddMergesCommonValuesAndAppendsTheRest)
{
    quantum_reg_struct a = register_new(1, 3);
    quantum_reg_struct b = register_new(1, 3);
    apply_hadamard(1, b); // b holds 1 and 3
    quantum_reg_struct sum = register_vector_add(a, b);
    ASSERT_EQ(sum.size, 2);
    EXPECT_EQ(sum.state[0], 1u);
    EXPECT_NEAR(sum.amplitude[0].real(), 1.70710677, 1e-6);
    EXPECT_EQ(sum.state[1], 3u);
    EXPECT_NEAR(sum.amplitude[1].real(), 0.70710677, 1e-6);
    EXPECT_EQ(a.size, 1) << "the copying form leaves A alone";

    register_vector_add_inplace(a, b);
    register_vector_add_inplace(a, b);
    ASSERT_EQ(a.size, 2) << "a value appended once is found the second time";
    EXPECT_NEAR(a.amplitude[1].real(), 2 * 0.70710677, 1e-6);

    for (quantum_reg_struct* r : {&a, &b, &sum})
        register_delete(*r);
}

TEST_F(Algebra, ScaleAndNormalize)
{
    quantum_reg_struct r = register_new_dense(2, 1);
    r.amplitude[0] = {3, 0};
    r.amplitude[1] = {0, 4};
    register_normalize(r);
    register_scale(r, {0, 2});
    EXPECT_FLOAT_EQ(r.amplitude[0].imag(), 1.2f);
    EXPECT_FLOAT_EQ(r.amplitude[1].real(), -1.6f);
    quantum_reg_struct zero = register_new_dense(2, 1);
    register_normalize(zero);
    EXPECT_EQ(zero.amplitude[0], quantum_amplitude(0)) << "a zero vector stays zero, not NaN";
    register_delete(r);
    register_delete(zero);
}

// Solvers

TEST_F(Algebra, SolversReachTheExactGroundStateAndItsVector)
{
    const struct {
        const char* name;
        int width;
        std::vector<double> matrix;
        int solver;
        double eps, step, tolerance, overlap;
        unsigned start;
    } cases[] = {
        {"Lanczos, seed 1", 4, separated_matrix(16, 1), SOLVER_LANCZOS, 1e-6, 0, 1e-5, 1e-4, 1},
        {"modified Lanczos", 5, separated_matrix(32, 9), SOLVER_MODIFIED_LANCZOS, 1e-6, 0, 1e-4,
         1e-3, 4},
        {"imaginary time, fixed step", 5, separated_matrix(32, 5), SOLVER_IMAGINARY_TIME, 1e-5, 0.3,
         1e-4, 1e-3, 8},
        {"imaginary time, adaptive", 5, separated_matrix(32, 5), SOLVER_IMAGINARY_TIME, 1e-5, -0.05,
         1e-4, 1e-3, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Columns h(c.width, c.matrix);
        std::vector<double> vectors;
        const double exact = h.exact(&vectors)[0];
        quantum_reg_struct psi = random_start(c.width, c.start);
        const double e = ground_state(psi, h.callback(), c.solver, c.eps, c.step);
        EXPECT_EQ(last_error, 0);
        EXPECT_NEAR(e, exact, c.tolerance);
        EXPECT_NEAR(overlap_with(psi, vectors, h.dim()), 1.0, c.overlap);
        register_delete(psi);
        last_error = 0;
    }
}

TEST_F(Algebra, LanczosStaysFiniteOnLargeRingsAndAWideSpectrum)
{
    // Unscaled single-precision vectors overflowed within a few steps on couplings of 1000,
    // and within some twenty on the large rings, long before the energy settled: NaN
    // coefficients and a wrong energy. Sums of single-precision inner products bound the
    // accuracy near 1e-6.
    for (const auto& [spins, scale] : {std::pair{8, 1000.0f}, {16, 1.0f}, {18, 1.0f}}) {
        SCOPED_TRACE(spins);
        Columns h(spins, 1.0f, scale);
        quantum_reg_struct psi = random_start(spins, 7);
        testing::internal::CaptureStderr();
        const double e = ground_state(psi, h.callback(), SOLVER_LANCZOS, 1e-12 * scale, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(last_error, 0);
        const double exact = scale * ring_energy(spins, 1.0);
        EXPECT_NEAR(e, exact, 1e-5 * std::fabs(exact));
        // The Ritz vector is the ground state: its Rayleigh quotient is the energy, and its
        // length is near enough to 1 for the moments that read it as a state.
        quantum_reg_struct hpsi = apply_hamiltonian(h.callback(), 0, psi, APPLY_KEEPS_COLUMNS);
        const double length = register_dot_product(psi, psi).real();
        EXPECT_NEAR(length, 1.0, 1e-3);
        const double rayleigh = register_dot_product(hpsi, psi).real() / length;
        EXPECT_NEAR(rayleigh, exact, 1e-3 * std::fabs(exact));
        register_delete(hpsi);
        register_delete(psi);
    }
}

TEST_F(Algebra, LanczosSettlesOnRingsAcrossTheCriticalField)
{
    // Without reorthogonalisation, single-precision vectors made some of these runs take
    // hundreds of steps, the lowest Ritz value creeping below the ground energy meanwhile.
    constexpr int spins = 14;
    constexpr int64_t size = int64_t{1} << spins;
    int64_t most_applications = 0;
    for (int step = 0; step < 20; ++step) {
        const auto field = static_cast<float>(0.9 + 0.01 * step);
        Columns h(spins, field, 1);
        int64_t calls = 0;
        const quantum_hamiltonian base = h.callback();
        const quantum_hamiltonian counted = [&](uint64_t i, double t) {
            ++calls;
            return base(i, t);
        };
        quantum_reg_struct psi = random_start(spins, 100 + step);
        const double e = ground_state(psi, counted, SOLVER_LANCZOS, 1e-12, 0);
        EXPECT_EQ(last_error, 0) << "g=" << field;
        const double exact = ring_energy(spins, field);
        EXPECT_NEAR(e, exact, 1e-6 * std::fabs(exact)) << "g=" << field;
        EXPECT_NEAR(register_dot_product(psi, psi).real(), 1.0, 1e-3) << "g=" << field;
        most_applications = std::max(most_applications, calls / size);
        register_delete(psi);
    }
    EXPECT_LE(most_applications, 80);
    EXPECT_EQ(memory_account(0), memory_before_) << "every Lanczos step is released";
}

// A failed solve says why, returns NaN and leaves the register as it was.
TEST_F(Algebra, SolversThatCannotSettleAreReported)
{
    const std::vector<double> two = {0, 1, 1, 0};
    const std::vector<double> four = {-2, 0.3, 0, 0.1, 0.3, 0, 0.2, 0,
                                      0,  0.2, 1, 0.1, 0.1, 0, 0.1, 2};
    const std::string no_convergence = "ERROR: method failed to converge\n";
    const struct {
        const char* name;
        int width;
        std::vector<double> matrix;
        int solver;
        double eps, step;
        unsigned start;
        std::string error;
    } cases[] = {
        {"Lanczos on two entries", 1, two, SOLVER_LANCZOS, 1e-12, 0, 3, no_convergence},
        {"Lanczos on four entries", 2, four, SOLVER_LANCZOS, 1e-12, 0, 3, no_convergence},
        {"imaginary time", 2, separated_matrix(4, 2), SOLVER_IMAGINARY_TIME, 1e-12, 0.001, 1,
         no_convergence},
        {"unknown solver", 1, two, 3, 1e-12, 0, 3, "ERROR: unknown error code\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Columns h(c.width, c.matrix);
        quantum_reg_struct psi = random_start(c.width, c.start);
        quantum_reg_struct before;
        register_copy(psi, before);
        testing::internal::CaptureStderr();
        const double e = ground_state(psi, h.callback(), c.solver, c.eps, c.step);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.error);
        EXPECT_TRUE(std::isnan(e));
        EXPECT_TRUE(same_bits(psi, before));
        register_delete(psi);
        register_delete(before);
        last_error = 0;
    }
    // On four entries two and three vectors' estimates (-1.77, -2.046) agree within 0.5.
    Columns h(2, four);
    quantum_reg_struct psi = random_start(2, 3);
    EXPECT_NEAR(ground_state(psi, h.callback(), SOLVER_LANCZOS, 0.5, 0), h.exact()[0], 0.01);
    EXPECT_EQ(last_error, 0);
    register_delete(psi);
}

// A real symmetric H given as its product: real starts are packed, complex ones solved by parts.
TEST_F(Algebra, RealSolverPacksRealStartsAndSolvesComplexOnesByParts)
{
    auto product_of = [](const std::vector<double>& m) -> quantum_real_product {
        return [m](const float* in, float* out, int64_t n) {
            for (int64_t i = 0; i < n; ++i) {
                double sum = 0;
                for (int64_t j = 0; j < n; ++j)
                    sum += m[static_cast<size_t>(i * n + j)] * in[j];
                out[i] = static_cast<float>(sum);
            }
        };
    };
    const std::vector<double> matrix = separated_matrix(32, 3);
    Columns h(5, matrix);
    std::vector<double> vectors;
    const double exact = h.exact(&vectors)[0];
    const int64_t memory_with_columns = memory_account(0);
    for (const bool complex_start : {false, true}) {
        SCOPED_TRACE(complex_start ? "complex start" : "real start");
        quantum_reg_struct psi = random_start(5, 11);
        if (complex_start)
            psi.amplitude[3] = {psi.amplitude[3].real(), 5000.0f};
        EXPECT_NEAR(ground_state_real(psi, product_of(matrix), 1e-12), exact, 1e-5);
        EXPECT_EQ(last_error, 0);
        // The ground state up to a phase: |<v0, psi>| = |psi| = 1.
        std::complex<double> overlap = 0;
        for (int64_t k = 0; k < psi.size; ++k)
            overlap += vectors[static_cast<size_t>(k)] * std::complex<double>(psi.amplitude[k]);
        EXPECT_NEAR(std::abs(overlap), 1.0, 1e-4);
        EXPECT_EQ(complex_start, psi.amplitude[3].imag() != 0);
        register_delete(psi);
    }
    // Two real entries pack into one amplitude; the bound on the vectors is still two.
    const std::vector<double> two = {0, 1, 1, 0};
    quantum_reg_struct psi = random_start(1, 3);
    quantum_reg_struct before;
    register_copy(psi, before);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(std::isnan(ground_state_real(psi, product_of(two), 1e-12)));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: method failed to converge\n");
    EXPECT_TRUE(same_bits(psi, before));
    register_delete(psi);
    register_delete(before);
    EXPECT_EQ(memory_account(0), memory_with_columns);
}

// Features no program uses: one smoke check each.

TEST_F(Algebra, TimeEvolutionDensityOperatorsAndMatrixProduct)
{
    // exp(-i sx t)|0> = cos t |0> - i sin t |1>, in two half steps.
    quantum_matrix_struct sx = matrix_new(2, 2);
    matrix_at(sx, 0, 1) = 1;
    matrix_at(sx, 1, 0) = 1;
    quantum_reg_struct psi = register_new_dense(2, 1);
    psi.amplitude[0] = 1;
    diagonal_time_evolution(0.3, psi, sx);
    diagonal_time_evolution(0.3, psi, sx);
    EXPECT_NEAR(std::abs(psi.amplitude[0] - quantum_amplitude(std::cos(0.6f), 0)), 0, 1e-5);
    EXPECT_NEAR(std::abs(psi.amplitude[1] - quantum_amplitude(0, -std::sin(0.6f))), 0, 1e-5);

    quantum_reg_struct out = register_new_dense(2, 1);
    matrix_at(sx, 0, 1) = {0, 1};
    matrix_at(sx, 1, 0) = 2;
    psi.amplitude[0] = 1;
    psi.amplitude[1] = 3;
    matrix_vector_mul(out, psi, sx);
    EXPECT_EQ(out.amplitude[0], quantum_amplitude(0, 3));
    EXPECT_EQ(out.amplitude[1], quantum_amplitude(2, 0));
    matrix_delete(sx);
    register_delete(psi);
    register_delete(out);

    // Half of a Bell pair is fully mixed; the pair itself is pure.
    const int64_t before = memory_account(0);
    quantum_reg_struct reg = register_new(0, 2);
    apply_hadamard(0, reg);
    apply_cnot(0, 1, reg);
    quantum_density_op_struct rho = density_from_register(reg);
    EXPECT_EQ(reg.amplitude, nullptr) << "the density operator took the register over";
    EXPECT_NEAR(density_purity(rho), 1.0, 1e-6);
    EXPECT_EQ(density_reduce(0, rho), 2);
    quantum_matrix_struct m = density_matrix(rho);
    ASSERT_EQ(m.rows, 2);
    EXPECT_NEAR(matrix_at(m, 0, 0).real(), 0.5, 1e-6);
    EXPECT_NEAR(std::abs(matrix_at(m, 0, 1)), 0, 1e-6);
    EXPECT_NEAR(density_purity(rho), 0.5, 1e-6);
    matrix_delete(m);
    density_delete(rho);
    objcode_stop();
    EXPECT_EQ(memory_account(0), before) << "shared tables are released exactly once";
}
