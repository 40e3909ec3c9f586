// circuits/qasm_reader.h: reads an OpenQASM 2 or 3 program into the engine gates it runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "circuits/circuit.h"
#include "circuits/qasm_expression.h"

namespace circuits {

struct ReadLimits {
    // The engine's register works up to this width (its hash table has 4 slots per value).
    int32_t max_qubits = 28;
    int32_t max_bits = 65536;
    // Engine gates after every definition, modifier and broadcast is expanded.
    int64_t max_ops = int64_t{1} << 22;
};

// Reads source (named file in messages) into circuit: every gate lowered to engine gates,
// registers numbered in declaration order. False with error at the first construct that is
// wrong or not supported (one German sentence; nothing is skipped silently).
bool read_qasm(std::string_view source, const std::string& file, Circuit& circuit, ReadError& error,
               const ReadLimits& limits = {});

// "FILE:LINE:COLUMN: message".
std::string located(const std::string& file, const ReadError& error);

} // namespace circuits
