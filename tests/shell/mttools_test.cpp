// tests/shell/mttools_test.cpp: text, number and file utilities.
#include "shell/mttools.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
    EXPECT_EQ(UpperCaseTable['a'], 'A');
    EXPECT_EQ(UpperCaseTable[228], 196); // ä
    EXPECT_EQ(UpperCaseTable[223], 223); // ß has no single capital
    EXPECT_EQ(UpperCaseTable[247], 247); // division sign
    EXPECT_EQ(UpperCaseTable[255], 255);
    EXPECT_EQ(LowerCaseTable['Z'], 'z');
    EXPECT_EQ(LowerCaseTable[220], 252); // Ü
    EXPECT_EQ(LowerCaseTable[215], 215); // multiplication sign
    EXPECT_EQ(LowerCaseTable[197], 197);
    EXPECT_EQ(HexDigitTable[10], 'A');
    EXPECT_EQ(HexValueTable['f'], 15);
    EXPECT_EQ(HexValueTable['F'], 15);
    EXPECT_EQ(HexValueTable['g'], -1);
}

TEST(MidText, StartAtOrBelowOne)
{
    EXPECT_EQ(MidText("Hallo", 0, 3), "Hal");
    EXPECT_EQ(MidText("Hallo", 1, 10), "Hallo");
    EXPECT_EQ(MidText("Hallo", -5, 0), "");
    EXPECT_EQ(MidText("Hallo", 1, -1), "");
}

TEST(MidText, StartInsideAndBeyond)
{
    EXPECT_EQ(MidText("Hallo", 2, 10), "allo");
    EXPECT_EQ(MidText("Hallo", 5, 1), "o");
    EXPECT_EQ(MidText("Hallo", 6, 1), "");
    EXPECT_EQ(MidText("Hallo", 2, 0), "");
}

TEST(MidText, CountsCharactersNotBytes)
{
    EXPECT_EQ(MidText("Größe", 3, 2), "öß");
    EXPECT_EQ(TextFrom("Größe", 5), "e");
    EXPECT_EQ(CharAt("€uro", 1), "€");
}

TEST(TextFrom, Bounds)
{
    EXPECT_EQ(TextFrom("Hallo", 1), "Hallo");
    EXPECT_EQ(TextFrom("Hallo", -3), "Hallo");
    EXPECT_EQ(TextFrom("Hallo", 3), "llo");
    EXPECT_EQ(TextFrom("Hallo", 5), "o");
    EXPECT_EQ(TextFrom("Hallo", 6), "");
}

TEST(CharAt, Bounds)
{
    EXPECT_EQ(CharAt("abc", 0), "");
    EXPECT_EQ(CharAt("abc", 3), "c");
    EXPECT_EQ(CharAt("abc", 4), "");
}

TEST(TextPosition, FindsAtOrAfterStart)
{
    EXPECT_EQ(TextPosition("abcabc", "bc", 1), 2);
    EXPECT_EQ(TextPosition("abcabc", "bc", 3), 5);
    EXPECT_EQ(TextPosition("abcabc", "bc", 6), 0);
    EXPECT_EQ(TextPosition("abcabc", "BC", 1), 0);
    EXPECT_EQ(TextPosition("äbc", "c", 1), 3);
    EXPECT_EQ(TextPosition("abc", "", 1), 0);
}

TEST(Spaces, RangeLimits)
{
    EXPECT_EQ(Spaces(0), "");
    EXPECT_EQ(Spaces(3), "   ");
    EXPECT_EQ(Spaces(32767).size(), 32767u);
    EXPECT_EQ(Spaces(32768), "");
    EXPECT_EQ(Spaces(40000), "");
    EXPECT_EQ(RepeatText("ab", 3), "ababab");
    EXPECT_EQ(RepeatText("ab", -1), "");
}

