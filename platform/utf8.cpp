// platform/utf8.cpp: UTF-8 encoding and decoding.
#include "platform/utf8.h"

#include <cstdint>

namespace platform {

std::optional<char32_t> next_utf8(std::string_view text, size_t& pos)
{
    const auto lead = static_cast<uint8_t>(text[pos]);
    size_t extra = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++pos;
        return std::nullopt;
    }
    if (text.size() - pos <= extra) {
        ++pos;
        return std::nullopt;
    }
    for (size_t k = 1; k <= extra; ++k) {
        const auto follow = static_cast<uint8_t>(text[pos + k]);
        if ((follow & 0xC0) != 0x80) {
            ++pos;
            return std::nullopt;
        }
        value = (value << 6) | (follow & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++pos;
        return std::nullopt;
    }
    pos += extra + 1;
    return value;
}

std::u32string decode_utf8(std::string_view text, StrayByte stray)
{
    std::u32string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<uint8_t>(text[pos]);
        const std::optional<char32_t> c = next_utf8(text, pos);
        // A stray byte stands for the character of its code, so nothing is lost.
        out += c ? *c : stray == StrayByte::AsCode ? char32_t{byte} : char32_t{0xFFFD};
    }
    return out;
}

void append_utf8(std::string& out, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string encode_utf8(std::u32string_view scalars)
{
    std::string out;
    out.reserve(scalars.size());
    for (char32_t c : scalars)
        append_utf8(out, c);
    return out;
}

bool valid_utf8(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        if (!next_utf8(text, pos))
            return false;
    }
    return true;
}

} // namespace platform
