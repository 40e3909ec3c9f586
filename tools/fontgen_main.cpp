// tools/fontgen_main.cpp: renders a 16 x 32 grey text font resource from a TrueType face.
//
// Usage: fontgen TTF OUTFILE
// Codes 32-126 and 161-255 are the Latin-1 characters of the face; 0-31 show the letters
// 0x40-0x5F in inverse (display mode 2 reaches them); 127-160 are the program's own
// line-drawing symbols, drawn here so that they look like the plain characters the copy
// command turns them into. Glyph 0x9C is a horizontal rule across the cell. The file is
// written compressed (format 102: a code-width byte, then fixed-width LZW codes).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int CELL_W = 16;
constexpr int CELL_H = 32;
constexpr int GLYPHS = 256;
constexpr uint8_t FORMAT_GREY_LZW = 102;
constexpr uint8_t HEADER_BYTES = 16;

using Glyph = std::vector<uint8_t>; // CELL_W x CELL_H grey bytes, rows from the top

struct Painter {
    Glyph& g;
    int stroke; // line thickness in pixels

    void set(int x, int y, int value = 255)
    {
        if (x >= 0 && x < CELL_W && y >= 0 && y < CELL_H)
            g[static_cast<size_t>(y * CELL_W + x)] =
                static_cast<uint8_t>(std::max<int>(g[static_cast<size_t>(y * CELL_W + x)], value));
    }
    void rect(int x0, int y0, int x1, int y1) // inclusive
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                set(x, y);
    }
    // Lines through the cell centre, `offset` pixels from it (double lines use +-offset).
    int lo(int centre, int offset) const { return centre + offset - stroke / 2; }
    void hline(int x0, int x1, int offset = 0)
    {
        rect(x0, lo(15, offset) + 1, x1, lo(15, offset) + stroke);
    }
    void vline(int y0, int y1, int offset = 0)
    {
        rect(lo(7, offset) + 1, y0, lo(7, offset) + stroke, y1);
    }
    // Anti-aliased disc or ring by distance from the centre, sampled 4 x 4 per pixel.
    void round(double cx, double cy, double outer, double inner)
    {
        for (int y = 0; y < CELL_H; ++y)
            for (int x = 0; x < CELL_W; ++x) {
                int hits = 0;
                for (int sy = 0; sy < 4; ++sy)
                    for (int sx = 0; sx < 4; ++sx) {
                        double dx = x + (sx + 0.5) / 4 - cx;
                        double dy = y + (sy + 0.5) / 4 - cy;
                        double d = std::sqrt(dx * dx + dy * dy);
                        hits += d <= outer && d >= inner;
                    }
                set(x, y, hits * 255 / 16);
            }
    }
    // Arrow head: a filled triangle pointing left (dir -1) or right (dir +1) at x tip.
    void head(int tip, int dir, int half)
    {
        for (int i = 0; i <= half + 1; ++i) {
            int x = tip - dir * i;
            for (int y = 15 - i + 1; y <= 16 + i - 1; ++y)
                set(x, y);
        }
    }
};