TEST(FirstLine, CarriageReturnBeforeLineFeed)
{
    EXPECT_EQ(FirstLine("eins\nzwei\rdrei"), "eins\nzwei");
    EXPECT_EQ(FirstLine("eins\nzwei"), "eins");
    EXPECT_EQ(FirstLine("eins"), "eins");
    EXPECT_EQ(FirstLine("\reins"), "");
    EXPECT_EQ(FirstScalar("€"), 0x20AC);
    EXPECT_EQ(FirstScalar(""), 0);
}

TEST(Position, FindsByteSequences)
{
    EXPECT_EQ(position(B("abcabc"), B("ca"), 1), 3);
    EXPECT_EQ(position(B("abcabc"), B("ab"), 2), 4);
    EXPECT_EQ(position(B("abc"), B("x"), 1), 0);
    EXPECT_EQ(position(B("abc"), B(""), 1), 0);
    EXPECT_EQ(position(B("abc"), B("c"), 9), 0);
}

TEST(Position, StartBelowOnePrintsDiagnostic)
{
    DiagCapture capture;
    EXPECT_EQ(position(B("abc"), B("bc"), 0), 0);
    EXPECT_EQ(capture.text(), "position: Startposition must be >= 1 (bc)\n");
}

TEST(MidBytes, LikeMidText)
{
    EXPECT_EQ(MidBytes(B("Hallo"), 2, 10), B("allo"));
    EXPECT_EQ(MidBytes(B("Hallo"), 0, 3), B("Hal"));
    EXPECT_EQ(MidBytes(B("Hallo"), 6, 3), B(""));
}

TEST(SplitJoin, KeepsEmptyPiecesAndRoundTrips)
{
    auto pieces = SplitBytes(B("a,,bc,"), ',');
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0], B("a"));
    EXPECT_EQ(pieces[1], B(""));
    EXPECT_EQ(pieces[2], B("bc"));
    EXPECT_EQ(pieces[3], B(""));
    EXPECT_EQ(JoinBytes(pieces, ','), B("a,,bc,"));
    EXPECT_TRUE(SplitBytes({}, ',').empty());
}

