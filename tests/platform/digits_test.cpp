// Hexadecimal and grouped digits, the forms every layer prints.
#include "platform/digits.h"

#include <gtest/gtest.h>

TEST(HexDigits, LowBitsUpperCaseZeroFilled)
{
    EXPECT_EQ(platform::hex_digits(0xD12000, 8), "00D12000");
    EXPECT_EQ(platform::hex_digits(static_cast<uint64_t>(-1), 4), "FFFF");
    EXPECT_EQ(platform::hex_digits(0xAB, 1), "B");
    EXPECT_EQ(platform::hex_digits(0x0123456789ABCDEFull, 16), "0123456789ABCDEF");
}

TEST(GroupThousands, FullStopEveryThreeDigitsFromTheRight)
{
    EXPECT_EQ(platform::group_thousands(""), "");
    EXPECT_EQ(platform::group_thousands("999"), "999");
    EXPECT_EQ(platform::group_thousands("1000"), "1.000");
    EXPECT_EQ(platform::group_thousands("123456"), "123.456");
    EXPECT_EQ(platform::group_thousands("1234567"), "1.234.567");
}
