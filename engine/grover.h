// engine/grover.h: the engine's own Grover search: oracle, inversion about the mean, one
// step of both, and a driver that prints its progress on standard output.
#pragma once

#include <cstdint>

#include "engine/register.h"

// Qubits 0..w-1 hold the index (w = reg.width, re-read at every call), qubit w the phase,
// and w+1..2w are scratch for the Toffoli chains; they lie above the width while iterating.

// Flips the phase qubit where the index equals s.
void grover_oracle(int64_t s, quantum_reg_struct& reg);
// Inversion about the mean of the index qubits, between Hadamards and Pauli-X layers.
void grover_inversion(quantum_reg_struct& reg);
// Oracle, Hadamards, inversion, Hadamards.
void grover_step(int64_t s, quantum_reg_struct& reg);
// Searches s with at least the requested width, prints each iteration and, if found, the
// probability of s; restarts object-code recording. Returns 0.
int grover_search(int64_t s, int64_t width);