TEST(BigEndian32, ReadsOnlyWhenFourBytesRemain)
{
    Bytes b = {0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(BigEndian32(b, 0), 0x12345678u);
    EXPECT_EQ(BigEndian32(b, 1), 0x3456789Au);
    EXPECT_EQ(BigEndian32(b, 2), 0u);
    EXPECT_EQ(BigEndian32(b, -1), 0u);
}

TEST(BytesToText, CodesBecomeLatinCharacters)
{
    EXPECT_EQ(BytesToText({'a', 0xE4, 0xDF}), "aäß");
    EXPECT_EQ(TextToBytes("ä"), (Bytes{0xC3, 0xA4}));
}

TEST(BytesToText, EscapeGivesTheCharacter)
{
    EXPECT_EQ(BytesToText({27, '2', '0', 'A', 'C', 29}), "€");
    EXPECT_EQ(BytesToText({'x', 27, '2', '0', 'a', 'c', 29, 'y'}), "x€y");
}

TEST(BytesToText, IncompleteOrFalseEscapesStay)
{
    EXPECT_EQ(BytesToText({27, '2', '0', 'A'}), std::string("\x1B" "20A"));
    EXPECT_EQ(BytesToText({27, '2', '0', 'A', 'C', 'D'}), std::string("\x1B" "20ACD"));
    EXPECT_EQ(BytesToText({27, 'x', 'y', 'z', 'w', 29}), std::string("\x1Bxyzw\x1D"));
}

TEST(BytesToText, SurrogateBecomesNul)
{
    EXPECT_EQ(BytesToText({27, 'D', '8', '0', '0', 29, 'a'}), std::string("\0a", 2));
}

TEST(NumberText, GroupingAndFill)
{
    EXPECT_EQ(NumberText(1234567, ' ', 1, true), "1.234.567");
    EXPECT_EQ(NumberText(123, ' ', 1, true), "123");
    EXPECT_EQ(NumberText(1234, ' ', 6, true), " 1.234");
    EXPECT_EQ(NumberText(1234567, ' ', 1, false), "1234567");
    EXPECT_EQ(NumberText(0, '0', 3, false), "000");
}

TEST(NumberText, NegativeValues)
{
    EXPECT_EQ(NumberText(-5, '0', 4, false), "00-5");
    EXPECT_EQ(NumberText(-1234, ' ', 1, true), "-1.234");
    EXPECT_EQ(NumberText(-123456, ' ', 9, true), " -123.456");
    EXPECT_EQ(NumberText(std::numeric_limits<int64_t>::min(), ' ', 0, true),
              "-9.223.372.036.854.775.808");
}

TEST(NumberText, FillIsACharacterCode)
{
    EXPECT_EQ(NumberText(7, 0xB7, 3, false), "··7");
}

TEST(DecimalText, ShortestWithComma)
{
    EXPECT_EQ(DecimalText(3.0), "3");
    EXPECT_EQ(DecimalText(2.5), "2,5");
    EXPECT_EQ(DecimalText(-0.1), "-0,1");
    EXPECT_EQ(DecimalText(0.0001), "0,0001");
    EXPECT_EQ(DecimalText(1e-5), "1e-05");
    EXPECT_EQ(DecimalText(1.5e20), "1,5e+20");
    EXPECT_EQ(DecimalText(1000000.0), "1000000");
    EXPECT_EQ(DecimalText(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(DecimalText(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(RealText, TruncatesWithoutRounding)
{
    EXPECT_EQ(RealText(' ', 1, 2, true, 1234.5678), "1.234,56");
    EXPECT_EQ(RealText(' ', 1, 3, false, 0.9999), "0,999");
    EXPECT_EQ(RealText(' ', 1, 2, false, 2.0), "2,00");
    EXPECT_EQ(RealText(' ', 1, 0, false, 2.99), "2");
}

TEST(RealText, NegativeDecimalsStripZeros)
{
    EXPECT_EQ(RealText(' ', 1, -4, false, 2.5), "2,5");
    EXPECT_EQ(RealText(' ', 1, -4, false, 2.0), "2");
}

TEST(RealText, ExponentsAreWrittenOut)
{
    EXPECT_EQ(RealText(' ', 1, 7, false, 1.5e-5), "0,0000150");
    EXPECT_EQ(RealText(' ', 1, 1, true, 1.5e20), "150.000.000.000.000.000.000,0");
}

TEST(RealText, SignAndFill)
{
    EXPECT_EQ(RealText('*', 8, 1, true, -1234.56), "**-1.234,5");
    EXPECT_EQ(RealText(' ', 4, 2, false, -0.5), "  -0,50");
}

TEST(RealText, NonFiniteValuesPassThrough)
{
    EXPECT_EQ(RealText(' ', 5, 2, true, std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(RealText(' ', 5, 2, true, std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(RealText(' ', 5, 2, true, -std::numeric_limits<double>::infinity()), "-inf");
}

TEST(BytesToInteger, LeadingSpacesSignAndDigits)
{
    EXPECT_EQ(BytesToInteger(B("  - 12x")), -12);
    EXPECT_EQ(BytesToInteger(B("42")), 42);
    EXPECT_EQ(BytesToInteger(B("abc")), 0);
    EXPECT_EQ(BytesToInteger({}), 0);
    EXPECT_EQ(BytesToInteger(B("-")), 0);
    EXPECT_EQ(BytesToInteger(B("99999999999999999999")), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(BytesToInteger(B("-9223372036854775808")), std::numeric_limits<int64_t>::min());
}

TEST(IntegerToBytes, DigitsAndSign)
{
    EXPECT_EQ(IntegerToBytes(0), B("0"));
    EXPECT_EQ(IntegerToBytes(-407), B("-407"));
    // Regression: the most negative value kept only its minus sign.
    EXPECT_EQ(IntegerToBytes(std::numeric_limits<int64_t>::min()), B("-9223372036854775808"));
}

TEST(Hex, LowBitsUpperCase)
{
    EXPECT_EQ(Hex2(0x1AB), B("AB"));
    EXPECT_EQ(Hex4(0xBEEF), B("BEEF"));
    EXPECT_EQ(Hex8(-1), B("FFFFFFFF"));
    EXPECT_EQ(Hex2Text(10), "0A");
    EXPECT_EQ(Hex8Text(0x12345678ABCDEFll), "78ABCDEF");
}

TEST(RulerText, PlainRuler)
{
    EXPECT_EQ(RulerText(25, false, false), "....!....1....!....2....!");
    EXPECT_EQ(RulerText(0, false, false), "");
    EXPECT_EQ(RulerText(-3, false, true), "");
}

TEST(RulerText, FullNumbersFromTen)
{
    std::string r = RulerText(120, true, false);
    EXPECT_EQ(r.substr(80, 40), "....!....9....!...10....!...11....!...12");
}

TEST(RulerText, MarkersAtBothEnds)
{
    EXPECT_EQ(RulerText(12, false, true), "L...!....1.R");
    std::string printer = RulerText(160, false, true);
    EXPECT_EQ(printer.size(), 160u);
    EXPECT_EQ(printer.front(), 'L');
    EXPECT_EQ(printer.back(), 'R');
    EXPECT_EQ(printer.substr(140, 20), "....!....5....!....R");
}

TEST(RulerText, MarkerNeverFollowsADigit)
{
    // Column 109 of a full-number ruler holds the 1 of "11"; before the marker it is a dot.
    std::string r = RulerText(110, true, true);
    EXPECT_EQ(r.substr(100, 10), "....!....R");
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

TEST_F(FileOps, Kinds)
{
    EXPECT_EQ(FileKind(""), -1);
    EXPECT_EQ(FileKind(folder_ + "/none"), 0);
    EXPECT_EQ(FileKind(folder_), 2);
    ASSERT_TRUE(platform::write_file(folder_ + "/f", {1}));
    EXPECT_EQ(FileKind(folder_ + "/f"), 1);
}

TEST_F(FileOps, DeleteLeavesDirectoriesAndMissingPathsSilently)
{
    DiagCapture capture;
    deletefile(folder_);
    deletefile(folder_ + "/none");
    deletefile("");
    EXPECT_EQ(FileKind(folder_), 2);
    EXPECT_EQ(capture.text(), "");
}

TEST_F(FileOps, DeleteRemovesAFile)
{
    ASSERT_TRUE(platform::write_file(folder_ + "/f", {1}));
    deletefile(folder_ + "/f");
    EXPECT_EQ(FileKind(folder_ + "/f"), 0);
}

TEST_F(FileOps, DeleteFailurePrintsTheOsError)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may remove files from read-only folders";
    std::string locked = folder_ + "/locked";
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    ASSERT_TRUE(platform::write_file(locked + "/f", {1}));
    chmod(locked.c_str(), 0555);
    DiagCapture capture;
    deletefile(locked + "/f");
    chmod(locked.c_str(), 0755);
    EXPECT_EQ(capture.text(), "deletefile: Error #13: Permission denied\n");
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

TEST_F(FileOps, ReadWholeFiles)
{
    ASSERT_TRUE(platform::write_file(folder_ + "/f", {0, 'a', 255}));
    EXPECT_EQ(getbinaryfromfile(folder_ + "/f"), (Bytes{0, 'a', 255}));
    EXPECT_EQ(gettextfromfile(folder_ + "/f"), (Bytes{0, 'a', 255}));
}

TEST_F(FileOps, ReadFailuresPrintOneLine)
{
    DiagCapture capture;
    EXPECT_TRUE(getbinaryfromfile(folder_ + "/none").empty());
    EXPECT_TRUE(gettextfromfile(folder_).empty());
    EXPECT_EQ(capture.text(), "getbinaryfromfile: Error #2: No such file or directory\n"
                              "gettextfromfile: Error #21: Is a directory\n");
}

TEST(FileNameOfPath, AfterLastSlash)
{
    EXPECT_EQ(FileNameOfPath("/a/b/dump.qucode"), "dump.qucode");
    EXPECT_EQ(FileNameOfPath("plain"), "plain");
    EXPECT_EQ(FileNameOfPath("/a/"), "");
}

} // namespace
