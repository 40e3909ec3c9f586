// Listings of hand-built dumps: layout, every opcode, cut-off operands, the record limit.
#include "programs/disasm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/objcode.h"
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/window_system.h"
#include "programs/printer.h"
#include "tests/programs/program_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using program_test::add_gate;

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

// Three qubits from basis value 0, and its listing with the given line end.
const Bytes SMALL_DUMP = {0xF0, 0, 0, 0, 3, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};

std::string small_listing(const std::string& end)
{
    return line("00000000", "F0 00000003 ", field("qbits") + "3") + end +
           line("00000005", "00 0000000000000000 ", field("init") + "0") + end;
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
        const std::string path = (dir_ / "dump.qucode").string();
        test_support::write_bytes(path, bytes);
        return path;
    }

    std::vector<std::string> progress_;
    DisasmProgress previous_;
    std::filesystem::path dir_;
};

// The double reader is checked through the listings below.
TEST(ParseBinary, ValuesPositionsHexAndEndOfFileLines)
{
    const struct {
        Bytes data;
        int64_t pos, count, value, end;
        std::string hex, diagnostic;
    } ints[] = {
        {{0x06, 0x00, 0x01, 0x02, 0xFF, 0x07}, 1, 4, 0x000102FF, 5, "000102FF", ""},
        {{1, 2, 3}, 1, 0, 0, 1, "", ""},
        // A partial read gives the negated value and the end position.
        {{0x01, 0x00, 0x02, 0x03}, 1, 4, -0x0203, 4, "000203",
         "parsebinaryint: End of file (pos = 4, last byte = 3), requested bytes = 4, value = -515\n"},
        {{0x01, 0x02}, 2, 8, 0, 2, "",
         "parsebinaryint: End of file (pos = 2, last byte = 1), requested bytes = 8, value = 0\n"},
    };
    for (const auto& c : ints) {
        DiagCapture capture;
        ParsedInt r = parsebinaryint(c.data, c.pos, c.count);
        EXPECT_EQ(r.value, c.value) << c.hex;
        EXPECT_EQ(r.pos, c.end) << c.hex;
        EXPECT_EQ(r.hex, c.hex);
        EXPECT_EQ(capture.text(), c.diagnostic);
    }
}

