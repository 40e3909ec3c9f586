// tests/fuzz/fuzz_replay.cpp: replays arbitrary bytes as a dump file.
#include <cstdint>
#include <cstdio>

#include "engine/error.h"
#include "engine/objcode.h"
#include "engine/register.h"
#include "engine/replay.h"

namespace {

// Small enough that a hostile input costs milliseconds, large enough for real circuits.
constexpr int64_t FUZZ_MAX_STATES = 1 << 14;

void ignore_error(int64_t) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    set_error_handler(ignore_error);
    // fmemopen of no bytes fails; an empty dump is then one with a single no-operation.
    static const uint8_t nop = OBJCODE_NOP;
    FILE* file = fmemopen(const_cast<uint8_t*>(size ? data : &nop), size ? size : 1, "rb");
    if (!file)
        return 0;
    quantum_reg_struct reg;
    quantum_objcode_run_stream(file, reg, FUZZ_MAX_STATES);
    std::fclose(file);
    if (reg.size > FUZZ_MAX_STATES)
        __builtin_trap();
    register_delete(reg);
    objcode_stop();
    return 0;
}
