// engine/register.h: the simulated register, a sparse list of basis states with their
// amplitudes, and the hash table that finds a basis state's position.
#pragma once

#include <cstdint>

#include "engine/complex.h"
#include "engine/matrix.h"

// A plain record copied by value; the arrays belong to whoever deletes it. Read-only
// operations take it by value, operations that change it take it by reference.
struct quantum_reg_struct {
    int64_t width = 0;                      // qubits; qubit q is bit q of a basis value
    int64_t size = 0;                       // stored entries
    int64_t hashw = 0;                      // log2 of the table length; 0: no table
    quantum_amplitude* amplitude = nullptr; // size entries
    uint64_t* state = nullptr;              // size basis values; absent in a dense register
    int64_t* hash = nullptr;                // slots: 0 empty, else position + 1
};

// Construction and release
// One entry init with amplitude 1, hashw = width + 2; restarts object-code recording.
quantum_reg_struct register_new(uint64_t init, int64_t width);
// n zeroed amplitudes, no state array, no table: basis value v lives at position v.
quantum_reg_struct register_new_dense(int64_t n, int64_t width);
// n zeroed entries with a state array, but no table.
quantum_reg_struct register_new_sparse(int64_t n, int64_t width);
// The non-zero elements of a one-column matrix, each row r becoming basis value r.
quantum_reg_struct register_from_column(quantum_matrix_struct m, int64_t width);
// A column of 2^width rows holding the register's amplitudes at their basis values.
quantum_matrix_struct register_to_column(quantum_reg_struct reg);
// Frees all arrays; the numeric fields stay.
void register_delete(quantum_reg_struct& reg);
// Frees amplitude and state but leaves the table, which another record now owns.
void register_delete_keep_hash(quantum_reg_struct& reg);
// Frees only the table.
void hash_destroy(quantum_reg_struct& reg);
// dst gets its own arrays with src's entries and a zeroed (stale) table.
void register_copy(quantum_reg_struct src, quantum_reg_struct& dst);
// Tensor product: entry j + i*sizeB is (A[i] << widthB) | B[j] with the product amplitude.
quantum_reg_struct register_kronecker(quantum_reg_struct a, quantum_reg_struct b);
// Adds k low qubits at 0 by shifting every basis value; the table is left stale.
void register_add_scratch(int64_t k, quantum_reg_struct& reg);

// Entries
// re² + im² of the amplitude at position, in single precision.
double get_probability(int64_t position, quantum_reg_struct reg);
// Sets a dense register's amplitude at position to value (rounded to single) + 0i.
void set_amplitude_real(int64_t position, quantum_reg_struct& reg, double value);
// Drops entries whose probability is below 10^-6 / 2^width, keeping order.
void purge_small_amplitudes(quantum_reg_struct& reg);

// Hash table
// Table length 2^(hashw mod 32) as a 32-bit signed power; below 1 means no usable table.
int32_t hash_length(int64_t hashw);
// Slot index of basis value v: the top (hashw mod 32) bits of a multiplicative hash.
uint32_t quantum_hash64(uint64_t v, int64_t hashw);
// Stores position + 1 in the first free slot from v's index on (linear probing).
void hash_insert(uint64_t v, int64_t position, quantum_reg_struct& reg);
// Empties the table and inserts every entry in order; needed after in-place rewrites.
void hash_rebuild(quantum_reg_struct& reg);
// Position of basis value v or -1; a dense register answers v. Needs a current table.
int64_t state_lookup(uint64_t v, const quantum_reg_struct& reg);

namespace engine {
// Warns on stderr when the entries fill more than half the table (always without a table).
void hash_load_warning(const quantum_reg_struct& reg);
// The probability below which the purge drops an entry: 10^-6 / 2^width, in single precision.
float purge_limit(const quantum_reg_struct& reg);
} // namespace engine

// Printing on standard output
// One line per entry: amplitude, basis value, probability and the bits.
void print_register(quantum_reg_struct reg);
// Each basis value minus i * 2^(width/2), numbered by position i.
void print_expn(quantum_reg_struct reg);
// Every slot from 1 on with its position and basis value; empty slots say so.
void print_hash(quantum_reg_struct reg);
