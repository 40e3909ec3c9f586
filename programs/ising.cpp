// programs/ising.cpp: ground-state properties of the transverse-field Ising ring, row by row.
#include "programs/ising.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "engine/algebra.h"
#include "engine/error.h"
#include "engine/vector_clones.h"
#include "platform/platform.h"
#include "programs/mainloop.h"
#include "programs/pictures.h"
#include "shell/events.h"
#include "shell/mttools.h"
#include "toolkit/cursor.h"
#include "toolkit/window.h"
#include "toolkit/text_output.h"

namespace {

constexpr double FIELD_START = 0.9;
constexpr double FIELD_STEP = 0.01;
constexpr double FIELD_END = 1.1;
constexpr double TOLERANCE = 1e-12;
constexpr int64_t DRAWS_PER_NUMBER = 8;
constexpr int64_t DRAW_TRIES = 100;
constexpr std::string_view ESCAPE = "\x1b";

// Column l of the Hamiltonian for the current (N, g); only between building and freeing.
std::vector<quantum_reg_struct> column_table;

programs::IsingSolver solver;

// The row being solved, which the streamed product reads.
struct Row {
    int64_t spins = 0;
    float field = 0;
    const int64_t* diagonal = nullptr;
};
Row row;

double lanczos_solve(quantum_reg_struct& start)
{
    return ground_state_real(start, programs::ising_product(row.spins, row.field, row.diagonal),
                             TOLERANCE);
}

// One draw: a 16-bit platform random number times the low 16 bits of the clock in
// nanoseconds, drawn again (at most 100 times in all) while either factor is 0.
uint64_t draw_product()
{
    uint64_t u = 0;
    uint64_t v = 0;
    for (int64_t attempt = 0; attempt < DRAW_TRIES; ++attempt) {
        u = platform::random32() & 0xFFFF;
        v = static_cast<uint64_t>(static_cast<int64_t>(platform::time_seconds() * 1e9)) & 0xFFFF;
        if (u != 0 && v != 0)
            break;
    }
    return u * v;
}

// Entries per block of the streamed product: the block's sums (4 KiB) stay in the
// first-level cache while the N + 1 terms are added to them.
constexpr int64_t PRODUCT_BLOCK = 1024;
// From this many entries on a product or the start vector is shared by two threads; below,
// starting one costs more than it saves.
constexpr int64_t PARALLEL_ENTRIES = 32768;

// part(from, to) over [0, n): the lower half on a second thread when n is large enough.
template <typename Part> void on_both_cores(int64_t n, const Part& part)
{
    if (n < PARALLEL_ENTRIES) {
        part(0, n);
        return;
    }
    platform::run_beside("ising half", [&] { part(0, n / 2); }, [&] { part(n / 2, n); });
}

// sum[j] += a * x[j] for j < len: the real part of the engine's complex product with a real
// x, terms in order.
void add_times(float a, const float* x, float* sum, int64_t len)
{
    for (int64_t j = 0; j < len; ++j)
        sum[j] += a * x[j];
}

// sum[j] += a * x[j ^ BIT] for j < len, a multiple of 2 BIT: eight entries at a time, their
// partners found by a permutation within the eight.
using Eight = float __attribute__((vector_size(32)));
template <int64_t BIT>
[[gnu::always_inline]] inline void add_flipped(float a, const float* x, float* sum, int64_t len)
{
    int64_t j = 0;
    for (; j + 8 <= len; j += 8) {
        Eight xs, sums;
        std::memcpy(&xs, x + j, sizeof xs);
        std::memcpy(&sums, sum + j, sizeof sums);
        if constexpr (BIT == 1)
            xs = __builtin_shufflevector(xs, xs, 1, 0, 3, 2, 5, 4, 7, 6);
        else if constexpr (BIT == 2)
            xs = __builtin_shufflevector(xs, xs, 2, 3, 0, 1, 6, 7, 4, 5);
        else
            xs = __builtin_shufflevector(xs, xs, 4, 5, 6, 7, 0, 1, 2, 3);
        sums += a * xs;
        std::memcpy(sum + j, &sums, sizeof sums);
    }
    for (; j < len; ++j)
        sum[j] += a * x[j ^ BIT];
}

// Positions [from, to) of the ring's H x, block by block (from a multiple of the block);
// compiled for AVX2 as well, without fused multiply-adds.
VECTOR_CLONES void ring_product(int64_t spins, float g, const float* diagonal, const float* in,
                                float* out, int64_t from, int64_t to)
{
    float sum[PRODUCT_BLOCK];
    for (int64_t base = from; base < to; base += PRODUCT_BLOCK) {
        const int64_t len = std::min(PRODUCT_BLOCK, to - base);
        std::fill(sum, sum + len, 0.0f);
        for (int64_t m = 0; m < spins; ++m) {
            const int64_t bit = int64_t{1} << m;
            if (bit >= len) {
                // The partners of the block are the block at base ^ bit, in order.
                add_times(g, in + (base ^ bit), sum, len);
                continue;
            }
            // Within the block, runs of `bit` entries swap with their neighbours; the
            // shortest runs as whole-vector permutations.
            if (bit == 1) {
                add_flipped<1>(g, in + base, sum, len);
                continue;
            }
            if (bit == 2) {
                add_flipped<2>(g, in + base, sum, len);
                continue;
            }
            if (bit == 4) {
                add_flipped<4>(g, in + base, sum, len);
                continue;
            }
            for (int64_t j = 0; j < len; j += 2 * bit) {
                add_times(g, in + base + j + bit, sum + j, bit);
                add_times(g, in + base + j, sum + j + bit, bit);
            }
        }
        for (int64_t j = 0; j < len; ++j)
            out[base + j] = sum[j] + diagonal[base + j] * in[base + j];
    }
}

} // namespace

