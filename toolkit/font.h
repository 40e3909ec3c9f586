// toolkit/font.h: bitmap font resources and their decompression.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One bitmap font; a fresh record is the empty font (no glyph data, so no text).
struct t_Font {
    int64_t HeaderSize = 16; // bytes before the glyph data in the file
    std::vector<uint8_t> Identifier{'m', 't', 'f', 'n'};
    int64_t Format = 0; // 0 black-and-white, 2 grey; 100 and 102 their compressed forms
    int64_t Size = 0;   // the file's size field, informational only
    uint8_t Start = 0;  // first code with a glyph
    uint8_t End = 0;    // last code with a glyph
    int64_t Width = 0;  // cell width in pixels
    int64_t Height = 0; // cell height in pixels
    int64_t Reserved = 0;
    std::vector<uint8_t> Data; // glyphs of codes 0..End, indexed by the code itself
};

namespace toolkit {

// Font file header layout: 16 bytes, big-endian numbers.
constexpr int64_t FONT_HEADER_BYTES = 16;
constexpr uint8_t FONT_FORMAT_BW = 0;
constexpr uint8_t FONT_FORMAT_GREY = 2;
constexpr uint8_t FONT_FORMAT_BW_LZW = 100;
constexpr uint8_t FONT_FORMAT_GREY_LZW = 102;

// The folder t_LoadFontResource reads from; defaults to platform::resource_folder().
void set_font_folder(const std::string& folder);
std::string font_folder();

// Parses a whole font file; prints the loader's lines and returns the empty font on failure.
t_Font parse_font_bytes(const std::string& file_name, const std::vector<uint8_t>& bytes);

// Decodes a compressed font in place (formats 100, 102); other formats pass unchanged.
void decompress_font(t_Font& font);

// LZW decoding of the packed n-bit codes (the stream after the code-width byte); no clear or
// end code; empty on a code that cannot occur yet, a width outside 8..24 or an absurd size.
std::vector<uint8_t> lzw_decode(const std::vector<uint8_t>& packed, int code_bits);

} // namespace toolkit

// Loads a font resource by file name from the resource folder and decompresses it.
t_Font t_LoadFontResource(const std::string& file_name);
