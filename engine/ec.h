// engine/ec.h: error correction by a three-copy code over the register; off unless set.
#pragma once

#include <cstdint>

#include "engine/register.h"

// Status: type 0 is off; width is the width of one copy.
void ec_set_status(int64_t type, int64_t width);
void ec_get_status(int64_t& type, int64_t& width);

// Encodes the register into three copies (the first k qubits phase-protected); width * 3.
void ec_encode(int64_t type, int64_t k, quantum_reg_struct& reg);
// Undoes ec_encode and measures the syndrome qubits away; width / 3.
void ec_decode(int64_t type, int64_t k, quantum_reg_struct& reg);
// Adds inc (inc < 0 resets), sets frequency when > 0, and re-encodes when the count is due.
int64_t ec_counter(int64_t inc, int64_t frequency, quantum_reg_struct& reg);

// Fault-tolerant variants run by the plain gates while the status type is non-zero.
void ec_sigma_x_ft(int64_t target, quantum_reg_struct& reg);
void ec_cnot_ft(int64_t control, int64_t target, quantum_reg_struct& reg);
void ec_toffoli_ft(int64_t control1, int64_t control2, int64_t target, quantum_reg_struct& reg);
