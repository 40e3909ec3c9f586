// tests/fuzz/fuzz_qasm.cpp: reads arbitrary bytes as an OpenQASM program and, when it reads,
// runs it once and takes its outcome table, all within small limits.
#include <cstdint>
#include <string_view>

#include "circuits/program_run.h"
#include "circuits/qasm_lexer.h"
#include "circuits/qasm_reader.h"
#include "engine/error.h"
#include "engine/objcode.h"
#include "engine/register.h"

namespace {

// Small enough that a hostile input costs milliseconds, large enough for real circuits.
constexpr int64_t FUZZ_MAX_STATES = 1 << 10;

void ignore_error(int64_t) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    set_error_handler(ignore_error);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    circuits::looks_like_qasm(text);
    circuits::ReadLimits limits;
    limits.max_qubits = 16;
    limits.max_bits = 256;
    limits.max_ops = 4096;
    circuits::Circuit circuit;
    circuits::ReadError error;
    if (!circuits::read_qasm(text, "fuzz.qasm", circuit, error, limits)) {
        // A refusal always names its place.
        if (error.message.empty() || error.line < 1 || error.column < 1)
            __builtin_trap();
        return 0;
    }
    if (circuit.qubits > limits.max_qubits ||
        static_cast<int64_t>(circuit.ops.size()) > limits.max_ops)
        __builtin_trap();
    circuits::RunOptions options;
    options.max_states = FUZZ_MAX_STATES;
    quantum_reg_struct reg;
    if (circuits::run_to_register(circuit, options, reg) && reg.size > FUZZ_MAX_STATES)
        __builtin_trap();
    register_delete(reg);
    objcode_stop();
    circuits::OutcomeRows<double> rows;
    circuits::outcome_probabilities(circuit, 0, options, rows);
    objcode_stop();
    return 0;
}
