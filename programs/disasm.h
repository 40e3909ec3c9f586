// programs/disasm.h: the quantum disassembler, which lists a dump of object code line by line
// (the lister itself is circuits/lister.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "circuits/lister.h"

// Reads the dump at path and returns its listing (empty for an empty or unreadable file).
std::vector<uint8_t> quantum_print(const std::string& path);

// The D command after its heading: lists the dump at path, prints the size line and appends
// the listing to the virtual printer.
void disasm_command(const std::string& path);

// The D row of the command table: heading, then disasm_command on the dump file.
void command_disasm();

// The qucode tool's list command: the listing of the dump at path on standard output with line
// feeds for carriage returns; progress and diagnostics on standard error. Returns the exit
// status: 0, or 1 with one line on standard error when the file cannot be read or written.
int disasm_list_to_stdout(const std::string& path);

// Whether the qucode tool can read path; if not, one line on standard error says why.
bool qucode_can_read(const std::string& path);
