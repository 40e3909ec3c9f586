// tests/fuzz/fuzz_disasm.cpp: lists arbitrary bytes as a dump file.
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/diag.h"
#include "programs/disasm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        initopcodenames();
        disasm_set_progress([](std::string_view, bool) {});
        diag_set_sink([](std::string_view) {});
        return true;
    }();
    (void)ready;
    const std::vector<uint8_t> dump(data, data + size);
    const std::vector<uint8_t> listing = disassemble(dump);
    // Every record, even a cut one, gives a line; no bytes, no lines.
    if (dump.empty() != listing.empty())
        __builtin_trap();
    return 0;
}
