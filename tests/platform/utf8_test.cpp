// tests/platform/utf8_test.cpp: UTF-8 decoding of stray bytes and encoding of bad scalars.
#include "platform/utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, StrayBytesBecomeTheirCodeOrTheReplacement)
{
    // A lone continuation byte, a cut sequence and an overlong form each count as stray.
    const std::string text = "a\x80" "b\xC3" "\xC0\xAF";
    EXPECT_EQ(platform::decode_utf8(text), std::u32string(U"a\u0080b\u00C3\u00C0\u00AF"));
    EXPECT_EQ(platform::decode_utf8(text, platform::StrayByte::Replacement),
              std::u32string(U"a\uFFFDb\uFFFD\uFFFD\uFFFD"));
    EXPECT_EQ(platform::decode_utf8("\xC3\xA4\xF0\x9F\x98\x80", platform::StrayByte::Replacement),
              std::u32string(U"\u00E4\U0001F600"));
}

TEST(Utf8, NextScalarStopsAtEachMalformedLead)
{
    struct Case {
        const char* text;
        bool valid;
        size_t advance;
    } cases[] = {
        {"\xE2\x82\xAC", true, 3},      // U+20AC
        {"\xF4\x8F\xBF\xBF", true, 4},  // the last scalar
        {"\xE0\x9F\xBF", false, 1},     // overlong three-byte form
        {"\xF0\x8F\xBF\xBF", false, 1}, // overlong four-byte form
        {"\xED\xA0\x80", false, 1},     // surrogate U+D800
        {"\xF4\x90\x80\x80", false, 1}, // past U+10FFFF
        {"\xF5\x80\x80\x80", false, 1}, // lead byte no scalar uses
        {"\xE2\x82", false, 1},         // cut short
        {"\xE2\x41\x41", false, 1},     // a continuation missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        size_t pos = 0;
        EXPECT_EQ(platform::next_utf8(c.text, pos).has_value(), c.valid);
        EXPECT_EQ(pos, c.advance);
        EXPECT_EQ(platform::valid_utf8(c.text), c.valid);
    }
}

} // namespace
