// toolkit/glyphs.cpp: drawing a glyph into a window's graphic block and storing its cell.
#include "toolkit/glyphs.h"

#include "platform/diag.h"
#include "platform/utf8.h"
#include "toolkit/video_memory.h"

#include <algorithm>
#include <mutex>
#include <string>

namespace {

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

// Redirected output: the character U+0000..U+00FF on standard output, as UTF-8.
void write_redirected(uint8_t code)
{
    std::string text;
    platform::append_utf8(text, code);
    diag_write(text);
}

} // namespace

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
            write_redirected(character);
        else if (redirect == 1)
            diag_line(op, "Window #" + number() + " not initialized.");
        return;
    }
    if (redirect == 2) {
        write_redirected(character);
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