// The program's own symbols; each comment names the plain character it is copied as.
void draw_symbol(int code, Glyph& g, int stroke)
{
    Painter p{g, stroke};
    const int right = CELL_W - 1;
    const int bottom = CELL_H - 1;
    const int gap = stroke + 1; // half distance between the strokes of a double line
    switch (code) {
    case 127:
        p.rect(0, 0, right, bottom);
        break; // '#': full block
    case 128:
        p.round(8, 16, 4.5, 0);
        break; // '*': bullet
    case 129:  // '#': shaded block
        for (int y = 0; y < CELL_H; ++y)
            for (int x = 0; x < CELL_W; ++x)
                if ((x / 2 + y / 2) % 2 == 0)
                    p.set(x, y);
        break;
    case 130:
        p.hline(3, right - 1);
        p.head(1, -1, 6);
        break; // '<': arrow left
    case 131:
        p.hline(0, right, -gap);
        p.hline(0, right, gap);
        break; // '=': double rule
    case 132:
        p.hline(1, right - 3);
        p.head(right - 1, 1, 6);
        break; // '>': arrow right
    case 133:
        p.round(8, 16, 6.5, 6.5 - stroke);
        break; // 'O': ring
    // '+': single-line corners, then T pieces and crossing.
    case 134:
        p.hline(7, right);
        p.vline(15, bottom);
        break; // top-left corner
    case 135:
        p.hline(0, 8);
        p.vline(15, bottom);
        break; // top-right corner
    case 136:
        p.hline(7, right);
        p.vline(0, 16);
        break; // bottom-left corner
    case 137:
        p.hline(0, 8);
        p.vline(0, 16);
        break; // bottom-right corner
    case 138:
        p.vline(0, bottom);
        break; // '|': vertical line
    case 139:
        p.vline(0, bottom, -gap);
        p.vline(0, bottom, gap);
        break; // '|': double vertical
    case 140:
        p.hline(0, right);
        break; // '-': horizontal line
    case 141:
        p.hline(0, right, -gap);
        break; // '-': line above the middle
    case 142:
        p.vline(0, bottom);
        p.hline(7, right);
        break; // left T
    case 143:
        p.vline(0, bottom);
        p.hline(0, 8);
        break; // right T
    case 144:
        p.hline(0, right);
        p.vline(15, bottom);
        break; // top T
    case 145:
        p.hline(0, right);
        p.vline(0, 16);
        break; // bottom T
    case 146:
        p.hline(0, right);
        p.vline(0, bottom);
        break; // crossing
    // '+': double-line corners, T pieces and crossing.
    case 147:
        p.hline(7 - gap, right, -gap);
        p.hline(7 + gap, right, gap);
        p.vline(15 - gap, bottom, -gap);
        p.vline(15 + gap, bottom, gap);
        break;
    case 148:
        p.hline(0, 8 + gap, -gap);
        p.hline(0, 8 - gap, gap);
        p.vline(15 - gap, bottom, gap);
        p.vline(15 + gap, bottom, -gap);
        break;
    case 149:
        p.hline(7 + gap, right, -gap);
        p.hline(7 - gap, right, gap);
        p.vline(0, 16 + gap, -gap);
        p.vline(0, 16 - gap, gap);
        break;
    case 150:
        p.hline(0, 8 - gap, -gap);
        p.hline(0, 8 + gap, gap);
        p.vline(0, 16 - gap, -gap);
        p.vline(0, 16 + gap, gap);
        break;
    case 151:
        p.vline(0, bottom, -gap);
        p.vline(0, bottom, gap);
        p.hline(7 + gap, right);
        break;
    case 152:
        p.vline(0, bottom, -gap);
        p.vline(0, bottom, gap);
        p.hline(0, 8 - gap);
        break;
    case 153:
        p.hline(0, right, -gap);
        p.hline(0, right, gap);
        p.vline(0, bottom, -gap);
        p.vline(0, bottom, gap);
        break;
    case 154:
        p.rect(0, 0, right, stroke - 1);
        break; // '-': top edge
    case 155:
        p.rect(0, bottom - stroke + 1, right, bottom);
        break; // '-': bottom edge
    case 156:
        p.hline(0, right);
        break; // the rule of a text line
    case 157:
        p.vline(0, bottom, -gap);
        break; // '|': line left of the middle
    case 158:
        p.hline(2, right - 2);
        p.vline(8, 23);
        break; // '+': plus sign
    case 159:
        p.hline(2, right - 2, -gap);
        p.hline(2, right - 2, gap);
        break; // '=': equals
    case 160:  // visible space: a shelf
        p.rect(1, 26 - stroke + 1, right - 1, 26);
        p.rect(1, 20, stroke, 26);
        p.rect(right - stroke, 20, right - 1, 26);
        break;
    default:
        break;
    }
}

bool render_char(FT_Face face, uint32_t ch, int baseline, int x_shift, Glyph& g)
{
    if (FT_Load_Char(face, ch, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0)
        return false;
    const FT_Bitmap& bm = face->glyph->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY)
        return false;
    const int left = face->glyph->bitmap_left + x_shift;
    const int top = baseline - face->glyph->bitmap_top;
    for (unsigned r = 0; r < bm.rows; ++r)
        for (unsigned c = 0; c < bm.width; ++c) {
            const int x = left + static_cast<int>(c);
            const int y = top + static_cast<int>(r);
            if (x < 0 || x >= CELL_W || y < 0 || y >= CELL_H)
                continue;
            const uint8_t v = bm.buffer[static_cast<int>(r) * bm.pitch + static_cast<int>(c)];
            uint8_t& cell = g[static_cast<size_t>(y * CELL_W + x)];
            cell = std::max(cell, v);
        }
    return true;
}

