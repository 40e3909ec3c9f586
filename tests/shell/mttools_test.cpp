// tests/shell/mttools_test.cpp: text, number and file utilities.
#include "shell/mttools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "platform/diag.h"
#include "platform/platform.h"

namespace {

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

TEST(Initmttools, PrintsItsLinesAndFillsTables)
{
    DiagCapture capture;
    initmttools();
    EXPECT_EQ(capture.text(), "initmttools: Start.\ninitmttools: End.\n");
    EXPECT_TRUE(MttoolsReady);
    // ä, ß (no single capital); Ü, the multiplication sign.
    for (auto [code, upper] : {std::pair{int{'a'}, int{'A'}}, {228, 196}, {223, 223}})
        EXPECT_EQ(UpperCaseTable[code], upper) << code;
    for (auto [code, lower] : {std::pair{int{'Z'}, int{'z'}}, {220, 252}, {215, 215}})
        EXPECT_EQ(LowerCaseTable[code], lower) << code;
    EXPECT_EQ(HexDigitTable[10], 'A');
    EXPECT_EQ(HexValueTable['f'], 15);
    EXPECT_EQ(HexValueTable['g'], -1);
}

// One row per call: the call as written, what it gave and what it should give.
struct TextCase {
    const char* call;
    std::string got;
    std::string want;
};
#define ROW(call, want) TextCase{#call, call, want}

void expect_rows(std::initializer_list<TextCase> rows)
{
    for (const TextCase& r : rows)
        EXPECT_EQ(r.got, r.want) << r.call;
}

// Most of these no program calls yet: a few rows each for counting characters, not bytes,
// and for the bounds they clamp.
TEST(TextSlices, CountCharactersAndClampTheirBounds)
{
    expect_rows({
        ROW(MidText("Hallo", 0, 3), "Hal"),   ROW(MidText("Hallo", 2, 10), "allo"),
        ROW(MidText("Hallo", 1, -1), ""),     ROW(MidText("Größe", 3, 2), "öß"),
        ROW(TextFrom("Größe", 5), "e"),       ROW(TextFrom("Hallo", 6), ""),
        ROW(CharAt("€uro", 1), "€"),          ROW(CharAt("abc", 4), ""),
        ROW(Spaces(32768), ""),               ROW(RepeatText("ab", 3), "ababab"),
        ROW(FirstLine("eins\nzwei\rdrei"), "eins\nzwei"),
        ROW(FileNameOfPath("/a/b/dump.qucode"), "dump.qucode"),
        ROW(FileNameOfPath("/a/"), ""),
    });
    EXPECT_EQ(Spaces(32767).size(), 32767u);
    EXPECT_EQ(FirstScalar("€"), 0x20AC);
    EXPECT_EQ(FirstScalar(""), 0);
    EXPECT_EQ(TextPosition("abcabc", "bc", 3), 5);
    EXPECT_EQ(TextPosition("äbc", "c", 1), 3);
}

TEST(ByteSequences, PositionSliceSplitAndBigEndian)
{
    EXPECT_EQ(position(B("abcabc"), B("ab"), 2), 4);
    EXPECT_EQ(position(B("abc"), B(""), 1), 0);
    {
        DiagCapture capture;
        EXPECT_EQ(position(B("abc"), B("bc"), 0), 0);
        EXPECT_EQ(capture.text(), "position: Startposition must be >= 1 (bc)\n");
    }
    EXPECT_EQ(MidBytes(B("Hallo"), 2, 10), B("allo"));
    auto pieces = SplitBytes(B("a,,bc,"), ',');
    EXPECT_EQ(pieces, (std::vector<Bytes>{B("a"), B(""), B("bc"), B("")}));
    EXPECT_EQ(JoinBytes(pieces, ','), B("a,,bc,"));
    Bytes b = {0x12, 0x34, 0x56, 0x78, 0x9A}; // read only where four bytes remain
    EXPECT_EQ(BigEndian32(b, 1), 0x3456789Au);
    EXPECT_EQ(BigEndian32(b, 2), 0u);
}

TEST(BytesToText, CodesAndEscapes)
{
    expect_rows({
        ROW(BytesToText({'a', 0xE4, 0xDF}), "aäß"),
        ROW(BytesToText({27, '2', '0', 'A', 'C', 29}), "€"),
        ROW(BytesToText({'x', 27, '2', '0', 'a', 'c', 29, 'y'}), "x€y"),
        // Incomplete or false escapes stay as they are.
        ROW(BytesToText({27, '2', '0', 'A'}), std::string("\x1B" "20A")),
        ROW(BytesToText({27, '2', '0', 'A', 'C', 'D'}), std::string("\x1B" "20ACD")),
        ROW(BytesToText({27, 'x', 'y', 'z', 'w', 29}), std::string("\x1Bxyzw\x1D")),
        // A surrogate becomes NUL.
        ROW(BytesToText({27, 'D', '8', '0', '0', 29, 'a'}), std::string("\0a", 2)),
    });
    EXPECT_EQ(TextToBytes("ä"), (Bytes{0xC3, 0xA4}));
}

TEST(NumberFormatting, GroupingFillSignAndTruncation)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    expect_rows({
        ROW(NumberText(1234567, ' ', 1, true), "1.234.567"), ROW(NumberText(123, ' ', 1, true), "123"),
        ROW(NumberText(1234, ' ', 6, true), " 1.234"), ROW(NumberText(0, '0', 3, false), "000"),
        ROW(NumberText(1234567, ' ', 1, false), "1234567"),
        ROW(NumberText(-5, '0', 4, false), "00-5"), ROW(NumberText(-1234, ' ', 1, true), "-1.234"),
        ROW(NumberText(-123456, ' ', 9, true), " -123.456"),
        ROW(NumberText(std::numeric_limits<int64_t>::min(), ' ', 0, true),
            "-9.223.372.036.854.775.808"),
        ROW(NumberText(7, 0xB7, 3, false), "··7"), // the fill is a character code
        ROW(DecimalText(3.0), "3"), ROW(DecimalText(2.5), "2,5"), ROW(DecimalText(-0.1), "-0,1"),
        ROW(DecimalText(0.0001), "0,0001"), ROW(DecimalText(1e-5), "1e-05"),
        ROW(DecimalText(1.5e20), "1,5e+20"), ROW(DecimalText(1000000.0), "1000000"),
        ROW(DecimalText(nan), "nan"), ROW(DecimalText(-inf), "-inf"),
        // RealText truncates without rounding.
        ROW(RealText(' ', 1, 2, true, 1234.5678), "1.234,56"),
        ROW(RealText(' ', 1, 3, false, 0.9999), "0,999"),
        ROW(RealText(' ', 1, 2, false, 2.0), "2,00"), ROW(RealText(' ', 1, 0, false, 2.99), "2"),
        // Negative decimals strip zeros; exponents are written out.
        ROW(RealText(' ', 1, -4, false, 2.5), "2,5"), ROW(RealText(' ', 1, -4, false, 2.0), "2"),
        ROW(RealText(' ', 1, 7, false, 1.5e-5), "0,0000150"),
        ROW(RealText(' ', 1, 1, true, 1.5e20), "150.000.000.000.000.000.000,0"),
        ROW(RealText('*', 8, 1, true, -1234.56), "**-1.234,5"),
        ROW(RealText(' ', 4, 2, false, -0.5), "  -0,50"),
        ROW(RealText(' ', 5, 2, true, nan), "nan"), ROW(RealText(' ', 5, 2, true, inf), "inf"),
        ROW(RealText(' ', 5, 2, true, -inf), "-inf"), ROW(Hex2Text(10), "0A"),
        ROW(Hex8Text(0x12345678ABCDEFll), "78ABCDEF"),
    });
}