namespace programs {

void ising_build_columns(int64_t spins, double field, const std::vector<int64_t>& diagonal)
{
    const uint64_t count = uint64_t{1} << spins;
    column_table.assign(count, quantum_reg_struct{});
    const auto g = static_cast<float>(field);
    for (uint64_t l = 0; l < count; ++l) {
        quantum_reg_struct column = register_new_sparse(spins + 1, spins);
        if (column.amplitude == nullptr || column.state == nullptr) {
            // The engine has reported the failure; an empty column keeps the solve in bounds.
            register_delete(column);
            column.size = 0;
            column_table[l] = column;
            continue;
        }
        for (int64_t m = 0; m < spins; ++m) {
            column.state[m] = l ^ (uint64_t{1} << m);
            column.amplitude[m] = {g, 0.0f};
        }
        column.state[spins] = l;
        column.amplitude[spins] = {static_cast<float>(diagonal[l]), 0.0f};
        column_table[l] = column;
    }
}

void ising_free_columns()
{
    for (auto& column : column_table)
        register_delete(column);
    column_table.clear();
    column_table.shrink_to_fit();
}

quantum_real_product ising_product(int64_t spins, double field, const int64_t* diagonal)
{
    const auto g = static_cast<float>(field);
    // The energies as the single-precision factors the columns hold, converted once.
    std::shared_ptr<std::vector<float>> energies;
    if (spins >= 0 && spins < 63) {
        energies = std::make_shared<std::vector<float>>(size_t{1} << spins);
        std::transform(diagonal, diagonal + energies->size(), energies->begin(),
                       [](int64_t e) { return static_cast<float>(e); });
    }
    return [spins, g, energies](const float* in, float* out, int64_t n) {
        // Partners are found by flipping bits: only a vector of 2^spins entries has them all.
        if (!energies || n != int64_t{1} << spins)
            return;
        const float* diagonal = energies->data();
        // Each half of the output reads the whole input: a large product uses both cores.
        on_both_cores(n, [&](int64_t from, int64_t to) {
            ring_product(spins, g, diagonal, in, out, from, to);
        });
    };
}

} // namespace programs

quantum_reg_struct isingcolumn(uint64_t k, double)
{
    if (k >= column_table.size())
        return {};
    return column_table[k];
}

