// engine/gates.h: elementary gates on a quantum register, decoherence and the gate count.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/ec.h"
#include "engine/matrix.h"
#include "engine/register.h"

// Gates that permute basis values rewrite them in place and leave the hash table stale;
// every gate that looks values up rebuilds it first. Qubit q means bit 1 << (q mod 64).

// Permutation gates
// Flips bit target of every basis value whose bit control is set.
void apply_cnot(int64_t control, int64_t target, quantum_reg_struct& reg);
// Flips bit target where both control bits are set.
void apply_toffoli(int64_t control1, int64_t control2, int64_t target, quantum_reg_struct& reg);
namespace engine {
// Flips bit indices[k] where the bits indices[0 .. k-1] are all set, k = n or, when fewer
// indices were given, the last one.
void apply_multi_cnot_list(int64_t n, const int64_t* indices, size_t count,
                           quantum_reg_struct& reg);
} // namespace engine

// n control indices and then the target follow (the low 32 bits of a control count);
// records nothing.
template <typename... Indices>
void apply_multi_cnot(int64_t n, quantum_reg_struct& reg, int64_t first, Indices... rest)
{
    const int64_t indices[] = {first, static_cast<int64_t>(rest)...};
    engine::apply_multi_cnot_list(n, indices, 1 + sizeof...(rest), reg);
}
// Flips bit target everywhere.
void apply_sigma_x(int64_t target, quantum_reg_struct& reg);
// Flips bit target and multiplies by i (bit was 0) or -i (bit was 1).
void apply_sigma_y(int64_t target, quantum_reg_struct& reg);
// Negates amplitudes whose bit target is set.
void apply_sigma_z(int64_t target, quantum_reg_struct& reg);
// Exchanges bit fields 0..width-1 and width..2*width-1; one record per stored entry.
void swap_leads(int64_t width, quantum_reg_struct& reg);
// Swaps fields width.. and 2*width+2.. where bit control is set, by Toffoli gates.
void controlled_swap(int64_t control, int64_t width, quantum_reg_struct& reg);

// Runs of permutation gates. While a run is open on reg, apply_sigma_x, apply_cnot and
// apply_toffoli on reg record and count as always but only queue their flips, which
// permutation_run_close applies in one pass over the basis values: bit for bit the values
// of the gates applied one by one, for a fraction of the memory traffic. The other gates
// apply the queued flips before they act; nothing else may read, change or delete reg
// until the run is closed. With error correction or decoherence on, or without a
// basis-value array, no run opens and the gates act at once.
// Within a run, Hadamard gates may keep reg in an array indexed by its basis values from
// gate to gate (its amplitude array is then written back by the next other gate or the
// close). Runs nest: opening a run on the register of the open run only counts, and the
// matching close ends it.
void permutation_run_open(quantum_reg_struct& reg);
void permutation_run_close();
// Sum of the probabilities of the basis values v with (v & mask) == value, in one pass.
// Allowed inside an open run too (its queued flips applied first, a held register read in
// place): no gate, no record, the register's contents unchanged.
double register_probability_where(quantum_reg_struct& reg, uint64_t mask, uint64_t value);

// Gates that may create basis states
// Hadamard on one qubit; may add basis states and drops negligible ones.
void apply_hadamard(int64_t target, quantum_reg_struct& reg);
// Hadamard on qubits 0 .. n-1 in order; a register filling most of its value range takes
// them all held by value.
void apply_walsh(int64_t n, quantum_reg_struct& reg);
// Rotations by gamma about x and y through the generic gate.
void apply_rot_x(int64_t target, float gamma, quantum_reg_struct& reg);
void apply_rot_y(int64_t target, float gamma, quantum_reg_struct& reg);
// Generic one-qubit gate; the matrix must be 2x2 (m0 m1 / m2 m3).
void apply_gate1(int64_t target, quantum_matrix_struct m, quantum_reg_struct& reg);
// Generic two-qubit gate; the matrix must be 4x4, indexed by (bit target1, bit target2).
void apply_gate2(int64_t target1, int64_t target2, quantum_matrix_struct m,
                 quantum_reg_struct& reg);

// Phase gates
// a * cexp(gamma/2) where bit target is set, a / cexp(gamma/2) where it is not.
void apply_rot_z(int64_t target, float gamma, quantum_reg_struct& reg);
// a * cexp(gamma) where bit target is set.
void apply_phase_kick(int64_t target, float gamma, quantum_reg_struct& reg);
// a * cexp(gamma) everywhere; target is only recorded.
void apply_phase_scale(int64_t target, float gamma, quantum_reg_struct& reg);
// a * cexp(pi / 2^(control - target)) where both bits are set.
void apply_cond_phase(int64_t control, int64_t target, quantum_reg_struct& reg);
// a * cexp(-pi / 2^(control - target)) where both bits are set; records nothing.
void apply_cond_phase_inv(int64_t control, int64_t target, quantum_reg_struct& reg);
// a * cexp(gamma) where both bits are set.
void apply_cond_phase_kick(int64_t control, int64_t target, float gamma,
                           quantum_reg_struct& reg);
// Where bit control is set: a * cexp(gamma/2) if bit target is set, else a / cexp(gamma/2).
// Recorded like apply_cond_phase, without the angle.
void apply_cond_phase_shift(int64_t control, int64_t target, float gamma,
                            quantum_reg_struct& reg);

// Decoherence and counting
// Adds k > 0, resets on k < 0 (returning 0), reads on k = 0.
int64_t gate_counter(int64_t k);
// The stored lambda, also after decoherence was switched off.
float get_decoherence();
// lambda != 0 (NaN included) switches decoherence on; 0 switches it off keeping lambda.
void set_decoherence(float lambda);
// Counts a gate and, when decoherence is on, applies random phase noise to every entry.
void decohere(quantum_reg_struct& reg);

namespace engine {
// Whether decohere currently adds noise (get_decoherence alone cannot tell after an off).
bool decoherence_on();
// Switches the direct indexing of the generic gates and the permutation runs on (the
// default) or off, so that both ways can be compared.
void set_fast_paths(bool enabled);
} // namespace engine
