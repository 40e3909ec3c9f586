// toolkit/drawing.cpp: pixels, lines, rectangles and labels in a window's graphic block.
#include "toolkit/drawing.h"

#include "platform/diag.h"
#include "platform/utf8.h"
#include "toolkit/palette.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace {

// Labels use the font at half its cell size, so a tick label fits beside a small plot.
constexpr int64_t LABEL_SHRINK = 2;
// Of the four glyph pixels behind one label pixel, at least this much ink (0 to 255) draws.
constexpr int LABEL_INK_THRESHOLD = 64;
// Line ends beyond this many pixels from the origin are refused.
constexpr int64_t LINE_REACH = int64_t{1} << 24;

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

Rgb palette_rgb(uint8_t color)
{
    const t_RGBColor& c = Palette[color];
    return {c.Red, c.Green, c.Blue};
}

// Entry check of every drawing operation.
bool drawing_ready(const char* op, uint8_t win, uint8_t color)
{
    if (!toolkit::window_ready(op, win))
        return false;
    if (color > 15) {
        diag_line(op, "Illegal color " + std::to_string(color) + ".");
        return false;
    }
    return true;
}

// Writes one canvas pixel; color_index is what a depth-4 canvas stores. Expects the video
// lock held and (x, y) inside the canvas.
void store_pixel(const t_Window& w, int64_t x, int64_t y, Rgb c, uint8_t color_index)
{
    uint8_t* base = VideoMemory.data() + w.MemoryStart;
    const int64_t pixel = y * w.Width + x;
    const int grey = (c.red + c.green + c.blue) / 3;
    switch (w.BitDepth) {
    case 1: {
        uint8_t& cell = base[y * (w.Width / 8) + x / 8];
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
        cell = grey >= 128 ? static_cast<uint8_t>(cell | bit) : static_cast<uint8_t>(cell & ~bit);
        break;
    }
    case 4: {
        uint8_t& cell = base[pixel / 2];
        cell = x % 2 == 0 ? static_cast<uint8_t>((cell & 0x0F) | (color_index << 4))
                          : static_cast<uint8_t>((cell & 0xF0) | color_index);
        break;
    }
    case 8:
        base[pixel] = static_cast<uint8_t>(grey);
        break;
    case 16:
        base[2 * pixel + 1] = static_cast<uint8_t>(grey);
        break;
    case 24:
        base[3 * pixel] = static_cast<uint8_t>(c.red);
        base[3 * pixel + 1] = static_cast<uint8_t>(c.green);
        base[3 * pixel + 2] = static_cast<uint8_t>(c.blue);
        break;
    case 32:
        base[4 * pixel + 1] = static_cast<uint8_t>(c.red);
        base[4 * pixel + 2] = static_cast<uint8_t>(c.green);
        base[4 * pixel + 3] = static_cast<uint8_t>(c.blue);
        break;
    default:
        break;
    }
}

bool inside(const t_Window& w, int64_t x, int64_t y)
{
    return x >= 0 && y >= 0 && x < w.Width && y < w.Height;
}

// The colour a label pixel with this much ink gets over what the canvas holds: blended on
// the colour canvases, all or nothing on the others.
bool label_pixel(const t_Window& w, int64_t x, int64_t y, int ink, Rgb fg, Rgb& out)
{
    if (ink < LABEL_INK_THRESHOLD)
        return false;
    const uint8_t* base = VideoMemory.data() + w.MemoryStart;
    const int64_t pixel = y * w.Width + x;
    Rgb under;
    if (w.BitDepth == 24)
        under = {base[3 * pixel], base[3 * pixel + 1], base[3 * pixel + 2]};
    else if (w.BitDepth == 32)
        under = {base[4 * pixel + 1], base[4 * pixel + 2], base[4 * pixel + 3]};
    else {
        out = fg;
        return ink >= 128;
    }
    auto mix = [ink](int f, int u) { return (f * ink + u * (255 - ink)) / 255; };
    out = {mix(fg.red, under.red), mix(fg.green, under.green), mix(fg.blue, under.blue)};
    return true;
}

int64_t label_advance(const t_Window& w) { return w.Font.Width / LABEL_SHRINK; }

// Fills the rectangle of canvas pixels, clipped; expects the video lock held.
void fill(const t_Window& w, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t color)
{
    const Rgb c = palette_rgb(color);
    const int64_t left = std::max<int64_t>(0, std::min(x1, x2));
    const int64_t right = std::min(w.Width - 1, std::max(x1, x2));
    const int64_t top = std::max<int64_t>(0, std::min(y1, y2));
    const int64_t bottom = std::min(w.Height - 1, std::max(y1, y2));
    for (int64_t y = top; y <= bottom; ++y)
        for (int64_t x = left; x <= right; ++x)
            store_pixel(w, x, y, c, color);
}

} // namespace

void t_ClearGraphic(uint8_t win, uint8_t color)
{
    if (!drawing_ready("t_ClearGraphic", win, color))
        return;
    std::lock_guard lock(toolkit::video_mutex());
    const t_Window& w = window_table[win];
    fill(w, 0, 0, w.Width - 1, w.Height - 1, color);
    ++VideoMemoryWrites;
}

