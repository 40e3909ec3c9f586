// Listings of hand-built dumps: layout, every opcode, cut-off operands, the record limit.
#include "programs/disasm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/diag.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string text_of(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Splits a listing at its carriage returns; a listing never holds a line feed.
std::vector<std::string> lines_of(const Bytes& listing)
{
    std::vector<std::string> lines;
    std::string line;
    for (uint8_t b : listing) {
        if (b == 13) {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(b));
        }
    }
    EXPECT_EQ(line, "") << "the last line has no carriage return";
    return lines;
}

// A listing line: "$" + position, byte 25, blank, 40 hex characters, then the text column.
std::string line(const std::string& pos, const std::string& hex, const std::string& text)
{
    std::string padded = hex;
    padded.resize(40, ' ');
    return "$" + pos + "\x19 " + padded + text;
}

std::string field(const std::string& mnemonic)
{
    std::string padded = mnemonic;
    padded.resize(16, ' ');
    return padded;
}

void put_int(Bytes& b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<uint8_t>(v >> shift));
}

void put_double(Bytes& b, double v)
{
    uint8_t raw[8];
    std::memcpy(raw, &v, 8);
    b.insert(b.end(), raw, raw + 8);
}

class DisasmTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        initopcodenames();
        previous_ = disasm_set_progress([this](std::string_view text, bool done) {
            progress_.push_back(std::string(text) + (done ? " (done)" : ""));
        });
        dir_ = std::filesystem::temp_directory_path() /
               ("orbikon-disasm-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override
    {
        disasm_set_progress(previous_);
        std::filesystem::remove_all(dir_);
    }

    std::string write_dump(const Bytes& bytes)
    {
        std::string path = (dir_ / "dump.qucode").string();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::vector<std::string> progress_;
    DisasmProgress previous_;
    std::filesystem::path dir_;
};

TEST(ParseBinaryInt, ReadsBigEndianAndReportsHex)
{
    DiagCapture capture;
    ParsedInt r = parsebinaryint({0x06, 0x00, 0x01, 0x02, 0xFF, 0x07}, 1, 4);
    EXPECT_EQ(r.value, 0x000102FF);
    EXPECT_EQ(r.pos, 5);
    EXPECT_EQ(r.hex, "000102FF");
    EXPECT_EQ(capture.text(), "");
}

TEST(ParseBinaryInt, CountZeroReadsNothing)
{
    DiagCapture capture;
    ParsedInt r = parsebinaryint({1, 2, 3}, 1, 0);
    EXPECT_EQ(r.value, 0);
    EXPECT_EQ(r.pos, 1);
    EXPECT_EQ(r.hex, "");
    EXPECT_EQ(capture.text(), "");
}

TEST(ParseBinaryInt, PartialReadGivesNegatedValueAndEndPosition)
{
    DiagCapture capture;
    ParsedInt r = parsebinaryint({0x01, 0x00, 0x02, 0x03}, 1, 4);
    EXPECT_EQ(r.value, -0x0203);
    EXPECT_EQ(r.pos, 4);
    EXPECT_EQ(r.hex, "000203");
    EXPECT_EQ(capture.text(), "parsebinaryint: End of file (pos = 4, last byte = 3), requested "
                              "bytes = 4, value = -515\n");
}

TEST(ParseBinaryInt, ReadAtTheEndKeepsPositionAndValueZero)
{
    DiagCapture capture;
    ParsedInt r = parsebinaryint({0x01, 0x02}, 2, 8);
    EXPECT_EQ(r.value, 0);
    EXPECT_EQ(r.pos, 2);
    EXPECT_EQ(r.hex, "");
    EXPECT_EQ(capture.text(), "parsebinaryint: End of file (pos = 2, last byte = 1), requested "
                              "bytes = 8, value = 0\n");
}

TEST(ParseBinaryDouble, ReadsMachineOrderAndPrintsTheBytes)
{
    DiagCapture capture;
    ParsedDouble r = parsebinarydouble({0x07, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}, 1);
    EXPECT_EQ(r.value, 1.0);
    EXPECT_EQ(r.pos, 9);
    EXPECT_EQ(r.hex, "000000000000F03F");
    EXPECT_EQ(capture.text(),
              "parsebinarydouble: Binary = [0, 0, 0, 0, 0, 0, 240, 63], Value = 1.0\n");
}

TEST(ParseBinaryDouble, ShortDataGivesMinusOneAndKeepsPosition)
{
    DiagCapture capture;
    ParsedDouble r = parsebinarydouble({1, 2, 3, 4, 5}, 1);
    EXPECT_EQ(r.value, -1.0);
    EXPECT_EQ(r.pos, 1);
    EXPECT_EQ(r.hex, "");
    EXPECT_EQ(capture.text(), "parsebinarydouble: End of file (pos = 1, last byte = 4), requested "
                              "bytes = 8, value = -1.0\n");
}

TEST_F(DisasmTest, HadamardLineHasTheDocumentedLayout)
{
    Bytes dump(0x1A, 0xFF);
    dump.push_back(0x06);
    put_int(dump, 3);
    std::vector<std::string> lines = lines_of(disassemble(dump));
    ASSERT_EQ(lines.size(), 0x1Bu);
    const std::string& h = lines.back();
    EXPECT_EQ(h, line("0000001A", "06 00000003 ", "hadamard        3"));
    EXPECT_EQ(h.size(), 68u); // the operand text starts at character 68
    EXPECT_EQ(h[9], '\x19');
    EXPECT_EQ(lines[0], line("00000000", "FF ", field("nop")));
}

TEST_F(DisasmTest, ListsEveryOpcodeWithItsOperands)
{
    Bytes d;
    d.push_back(0xF0), put_int(d, 3);
    d.push_back(0x00), put_int(d, 0), put_int(d, 5);
    d.push_back(0x01), put_int(d, 1), put_int(d, 2);
    d.push_back(0x02), put_int(d, 0), put_int(d, 1), put_int(d, 2);
    for (uint8_t op = 0x03; op <= 0x06; ++op)
        d.push_back(op), put_int(d, op);
    for (uint8_t op = 0x07; op <= 0x0B; ++op)
        d.push_back(op), put_int(d, 1), put_double(d, op == 0x07 ? 1.0 : 0.5);
    d.push_back(0x0C), put_int(d, 4), put_int(d, 5);
    d.push_back(0x0D), put_int(d, 6), put_int(d, 7), put_double(d, 3.141592653589793);
    d.push_back(0x0E), put_int(d, 12);
    d.push_back(0x80);
    d.push_back(0x81), put_int(d, 9);
    d.push_back(0x82), put_int(d, 10);
    d.push_back(0xFF);

    DiagCapture capture;
    std::vector<std::string> l = lines_of(disassemble(d));
    std::vector<std::string> expected = {
        line("00000000", "F0 00000003 ", field("qbits") + "3"),
        line("00000005", "00 0000000000000005 ", field("init") + "5"),
        line("0000000E", "01 00000001 00000002 ", field("cnot") + "1, 2"),
        line("00000017", "02 00000000 00000001 00000002 ", field("toffoli") + "0, 1, 2"),
        line("00000024", "03 00000003 ", field("sigma_x") + "3"),
        line("00000029", "04 00000004 ", field("sigma_y") + "4"),
        line("0000002E", "05 00000005 ", field("sigma_z") + "5"),
        line("00000033", "06 00000006 ", field("hadamard") + "6"),
        line("00000038", "07 00000001 000000000000F03F ", field("rotate_x") + "1, 1"),
        line("00000045", "08 00000001 000000000000E03F ", field("rotate_y") + "1, 0.5"),
        line("00000052", "09 00000001 000000000000E03F ", field("rotate_z") + "1, 0.5"),
        line("0000005F", "0A 00000001 000000000000E03F ", field("phase_kick") + "1, 0.5"),
        line("0000006C", "0B 00000001 000000000000E03F ", field("phase_scale") + "1, 0.5"),
        line("00000079", "0C 00000004 00000005 ", field("cond_phase") + "4, 5"),
        line("00000082", "0D 00000006 00000007 182D4454FB210940 ",
             field("cphase_kick") + "6, 7, 3.141592653589793"),
        line("00000093", "0E 0000000C ", field("swapleads") + "12"),
        line("00000098", "80 ", field("measure")),
        line("00000099", "81 00000009 ", field("measure_bit") + "9"),
        line("0000009E", "82 0000000A ", field("measure_bit_p") + "10"),
        line("000000A3", "FF ", field("nop")),
    };
    ASSERT_EQ(l.size(), expected.size());
    for (size_t i = 0; i < l.size(); ++i)
        EXPECT_EQ(l[i], expected[i]) << "line " << i;
    EXPECT_NE(capture.text().find("quantum_code_cphase_kick\n"), std::string::npos);
    EXPECT_NE(capture.text().find("parsebinarydouble: Binary = [0, 0, 0, 0, 0, 0, 224, 63], "
                                  "Value = 0.5\n"),
              std::string::npos);
}

TEST_F(DisasmTest, LargeBasisValueIsListedUnsigned)
{
    Bytes d = {0x00, 0x80, 0, 0, 0, 0, 0, 0, 1};
    std::vector<std::string> l = lines_of(disassemble(d));
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0], line("00000000", "00 8000000000000001 ", field("init") + "9223372036854775809"));
}

