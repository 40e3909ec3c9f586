// programs/disasm.h: the quantum disassembler, which lists a dump of object code line by line
// (the lister itself is circuits/lister.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "circuits/lister.h"

// The D command after its heading: lists the dump at path, prints the size line and appends
// the listing to the virtual printer.
void disasm_command(const std::string& path);

// The D row of the command table: heading, then disasm_command on the dump file.
void command_disasm();