TEST(IntegerBytes, ParseAndWrite)
{
    EXPECT_EQ(BytesToInteger(B("  - 12x")), -12);
    EXPECT_EQ(BytesToInteger(B("-")), 0);
    EXPECT_EQ(BytesToInteger(B("99999999999999999999")), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(BytesToInteger(B("-9223372036854775808")), std::numeric_limits<int64_t>::min());
    // Regression: the most negative value kept only its minus sign.
    EXPECT_EQ(IntegerToBytes(std::numeric_limits<int64_t>::min()), B("-9223372036854775808"));
    EXPECT_EQ(Hex2(0x1AB), B("AB"));
    EXPECT_EQ(Hex8(-1), B("FFFFFFFF"));
}

TEST(RulerText, PlainFullNumbersAndMarkers)
{
    EXPECT_EQ(RulerText(25, false, false), "....!....1....!....2....!");
    EXPECT_EQ(RulerText(0, false, false), "");
    EXPECT_EQ(RulerText(-3, false, true), "");
    EXPECT_EQ(RulerText(120, true, false).substr(80, 40),
              "....!....9....!...10....!...11....!...12");
    EXPECT_EQ(RulerText(12, false, true), "L...!....1.R");
    std::string printer = RulerText(160, false, true);
    EXPECT_EQ(printer.size(), 160u);
    EXPECT_EQ(printer.front(), 'L');
    EXPECT_EQ(printer.substr(140, 20), "....!....5....!....R");
    // Column 109 of a full-number ruler holds the 1 of "11"; before the marker it is a dot.
    EXPECT_EQ(RulerText(110, true, true).substr(100, 10), "....!....R");
}

class FileOps : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/orbikon-mttools-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
    std::string folder_;
};

