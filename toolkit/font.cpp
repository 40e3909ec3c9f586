// toolkit/font.cpp: loading and decompressing font resources, and drawing glyphs.
#include "toolkit/font.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "toolkit/window.h"

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

// Nearest of the 16 palette colours at depth 4; greys go by brightness bands.
uint8_t nearest_palette_index(int r, int g, int b)
{
    if (r == g && g == b) {
        const int sum = r + g + b;
        if (sum < 192)
            return 0;
        if (sum < 384)
            return 5;
        if (sum < 576)
            return 10;
        return 15;
    }
    auto distance = [&](size_t i) {
        const int dr = r - Palette[i].Red;
        const int dg = g - Palette[i].Green;
        const int db = b - Palette[i].Blue;
        return dr * dr + dg * dg + db * db;
    };
    int best = std::min(distance(0), 65535);
    uint8_t best_index = 0;
    for (size_t i = 0; i < Palette.size(); ++i) {
        const int d = distance(i);
        if (d < best) {
            best = d;
            best_index = static_cast<uint8_t>(i);
        }
    }
    return best_index;
}

void draw_glyph(const t_Window& w, const uint8_t* glyph, uint8_t fg, uint8_t bg, int64_t column,
                int64_t line)
{
    const t_RGBColor& f = Palette[fg];
    const t_RGBColor& b = Palette[bg];
    const int fy = (f.Red + f.Green + f.Blue) / 3;
    const int by = (b.Red + b.Green + b.Blue) / 3;
    const int64_t x0 = (column - 1) * w.Font.Width;
    const int64_t y0 = (line - 1) * w.Font.Height;
    std::lock_guard lock(toolkit::video_mutex());
    uint8_t* base = VideoMemory.data() + w.MemoryStart;
    for (int64_t j = 0; j < w.Font.Height; ++j) {
        const int64_t y = y0 + j;
        for (int64_t i = 0; i < w.Font.Width; ++i) {
            const int64_t x = x0 + i;
            const int g = glyph[j * w.Font.Width + i];
            const int gi = 255 - g;
            const int red = gi * b.Red / 255 + g * f.Red / 255;
            const int green = gi * b.Green / 255 + g * f.Green / 255;
            const int blue = gi * b.Blue / 255 + g * f.Blue / 255;
            const int64_t pixel = y * w.Width + x;
            switch (w.BitDepth) {
            case 1: {
                uint8_t& cell = base[y * (w.Width / 8) + x / 8];
                const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
                if ((red + green + blue) / 3 >= 128)
                    cell |= bit;
                else
                    cell &= static_cast<uint8_t>(~bit);
                break;
            }
            case 4: {
                uint8_t& cell = base[pixel / 2];
                const uint8_t index = nearest_palette_index(red, green, blue);
                if (x % 2 == 0)
                    cell = static_cast<uint8_t>((cell & 0x0F) | (index << 4));
                else
                    cell = static_cast<uint8_t>((cell & 0xF0) | index);
                break;
            }
            case 8:
                base[pixel] = static_cast<uint8_t>(gi * by / 255 + g * fy / 255);
                break;
            case 16:
                base[2 * pixel + 1] = static_cast<uint8_t>(gi * by / 255 + g * fy / 255);
                break;
            case 24:
                base[3 * pixel] = static_cast<uint8_t>(red);
                base[3 * pixel + 1] = static_cast<uint8_t>(green);
                base[3 * pixel + 2] = static_cast<uint8_t>(blue);
                break;
            case 32:
                base[4 * pixel + 1] = static_cast<uint8_t>(red);
                base[4 * pixel + 2] = static_cast<uint8_t>(green);
                base[4 * pixel + 3] = static_cast<uint8_t>(blue);
                break;
            default:
                return;
            }
        }
    }
    ++VideoMemoryWrites;
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

void t_WindowFont(uint8_t win, const t_Font& font)
{
    if (toolkit::window_ready("t_WindowFont", win))
        window_table[win].Font = font;
}

void t_PrintSymbol(uint8_t win, int32_t code, uint8_t color, int64_t column, int64_t line)
{
    constexpr const char* op = "t_PrintSymbol";
    if (win >= WINDOW_COUNT) {
        diag_line(op, "Window is not a graphic window.");
        return;
    }
    t_Window& w = window_table[win];
    auto number = [win] { return std::to_string(win); };
    const uint8_t character = static_cast<uint8_t>(code & 0xFF);
    const int64_t redirect = toolkit::output_redirect(win);
    if (!MemoryReady || !w.Initialized || w.TextMemoryStart < 0) {
        if (redirect == 2)
            toolkit::write_redirected(character);
        else if (redirect == 1)
            diag_line(op, "Window #" + number() + " not initialized.");
        return;
    }
    if (redirect == 2) {
        toolkit::write_redirected(character);
        return;
    }
    if (redirect != 1)
        return;
    if (w.Font.Data.empty()) {
        diag_line(op, "Window #" + number() + " not initialized.");
        return;
    }
    uint8_t fg = color >> 4;
    uint8_t bg = color & 0x0F;
    if (w.TextInverse)
        std::swap(fg, bg);
    // Beyond the canvas, or beyond the text grid the blocks were sized for (a replacement
    // font of another cell size), a cell would land in someone else's memory.
    if (column < 1 || line < 1 || w.Font.Width * column > w.Width ||
        w.Font.Height * line > w.Height || column > w.TextWidth || line > w.TextHeight) {
        diag_line(op, "Window #" + number() + " illegal coordinates (x = " +
                          std::to_string(column) + ", y = " + std::to_string(line) + ").");
        return;
    }
    if (code >= w.Font.Start && code <= w.Font.End) {
        if (w.Font.Format == toolkit::FONT_FORMAT_GREY) {
            const size_t glyph_bytes = static_cast<size_t>(w.Font.Width * w.Font.Height);
            const size_t offset = static_cast<size_t>(code) * glyph_bytes;
            // A font whose data stops short of this glyph draws nothing rather than read on.
            if (offset + glyph_bytes <= w.Font.Data.size())
                draw_glyph(w, w.Font.Data.data() + offset, fg, bg, column, line);
        } else {
            t_Font copy = w.Font;
            toolkit::decompress_font(copy);
            if (copy.Format == toolkit::FONT_FORMAT_BW || copy.Format == toolkit::FONT_FORMAT_GREY)
                diag_line(op, "Font format must be uncompressed grey for text-printing.");
            else
                diag_line(op, "Illegal font format.");
        }
    }
    const int64_t index = toolkit::cell_index(w, column, line);
    std::lock_guard lock(toolkit::video_mutex());
    VideoMemory[static_cast<size_t>(w.TextMemoryStart + index)] = character;
    VideoMemory[static_cast<size_t>(toolkit::colour_plane_start(w) + index)] =
        static_cast<uint8_t>(fg * 16 + bg);
}