TEST_F(DisasmTest, CutIntegerOperandEndsTheListing)
{
    Bytes d = {0x06, 0, 0, 0, 1, 0x01, 0, 0, 0, 1, 0, 7};
    DiagCapture capture;
    std::vector<std::string> l = lines_of(disassemble(d));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[1], line("00000005", "01 00000001 0007 ", field("cnot") + "1, (*** end of file error)"));
    EXPECT_NE(capture.text().find("parsebinaryint: End of file (pos = 12, last byte = 11), "
                                  "requested bytes = 4, value = -7\n"),
              std::string::npos);
}

TEST_F(DisasmTest, CutOperandOfZeroBytesIsStillAnEndOfFileError)
{
    // The bytes that were there are all zero, so the reported value is 0, not negative.
    Bytes d = {0x00, 0, 0, 0};
    std::vector<std::string> l = lines_of(disassemble(d));
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0], line("00000000", "00 000000 ", field("init") + "(*** end of file error)"));

    Bytes e = {0x03};
    l = lines_of(disassemble(e));
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0], line("00000000", "03 ", field("sigma_x") + "(*** end of file error)"));
}

TEST_F(DisasmTest, CutRealOperandDecodingGoesOnFromThere)
{
    // rotate_y on qubit 2, then only five bytes where the angle should be: a Hadamard record.
    Bytes d = {0x08, 0, 0, 0, 2, 0x06, 0, 0, 0, 4};
    DiagCapture capture;
    std::vector<std::string> l = lines_of(disassemble(d));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], line("00000000", "08 00000002  ", field("rotate_y") + "2, (*** end of file error)"));
    EXPECT_EQ(l[1], line("00000005", "06 00000004 ", field("hadamard") + "4"));
    EXPECT_NE(capture.text().find("parsebinarydouble: End of file (pos = 5, last byte = 9), "
                                  "requested bytes = 8, value = -1.0\n"),
              std::string::npos);
}

