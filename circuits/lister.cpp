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

std::array<std::string, 256> opcode_names;
std::array<std::vector<Operand>, 256> opcode_operands;

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

void append(std::vector<uint8_t>& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
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
void append_line(std::vector<uint8_t>& listing, int64_t pos, std::string_view hex, std::string_view text)
{
    std::string prefix = "$";
    for (int shift = 24; shift >= 0; shift -= 8)
        append_hex_byte(prefix, static_cast<uint8_t>(static_cast<uint64_t>(pos) >> shift));
    prefix.push_back(static_cast<char>(FIELD_SEPARATOR));
    prefix.push_back(' ');
    append(listing, prefix);
    hex = hex.substr(0, HEX_COLUMN_CHARS);
    append(listing, hex);
    listing.insert(listing.end(), HEX_COLUMN_CHARS - hex.size(), ' ');
    append(listing, text);
    listing.push_back(LINE_END);
}

// The closing line of a listing cut at the record limit: what was not listed from pos on.
void append_limit_line(std::vector<uint8_t>& listing, const std::vector<uint8_t>& data, int64_t pos)
{
    static const std::array<int64_t, 256> lengths = record_lengths();
    const int64_t size = static_cast<int64_t>(data.size());
    int64_t records = 0;
    for (int64_t p = pos; p < size; p += lengths[data[p]])
        ++records;
    std::string text(MNEMONIC_FIELD_CHARS, ' ');
    text += "(*** Liste nach " + grouped(LISTING_RECORD_LIMIT) +
            " Befehlen gekürzt: " + count_text(records, "weiterer Befehl", "weitere Befehle") +
            " mit " + count_text(size - pos, "Byte", "Bytes") + " nicht aufgelistet)";
    append_line(listing, pos, "", text);
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
    ParsedInt result;
    result.pos = pos;
    if (count <= 0)
        return result;
    const int64_t size = static_cast<int64_t>(data.size());
    uint64_t value = 0;
    int64_t read = 0;
    for (; read < count && pos >= 0 && pos + read < size; ++read) {
        uint8_t byte = data[pos + read];
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

ParsedDouble parsebinarydouble(const std::vector<uint8_t>& data, int64_t pos)
{
    ParsedDouble result;
    const int64_t size = static_cast<int64_t>(data.size());
    if (pos < 0 || pos > size - 8) {
        result.value = -1.0;
        result.pos = pos;
        diag_line("parsebinarydouble", "End of file (pos = " + decimal(pos) +
                                           ", last byte = " + decimal(size - 1) +
                                           "), requested bytes = 8, value = -1.0");
        return result;
    }
    std::string bytes = "[";
    for (int64_t i = 0; i < 8; ++i) {
        append_hex_byte(result.hex, data[pos + i]);
        if (i > 0)
            bytes += ", ";
        bytes += decimal(static_cast<unsigned>(data[pos + i]));
    }
    bytes += "]";
    std::memcpy(&result.value, data.data() + pos, sizeof result.value);
    result.pos = pos + 8;
    diag_line("parsebinarydouble", "Binary = " + bytes + ", Value = " + double_text(result.value));
    return result;
}

std::vector<uint8_t> disassemble(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> listing;
    const int64_t size = static_cast<int64_t>(data.size());
    if (size == 0)
        return listing;

    int64_t pos = 0;
    int64_t last_progress_ms = 0;
    int64_t records = 0;
    // Reused for every record, so a line costs no allocation of its own.
    std::string hex;
    std::string text;
    hex.reserve(64);
    text.reserve(128);
    while (pos < size) {
        if (records == LISTING_RECORD_LIMIT) {
            append_limit_line(listing, data, pos);
            break;
        }
        ++records;
        const int64_t record_pos = pos;
        const uint8_t op = data[pos++];
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
                ParsedDouble real = parsebinarydouble(data, pos);
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
            ParsedInt integer = parsebinaryint(data, pos, bytes);
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
        append_line(listing, record_pos, hex, text);

        // Progress: the first record always shows, later ones at most every 501 ms.
        const int64_t now_ms = platform::now_ms();
        if (now_ms - last_progress_ms >= PROGRESS_INTERVAL_MS) {
            show_progress("Ausgabe erzeugen: " + std::to_string(pos * 100 / size) + "%",
                          false);
            last_progress_ms = now_ms;
        }
    }
    show_progress("Ausgabe erzeugen: 100%", true);
    return listing;
}

DisasmProgress disasm_set_progress(DisasmProgress sink)
{
    return std::exchange(progress_sink, std::move(sink));
}

std::vector<uint8_t> quantum_print(const std::string& path)
{
    auto bytes = platform::read_file(path);
    if (!bytes)
        diag_line("gettextfromfile", "Error #" + platform::last_error_text());
    std::vector<uint8_t> data = bytes ? std::move(*bytes) : std::vector<uint8_t>{};
    diag_line("quantum_print", "File size = " + std::to_string(data.size()) + " Bytes");
    return disassemble(data);
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
    std::vector<uint8_t> listing = quantum_print(path);
    for (uint8_t& b : listing)
        if (b == LISTING_LINE_END)
            b = '\n';
    // An empty listing has no data pointer, which fwrite must not be given.
    const bool written = (listing.empty() || std::fwrite(listing.data(), 1, listing.size(),
                                                         stdout) == listing.size()) &&
                         std::fflush(stdout) == 0;
    disasm_set_progress(std::move(previous_progress));
    diag_set_sink(std::move(previous_diag));
    if (!written) {
        std::fprintf(stderr, "qucode: cannot write the listing: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
