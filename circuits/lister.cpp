// circuits/lister.cpp: the listing of a dump, record by record, as the disassembler shows it.
#include "circuits/lister.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/objcode.h"
#include "platform/diag.h"
#include "platform/digits.h"
#include "platform/platform.h"

namespace {

constexpr uint8_t FIELD_SEPARATOR = 25; // stands between the position and the hex column
constexpr uint8_t LINE_END = LISTING_LINE_END;
constexpr size_t HEX_COLUMN_CHARS = 40;
constexpr size_t MNEMONIC_FIELD_CHARS = 16;
constexpr int64_t PROGRESS_INTERVAL_MS = 501;
constexpr std::string_view END_OF_FILE_TEXT = "(*** end of file error)";

// The longest record the engine writes (0x0D: opcode, two integers and a real).
constexpr int64_t LONGEST_RECORD_BYTES = 17;
// A listing reaches its sink in pieces of whole lines; a piece is passed on once it holds
// this much, so with its last line (well under 512 bytes) it stays within a megabyte, the
// size in which text windows take text.
constexpr size_t PIECE_BYTES = (1 << 20) - 512;
// A dump file is read in blocks of this size.
constexpr int64_t READ_BLOCK_BYTES = 1 << 20;

std::array<std::string, 256> opcode_names;
std::array<std::vector<Operand>, 256> opcode_operands;

// Dump bytes from position `first` on: data[0] is the byte at `first`, and a read that runs
// past `end` finds the end of the dump there.
struct DumpBytes {
    const uint8_t* data = nullptr;
    int64_t first = 0;
    int64_t end = 0;
};

// "Error #2: No such file or directory", as the file helpers word a failed read.
void report_read_error(int error)
{
    diag_line("gettextfromfile", "Error #" + platform::error_text(error));
}

// The dump as the lister walks it, front to back: held in memory, or read from a file block
// by block, so that a dump of hundreds of megabytes is never in memory whole.
class DumpReader {
  public:
    explicit DumpReader(const std::vector<uint8_t>& data)
        : bytes_{data.data(), 0, static_cast<int64_t>(data.size())}, at_end_(true)
    {
    }
    // A regular file of `size` bytes, read up to that size; reads the first block. The file
    // descriptor is the reader's from here on.
    DumpReader(int fd, int64_t size) : fd_(fd), size_limit_(size)
    {
        block_.reserve(static_cast<size_t>(READ_BLOCK_BYTES + LONGEST_RECORD_BYTES));
        fill(0);
    }
    ~DumpReader()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    DumpReader(const DumpReader&) = delete;
    DumpReader& operator=(const DumpReader&) = delete;

    bool failed() const { return error_ != 0; }
    int error() const { return error_; }
    // The dump's size as far as it is known: its whole size once the last block is in.
    int64_t known_size() const { return at_end_ ? bytes_.end : size_limit_; }

    // The bytes from pos on: `want` of them, or all up to the end of the dump, which `end`
    // then marks. Positions only move forward.
    const DumpBytes& from(int64_t pos, int64_t want)
    {
        if (!at_end_ && pos + want > bytes_.end)
            fill(pos);
        return bytes_;
    }

  private:
    // Keeps the bytes from pos on and reads a block after them; a pos past the bytes read
    // skips the file to it.
    void fill(int64_t pos)
    {
        const int64_t keep = std::max<int64_t>(bytes_.end - pos, 0);
        if (keep > 0)
            std::memmove(block_.data(), block_.data() + (pos - bytes_.first),
                         static_cast<size_t>(keep));
        else if (pos > bytes_.end && pos < size_limit_ && ::lseek(fd_, pos, SEEK_SET) != pos)
            fail(bytes_.end);
        block_.resize(static_cast<size_t>(keep + READ_BLOCK_BYTES));
        int64_t have = keep;
        // A file that grows while it is listed is listed as it was when it was opened.
        while (have < static_cast<int64_t>(block_.size()) && pos + have < size_limit_) {
            const int64_t room = std::min<int64_t>(static_cast<int64_t>(block_.size()) - have,
                                                   size_limit_ - (pos + have));
            const ssize_t n = ::read(fd_, block_.data() + have, static_cast<size_t>(room));
            if (n > 0) {
                have += n;
            } else if (n == 0) {
                size_limit_ = pos + have;
            } else if (errno != EINTR) {
                fail(pos + have);
            }
        }
        at_end_ = pos + have >= size_limit_;
        bytes_ = {block_.data(), pos, pos + have};
    }

    // After a failed read or seek the dump ends at `end`, where the bytes read end.
    void fail(int64_t end)
    {
        error_ = errno;
        size_limit_ = end;
    }

