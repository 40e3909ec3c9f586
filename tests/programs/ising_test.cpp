// The Ising ring program: rows against exact diagonalisation, the streamed product against
// the columns, the row layout, Escape after a row, a solver error.
#include "programs/ising.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/algebra.h"
#include "engine/error.h"
#include "platform/diag.h"
#include "shell/events.h"
#include "tests/programs/program_fixture.h"
#include "toolkit/cursor.h"
#include "toolkit/window.h"

extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                       double* w, double* work, const int* lwork, int* info);

namespace {

using programs::ising_diagonal_energies;

struct Exact {
    double energy = 0;
    double magnetisation = 0;
    double susceptibility = 0;
};

// Lowest eigenpair of the ring Hamiltonian in double precision, from a dense matrix.
Exact exact_ground_state(int spins, double g)
{
    const int n = 1 << spins;
    std::vector<double> h(static_cast<size_t>(n) * n, 0.0);
    for (int k = 0; k < n; ++k) {
        int diagonal = 0;
        for (int i = 0; i < spins; ++i)
            diagonal += ((k >> i) & 1) != ((k >> ((i + 1) % spins)) & 1) ? 1 : -1;
        h[static_cast<size_t>(k) * n + k] = diagonal;
        for (int m = 0; m < spins; ++m)
            h[static_cast<size_t>(k) * n + (k ^ (1 << m))] = g;
    }
    std::vector<double> w(n);
    int lwork = -1;
    int info = 0;
    double size_query = 0;
    dsyev_("V", "U", &n, h.data(), &n, w.data(), &size_query, &lwork, &info);
    lwork = static_cast<int>(size_query);
    std::vector<double> work(lwork);
    dsyev_("V", "U", &n, h.data(), &n, w.data(), work.data(), &lwork, &info);
    EXPECT_EQ(info, 0);
    Exact e;
    e.energy = w[0];
    double first = 0;
    double second = 0;
    for (int k = 0; k < n; ++k) {
        const double p = h[k] * h[k]; // column 0 is the lowest eigenvector
        const double t = spins - 2 * std::popcount(static_cast<unsigned>(k));
        first += std::fabs(t) * p;
        second += t * t * p;
    }
    e.magnetisation = first / spins;
    e.susceptibility = second / spins - e.magnetisation * e.magnetisation;
    return e;
}

TEST(IsingFields, TwentyValuesFromRepeatedAddition)
{
    const std::vector<double> fields = programs::ising_fields();
    ASSERT_EQ(fields.size(), 20u);
    EXPECT_EQ(fields[4], 0.9 + 0.01 + 0.01 + 0.01 + 0.01); // 0.9400000000000001, not 0.94
    EXPECT_NEAR(fields.back(), 1.09, 1e-12);
}

TEST(IsingRandom, AmplitudesAreSixteenBitWholeNumbers)
{
    int64_t highest = 0;
    for (int i = 0; i < 200; ++i) {
        int64_t a = programs::ising_random_amplitude();
        ASSERT_GE(a, 0);
        ASSERT_LE(a, 65535);
        highest = std::max(highest, a);
    }
    EXPECT_GT(highest, 255); // the upper byte is used
}

TEST(IsingSolve, RowsMatchExactDiagonalisation)
{
    for (const int spins : {8, 10}) {
        const std::vector<int64_t> diagonal = ising_diagonal_energies(spins);
        for (const double g : {0.90, 1.00, 1.09}) {
            last_error = 0;
            const programs::IsingResult r = programs::ising_solve(spins, g, diagonal);
            ASSERT_EQ(last_error, 0) << spins << " spins, g " << g;
            const Exact e = exact_ground_state(spins, g);
            EXPECT_NEAR(r.energy, e.energy, 1e-5 * std::fabs(e.energy)) << spins << ", " << g;
            // Random starts leave m and x within 1e-5 of the exact values (measured up to
            // 18 spins); complex sums rounded to single precision missed by up to 2e-3.
            EXPECT_NEAR(r.magnetisation, e.magnetisation, 1e-4) << spins << ", " << g;
            EXPECT_NEAR(r.susceptibility, e.susceptibility, 1e-4) << spins << ", " << g;
        }
    }
}

TEST(IsingProduct, EqualsTheColumnProductBitForBit)
{
    // The row solves with the streamed product; the columns are what it stands for.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    // 15 spins: 2^15 entries, where the product is shared between two threads.
    for (const int64_t spins : {1, 2, 5, 10, 11, 15}) {
        const std::vector<int64_t> diagonal = ising_diagonal_energies(spins);
        for (const double g : {0.90, 1.00, 1.09}) {
            const int64_t n = int64_t{1} << spins;
            quantum_reg_struct x = register_new_dense(n, spins);
            std::vector<float> real(static_cast<size_t>(n));
            for (int64_t k = 0; k < n; ++k) {
                real[static_cast<size_t>(k)] = uniform(random);
                x.amplitude[k] = {real[static_cast<size_t>(k)], 0.0f};
            }
            programs::ising_build_columns(spins, g, diagonal);
            quantum_reg_struct by_columns =
                apply_hamiltonian(isingcolumn, 0, x, APPLY_KEEPS_COLUMNS);
            programs::ising_free_columns();
            std::vector<float> streamed(static_cast<size_t>(n));
            programs::ising_product(spins, g, diagonal.data())(real.data(), streamed.data(), n);
            std::vector<float> expected(static_cast<size_t>(n));
            for (int64_t k = 0; k < n; ++k)
                expected[static_cast<size_t>(k)] = by_columns.amplitude[k].real();
            EXPECT_EQ(std::memcmp(streamed.data(), expected.data(), sizeof(float) * real.size()), 0)
                << spins << " spins, g " << g;
            register_delete(by_columns);
            register_delete(x);
        }
    }
}

class IsingProgramTest : public program_test::ProgramWindowTest {
protected:
    void SetUp() override
    {
        ProgramWindowTest::SetUp();
        ResetEvents();
        last_error = 0;
    }
    void TearDown() override
    {
        programs::ising_set_solver(nullptr);
        ResetEvents();
        ProgramWindowTest::TearDown();
    }
    // Row `line` of window 0, one 8-bit code per character, trailing blanks removed.
    static std::string window_line(int64_t line) { return test_support::trimmed_row(0, line); }
};

TEST_F(IsingProgramTest, EscapeAfterTheFirstRowEndsAfterExactlyOneRow)
{
    PostText("\x1b");
    isingprogram();
    EXPECT_EQ(window_line(1), "Eigenschaften des Grundzustands der Ising-Quer-Kette");
    EXPECT_EQ(window_line(2), "");
    EXPECT_EQ(window_line(3), "g  : Quer-Feld in Einheiten der Ising-Interaktion");
    EXPECT_EQ(window_line(4), "N  : Anzahl der Spins");
    EXPECT_EQ(window_line(5), "E_0: Energie des Grundzustands");
    EXPECT_EQ(window_line(6), "m  : Spontane Magnetisierung");
    EXPECT_EQ(window_line(7), "x  : Spin Anf\xE4lligkeit"); // one 8-bit code per cell
    EXPECT_EQ(window_line(9), "g         N         E_0                  m                   x");
    // The row as printed: g, N, then E_0 in columns 20 to 41 in German notation.
    const std::string row = window_line(10);
    EXPECT_EQ(row.substr(0, 19), "0,90      8" + std::string(8, ' '));
    std::string energy_text = row.substr(19, 22);
    energy_text.erase(energy_text.find_last_not_of(' ') + 1);
    ASSERT_EQ(energy_text.find(','), energy_text.size() - 16) << row; // 15 decimals
    energy_text[energy_text.find(',')] = '.';
    const double energy = std::stod(energy_text);
    const double exact = exact_ground_state(8, 0.9).energy;
    EXPECT_NEAR(energy, exact, 1e-5 * std::fabs(exact)) << row;
    EXPECT_NE(row[41], ' ') << row; // m from column 42
    EXPECT_NE(row[61], ' ') << row; // x from column 62
    EXPECT_EQ(row[40], ' ') << row;
    EXPECT_EQ(row[60], ' ') << row;
    EXPECT_EQ(window_line(11), "");
    EXPECT_EQ(EventQueueLength(), 0);
}

TEST_F(IsingProgramTest, RowShowsTruncatedFiguresAtTheirColumnsOrErr)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double g;
        int64_t spins;
        programs::IsingResult result;
        std::string row;
    } cases[] = {
        {0.9400000000000001, 12, {-8.125, 0.5, 0.0625},
         "0,94      12" + std::string(7, ' ') + " -8,125000000000000" + std::string(3, ' ') +
             "0,500000000000000" + std::string(3, ' ') + "0,062500000000000"},
        {0.9, 8, {-9.5, nan, 0}, "0,90      8" + std::string(8, ' ') + " err"}, // not finite
    };
    for (const auto& c : cases) {
        fresh_window();
        t_CursorHome(0);
        programs::ising_print_row(c.g, c.spins, c.result);
        EXPECT_EQ(window_line(1), c.row);
    }
}

TEST_F(IsingProgramTest, SolverErrorShowsErrFromColumnTwentyAndIsClearedForTheNextRow)
{
    const std::string err = std::string(8, ' ') + " err"; // columns 12 to 23
    for (bool every_row : {true, false}) {
        SCOPED_TRACE(every_row);
        fresh_window();
        int calls = 0;
        programs::ising_set_solver([&calls, every_row](quantum_reg_struct& start) {
            if (calls++ == 0 || every_row)
                quantum_error(QUANTUM_ENOCONVERGE);
            return every_row ? std::numeric_limits<double>::quiet_NaN() : -1.5 + 0 * start.size;
        });
        PostText("x\x1b");
        isingprogram();
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(window_line(10), "0,90      8" + err);
        EXPECT_EQ(window_line(10).find("err"), 20u); // the blank of " err" is column 20
        EXPECT_EQ(every_row ? window_line(11) : window_line(11).substr(0, 38),
                  "0,91      8" + (every_row ? err : std::string(8, ' ') + " -1,500000000000000"));
        EXPECT_EQ(last_error, 0);
    }
}

} // namespace