TEST_F(DisasmTest, NegativeAngleIsListedAsEndOfFileError)
{
    Bytes d = {0x09};
    put_int(d, 0);
    put_double(d, -0.25);
    std::vector<std::string> l = lines_of(disassemble(d));
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0], line("00000000", "09 00000000 000000000000D0BF ",
                         field("rotate_z") + "0, (*** end of file error)"));
}

TEST_F(DisasmTest, UnknownOpcodeIsListedAndSkippedByOneByte)
{
    Bytes d = {0x42, 0x0F, 0x06, 0, 0, 0, 1};
    std::vector<std::string> l = lines_of(disassemble(d));
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0], line("00000000", "42 ", field("") + "(*** Unknown Opcode: $42)"));
    EXPECT_EQ(l[1], line("00000001", "0F ", field("") + "(*** Unknown Opcode: $0F)"));
    EXPECT_EQ(l[2], line("00000002", "06 00000001 ", field("hadamard") + "1"));
}

TEST_F(DisasmTest, FirstRecordShowsProgressAndTheEndShowsHundred)
{
    Bytes d = {0xFF, 0xFF, 0xFF, 0xFF};
    disassemble(d);
    ASSERT_GE(progress_.size(), 2u);
    EXPECT_EQ(progress_.front(), "Ausgabe erzeugen: 25%");
    EXPECT_EQ(progress_.back(), "Ausgabe erzeugen: 100% (done)");
    // Four records take far less than 501 ms: only the first shows.
    EXPECT_EQ(progress_.size(), 2u);
}