    DumpBytes bytes_;
    int fd_ = -1;
    int64_t size_limit_ = 0; // no byte at or past this position is read
    std::vector<uint8_t> block_;
    bool at_end_ = false;
    int error_ = 0;
};

// Collects a listing into pieces of whole lines and hands each full piece to the sink.
class ListingOut {
  public:
    explicit ListingOut(const ListingSink& sink) : sink_(sink)
    {
        piece_.reserve(PIECE_BYTES + 512);
    }
    std::string& text() { return piece_; }
    // After a whole line: passes the piece on once it is big enough.
    void line_done()
    {
        if (piece_.size() >= PIECE_BYTES)
            flush();
    }
    void flush()
    {
        if (piece_.empty())
            return;
        total_ += static_cast<int64_t>(piece_.size());
        sink_(piece_);
        piece_.clear();
    }
    int64_t total() const { return total_; }

  private:
    const ListingSink& sink_;
    std::string piece_;
    int64_t total_ = 0;
};

// The record length the engine writes for an opcode; unknown opcodes take their byte only.
std::array<int64_t, 256> record_lengths()
{
    std::array<int64_t, 256> lengths{};
    for (int op = 0; op < 256; ++op)
        lengths[op] = std::max<int64_t>(objcode_record_length(static_cast<uint8_t>(op)), 1);
    return lengths;
}

void append_hex_byte(std::string& out, uint8_t byte)
{
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    out.push_back(DIGITS[byte >> 4]);
    out.push_back(DIGITS[byte & 15]);
}

template <typename Integer> std::string decimal(Integer value)
{
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// The shortest text that reads back as value, always with a fraction or an exponent.
std::string double_text(double value)
{
    char buffer[40];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".eni") == std::string::npos)
        text += ".0";
    return text;
}

DisasmProgress progress_sink;

void show_progress(std::string_view text, bool done)
{
    if (progress_sink)
        progress_sink(text, done);
}

// A non-negative count with German digit groups.
std::string grouped(int64_t count)
{
    return platform::group_thousands(std::to_string(count));
}

// "1 weiterer Befehl" or "N weitere Befehle", with German digit groups.
std::string count_text(int64_t count, std::string_view one, std::string_view many)
{
    return grouped(count) + " " + std::string(count == 1 ? one : many);
}

// Appends the line "$pos <25> <hex> <text>" ended by byte 13; hex is padded or cut to 40.
void append_line(ListingOut& out, int64_t pos, std::string_view hex, std::string_view text)
{
    std::string& listing = out.text();
    listing.push_back('$');
    for (int shift = 24; shift >= 0; shift -= 8)
        append_hex_byte(listing, static_cast<uint8_t>(static_cast<uint64_t>(pos) >> shift));
    listing.push_back(static_cast<char>(FIELD_SEPARATOR));
    listing.push_back(' ');
    hex = hex.substr(0, HEX_COLUMN_CHARS);
    listing += hex;
    listing.append(HEX_COLUMN_CHARS - hex.size(), ' ');
    listing += text;
    listing.push_back(static_cast<char>(LINE_END));
    out.line_done();
}

// The closing line of a listing cut at the record limit: what was not listed from pos on.
void append_limit_line(ListingOut& out, DumpReader& dump, int64_t pos)
{
    static const std::array<int64_t, 256> lengths = record_lengths();
    int64_t records = 0;
    int64_t p = pos;
    for (;;) {
        const DumpBytes& bytes = dump.from(p, 1);
        if (p >= bytes.end)
            break;
        // Walk the records in this block; the next one may start past it.
        const int64_t end = bytes.end;
        while (p < end) {
            p += lengths[bytes.data[p - bytes.first]];
            ++records;
        }
    }
    const int64_t size = dump.known_size();
    std::string text(MNEMONIC_FIELD_CHARS, ' ');
    text += "(*** Liste nach " + grouped(LISTING_RECORD_LIMIT) +
            " Befehlen gekürzt: " + count_text(records, "weiterer Befehl", "weitere Befehle") +
            " mit " + count_text(size - pos, "Byte", "Bytes") + " nicht aufgelistet)";
    append_line(out, pos, "", text);
}

