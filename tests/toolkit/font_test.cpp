// tests/toolkit/font_test.cpp: font files, LZW decoding and glyph pixels at every depth.
#include "text_fixture.h"
#include "toolkit/font.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using text_test::TextWindowTest;

namespace {

std::vector<uint8_t> header(uint8_t format, uint8_t start, uint8_t end, uint8_t w, uint8_t h)
{
    return {16, 'm', 't', 'f', 'n', format, 0, 0, 0, 0, start, end, w, h, 0, 0};
}

// Packs codes of `bits` bits, most significant bit first, with the width byte in front.
std::vector<uint8_t> pack(const std::vector<uint32_t>& codes, int bits)
{
    std::vector<uint8_t> out{static_cast<uint8_t>(bits)};
    uint64_t buffer = 0;
    int held = 0;
    for (uint32_t c : codes) {
        buffer = (buffer << bits) | c;
        held += bits;
        while (held >= 8) {
            held -= 8;
            out.push_back(static_cast<uint8_t>(buffer >> held));
        }
        buffer &= (1ull << held) - 1;
    }
    if (held > 0)
        out.push_back(static_cast<uint8_t>(buffer << (8 - held)));
    return out;
}

class FontFiles : public TextWindowTest {
  protected:
    void SetUp() override
    {
        TextWindowTest::SetUp();
        folder = std::filesystem::temp_directory_path() /
                 ("orbikon_font_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        toolkit::set_font_folder(folder.string() + "/");
    }
    void TearDown() override
    {
        toolkit::set_font_folder(ORBIKON_RESOURCE_DIR "/");
        std::filesystem::remove_all(folder);
        TextWindowTest::TearDown();
    }
    t_Font load(const std::vector<uint8_t>& bytes, std::string& lines)
    {
        std::ofstream(folder / "test.font", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        DiagCapture out;
        t_Font font = t_LoadFontResource("test.font");
        lines = out.text();
        return font;
    }
    std::filesystem::path folder;
};

} // namespace

TEST(ShippedFonts, BothLoadAsGreySixteenByThirtyTwo)
{
    toolkit::set_font_folder(ORBIKON_RESOURCE_DIR "/");
    for (const char* name : {"MenloBold 16x32.font", "MenloRegular 16x32.font"}) {
        DiagCapture out;
        t_Font font = t_LoadFontResource(name);
        EXPECT_EQ(out.text(), "") << name;
        EXPECT_EQ(std::tuple(font.Format, font.Width, font.Height, font.Start, font.End),
                  std::tuple(2, 16, 32, 0, 255));
        ASSERT_EQ(font.Data.size(), 256u * 512u) << name;
        // Glyph 0x9C is a rule across the whole cell: some row is fully covered.
        const uint8_t* rule = font.Data.data() + 0x9C * 512;
        bool full_row = false;
        for (int y = 0; y < 32; ++y) {
            bool full = true;
            for (int x = 0; x < 16; ++x)
                full = full && rule[y * 16 + x] == 255;
            full_row = full_row || full;
        }
        EXPECT_TRUE(full_row) << name;
        // "A" has ink, the blank has none.
        int ink_a = 0;
        int ink_blank = 0;
        for (int i = 0; i < 512; ++i) {
            ink_a += font.Data[0x41 * 512 + i];
            ink_blank += font.Data[0x20 * 512 + i];
        }
        EXPECT_GT(ink_a, 255 * 40);
        EXPECT_EQ(ink_blank, 0);
    }
}

TEST_F(FontFiles, HeaderOnlyFileLoadsEmptyAndGivesTextlessWindow)
{
    std::string lines;
    t_Font font = load(header(2, 0, 255, 4, 8), lines);
    EXPECT_EQ(lines, "");
    EXPECT_TRUE(font.Data.empty());
    EXPECT_EQ(font.Width, 4);
    text_test::make_view(1);
    DiagCapture quiet;
    t_InitWindow(1, 8, false, 32, 32, 0, 0, font, true);
    EXPECT_TRUE(win(1).Initialized);
    EXPECT_EQ(win(1).TextMemoryStart, -1);
    EXPECT_EQ(win(1).TextWidth, -1);
}

// Each file: the loader's line, and the glyph data it keeps ("-" for none).
TEST_F(FontFiles, BrokenFilesSayWhyAndKeepNoGlyphs)
{
    std::vector<uint8_t> wrong_type = header(2, 0, 255, 4, 8);
    wrong_type[1] = 'P';
    std::vector<uint8_t> wide_header(100, 0);
    wide_header[0] = 200;
    std::vector<uint8_t> one_short = header(2, 0x20, 0x21, 2, 2);
    one_short.resize(one_short.size() + 0x22 * 4 - 1, 0xFF); // one byte short of glyph 0x21
    std::vector<uint8_t> whole = one_short;
    whole.push_back(0xFF);
    const auto packed = [](std::vector<uint8_t> bytes, const std::vector<uint32_t>& codes) {
        const std::vector<uint8_t> stream = pack(codes, 9);
        bytes.insert(bytes.end(), stream.begin(), stream.end());
        return bytes;
    };
    const std::string too_short = "t_LoadFontResource: Font data too short\n";
    const std::string wrong = "t_LoadFontResource: Invalid file type\n";
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string lines, data;
    } cases[] = {
        {"header size", wide_header, "t_LoadFontResource: Invalid header size\n", ""},
        {"file type", wrong_type, wrong, ""},
        {"too short for the identifier", {3, 'm', 't'}, wrong, ""},
        {"empty", {}, "t_LoadFontResource: Could not load file \u201Etest.font\u201C\n", ""},
        // A short header reads its missing fields as zero.
        {"short header", {8, 'm', 't', 'f', 'n', 2, 1, 2, 'x'}, "", "x"},
        {"glyphs one byte short", one_short, too_short, ""},
        {"glyphs whole", whole, "", std::string(0x22 * 4, '\xFF')},
        {"compressed", packed(header(102, 0, 0, 1, 7), {'A', 'B', 256, 258}), "", "ABABABA"},
        {"compressed, ends early", packed(header(102, 0, 1, 2, 2), {'A', 'B', 256}), too_short, ""},
        {"compressed, corrupt", packed(header(102, 0, 0, 1, 1), {'A', 300}), "", ""},
        {"code width 0",
         {16, 'm', 't', 'f', 'n', 100, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0x41},
         "",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string lines;
        const t_Font font = load(c.bytes, lines);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(std::string(font.Data.begin(), font.Data.end()), c.data);
    }
    // A decoded stream is plain grey from then on.
    std::string lines;
    EXPECT_EQ(load(cases[7].bytes, lines).Format, toolkit::FONT_FORMAT_GREY);
}

TEST(LzwDecode, KnownStreams)
{
    auto decode = [](const std::vector<uint32_t>& codes, int bits) {
        std::vector<uint8_t> packed = pack(codes, bits);
        packed.erase(packed.begin());
        std::vector<uint8_t> out = toolkit::lzw_decode(packed, bits);
        return std::string(out.begin(), out.end());
    };
    EXPECT_EQ(decode({'a', 256, 257}, 12), "aaaaaa");
    EXPECT_EQ(decode({'T', 'O', 'B', 'E', 256, 258}, 10), "TOBETOBE");
    EXPECT_EQ(decode({'x'}, 9), "x");
    EXPECT_EQ(decode({'x', 257}, 9), "");
    EXPECT_EQ(toolkit::lzw_decode({}, 9).size(), 0u);
    EXPECT_EQ(toolkit::lzw_decode({0xFF}, 25).size(), 0u);
}

using GlyphDrawing = TextWindowTest;

namespace {

// The 4 x 4 cell at (1, 1) as rows of characters, mapping each pixel value through key.
std::vector<std::string> cell_art(const std::function<char(int64_t x, int64_t y)>& key)
{
    std::vector<std::string> out;
    for (int64_t y = 0; y < 4; ++y) {
        std::string row;
        for (int64_t x = 0; x < 4; ++x)
            row += key(x, y);
        out.push_back(row);
    }
    return out;
}

// Green's grey is (0 + 255 + 0) / 3 = 85; half coverage 128 * 85 / 255 = 42.
char green_grey(uint8_t v)
{
    return v == 0 ? '.' : v == 42 ? 'o' : v == 85 ? '#' : '?';
}

const std::vector<std::string> EXPECTED_GREEN = {
    ".#.#", // 0 255 0 255
    "oooo", // 128
    "####", // 255
    "....", // 0
};

} // namespace

TEST_F(GlyphDrawing, Depth24BlendsBetweenPaletteColours)
{
    make_window(24);
    t_PrintSymbol(1, 'a', 0xC0, 1, 1);
    const uint8_t* p = VideoMemory.data() + win(1).MemoryStart;
    const int64_t width = win(1).Width;
    auto key = [&](int64_t x, int64_t y) {
        const uint8_t* px = p + 3 * (y * width + x);
        if (px[0] == 0 && px[1] == 0 && px[2] == 0)
            return '.';
        if (px[0] == 0 && px[1] == 128 && px[2] == 0)
            return 'o';
        if (px[0] == 0 && px[1] == 255 && px[2] == 0)
            return '#';
        return '?';
    };
    EXPECT_EQ(cell_art(key), EXPECTED_GREEN);
    EXPECT_EQ(toolkit::cell_char(win(1), 1, 1), 'a');
    EXPECT_EQ(toolkit::cell_colour(win(1), 1, 1), 0xC0);
}

TEST_F(GlyphDrawing, Depth32LeavesAlpha)
{
    make_window(32);
    const uint8_t* p = VideoMemory.data() + win(1).MemoryStart;
    EXPECT_EQ(p[0], 255);                           // cleared to opaque black
    VideoMemory[win(1).MemoryStart + 4 * 1] = 0x7F; // alpha of pixel (1, 0)
    t_PrintSymbol(1, 'a', 0x2F, 1, 1);              // dark blue on white
    // g = 128 between white and dark blue: R = 127, G = 127, B = 127 + 64 = 191.
    const uint8_t* half = p + 4 * (1 * win(1).Width + 0);
    EXPECT_EQ(half[1], 127);
    EXPECT_EQ(half[2], 127);
    EXPECT_EQ(half[3], 191);
    EXPECT_EQ(p[4 * 1], 0x7F);     // untouched alpha
    EXPECT_EQ(p[4 * 1 + 3], 0x80); // full dark blue
}

TEST_F(GlyphDrawing, Depth8And16UseGreyOfPalette)
{
    make_window(8);
    t_PrintSymbol(1, 'a', 0xC0, 1, 1);
    const uint8_t* p = VideoMemory.data() + win(1).MemoryStart;
    EXPECT_EQ(cell_art([&](int64_t x, int64_t y) { return green_grey(p[y * 32 + x]); }),
              EXPECTED_GREEN);

    make_window(16);
    uint8_t* q = VideoMemory.data() + win(1).MemoryStart;
    q[0] = 0xAB;
    t_PrintSymbol(1, 'a', 0xC0, 1, 1);
    EXPECT_EQ(cell_art([&](int64_t x, int64_t y) { return green_grey(q[2 * (y * 32 + x) + 1]); }),
              EXPECTED_GREEN);
    EXPECT_EQ(q[0], 0xAB);
}

TEST_F(GlyphDrawing, Depth4NearestPaletteIndex)
{
    make_window(4);
    t_PrintSymbol(1, 'a', 0xC0, 1, 1); // green: half coverage (0, 128, 0) is dark green (4)
    const uint8_t* p = VideoMemory.data() + win(1).MemoryStart;
    auto nibble = [&](int64_t x, int64_t y) {
        const uint8_t b = p[(y * win(1).Width + x) / 2];
        return (x % 2 == 0) ? b >> 4 : b & 0x0F;
    };
    auto key = [&](int64_t x, int64_t y) { return "0123456789ABCDEF"[nibble(x, y)]; };
    EXPECT_EQ(cell_art(key), (std::vector<std::string>{"0C0C", "4444", "CCCC", "0000"}));
    t_PrintSymbol(1, 'a', 0xF0, 1, 1); // white: (128, 128, 128), sum 384, grey (10)
    EXPECT_EQ(cell_art(key), (std::vector<std::string>{"0F0F", "AAAA", "FFFF", "0000"}));
}

TEST_F(GlyphDrawing, Depth1ThresholdAtHalfBrightness)
{
    make_window(1);
    t_PrintSymbol(1, 'a', 0xF0, 1, 1); // white on black: 128 is exactly the threshold
    const uint8_t* p = VideoMemory.data() + win(1).MemoryStart;
    auto key = [&](int64_t x, int64_t y) {
        const uint8_t b = p[y * (win(1).Width / 8) + x / 8];
        return (b >> (7 - x % 8)) & 1 ? '#' : '.';
    };
    EXPECT_EQ(cell_art(key), (std::vector<std::string>{".#.#", "####", "####", "...."}));
    t_PrintSymbol(1, 'a', 0xC0, 1, 1); // green's average 85 stays dark
    EXPECT_EQ(cell_art(key), (std::vector<std::string>{"....", "....", "....", "...."}));
}

TEST_F(GlyphDrawing, CodesOutsideTheFontOrItsDataStoreTheCellOnly)
{
    make_window(8);
    t_PrintSymbol(1, 0x10, 0xC0, 1, 1); // below Start 0x20
    EXPECT_EQ(VideoMemory[win(1).MemoryStart + win(1).Width], 0);
    EXPECT_EQ(toolkit::cell_char(win(1), 1, 1), 0x10);
    win(1).Font.Data.resize(0x41 * 16 + 8); // stops inside glyph 0x41
    t_PrintSymbol(1, 0x41, 0xC0, 1, 1);
    EXPECT_EQ(VideoMemory[win(1).MemoryStart + win(1).Width], 0);
    EXPECT_EQ(toolkit::cell_char(win(1), 1, 1), 0x41);
}

TEST_F(GlyphDrawing, IllegalCoordinatesAndFormats)
{
    make_window(8); // 8 x 8 cells
    DiagCapture out;
    t_PrintSymbol(1, 'a', 0xC0, 9, 1);
    t_PrintSymbol(1, 'a', 0xC0, 0, 1);
    win(1).Font.Format = 0;
    t_PrintSymbol(1, 'a', 0xC0, 1, 1);
    win(1).Font.Format = 7;
    t_PrintSymbol(1, 'a', 0xC0, 1, 1);
    t_PrintSymbol(9, 'a', 0xC0, 1, 1);
    EXPECT_EQ(out.text(),
              "t_PrintSymbol: Window #1 illegal coordinates (x = 9, y = 1).\n"
              "t_PrintSymbol: Window #1 illegal coordinates (x = 0, y = 1).\n"
              "t_PrintSymbol: Font format must be uncompressed grey for text-printing.\n"
              "t_PrintSymbol: Illegal font format.\n"
              "t_PrintSymbol: Window is not a graphic window.\n");
    EXPECT_EQ(VideoMemory[win(1).MemoryStart + win(1).Width], 0);
    EXPECT_EQ(toolkit::cell_char(win(1), 1, 1), 'a');
}
