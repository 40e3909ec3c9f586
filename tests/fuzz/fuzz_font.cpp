// tests/fuzz/fuzz_font.cpp: loads arbitrary bytes as a font file and decompresses it.
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/diag.h"
#include "toolkit/font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        diag_set_sink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    const std::vector<uint8_t> bytes(data, data + size);
    t_Font font = toolkit::parse_font_bytes("fuzz.font", bytes);
    toolkit::decompress_font(font);
    // The packed stream alone, at the code width its first byte names.
    if (size > 1)
        toolkit::lzw_decode(std::vector<uint8_t>(data + 1, data + size), data[0]);
    return 0;
}