ParsedInt parse_int(const DumpBytes& data, int64_t pos, int64_t count)
{
    ParsedInt result;
    result.pos = pos;
    if (count <= 0)
        return result;
    const int64_t size = data.end;
    uint64_t value = 0;
    int64_t read = 0;
    for (; read < count && pos >= data.first && pos + read < size; ++read) {
        uint8_t byte = data.data[pos + read - data.first];
        append_hex_byte(result.hex, byte);
        value = value * 256 + byte;
    }
    if (read == count) {
        result.value = static_cast<int64_t>(value);
        result.pos = pos + count;
        return result;
    }
    result.pos = read > 0 ? size : pos;
    result.value = read > 0 ? -static_cast<int64_t>(value) : 0;
    diag_line("parsebinaryint", "End of file (pos = " + decimal(result.pos) +
                                    ", last byte = " + decimal(size - 1) +
                                    "), requested bytes = " + decimal(count) +
                                    ", value = " + decimal(result.value));
    return result;
}

ParsedDouble parse_double(const DumpBytes& data, int64_t pos)
{
    ParsedDouble result;
    const int64_t size = data.end;
    if (pos < data.first || pos > size - 8) {
        result.value = -1.0;
        result.pos = pos;
        diag_line("parsebinarydouble", "End of file (pos = " + decimal(pos) +
                                           ", last byte = " + decimal(size - 1) +
                                           "), requested bytes = 8, value = -1.0");
        return result;
    }
    const uint8_t* bytes_at = data.data + (pos - data.first);
    std::string bytes = "[";
    for (int64_t i = 0; i < 8; ++i) {
        append_hex_byte(result.hex, bytes_at[i]);
        if (i > 0)
            bytes += ", ";
        bytes += decimal(static_cast<unsigned>(bytes_at[i]));
    }
    bytes += "]";
    std::memcpy(&result.value, bytes_at, sizeof result.value);
    result.pos = pos + 8;
    diag_line("parsebinarydouble", "Binary = " + bytes + ", Value = " + double_text(result.value));
    return result;
}

// Lists the dump record by record into out; see quantum_print for the line format.
void list_dump(DumpReader& dump, ListingOut& out)
{
    if (dump.known_size() == 0)
        return;
    const int64_t size = dump.known_size();
    int64_t pos = 0;
    int64_t last_progress_ms = 0;
    int64_t records = 0;
    // Reused for every record, so a line costs no allocation of its own.
    std::string hex;
    std::string text;
    hex.reserve(64);
    text.reserve(128);
    for (;;) {
        const DumpBytes& data = dump.from(pos, LONGEST_RECORD_BYTES);
        if (pos >= data.end)
            break;
        if (records == LISTING_RECORD_LIMIT) {
            append_limit_line(out, dump, pos);
            break;
        }
        ++records;
        const int64_t record_pos = pos;
        const uint8_t op = data.data[pos++ - data.first];
        hex.clear();
        append_hex_byte(hex, op);
        hex.push_back(' ');
        text.assign(opcode_names[op]);
        text.resize(MNEMONIC_FIELD_CHARS, ' ');

        if (op == 0x0D)
            diag_write("quantum_code_cphase_kick\n");
        const auto& operands = opcode_operands[op];
        if (operands.empty() && opcode_names[op].empty())
            text += "(*** Unknown Opcode: $" + platform::hex_digits(op, 2) + ")";
        bool first = true;
        for (Operand kind : operands) {
            if (!first)
                text += ", ";
            first = false;
            if (kind == Operand::Real) {
                ParsedDouble real = parse_double(data, pos);
                pos = real.pos;
                hex += real.hex;
                hex += ' ';
                if (real.value >= 0) {
                    std::string angle = platform::decimal_text(real.value);
                    for (char& c : angle)
                        if (c == ',')
                            c = '.';
                    text += angle;
                } else {
                    text += END_OF_FILE_TEXT;
                }
                continue;
            }
            const int64_t bytes = kind == Operand::Int64 ? 8 : 4;
            const int64_t start = pos;
            ParsedInt integer = parse_int(data, pos, bytes);
            pos = integer.pos;
            hex += integer.hex;
            hex += ' ';
            // A short read is the end of the file even when the bytes read were all zero (the
            // reported value is then 0, not negative); a full 8-byte value is unsigned.
            if (integer.pos != start + bytes) {
                text += END_OF_FILE_TEXT;
                break;
            }
            text += decimal(static_cast<uint64_t>(integer.value));
        }
        append_line(out, record_pos, hex, text);

        // Progress: the first record always shows, later ones at most every 501 ms.
        const int64_t now_ms = platform::now_ms();
        if (now_ms - last_progress_ms >= PROGRESS_INTERVAL_MS) {
            show_progress("Ausgabe erzeugen: " + std::to_string(pos * 100 / size) + "%",
                          false);
            last_progress_ms = now_ms;
        }
    }
    show_progress("Ausgabe erzeugen: 100%", true);
}