TEST_F(DisasmTest, ListsEveryOpcodeWithItsOperands)
{
    Bytes d;
    add_gate(d, 0xF0, {3}), add_gate(d, 0x00, {0, 5}), add_gate(d, 0x01, {1, 2});
    add_gate(d, 0x02, {0, 1, 2});
    for (uint8_t op = 0x03; op <= 0x06; ++op)
        add_gate(d, op, {op});
    for (uint8_t op = 0x07; op <= 0x0B; ++op)
        add_gate(d, op, {1}), put_double(d, op == 0x07 ? 1.0 : 0.5);
    add_gate(d, 0x0C, {4, 5}), add_gate(d, 0x0D, {6, 7}), put_double(d, 3.141592653589793);
    add_gate(d, 0x0E, {12}), add_gate(d, 0x80, {}), add_gate(d, 0x81, {9});
    add_gate(d, 0x82, {10}), add_gate(d, 0xFF, {});

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

TEST_F(DisasmTest, OddRecordsCutOperandsAndUnknownOpcodes)
{
    const std::string eof = "(*** end of file error)";
    const struct {
        Bytes dump;
        std::vector<std::string> lines;
        std::string diagnostic = ""; // a line the listing must print, if any
    } cases[] = {
        {{0x00, 0x80, 0, 0, 0, 0, 0, 0, 1}, // a large basis value is listed unsigned
         {line("00000000", "00 8000000000000001 ", field("init") + "9223372036854775809")}},
        {{0x06, 0, 0, 0, 1, 0x01, 0, 0, 0, 1, 0, 7}, // a cut integer operand ends the listing
         {line("00000000", "06 00000001 ", field("hadamard") + "1"),
          line("00000005", "01 00000001 0007 ", field("cnot") + "1, " + eof)},
         "parsebinaryint: End of file (pos = 12, last byte = 11), requested bytes = 4, "
         "value = -7\n"},
        // Cut operands of zero bytes, or none: the value is 0, still an end-of-file error.
        {{0x00, 0, 0, 0}, {line("00000000", "00 000000 ", field("init") + eof)}},
        {{0x03}, {line("00000000", "03 ", field("sigma_x") + eof)}},
        // rotate_y with only five bytes for the angle: decoding goes on from there.
        {{0x08, 0, 0, 0, 2, 0x06, 0, 0, 0, 4},
         {line("00000000", "08 00000002  ", field("rotate_y") + "2, " + eof),
          line("00000005", "06 00000004 ", field("hadamard") + "4")},
         "parsebinarydouble: End of file (pos = 5, last byte = 9), requested bytes = 8, "
         "value = -1.0\n"},
        {{0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xD0, 0xBF}, // a negative angle
         {line("00000000", "09 00000000 000000000000D0BF ", field("rotate_z") + "0, " + eof)}},
        {{0x42, 0x0F, 0x06, 0, 0, 0, 1}, // unknown opcodes are skipped by one byte
         {line("00000000", "42 ", field("") + "(*** Unknown Opcode: $42)"),
          line("00000001", "0F ", field("") + "(*** Unknown Opcode: $0F)"),
          line("00000002", "06 00000001 ", field("hadamard") + "1")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.back());
        DiagCapture capture;
        EXPECT_EQ(lines_of(disassemble(c.dump)), c.lines);
        EXPECT_NE(capture.text().find(c.diagnostic), std::string::npos) << capture.text();
    }
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

// An empty or missing dump is in the bad-input table and the D command's test below.
TEST_F(DisasmTest, ListingStopsAtTheRecordLimitWithOneClosingLine)
{
    const size_t nop_line = 11 + 40 + 16 + 1; // prefix, hex column, mnemonic, carriage return
    const size_t listed = nop_line * LISTING_RECORD_LIMIT;
    const std::string cut = "(*** Liste nach 1.000.000 Befehlen gekürzt: ";
    // Past the limit: 3 Hadamards (15 bytes), one nop, and a cut-off Toffoli (5 bytes).
    Bytes many(LISTING_RECORD_LIMIT, 0xFF);
    for (int i = 0; i < 3; ++i)
        add_gate(many, 0x06, {1});
    many.push_back(0xFF);
    add_gate(many, 0x02, {1});
    // Past the limit, 17-byte records run over several of the reader's blocks, so the count
    // steps past block ends.
    Bytes longer(LISTING_RECORD_LIMIT, 0xFF);
    for (int i = 0; i < 200'000; ++i) {
        add_gate(longer, 0x0D, {1, 2});
        put_double(longer, 0.5);
    }
    const struct {
        Bytes dump;
        std::string closing;
    } cases[] = {
        {many, cut + "5 weitere Befehle mit 21 Bytes nicht aufgelistet)"},
        {longer, cut + "200.000 weitere Befehle mit 3.400.000 Bytes nicht aufgelistet)"},
        {Bytes(LISTING_RECORD_LIMIT + 1, 0xFF), cut + "1 weiterer Befehl mit 1 Byte nicht aufgelistet)"},
        {Bytes(LISTING_RECORD_LIMIT, 0xFF), ""}, // exactly the limit needs no closing line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.closing);
        DiagCapture quiet;
        const Bytes listing = quantum_print(write_dump(c.dump));
        const std::string closing = c.closing.empty() ? "" : line("000F4240", "", field("") + c.closing) + "\r";
        ASSERT_EQ(listing.size(), listed + closing.size());
        EXPECT_EQ(text_of(Bytes(listing.begin() + listed - nop_line, listing.begin() + listed)),
                  line("000F423F", "FF ", field("nop")) + "\r");
        EXPECT_EQ(text_of(Bytes(listing.begin() + listed, listing.end())), closing);
        EXPECT_EQ(progress_.back(), "Ausgabe erzeugen: 100% (done)");
    }
}

TEST_F(DisasmTest, FileReadInBlocksListsAsTheDumpInMemory)
{
    // Seeded records of every length and unknown opcodes, over several read blocks, ending
    // in a record cut off inside its real operand.
    std::mt19937 random(24);
    const uint8_t ops[] = {0x00, 0x01, 0x02, 0x06, 0x06, 0x06, 0x0C, 0x0D, 0x80, 0x81, 0x42, 0xFF};
    Bytes dump;
    while (dump.size() < 2'500'000) {
        const uint8_t op = ops[random() % sizeof ops];
        dump.push_back(op);
        for (int64_t i = 1; i < objcode_record_length(op); ++i)
            dump.push_back(static_cast<uint8_t>(random() % 4));
    }
    add_gate(dump, 0x0D, {1, 2});
    dump.push_back(0);

    std::vector<std::string> pieces;
    DiagCapture from_file;
    const int64_t size = quantum_print_to(write_dump(dump), [&](std::string_view piece) {
        pieces.emplace_back(piece);
    });
    const std::string file_lines = from_file.text();
    DiagCapture from_memory;
    const Bytes expected = disassemble(dump);
    const std::string memory_lines = from_memory.text();

    std::string joined;
    for (const std::string& piece : pieces) {
        ASSERT_FALSE(piece.empty());
        EXPECT_EQ(piece.back(), '\r') << "a piece ends with a whole line";
        EXPECT_LE(piece.size(), 1u << 20);
        joined += piece;
    }
    EXPECT_GT(pieces.size(), 5u);
    EXPECT_EQ(size, static_cast<int64_t>(expected.size()));
    EXPECT_TRUE(joined == text_of(expected)) << "the listings differ";
    EXPECT_TRUE(file_lines == "quantum_print: File size = " + std::to_string(dump.size()) +
                                  " Bytes\n" + memory_lines)
        << "the diagnostics differ";
}

class DisasmCommandTest : public program_test::ProgramWindowTest {
protected:
    void SetUp() override
    {
        ProgramWindowTest::SetUp();
        initopcodenames();
        test_support::build_window(platform::PRINTER_WINDOW, platform::WindowKind::Text,
                                   {0, 0, 800, 600}, true);
        path_ = std::filesystem::temp_directory_path() /
                ("orbikon-dcmd-" + std::to_string(::getpid()) + ".qucode");
        std::ofstream(path_, std::ios::binary) << text_of(SMALL_DUMP);
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
    const std::string listing = small_listing("\r");
    EXPECT_EQ(p_GetPrinter(), "alt\r" + listing);
    EXPECT_EQ(rows(), (std::vector<std::string>{"Ausgabe erzeugen: 100%", "",
                                                "Größe der Ausgabe = 138 Bytes."}));
    disasm_command(path_.string()); // D twice appends the same listing twice
    EXPECT_EQ(p_GetPrinter(), "alt\r" + listing + listing);
    std::filesystem::remove(path_); // a missing dump appends nothing
    disasm_command(path_.string());
    EXPECT_EQ(p_GetPrinter(), "alt\r" + listing + listing);
    EXPECT_EQ(rows().back(), "Größe der Ausgabe = 0 Bytes.");
}

TEST_F(DisasmCommandTest, LongListingReachesThePrinterWholeInSeveralPieces)
{
    const Bytes dump(40'000, 0xFF); // 40,000 nop lines of 68 bytes
    test_support::write_bytes(path_.string(), dump);
    p_SetPrinter("alt\r");
    const int64_t pushes = platform::headless().window(platform::PRINTER_WINDOW).text_pushes;
    DiagCapture quiet;
    disasm_command(path_.string());
    const std::string expected = "alt\r" + text_of(disassemble(dump));
    EXPECT_TRUE(p_GetPrinter() == expected);
    EXPECT_TRUE(platform::headless().window(platform::PRINTER_WINDOW).text == expected);
    EXPECT_GE(platform::headless().window(platform::PRINTER_WINDOW).text_pushes - pushes, 3);
    EXPECT_EQ(rows().back(), "Größe der Ausgabe = 2.720.000 Bytes.");
}

// A missing file is in the bad-input table.
TEST_F(DisasmCommandTest, QucodeListPrintsTheListingAloneWithLineFeeds)
{
    const test_support::ToolRun run = test_support::run_qucode("list '" + path_.string() + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, small_listing("\n"));
    EXPECT_NE(run.err.find("quantum_print: File size = 14 Bytes\n"), std::string::npos);
    EXPECT_NE(run.err.find("Ausgabe erzeugen: 100%\n"), std::string::npos);
}

} // namespace
