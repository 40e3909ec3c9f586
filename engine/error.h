// engine/error.h: the engine's error reporter with its code table, and its memory count.
#pragma once

#include <cstdint>

// Error codes reported through quantum_error.
constexpr int64_t QUANTUM_SUCCESS = 0;
constexpr int64_t QUANTUM_FAILURE = 1;
constexpr int64_t QUANTUM_ENOMEM = 2;
constexpr int64_t QUANTUM_EMLARGE = 3;
constexpr int64_t QUANTUM_EMSIZE = 4;
constexpr int64_t QUANTUM_EHASHFULL = 5;
constexpr int64_t QUANTUM_EHERMITIAN = 6;
constexpr int64_t QUANTUM_ENOCONVERGE = 7;
constexpr int64_t QUANTUM_ENOLAPACK = 0x8000;
constexpr int64_t QUANTUM_ELAPACKARG = 0x8001;
constexpr int64_t QUANTUM_ELAPACKCONV = 0x8002;
constexpr int64_t QUANTUM_EMCMATRIX = 0x10000;
constexpr int64_t QUANTUM_EOPCODE = 0x10001;

// Called instead of printing when installed; it then owns the reaction to the code.
using quantum_error_handler = void (*)(int64_t code);

// Last code reported without a handler; only callers reset it.
extern int64_t last_error;

// Reports code: through the handler if one is installed, else "ERROR: <message>" on stderr
// and last_error = code. Never stops the program.
void quantum_error(int64_t code);

// The fixed message of a code; "unknown error code" for codes outside the table.
const char* error_message(int64_t code);

// Installs handler and returns it; with nullptr returns the installed one unchanged.
quantum_error_handler set_error_handler(quantum_error_handler handler);

// "1.1.1".
const char* engine_version();

// Adds a byte delta (negative on release) to the bytes in use; returns the new count.
int64_t memory_account(int64_t delta_bytes);

// The highest count memory_account has returned so far.
int64_t memory_high_water();
