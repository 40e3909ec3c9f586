// shell/mttools.h: text, number and file utilities shared by every layer above the platform.
#pragma once

// Texts are UTF-8 std::string; their positions count Unicode characters (scalars) from 1.
// Byte arrays are std::vector<uint8_t> of 8-bit character codes; their positions count bytes
// from 1. A character code is read as the Unicode scalar of the same number (0 to 255).

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/utf8.h"

using Bytes = std::vector<uint8_t>;

// Tables, indexed by character code; filled by initmttools.
extern std::array<uint8_t, 256> UpperCaseTable; // a-z and the Latin-1 small letters to capitals
extern std::array<uint8_t, 256> LowerCaseTable;
extern std::array<uint8_t, 256> HexDigitTable;  // only 0 to 15 used: "0123456789ABCDEF"
extern std::array<int64_t, 256> HexValueTable;  // 0 to 15 for hex digits of either case, else -1
extern std::atomic<bool> MttoolsReady;

// Prints its start and end lines, fills the tables and seeds srandom from the clock.
void initmttools();

// Text operations
// From start (below 1 counts as 1), at most length characters; empty for length <= 0.
std::string MidText(std::string_view text, int64_t start, int64_t length);
// From start to the end; the whole text for start below 2, empty beyond the end.
std::string TextFrom(std::string_view text, int64_t start);
// The one character at position, empty outside the text.
std::string CharAt(std::string_view text, int64_t position);
// Position of the first occurrence of search at or after start, 0 when none (or search empty).
int64_t TextPosition(std::string_view text, std::string_view search, int64_t start);
// n spaces for 1 to 32767, else empty.
std::string Spaces(int64_t n);
std::string RepeatText(std::string_view text, int64_t n);
// Before the first carriage return, or else before the first line feed.
std::string FirstLine(std::string_view text);
// Unicode scalar of the first character, 0 for the empty text.
int64_t FirstScalar(std::string_view text);

// Byte-array operations
// Position from 1 of search at or after start; 0 when none or search is empty; start below 1
// prints a diagnostic and gives 0.
int64_t position(const Bytes& bytes, const Bytes& search, int64_t start);
Bytes MidBytes(const Bytes& bytes, int64_t start, int64_t length);
// The pieces between separators, empty pieces kept; no pieces for no bytes.
std::vector<Bytes> SplitBytes(const Bytes& bytes, uint8_t separator);
Bytes JoinBytes(const std::vector<Bytes>& pieces, uint8_t separator);
// The four bytes from index (counted from 0), most significant first; 0 when they are not all there.
uint32_t BigEndian32(const Bytes& bytes, int64_t index);
// UTF-8 bytes of the text.
Bytes TextToBytes(std::string_view text);
// Each byte as the character of its code; ESC h h h h GS becomes the character U+hhhh.
std::string BytesToText(const Bytes& bytes);

// Number texts in German notation
// Full stops between thousands when grouping; fill (a character code) in front up to width.
std::string NumberText(int64_t value, uint8_t fill, int64_t width, bool grouping);
// Shortest text that reads back as value, decimal comma, no final ",0".
std::string DecimalText(double value);
// Fixed point: integer part grouped and filled to int_width, fraction cut (not rounded) to
// |decimals| digits; negative decimals drop trailing zeros.
std::string RealText(uint8_t fill, int64_t int_width, int64_t decimals, bool grouping, double value);
// Leading spaces, optional minus and spaces, then digits; 0 without digits; saturates.
int64_t BytesToInteger(const Bytes& bytes);
Bytes IntegerToBytes(int64_t value);
// The low 8, 16 or 32 bits as upper-case hex digits.
Bytes Hex2(int64_t value);
Bytes Hex4(int64_t value);
Bytes Hex8(int64_t value);
std::string Hex2Text(int64_t value);
std::string Hex8Text(int64_t value);
// Column ruler: "!" in column 5 of every ten, the block number's last digit in column 10.
std::string RulerText(int64_t width, bool full_numbers, bool markers);

// Files
// -1 empty path, 0 nothing there, 1 file, 2 directory.
int64_t FileKind(const std::string& path);
// Removes a file; directories and missing paths are left alone without a word.
void deletefile(const std::string& path);
// Whole file; empty and one diagnostic line on failure.
Bytes getbinaryfromfile(const std::string& path);
Bytes gettextfromfile(const std::string& path);
// The part after the last "/".
std::string FileNameOfPath(std::string_view path);
