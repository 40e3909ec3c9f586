// platform/digits.cpp: hexadecimal and grouped decimal digits.
#include "platform/digits.h"

namespace platform {

std::string hex_digits(uint64_t value, int count)
{
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string out(static_cast<size_t>(count), '0');
    for (int i = count - 1; i >= 0; --i) {
        out[static_cast<size_t>(i)] = DIGITS[value & 0xF];
        value >>= 4;
    }
    return out;
}

std::string group_thousands(std::string_view digits)
{
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += '.';
        out += digits[i];
    }
    return out;
}

} // namespace platform