// Fixed-width LZW without clear or end codes. The reader adds a dictionary entry for every
// code after the first, so the numbering runs on past the width; those entries are unused.
std::vector<uint8_t> lzw_encode(const std::vector<uint8_t>& plain, int bits)
{
    std::vector<uint8_t> out{static_cast<uint8_t>(bits)};
    if (plain.empty())
        return out;
    const uint64_t limit = 1ull << bits;
    std::unordered_map<uint64_t, uint32_t> table; // (prefix code << 8 | byte) -> code
    uint32_t next_free = 256;
    uint64_t buffer = 0;
    int held = 0;
    auto put = [&](uint32_t code) {
        buffer = (buffer << bits) | code;
        held += bits;
        while (held >= 8) {
            held -= 8;
            out.push_back(static_cast<uint8_t>(buffer >> held));
        }
        buffer &= (1ull << held) - 1;
    };
    uint32_t current = plain[0];
    for (size_t i = 1; i < plain.size(); ++i) {
        const uint64_t key = (uint64_t{current} << 8) | plain[i];
        if (auto it = table.find(key); it != table.end()) {
            current = it->second;
            continue;
        }
        put(current);
        if (next_free < limit)
            table.emplace(key, next_free);
        ++next_free;
        current = plain[i];
    }
    put(current);
    if (held > 0)
        out.push_back(static_cast<uint8_t>(buffer << (8 - held)));
    return out;
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fontgen TTF OUTFILE\n");
        return 2;
    }
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, argv[1], 0, &face) != 0) {
        std::fprintf(stderr, "fontgen: cannot open %s\n", argv[1]);
        return 1;
    }
    // Largest pixel size whose advance and line height fit the cell.
    int pixels = CELL_H;
    for (; pixels > 4; --pixels) {
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels));
        FT_Load_Char(face, 'M', FT_LOAD_DEFAULT);
        const long advance = face->glyph->advance.x >> 6;
        const long height = (face->size->metrics.ascender - face->size->metrics.descender) >> 6;
        if (advance <= CELL_W && height <= CELL_H)
            break;
    }
    FT_Load_Char(face, 'M', FT_LOAD_DEFAULT);
    const int advance = static_cast<int>(face->glyph->advance.x >> 6);
    const int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
    const int descender = static_cast<int>(-(face->size->metrics.descender >> 6));
    const int baseline = ascender + (CELL_H - ascender - descender) / 2;
    const int x_shift = (CELL_W - advance) / 2;
    const bool bold = std::string(argv[1]).find("Bold") != std::string::npos;
    const int stroke = bold ? 3 : 2;

    std::vector<uint8_t> data;
    data.reserve(GLYPHS * CELL_W * CELL_H);
    for (int code = 0; code < GLYPHS; ++code) {
        Glyph g(CELL_W * CELL_H, 0);
        if (code < 32) {
            render_char(face, static_cast<uint32_t>(code + 0x40), baseline, x_shift, g);
            for (auto& v : g)
                v = static_cast<uint8_t>(255 - v);
        } else if (code <= 126 || code >= 161) {
            render_char(face, static_cast<uint32_t>(code), baseline, x_shift, g);
        } else {
            draw_symbol(code, g, stroke);
        }
        data.insert(data.end(), g.begin(), g.end());
    }

    // Pick the code width that packs smallest.
    std::vector<uint8_t> packed;
    for (int bits = 9; bits <= 16; ++bits) {
        std::vector<uint8_t> candidate = lzw_encode(data, bits);
        if (packed.empty() || candidate.size() < packed.size())
            packed = std::move(candidate);
    }

    std::vector<uint8_t> file{HEADER_BYTES, 'm', 't', 'f', 'n', FORMAT_GREY_LZW};
    put32(file, static_cast<uint32_t>(data.size()));
    file.push_back(0);   // first code with a glyph
    file.push_back(255); // last code with a glyph
    file.push_back(CELL_W);
    file.push_back(CELL_H);
    file.push_back(0); // reserved
    file.push_back(0);
    file.insert(file.end(), packed.begin(), packed.end());

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::fprintf(stderr, "fontgen: cannot write %s\n", argv[2]);
        return 1;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return 0;
}
