// toolkit/font.cpp: loading and decompressing font resources.
#include "toolkit/font.h"

#include "platform/diag.h"
#include "platform/platform.h"

#include <mutex>
#include <optional>

namespace {

constexpr const char* LOADER = "t_LoadFontResource";
// 256 glyphs of the largest cell a header can describe; anything longer is not a font.
constexpr size_t MAX_DECODED_BYTES = 256u * 255u * 255u;
constexpr int MIN_CODE_BITS = 8;
constexpr int MAX_CODE_BITS = 24;

std::mutex folder_mutex;
std::optional<std::string> folder_override; // guarded by folder_mutex

uint8_t byte_at(const std::vector<uint8_t>& bytes, size_t index)
{
    return index < bytes.size() ? bytes[index] : 0;
}

// Reads n-bit codes, most significant bit first; bits that do not fill a code are dropped.
std::vector<uint32_t> unpack_codes(const std::vector<uint8_t>& packed, int bits)
{
    std::vector<uint32_t> codes;
    codes.reserve(packed.size() * 8 / static_cast<size_t>(bits));
    uint64_t buffer = 0;
    int held = 0;
    for (uint8_t b : packed) {
        buffer = (buffer << 8) | b;
        held += 8;
        while (held >= bits) {
            held -= bits;
            codes.push_back(static_cast<uint32_t>((buffer >> held) & ((1ull << bits) - 1)));
        }
        buffer &= (1ull << held) - 1;
    }
    return codes;
}

} // namespace

namespace toolkit {

void set_font_folder(const std::string& folder)
{
    std::lock_guard lock(folder_mutex);
    folder_override = folder;
}

std::string font_folder()
{
    {
        std::lock_guard lock(folder_mutex);
        if (folder_override)
            return *folder_override;
    }
    return platform::resource_folder();
}

std::vector<uint8_t> lzw_decode(const std::vector<uint8_t>& packed, int code_bits)
{
    if (code_bits < MIN_CODE_BITS || code_bits > MAX_CODE_BITS)
        return {};
    const std::vector<uint32_t> codes = unpack_codes(packed, code_bits);
    if (codes.empty())
        return {};
    // Entry k above 255 is entry prefix[k] followed by suffix[k]; strings are never copied.
    std::vector<uint32_t> prefix(256, 0);
    std::vector<uint8_t> suffix(256);
    std::vector<uint8_t> first(256);
    std::vector<uint32_t> length(256, 1);
    for (uint32_t i = 0; i < 256; ++i)
        suffix[i] = first[i] = static_cast<uint8_t>(i);

    std::vector<uint8_t> out;
    auto emit = [&](uint32_t code) {
        const size_t at = out.size();
        out.resize(at + length[code]);
        for (uint32_t k = code, pos = length[code]; pos > 0; --pos) {
            out[at + pos - 1] = suffix[k];
            k = prefix[k];
        }
    };
    uint32_t previous = codes[0] & 0xFF;
    out.push_back(static_cast<uint8_t>(previous));
    for (size_t n = 1; n < codes.size(); ++n) {
        const uint32_t k = codes[n];
        const uint32_t next_free = static_cast<uint32_t>(prefix.size());
        uint8_t entry_first;
        if (k < next_free)
            entry_first = first[k];
        else if (k == next_free)
            entry_first = first[previous];
        else
            return {};
        if (out.size() + length[previous] + 1 > MAX_DECODED_BYTES)
            return {};
        prefix.push_back(previous);
        suffix.push_back(entry_first);
        first.push_back(first[previous]);
        length.push_back(length[previous] + 1);
        emit(k);
        previous = k;
    }
    return out;
}

void decompress_font(t_Font& font)
{
    if (font.Format != FONT_FORMAT_BW_LZW && font.Format != FONT_FORMAT_GREY_LZW)
        return;
    if (font.Data.empty()) {
        font.Format = font.Format == FONT_FORMAT_BW_LZW ? FONT_FORMAT_BW : FONT_FORMAT_GREY;
        return;
    }
    const int bits = font.Data[0];
    const std::vector<uint8_t> packed(font.Data.begin() + 1, font.Data.end());
    font.Data = lzw_decode(packed, bits);
    font.Format = font.Format == FONT_FORMAT_BW_LZW ? FONT_FORMAT_BW : FONT_FORMAT_GREY;
}

t_Font parse_font_bytes(const std::string& file_name, const std::vector<uint8_t>& bytes)
{
    if (bytes.empty()) {
        diag_line(LOADER, "Could not load file „" + file_name + "“");
        return t_Font{};
    }
    const uint8_t header = bytes[0];
    if (bytes.size() < header) {
        diag_line(LOADER, "Invalid header size");
        t_Font empty;
        empty.HeaderSize = header;
        return empty;
    }
    if (bytes.size() < 5 || bytes[1] != 'm' || bytes[2] != 't' || bytes[3] != 'f' ||
        bytes[4] != 'n') {
        diag_line(LOADER, "Invalid file type");
        return t_Font{};
    }
    t_Font font;
    font.HeaderSize = header;
    font.Identifier.assign(bytes.begin() + 1, bytes.begin() + 5);
    font.Format = byte_at(bytes, 5);
    font.Size = bytes.size() < 10 ? 0
                                  : (int64_t{bytes[6]} << 24) | (int64_t{bytes[7]} << 16) |
                                        (int64_t{bytes[8]} << 8) | bytes[9];
    font.Start = byte_at(bytes, 10);
    font.End = byte_at(bytes, 11);
    font.Width = byte_at(bytes, 12);
    font.Height = byte_at(bytes, 13);
    font.Reserved = bytes.size() < 16 ? 0 : (int64_t{bytes[14]} << 8) | bytes[15];
    font.Data.assign(bytes.begin() + header, bytes.end());
    decompress_font(font);
    // Grey glyph data must reach to the last glyph; a file cut short is refused as a whole
    // rather than shown with some glyphs missing.
    const size_t needed = (size_t{font.End} + 1) * static_cast<size_t>(font.Width * font.Height);
    if (font.Format == FONT_FORMAT_GREY && !font.Data.empty() && font.Data.size() < needed) {
        diag_line(LOADER, "Font data too short");
        return t_Font{};
    }
    return font;
}

} // namespace toolkit

t_Font t_LoadFontResource(const std::string& file_name)
{
    const std::string path = toolkit::font_folder() + file_name;
    std::vector<uint8_t> bytes = platform::read_file(path).value_or(std::vector<uint8_t>{});
    return toolkit::parse_font_bytes(file_name, bytes);
}