// A sink that gathers the whole listing.
ListingSink gather_into(std::vector<uint8_t>& listing)
{
    return [&listing](std::string_view piece) {
        listing.insert(listing.end(), piece.begin(), piece.end());
    };
}

} // namespace

void initopcodenames()
{
    for (auto& name : opcode_names)
        name.clear();
    for (auto& operands : opcode_operands)
        operands.clear();
    for (const RecordLayout& layout : RECORD_LAYOUTS) {
        opcode_names[layout.opcode] = std::string(layout.mnemonic);
        opcode_operands[layout.opcode].assign(layout.operands.begin(),
                                              layout.operands.begin() + layout.count);
    }
}

const std::string& opcode_name(uint8_t opcode)
{
    return opcode_names[opcode];
}

ParsedInt parsebinaryint(const std::vector<uint8_t>& data, int64_t pos, int64_t count)
{
    return parse_int({data.data(), 0, static_cast<int64_t>(data.size())}, pos, count);
}

ParsedDouble parsebinarydouble(const std::vector<uint8_t>& data, int64_t pos)
{
    return parse_double({data.data(), 0, static_cast<int64_t>(data.size())}, pos);
}

std::vector<uint8_t> disassemble(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> listing;
    const ListingSink sink = gather_into(listing);
    ListingOut out(sink);
    DumpReader dump(data);
    list_dump(dump, out);
    out.flush();
    return listing;
}

DisasmProgress disasm_set_progress(DisasmProgress sink)
{
    return std::exchange(progress_sink, std::move(sink));
}

int64_t quantum_print_to(const std::string& path, const ListingSink& sink)
{
    ListingOut out(sink);
    struct stat st{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        DumpReader dump(fd, static_cast<int64_t>(st.st_size));
        // A file that cannot be read from its start lists as an empty one; a later failure
        // ends the listing where the bytes read end.
        if (dump.failed() && dump.known_size() == 0)
            report_read_error(dump.error());
        diag_line("quantum_print", "File size = " + std::to_string(dump.known_size()) + " Bytes");
        list_dump(dump, out);
        if (dump.failed() && dump.known_size() > 0)
            report_read_error(dump.error());
    } else {
        // A pipe or a device tells its size only once read, and a missing file or a folder
        // is reported by the file helper: these are read whole.
        if (fd >= 0)
            ::close(fd);
        auto bytes = platform::read_file(path);
        if (!bytes)
            diag_line("gettextfromfile", "Error #" + platform::last_error_text());
        const std::vector<uint8_t> data = bytes ? std::move(*bytes) : std::vector<uint8_t>{};
        diag_line("quantum_print", "File size = " + std::to_string(data.size()) + " Bytes");
        DumpReader dump(data);
        list_dump(dump, out);
    }
    out.flush();
    return out.total();
}

std::vector<uint8_t> quantum_print(const std::string& path)
{
    std::vector<uint8_t> listing;
    quantum_print_to(path, gather_into(listing));
    return listing;
}

bool qucode_can_read(const std::string& path)
{
    // A folder opens like a file; only reading shows it is none.
    FILE* probe = std::fopen(path.c_str(), "rb");
    const bool readable = probe && (std::fgetc(probe) != EOF || !std::ferror(probe));
    const int reason = errno;
    if (probe)
        std::fclose(probe);
    if (!readable)
        std::fprintf(stderr, "qucode: cannot read %s: %s\n", path.c_str(), std::strerror(reason));
    return readable;
}

int disasm_list_to_stdout(const std::string& path)
{
    if (!qucode_can_read(path))
        return 1;

    // Standard output carries the listing alone; every other line goes to standard error.
    DiagSink previous_diag = diag_set_sink([](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), stderr);
    });
    DisasmProgress previous_progress = disasm_set_progress([](std::string_view text, bool done) {
        std::fprintf(stderr, "%.*s%s", static_cast<int>(text.size()), text.data(), done ? "\n" : "\r");
    });
    if (opcode_name(OBJCODE_INIT).empty())
        initopcodenames();
    bool written = true;
    std::string lines;
    quantum_print_to(path, [&](std::string_view piece) {
        lines.assign(piece);
        std::replace(lines.begin(), lines.end(), static_cast<char>(LISTING_LINE_END), '\n');
        written = written && std::fwrite(lines.data(), 1, lines.size(), stdout) == lines.size();
    });
    written = std::fflush(stdout) == 0 && written;
    disasm_set_progress(std::move(previous_progress));
    diag_set_sink(std::move(previous_diag));
    if (!written) {
        std::fprintf(stderr, "qucode: cannot write the listing: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
