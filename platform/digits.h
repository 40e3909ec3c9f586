// platform/digits.h: the digit strings every layer writes: hexadecimal, grouped decimal and
// decimal fractions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The low 4 x count bits of value as count upper-case hexadecimal digits, most significant
// first; count 1 to 16.
std::string hex_digits(uint64_t value, int count);

// Decimal digits with a full stop between groups of three, counted from the right, as the
// German number texts write them: "1234567" becomes "1.234.567". Expects digits only.
std::string group_thousands(std::string_view digits);

// The shortest decimal text that reads back as value, with a decimal comma: plain digits
// from 1e-4 up to 2^53, an exponent outside; no ",0" for whole numbers.
std::string decimal_text(double value);

} // namespace platform
