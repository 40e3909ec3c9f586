// programs/random.h: the random bit, oracle data and code test programs.
#pragma once

#include <cstdint>

// One qubit in equal superposition, measured; prints the bit.
void randomprogram();

// Lists the basis values of an n-qubit register in equal superposition before and after one
// inversion pass. Expects 3 to 24 qubits; the main loop refuses other widths first.
void oracleprogram(int64_t width);

// Runs the inversion circuit on 8 qubits only to leave its object code; prints nothing.
void codetestprogram();