TEST_F(DisasmTest, EmptyDumpGivesEmptyListingAndNoProgress)
{
    std::string path = write_dump({});
    DiagCapture capture;
    EXPECT_TRUE(quantum_print(path).empty());
    EXPECT_EQ(capture.text(), "quantum_print: File size = 0 Bytes\n");
    EXPECT_TRUE(progress_.empty());
}

TEST_F(DisasmTest, MissingDumpGivesEmptyListing)
{
    DiagCapture capture;
    EXPECT_TRUE(quantum_print((dir_ / "none.qucode").string()).empty());
    EXPECT_NE(capture.text().find("gettextfromfile: Error #"), std::string::npos);
    EXPECT_NE(capture.text().find("quantum_print: File size = 0 Bytes\n"), std::string::npos);
    EXPECT_TRUE(progress_.empty());
}

TEST_F(DisasmTest, QuantumPrintReadsTheFileAndTellsItsSize)
{
    Bytes d = {0xF0, 0, 0, 0, 3, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    std::string path = write_dump(d);
    DiagCapture capture;
    std::vector<std::string> l = lines_of(quantum_print(path));
    EXPECT_EQ(capture.text(), "quantum_print: File size = 14 Bytes\n");
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], line("00000000", "F0 00000003 ", field("qbits") + "3"));
    EXPECT_EQ(l[1], line("00000005", "00 0000000000000000 ", field("init") + "0"));
}

TEST_F(DisasmTest, ListingStopsAtTheRecordLimitWithOneClosingLine)
{
    // Past the limit: 3 Hadamards (15 bytes), one nop, and a cut-off Toffoli (5 bytes).
    Bytes d(LISTING_RECORD_LIMIT, 0xFF);
    for (int i = 0; i < 3; ++i)
        d.push_back(0x06), put_int(d, 1);
    d.push_back(0xFF);
    d.push_back(0x02), put_int(d, 1);
    std::string path = write_dump(d);

    Bytes listing = quantum_print(path);
    const size_t nop_line = line("", "FF ", field("nop")).size() + 8 + 1;
    ASSERT_EQ(nop_line, 68u);
    ASSERT_GT(listing.size(), nop_line * LISTING_RECORD_LIMIT);
    std::string tail = text_of(Bytes(listing.begin() + nop_line * LISTING_RECORD_LIMIT, listing.end()));
    EXPECT_EQ(tail, line("000F4240", "", field("") +
                                             "(*** Liste nach 1.000.000 Befehlen gekürzt: 5 "
                                             "weitere Befehle mit 21 Bytes nicht aufgelistet)") +
                        "\r");
    EXPECT_EQ(text_of(Bytes(listing.begin() + nop_line * (LISTING_RECORD_LIMIT - 1),
                            listing.begin() + nop_line * LISTING_RECORD_LIMIT)),
              line("000F423F", "FF ", field("nop")) + "\r");
    EXPECT_EQ(progress_.back(), "Ausgabe erzeugen: 100% (done)");
}

// Length of one nop line: prefix, hex column, mnemonic field, carriage return.
constexpr size_t NOP_LINE_BYTES = 11 + 40 + 16 + 1;

std::string last_line(const Bytes& listing, size_t from)
{
    return text_of(Bytes(listing.begin() + static_cast<std::ptrdiff_t>(from), listing.end()));
}

TEST_F(DisasmTest, LimitLineUsesSingularForOneRecord)
{
    Bytes listing = disassemble(Bytes(LISTING_RECORD_LIMIT + 1, 0xFF));
    const size_t listed = NOP_LINE_BYTES * LISTING_RECORD_LIMIT;
    ASSERT_GT(listing.size(), listed);
    EXPECT_EQ(last_line(listing, listed),
              line("000F4240", "", field("") +
                                       "(*** Liste nach 1.000.000 Befehlen gekürzt: 1 weiterer "
                                       "Befehl mit 1 Byte nicht aufgelistet)") +
                  "\r");
}