TEST_F(FileOps, KindsAndDeletion)
{
    EXPECT_EQ(FileKind(""), -1);
    EXPECT_EQ(FileKind(folder_ + "/none"), 0);
    EXPECT_EQ(FileKind(folder_), 2);
    ASSERT_TRUE(platform::write_file(folder_ + "/f", {1}));
    EXPECT_EQ(FileKind(folder_ + "/f"), 1);
    DiagCapture capture; // directories and missing paths are left silently
    deletefile(folder_);
    deletefile(folder_ + "/none");
    deletefile("");
    EXPECT_EQ(FileKind(folder_), 2);
    EXPECT_EQ(capture.text(), "");
    deletefile(folder_ + "/f");
    EXPECT_EQ(FileKind(folder_ + "/f"), 0);
}

TEST_F(FileOps, DeleteOfAnUndeletableFilePrintsOneLine)
{
    // The kernel's files look like plain files but refuse removal, even for root.
    std::string path = "/proc/self/status";
    ASSERT_EQ(FileKind(path), 1);
    DiagCapture capture;
    deletefile(path);
    std::string line = capture.text();
    EXPECT_EQ(line.rfind("deletefile: Error #", 0), 0u) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    EXPECT_EQ(FileKind(path), 1);
}

TEST_F(FileOps, ReadWholeFilesOrPrintOneLine)
{
    ASSERT_TRUE(platform::write_file(folder_ + "/f", {0, 'a', 255}));
    EXPECT_EQ(getbinaryfromfile(folder_ + "/f"), (Bytes{0, 'a', 255}));
    EXPECT_EQ(gettextfromfile(folder_ + "/f"), (Bytes{0, 'a', 255}));
    DiagCapture capture;
    EXPECT_TRUE(getbinaryfromfile(folder_ + "/none").empty());
    EXPECT_TRUE(gettextfromfile(folder_).empty());
    EXPECT_EQ(capture.text(), "getbinaryfromfile: Error #2: No such file or directory\n"
                              "gettextfromfile: Error #21: Is a directory\n");
}

} // namespace
