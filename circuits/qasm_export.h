// circuits/qasm_export.h: the recorded circuit of a dump file as an OpenQASM 3 program.
#pragma once

#include <string>

// Converts the dump at path into an OpenQASM 3 program that, run from |0...0>, prepares the
// state the replay of that dump leaves, with the same measurements in the same places.
// Each record maps to the standard gate that acts on the amplitudes as the engine's gate does
// (a run of identical swap-leads records is one call, as in the replay). Qubit q[i] is the
// engine's qubit i until a measurement removes a qubit; from then on the engine's shifted
// indices are mapped back to the wires they started on.
// On an unknown opcode or a cut-off record it prints the replay's diagnostic, on a record
// without a unitary form one "qucode:" line, and returns false with out left empty.
bool qasm_export(const std::string& path, std::string& out);

// The qucode tool's qasm command: the program on standard output, or in out_path (written to
// a temporary file beside it and renamed, so a failed export leaves no partial file).
// Returns the exit status: 0, or 1 after one diagnostic on standard error.
int qasm_command(const std::string& path, const std::string& out_path);
