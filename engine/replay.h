// engine/replay.h: runs a dump file of object code against a register.
#pragma once

#include <string>

#include "engine/register.h"

// Applies every record of the file to reg, in order: each 0x00 record replaces reg by a
// fresh 12-qubit register (restarting the recording), the gates and measurements act on it
// and are recorded anew. Reports an unreadable file, an unknown opcode (which ends the
// replay) and a short operand (which is skipped) on standard error.
void quantum_objcode_run(const std::string& name, quantum_reg_struct& reg);
