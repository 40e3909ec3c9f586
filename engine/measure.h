// engine/measure.h: measurement of a register and the engine's one random source.
#pragma once

#include <cstdint>

#include "engine/register.h"

// rand() / 2147483647.0, a double in [0, 1]; the engine never seeds rand itself.
double uniform_random();

// Draws a basis value by its probability, in stored order; all ones when none is reached.
// The register is not changed.
uint64_t measure(quantum_reg_struct reg);

// Measures qubit q and removes it: width - 1, bits above q move down by one.
int measure_qubit(int64_t q, quantum_reg_struct& reg);

// Measures qubit q keeping the width; entries of the other outcome are dropped.
int measure_qubit_preserve(int64_t q, quantum_reg_struct& reg);

// The renormalised entries whose bit q equals value, with bit q removed; the new record
// shares reg's hash table, and reg's arrays are left to the caller.
quantum_reg_struct state_collapse(int64_t q, int value, quantum_reg_struct reg);