TEST_F(DisasmTest, ExactlyTheLimitNeedsNoClosingLine)
{
    Bytes listing = disassemble(Bytes(LISTING_RECORD_LIMIT, 0xFF));
    ASSERT_EQ(listing.size(), NOP_LINE_BYTES * LISTING_RECORD_LIMIT);
    EXPECT_EQ(last_line(listing, listing.size() - NOP_LINE_BYTES),
              line("000F423F", "FF ", field("nop")) + "\r");
}

} // namespace

#include "platform/headless/headless.h"
#include "platform/window_system.h"
#include "programs/printer.h"
#include "tests/programs/program_fixture.h"

namespace {

class DisasmCommandTest : public program_test::ProgramWindowTest {
protected:
    void SetUp() override
    {
        ProgramWindowTest::SetUp();
        initopcodenames();
        platform::WindowSpec spec;
        spec.kind = platform::WindowKind::Text;
        spec.has_ruler = true;
        ASSERT_TRUE(platform::headless().create_window(platform::PRINTER_WINDOW, spec));
        path_ = std::filesystem::temp_directory_path() /
                ("orbikon-dcmd-" + std::to_string(::getpid()) + ".qucode");
        const Bytes dump = {0xF0, 0, 0, 0, 3, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(dump.data()), static_cast<std::streamsize>(dump.size()));
    }
    void TearDown() override
    {
        std::filesystem::remove(path_);
        ProgramWindowTest::TearDown();
    }
    std::filesystem::path path_;
};

TEST_F(DisasmCommandTest, AppendsTheListingToThePrinterAndShowsItsSize)
{
    p_SetPrinter("alt\r");
    DiagCapture quiet;
    disasm_command(path_.string());
    const std::string listing = line("00000000", "F0 00000003 ", field("qbits") + "3") + "\r" +
                                line("00000005", "00 0000000000000000 ", field("init") + "0") + "\r";
    EXPECT_EQ(p_GetPrinter(), "alt\r" + listing);
    std::vector<std::string> r = rows();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], "Ausgabe erzeugen: 100%");
    EXPECT_EQ(r[1], "");
    EXPECT_EQ(r[2], "Größe der Ausgabe = 138 Bytes.");

    disasm_command(path_.string()); // D twice appends the same listing twice
    EXPECT_EQ(p_GetPrinter(), "alt\r" + listing + listing);
}

TEST_F(DisasmCommandTest, MissingDumpAppendsNothing)
{
    std::filesystem::remove(path_);
    p_SetPrinter("alt\r");
    DiagCapture quiet;
    disasm_command(path_.string());
    EXPECT_EQ(p_GetPrinter(), "alt\r");
    EXPECT_EQ(rows().back(), "Größe der Ausgabe = 0 Bytes.");
}

TEST_F(DisasmCommandTest, QucodeListPrintsTheListingAloneWithLineFeeds)
{
    const std::string out = path_.string() + ".out";
    const std::string err = path_.string() + ".err";
    const std::string command = std::string(ORBIKON_BUILD_DIR) + "/qucode list '" + path_.string() +
                                "' > '" + out + "' 2> '" + err + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream o(out, std::ios::binary), e(err, std::ios::binary);
    std::string stdout_text((std::istreambuf_iterator<char>(o)), {});
    std::string stderr_text((std::istreambuf_iterator<char>(e)), {});
    EXPECT_EQ(stdout_text, line("00000000", "F0 00000003 ", field("qbits") + "3") + "\n" +
                               line("00000005", "00 0000000000000000 ", field("init") + "0") + "\n");
    EXPECT_NE(stderr_text.find("quantum_print: File size = 14 Bytes\n"), std::string::npos);
    EXPECT_NE(stderr_text.find("Ausgabe erzeugen: 100%\n"), std::string::npos);

    const std::string missing = std::string(ORBIKON_BUILD_DIR) + "/qucode list /nonexistent/x 2> '" +
                                err + "' > '" + out + "'";
    EXPECT_NE(std::system(missing.c_str()), 0);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
}

} // namespace