void t_SetPixel(uint8_t win, int64_t x, int64_t y, uint8_t color)
{
    if (!drawing_ready("t_SetPixel", win, color))
        return;
    std::lock_guard lock(toolkit::video_mutex());
    const t_Window& w = window_table[win];
    if (inside(w, x, y))
        store_pixel(w, x, y, palette_rgb(color), color);
    ++VideoMemoryWrites;
}

void t_DrawLine(uint8_t win, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t color)
{
    constexpr const char* op = "t_DrawLine";
    if (!drawing_ready(op, win, color))
        return;
    // The walk visits every pixel between the ends, inside or not; far ends would take
    // for ever (or overflow), and no canvas reaches them.
    for (int64_t v : {x1, y1, x2, y2}) {
        if (v < -LINE_REACH || v > LINE_REACH) {
            diag_line(op, "Window #" + std::to_string(win) + " illegal coordinates.");
            return;
        }
    }
    std::lock_guard lock(toolkit::video_mutex());
    const t_Window& w = window_table[win];
    const Rgb c = palette_rgb(color);
    // Pass: Bresenham's walk from end to end, clipping pixel by pixel.
    const int64_t dx = std::llabs(x2 - x1);
    const int64_t dy = -std::llabs(y2 - y1);
    const int64_t sx = x1 < x2 ? 1 : -1;
    const int64_t sy = y1 < y2 ? 1 : -1;
    int64_t error = dx + dy;
    int64_t x = x1;
    int64_t y = y1;
    for (;;) {
        if (inside(w, x, y))
            store_pixel(w, x, y, c, color);
        if (x == x2 && y == y2)
            break;
        const int64_t twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
    ++VideoMemoryWrites;
}

void t_FillRect(uint8_t win, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t color)
{
    if (!drawing_ready("t_FillRect", win, color))
        return;
    std::lock_guard lock(toolkit::video_mutex());
    fill(window_table[win], x1, y1, x2, y2, color);
    ++VideoMemoryWrites;
}

int64_t t_LabelWidth(uint8_t win, std::string_view text)
{
    if (win >= WINDOW_COUNT || !MemoryReady)
        return 0;
    std::lock_guard lock(toolkit::video_mutex());
    const t_Window& w = window_table[win];
    int64_t count = 0;
    for (char32_t c : platform::decode_utf8(text))
        count += c <= 255 ? 1 : 0;
    return count * label_advance(w);
}

int64_t t_LabelHeight(uint8_t win)
{
    if (win >= WINDOW_COUNT || !MemoryReady)
        return 0;
    std::lock_guard lock(toolkit::video_mutex());
    return window_table[win].Font.Height / LABEL_SHRINK;
}

int64_t t_DrawLabel(uint8_t win, int64_t x, int64_t y, std::string_view text, uint8_t color)
{
    constexpr const char* op = "t_DrawLabel";
    if (!drawing_ready(op, win, color))
        return 0;
    std::lock_guard lock(toolkit::video_mutex());
    const t_Window& w = window_table[win];
    const t_Font& f = w.Font;
    if (f.Data.empty() || f.Width < LABEL_SHRINK || f.Height < LABEL_SHRINK) {
        diag_line(op, "Window #" + std::to_string(win) + " has no font.");
        return 0;
    }
    if (f.Format != toolkit::FONT_FORMAT_GREY) {
        diag_line(op, "Font format must be uncompressed grey for text-printing.");
        return 0;
    }
    const Rgb fg = palette_rgb(color);
    const size_t glyph_bytes = static_cast<size_t>(f.Width * f.Height);
    const int64_t advance = label_advance(w);
    int64_t left = x;
    for (char32_t c : platform::decode_utf8(text)) {
        if (c > 255)
            continue;
        const size_t offset = static_cast<size_t>(c) * glyph_bytes;
        // Codes without a glyph leave a gap, as a blank would.
        if (c >= f.Start && c <= f.End && offset + glyph_bytes <= f.Data.size()) {
            const uint8_t* glyph = f.Data.data() + offset;
            for (int64_t j = 0; j < f.Height / LABEL_SHRINK; ++j) {
                for (int64_t i = 0; i < advance; ++i) {
                    const int64_t px = left + i;
                    const int64_t py = y + j;
                    if (!inside(w, px, py))
                        continue;
                    // Pass: average the glyph pixels behind this label pixel.
                    int ink = 0;
                    for (int64_t b = 0; b < LABEL_SHRINK; ++b)
                        for (int64_t a = 0; a < LABEL_SHRINK; ++a)
                            ink += glyph[(j * LABEL_SHRINK + b) * f.Width + i * LABEL_SHRINK + a];
                    ink /= static_cast<int>(LABEL_SHRINK * LABEL_SHRINK);
                    Rgb out;
                    if (label_pixel(w, px, py, ink, fg, out))
                        store_pixel(w, px, py, out, color);
                }
            }
        }
        left += advance;
    }
    ++VideoMemoryWrites;
    return left - x;
}
