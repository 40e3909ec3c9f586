// engine/replay.h: runs a dump file of object code against a register.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/register.h"

// Entries a replay may hold by default: what fits in a quarter of physical memory.
int64_t replay_default_state_budget();

// Applies every record of the file to reg, in order: each 0x00 record replaces reg by a
// fresh 12-qubit register (restarting the recording), the gates and measurements act on it
// and are recorded anew. Reports an unreadable file, an unknown opcode (which ends the
// replay) and a short operand (which is skipped) on standard error. Before a record that would
// grow the register past max_states entries it prints one line naming the record and the
// budget and stops: false then, true otherwise.
bool quantum_objcode_run(const std::string& name, quantum_reg_struct& reg,
                         int64_t max_states = replay_default_state_budget());

// The same on an open file, which stays open; looking ahead needs one that can seek.
bool quantum_objcode_run_stream(FILE* file, quantum_reg_struct& reg, int64_t max_states);
