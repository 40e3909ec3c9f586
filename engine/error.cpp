// engine/error.cpp: error reporting and memory accounting, engine-wide and lock-free,
// because only the program thread calls the engine.
#include "engine/error.h"

#include <cstdio>

int64_t last_error = 0;

namespace {

quantum_error_handler installed_handler = nullptr;
int64_t bytes_in_use = 0;
int64_t bytes_high_water = 0;

} // namespace

void quantum_error(int64_t code)
{
    if (installed_handler) {
        installed_handler(code);
        return;
    }
    // Flush first so the error line lands after whatever the caller printed before it.
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: %s\n", error_message(code));
    std::fflush(stderr);
    last_error = code;
}

const char* error_message(int64_t code)
{
    switch (code) {
    case QUANTUM_SUCCESS:
        return "success";
    case QUANTUM_FAILURE:
        return "failure";
    case QUANTUM_ENOMEM:
        return "malloc failed";
    case QUANTUM_EMLARGE:
        return "matrix too large";
    case QUANTUM_EMSIZE:
        return "wrong matrix size";
    case QUANTUM_EHASHFULL:
        return "hash table full";
    case QUANTUM_EHERMITIAN:
        return "matrix not Hermitian";
    case QUANTUM_ENOCONVERGE:
        return "method failed to converge";
    case QUANTUM_ENOLAPACK:
        return "LAPACK support not compiled in";
    case QUANTUM_ELAPACKARG:
        return "wrong arguments supplied to LAPACK";
    case QUANTUM_ELAPACKCONV:
        return "LAPACK failed to converge";
    case QUANTUM_EMCMATRIX:
        return "single-column matrix expected";
    case QUANTUM_EOPCODE:
        return "unknown opcode";
    default:
        return "unknown error code";
    }
}

quantum_error_handler set_error_handler(quantum_error_handler handler)
{
    if (handler)
        installed_handler = handler;
    return installed_handler;
}

const char* engine_version()
{
    return "1.1.1";
}

int64_t memory_account(int64_t delta_bytes)
{
    bytes_in_use += delta_bytes;
    if (bytes_in_use > bytes_high_water)
        bytes_high_water = bytes_in_use;
    return bytes_in_use;
}

int64_t memory_high_water()
{
    return bytes_high_water;
}
