// tests/fuzz/fuzz_mttools.cpp: the text and number conversions on arbitrary bytes and values.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/diag.h"
#include "shell/line_input.h"
#include "shell/mttools.h"

namespace {

int64_t take_integer(const uint8_t*& data, size_t& size)
{
    uint64_t v = 0;
    for (int i = 0; i < 8 && size > 0; ++i, ++data, --size)
        v = (v << 8) | *data;
    return static_cast<int64_t>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        diag_set_sink([](std::string_view) {});
        initmttools();
        return true;
    }();
    (void)ready;
    // The first 25 bytes are numbers and small arguments, the rest is text.
    const int64_t value = take_integer(data, size);
    const int64_t raw = take_integer(data, size);
    double real;
    std::memcpy(&real, &raw, sizeof real);
    const int64_t a = take_integer(data, size);
    const uint8_t fill = size ? *data : ' ';
    const Bytes bytes(data, data + size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int64_t small = a % 64, start = (a >> 8) % 300, length = (a >> 24) % 300;

    // Numbers: written then read back.
    if (BytesToInteger(IntegerToBytes(value)) != value)
        __builtin_trap();
    BytesToInteger(bytes);
    NumberText(value, fill, small, (a & 1) != 0);
    DecimalText(real);
    RealText(fill, small, (a >> 6) % 40 - 20, (a & 2) != 0, real);
    Hex2(value), Hex4(value), Hex8(value), Hex2Text(value), Hex8Text(value);
    RulerText(length, (a & 4) != 0, (a & 8) != 0);

    // Texts and byte arrays.
    MidText(text, start, length);
    TextFrom(text, start);
    CharAt(text, start);
    TextPosition(text, MidText(text, start, 3), length);
    FirstLine(text);
    FirstScalar(text);
    BigEndian32(bytes, start);
    position(bytes, MidBytes(bytes, start, 2), length);
    const uint8_t separator = static_cast<uint8_t>(a);
    if (JoinBytes(SplitBytes(bytes, separator), separator) != bytes)
        __builtin_trap();
    BytesToText(bytes);
    TextToBytes(text);
    const std::string fed = UnescapeCodes(EscapeCodes(text));
    if (fed.size() > text.size() * 4 + 4)
        __builtin_trap();
    return 0;
}
