// programs/ising.h: ground-state properties of the transverse-field Ising ring, row by row.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/algebra.h"
#include "engine/register.h"

// Prints the header and one row per chain length and field, waiting for a key after each
// row; Escape ends the program.
void isingprogram();

// The I row of the command table: heading, dump deletion, the program, the dump tail.
void command_ising();

// The Hamiltonian column callback: a copy of column k of the column table (t is ignored),
// or an empty register while no table is built. The engine keeps what it gets; the
// columns are freed with programs::ising_free_columns.
quantum_reg_struct isingcolumn(uint64_t k, double t);

namespace programs {

// Chain lengths 8 to 18 in steps of 2.
constexpr int64_t ISING_FIRST_SPINS = 8;
constexpr int64_t ISING_LAST_SPINS = 18;

// The 20 field values 0.90 to 1.09, each the previous plus 0.01 in double.
std::vector<double> ising_fields();

// E_diag(k) for every basis state of a ring of spins: -sum of s_i * s_(i+1) over the bonds.
std::vector<int64_t> ising_diagonal_energies(int64_t spins);

// The column table for (spins, field): column l holds l ^ 2^m with the field for m below
// spins, then l with its diagonal energy. A row solves without it (ising_product gives the
// same sums); it serves the column callback.
void ising_build_columns(int64_t spins, double field, const std::vector<int64_t>& diagonal);
void ising_free_columns();

// H x for the ring on real vectors, streamed in blocks: each entry bit for bit the real part
// of what the engine forms from the columns. diagonal holds 2^spins energies.
quantum_real_product ising_product(int64_t spins, double field, const int64_t* diagonal);

// One row's figures; meaningless when the engine reported an error meanwhile.
struct IsingResult {
    double energy = 0;
    double magnetisation = 0;
    double susceptibility = 0;
};

// Solves (spins, field) from a random start vector with the streamed product, takes the
// moments and frees everything again.
IsingResult ising_solve(int64_t spins, double field, const std::vector<int64_t>& diagonal);

// Prints one row into the main window: " err" from column 20 when last_error is set (which
// it then clears) or a figure is not finite, else the three figures.
void ising_print_row(double field, int64_t spins, const IsingResult& result);

// The ground-state solve of one row; tests replace it. An empty function restores the
// engine's Lanczos solver. Returns the previous one.
using IsingSolver = std::function<double(quantum_reg_struct& start)>;
IsingSolver ising_set_solver(IsingSolver solver);

// A random whole number 0 to 65535 from eight draws of the random source and the clock.
int64_t ising_random_amplitude();

} // namespace programs