namespace programs {

std::vector<double> ising_fields()
{
    std::vector<double> fields;
    for (double g = FIELD_START; g < FIELD_END; g += FIELD_STEP)
        fields.push_back(g);
    return fields;
}

std::vector<int64_t> ising_diagonal_energies(int64_t spins)
{
    const uint64_t count = uint64_t{1} << spins;
    std::vector<int64_t> energies(count);
    for (uint64_t k = 0; k < count; ++k) {
        int64_t energy = 0;
        for (int64_t i = 0; i < spins; ++i) {
            const uint64_t here = k >> i & 1;
            const uint64_t next = k >> ((i + 1) % spins) & 1;
            energy += here != next ? 1 : -1;
        }
        energies[k] = energy;
    }
    return energies;
}

int64_t ising_random_amplitude()
{
    // The 16 bits are bit 16 of the sixth product, bits 16 to 23 of the seventh and bits
    // 16 to 22 of the eighth, from the most significant end; the first five are drawn too.
    int64_t number = 0;
    for (int64_t draw = 1; draw <= DRAWS_PER_NUMBER; ++draw) {
        const uint64_t product = draw_product();
        if (draw == 6)
            number = static_cast<int64_t>(product >> 16 & 1);
        else if (draw == 7)
            number = number << 8 | static_cast<int64_t>(product >> 16 & 0xFF);
        else if (draw == 8)
            number = number << 7 | static_cast<int64_t>(product >> 16 & 0x7F);
    }
    return number;
}

IsingResult ising_solve(int64_t spins, double field, const std::vector<int64_t>& diagonal)
{
    IsingResult result;
    const int64_t count = int64_t{1} << spins;
    quantum_reg_struct start = register_new_dense(count, spins);
    if (start.amplitude == nullptr) {
        register_delete(start);
        result.energy = std::numeric_limits<double>::quiet_NaN();
        return result;
    }
    // Eight draws of the random source and the clock per amplitude: a large vector is filled
    // from both ends at once.
    auto fill = [&start](int64_t from, int64_t to) {
        for (int64_t k = from; k < to; ++k)
            set_amplitude_real(k, start, static_cast<double>(ising_random_amplitude()));
    };
    on_both_cores(count, fill);

    row = {spins, static_cast<float>(field), diagonal.data()};
    result.energy = solver ? solver(start) : lanczos_solve(start);
    row = {};

    // Moments of the total spin t_k = (0 bits) - (1 bits) in the ground state.
    double first = 0;
    double second = 0;
    for (int64_t k = 0; k < count; ++k) {
        const double p = get_probability(k, start);
        const auto t = static_cast<double>(spins - 2 * std::popcount(static_cast<uint64_t>(k)));
        first += std::fabs(t) * p;
        second += t * t * p;
    }
    const auto n = static_cast<double>(spins);
    result.magnetisation = first / n;
    result.susceptibility = second / n - result.magnetisation * result.magnetisation;

    register_delete(start);
    return result;
}

void ising_print_row(double field, int64_t spins, const IsingResult& result)
{
    const uint8_t win = CurrentTextWindow;
    t_Print(win, RealText(' ', 1, 2, true, field));
    t_Htab(win, 11);
    t_Print(win, std::to_string(spins));
    t_Htab(win, 20);
    // A row whose figures are not finite (an injected or failed solve) is marked like a
    // reported solver error instead of showing "nan".
    const bool finite = std::isfinite(result.energy) && std::isfinite(result.magnetisation) &&
                        std::isfinite(result.susceptibility);
    if (last_error != 0 || !finite) {
        t_Print(win, " err");
        last_error = 0;
    } else {
        t_Print(win, RealText(' ', 3, 15, true, result.energy));
        t_Htab(win, 42);
        t_Print(win, RealText(' ', 1, 15, true, result.magnetisation));
        t_Htab(win, 62);
        t_Print(win, RealText(' ', 1, 15, true, result.susceptibility));
    }
    t_Cr(win);
}

IsingSolver ising_set_solver(IsingSolver replacement)
{
    return std::exchange(solver, std::move(replacement));
}

} // namespace programs

void isingprogram()
{
    const uint8_t win = CurrentTextWindow;
    auto line = [win](std::string_view text) {
        t_Print(win, text);
        t_Cr(win);
    };
    line("Eigenschaften des Grundzustands der Ising-Quer-Kette");
    line("");
    line("g  : Quer-Feld in Einheiten der Ising-Interaktion");
    line("N  : Anzahl der Spins");
    line("E_0: Energie des Grundzustands");
    line("m  : Spontane Magnetisierung");
    line("x  : Spin Anfälligkeit");
    line("");
    line("g         N         E_0                  m                   x");

    const std::vector<double> fields = programs::ising_fields();
    for (int64_t spins = programs::ISING_FIRST_SPINS; spins <= programs::ISING_LAST_SPINS;
         spins += 2) {
        const std::vector<int64_t> diagonal = programs::ising_diagonal_energies(spins);
        programs::ising_picture_chain(spins, fields.front(), fields.back());
        for (double field : fields) {
            const programs::IsingResult result = programs::ising_solve(spins, field, diagonal);
            // Read before the row is printed: printing an error row clears last_error.
            const bool failed = last_error != 0;
            programs::ising_print_row(field, spins, result);
            const double n = static_cast<double>(spins);
            if (failed)
                programs::ising_picture_row(field, NAN, NAN, NAN);
            else
                programs::ising_picture_row(field, result.energy / n, result.magnetisation,
                                            result.susceptibility);
            if (WaitKey(win) == ESCAPE)
                return;
        }
    }
}

void command_ising()
{
    command_heading("Ising-Modell für Quanten (Esc-Taste zum Beenden):");
    isingprogram();
    write_dump_tail();
}
