// tests/toolkit/font_test.cpp: font files, LZW decoding and glyph pixels at every depth.
#include "text_fixture.h"
#include "toolkit/font.h"
#include "toolkit/glyphs.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <algorithm>
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
        // Glyph 0x9C is a rule across the whole cell: its middle row is fully covered.
        EXPECT_EQ(std::count(font.Data.begin() + 0x9C * 512 + 16 * 16,
                             font.Data.begin() + 0x9C * 512 + 17 * 16, 255),
                  16)
            << name;
        EXPECT_EQ(std::count(font.Data.begin() + 0x20 * 512, font.Data.begin() + 0x21 * 512, 0),
                  512); // the blank has no ink
    }
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

// Pixel (x, y) of window 1, 32 pixels wide: its palette index or grey, at depth 32 its blue.
int pixel_value(int64_t depth, int64_t x, int64_t y)
{
    const uint8_t* p = VideoMemory.data() + window_table[1].MemoryStart;
    const int64_t i = y * 32 + x;
    if (depth == 1)
        return p[i / 8] >> (7 - x % 8) & 1;
    if (depth == 4)
        return p[i / 2] >> (x % 2 ? 0 : 4) & 15;
    return p[i * depth / 8 + depth / 8 - 1]; // the last byte of the pixel
}

// The depths no program prints at: the 4 x 4 glyph at (1, 1), one value per pixel. Green's
// grey is (0 + 255 + 0) / 3 = 85, half coverage 42; at depth 4 half green is dark green (4)
// and half white grey (10); at depth 1 half white is exactly the threshold, green stays dark.
// Dark blue on white at depth 32: blue 255 blank, 128 full, 127 + 64 at half.
TEST_F(GlyphDrawing, OtherDepthsMapCoverageToTheirPixels)
{
    const struct {
        int64_t depth;
        uint8_t colour;
        std::vector<int> values; // rows of 4
    } cases[] = {
        {8, 0xC0, {0, 85, 0, 85, 42, 42, 42, 42, 85, 85, 85, 85, 0, 0, 0, 0}},
        {16, 0xC0, {0, 85, 0, 85, 42, 42, 42, 42, 85, 85, 85, 85, 0, 0, 0, 0}},
        {4, 0xC0, {0, 12, 0, 12, 4, 4, 4, 4, 12, 12, 12, 12, 0, 0, 0, 0}},
        {4, 0xF0, {0, 15, 0, 15, 10, 10, 10, 10, 15, 15, 15, 15, 0, 0, 0, 0}},
        {1, 0xF0, {0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0}},
        {1, 0xC0, std::vector<int>(16, 0)},
        {32,
         0x2F,
         {255, 128, 255, 128, 191, 191, 191, 191, 128, 128, 128, 128, 255, 255, 255, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << " colour " << int{c.colour});
        make_window(c.depth);
        VideoMemory[win(1).MemoryStart + 4] = 0x7F; // at depth 32 the alpha of pixel (1, 0)
        t_PrintSymbol(1, 'a', c.colour, 1, 1);
        std::vector<int> values;
        for (int64_t i = 0; i < 16; ++i)
            values.push_back(pixel_value(c.depth, i % 4, i / 4));
        EXPECT_EQ(values, c.values);
    }
    EXPECT_EQ(VideoMemory[win(1).MemoryStart + 4], 0x7F); // alpha is left alone
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
