// circuits/lister.h: the lister, which turns a dump of object code into its listing, one
// line per record; it needs only the engine's record layout and the platform core.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// One decoded operand: its value, the position after its bytes and the bytes in hex.
struct ParsedInt {
    int64_t value = 0;
    int64_t pos = 0;
    std::string hex;
};

struct ParsedDouble {
    double value = 0;
    int64_t pos = 0;
    std::string hex;
};

// A listing lists at most this many records; one closing line tells what was left out.
constexpr int64_t LISTING_RECORD_LIMIT = 1'000'000;

// Ends every line of a listing.
constexpr uint8_t LISTING_LINE_END = 13;

// Fills the mnemonic table; call once at start-up before the first listing.
void initopcodenames();

// The mnemonic of an opcode; empty for opcodes the engine does not know.
const std::string& opcode_name(uint8_t opcode);

// Reads count bytes from pos, most significant first. At the end of the data it prints one
// line and returns the negated partial value with the position at the end.
ParsedInt parsebinaryint(const std::vector<uint8_t>& data, int64_t pos, int64_t count);

// Reads the 8 bytes from pos as a double in the machine's byte order and prints them; with
// fewer than 8 left it prints one line and returns -1.0 with pos unchanged.
ParsedDouble parsebinarydouble(const std::vector<uint8_t>& data, int64_t pos);

// The listing of a dump held in memory: one line per record, each ended by byte 13.
std::vector<uint8_t> disassemble(const std::vector<uint8_t>& data);

// Where the progress of a listing goes. Called with "Ausgabe erzeugen: N%" at most every
// 501 ms, and once with done = true and the final text. Without a sink nothing is shown.
using DisasmProgress = std::function<void(std::string_view text, bool done)>;

// Installs a progress sink (an empty function: none); returns the old one.
DisasmProgress disasm_set_progress(DisasmProgress sink);

// Receives a listing in pieces of whole lines, each of about a megabyte or less.
using ListingSink = std::function<void(std::string_view piece)>;

// Reads the dump at path and returns its listing (empty for an empty or unreadable file).
std::vector<uint8_t> quantum_print(const std::string& path);
// The same listing handed to sink piece by piece while a regular file is read block by
// block, so that neither the dump nor the listing is held whole; returns its size in bytes.
int64_t quantum_print_to(const std::string& path, const ListingSink& sink);

// The qucode tool's list command: the listing of the dump at path on standard output with line
// feeds for carriage returns; progress and diagnostics on standard error. Returns the exit
// status: 0, or 1 with one line on standard error when the file cannot be read or written.
int disasm_list_to_stdout(const std::string& path);

// Whether the qucode tool can read path; if not, one line on standard error says why.
bool qucode_can_read(const std::string& path);
