// platform/utf8.h: UTF-8 encoding and decoding, shared by every layer above.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The scalar at text[pos] and advances pos past it; nullopt for a byte that starts no
// well-formed sequence (overlong, surrogate, past U+10FFFF, cut short), with pos advanced by
// that one byte. Expects pos < text.size().
std::optional<char32_t> next_utf8(std::string_view text, size_t& pos);

// What a byte that starts no well-formed sequence becomes.
enum class StrayByte { AsCode, Replacement };
// A stray byte becomes the character of its code (nothing lost), or U+FFFD on request.
std::u32string decode_utf8(std::string_view text, StrayByte stray = StrayByte::AsCode);
std::string encode_utf8(std::u32string_view scalars);
// Surrogates and values past U+10FFFF are written as NUL, so the output stays well-formed.
void append_utf8(std::string& out, char32_t scalar);
// True when every byte belongs to a well-formed sequence.
bool valid_utf8(std::string_view text);

} // namespace platform
