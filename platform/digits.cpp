// platform/digits.cpp: hexadecimal and grouped decimal digits.
#include "platform/digits.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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

std::string decimal_text(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[64];
    double magnitude = std::fabs(value);
    // Plain digits in the range where they stay readable and exact; exponents outside it.
    bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string text(buffer, result.ptr);
    std::replace(text.begin(), text.end(), '.', ',');
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, ",0") == 0)
        text.resize(text.size() - 2);
    return text;
}

} // namespace platform
