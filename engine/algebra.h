// engine/algebra.h: registers as vectors (inner products, sums, scaling), Hamiltonians
// given column by column, ground-state solvers, time evolution and density operators.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/matrix.h"
#include "engine/register.h"

// Column i of a Hamiltonian at time t, as a register of the entries H|i>. The callback may
// hand out registers it keeps itself; apply_hamiltonian's flags say who deletes them.
using quantum_hamiltonian = std::function<quantum_reg_struct(uint64_t i, double t)>;

// apply_hamiltonian flag: the callback keeps its columns, so they are not deleted.
constexpr int APPLY_KEEPS_COLUMNS = 1;

// Ground-state solvers of ground_state.
constexpr int SOLVER_LANCZOS = 0;
constexpr int SOLVER_MODIFIED_LANCZOS = 1;
constexpr int SOLVER_IMAGINARY_TIME = 2;

// A mixed state: n registers with their probabilities, all owned by the record.
struct quantum_density_op_struct {
    int64_t num = 0;
    float* prob = nullptr;
    quantum_reg_struct* reg = nullptr;
};

// Vector operations. A register without a hash table (hashw 0) counts as dense: basis value
// v sits at position v, with or without a state array.
// <A|B>: conj(a) * b per common basis value, products in double, the sum kept in single.
quantum_amplitude register_dot_product(quantum_reg_struct& a, quantum_reg_struct& b);
// The same without conjugation, all in single precision.
quantum_amplitude register_dot_product_noconj(quantum_reg_struct& a, quantum_reg_struct& b);
// A + B as a new register: a copy of A with B's entries added or appended.
quantum_reg_struct register_vector_add(quantum_reg_struct& a, quantum_reg_struct b);
// A += B in place.
void register_vector_add_inplace(quantum_reg_struct& a, quantum_reg_struct b);
// Every amplitude times r.
void register_scale(quantum_reg_struct& reg, quantum_amplitude r);
// Scales to total probability 1; a register of total probability 0 is left as it is.
void register_normalize(quantum_reg_struct& reg);
// H applied to reg as a new dense register of the same size; amplitude i = <H(i, t)|reg>
// without conjugation. Columns are deleted unless flags has APPLY_KEEPS_COLUMNS.
quantum_reg_struct apply_hamiltonian(const quantum_hamiltonian& h, double t,
                                     quantum_reg_struct reg, int flags);
// H applied to the n amplitudes of a dense vector, written to out: out[i] must be what
// apply_hamiltonian gives from column i, so the callback streams the product without
// handing out a register per column.
using quantum_hamiltonian_product =
    std::function<void(const quantum_amplitude* in, quantum_amplitude* out, int64_t n)>;
// apply_hamiltonian with H given as its product: a new dense register shaped the same way.
quantum_reg_struct apply_hamiltonian_product(const quantum_hamiltonian_product& h,
                                             quantum_reg_struct reg);
// result[i] = sum_j M(i, j) * input[j]; both registers must hold the matrix's dimensions.
void matrix_vector_mul(quantum_reg_struct& result, quantum_reg_struct input,
                       const quantum_matrix_struct& m);

// Solvers (engine/lanczos.cpp)
// Lowest eigenvalue of H, leaving its eigenvector in the dense register reg. Solver 0
// Lanczos, 1 modified Lanczos, 2 imaginary-time evolution with the given step (a step of 0
// or less adapts the step, starting from its size or 0.1). Stops when two estimates agree
// within epsilon; reports "method failed to converge" and returns NaN, reg unchanged,
// when that takes as many vectors or steps as reg has entries.
double ground_state(quantum_reg_struct& reg, const quantum_hamiltonian& h, int32_t solver,
                    double epsilon, double step);
// ground_state's Lanczos solver (solver 0) with H given as its product.
double ground_state_streamed(quantum_reg_struct& reg, const quantum_hamiltonian_product& h,
                             double epsilon);
// H applied to n real entries, for a real symmetric H: out[i] = sum_j H(i, j) in[j].
using quantum_real_product = std::function<void(const float* in, float* out, int64_t n)>;
// ground_state_streamed for a real symmetric H. A register of real amplitudes is solved with
// real vectors, which takes half the memory and time; others as ground_state_streamed.
double ground_state_real(quantum_reg_struct& reg, const quantum_real_product& h, double epsilon);
// reg = exp(-i H t) reg by diagonalising the Hermitian matrix H (dimension = reg.size);
// the decomposition is kept for the next call with the same matrix.
void diagonal_time_evolution(double t, quantum_reg_struct& reg, const quantum_matrix_struct& h);

// Density operators
// Copies the probabilities and takes over the registers (the caller's records are cleared).
quantum_density_op_struct density_new(int64_t n, const float* prob, quantum_reg_struct* regs);
// One component of probability 1 that takes over reg.
quantum_density_op_struct density_from_register(quantum_reg_struct& reg);
// Splits every component by the outcome of qubit q: components 0..n-1 the q = 0 parts,
// n..2n-1 the q = 1 parts, each weighted by its outcome's probability. Returns 2n.
int64_t density_reduce(int64_t q, quantum_density_op_struct& rho);
// sum_k p_k |psi_k><psi_k| over the width of the first component; "matrix too large"
// from width 31 on (and for a negative width).
quantum_matrix_struct density_matrix(quantum_density_op_struct rho);
// The density matrix printed with matrix_print.
void density_print(quantum_density_op_struct rho);
// Releases every component and the record's arrays; tables shared by components go once.
void density_delete(quantum_density_op_struct& rho);
// Tr(rho^2) from the components' probabilities and overlaps.
float density_purity(quantum_density_op_struct rho);
