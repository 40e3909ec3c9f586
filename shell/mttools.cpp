// shell/mttools.cpp: text, number and file utilities.
#include "shell/mttools.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/diag.h"
#include "platform/digits.h"
#include "platform/platform.h"

std::array<uint8_t, 256> UpperCaseTable{};
std::array<uint8_t, 256> LowerCaseTable{};
std::array<uint8_t, 256> HexDigitTable{};
std::array<int64_t, 256> HexValueTable{};
std::atomic<bool> MttoolsReady{false};

namespace {

constexpr int64_t MAX_SPACES = 32767;
// Widths and fraction lengths beyond this are clamped: no screen or printer line is that
// long, and an absurd argument must not allocate gigabytes.
constexpr int64_t MAX_FIELD = 32767;
constexpr uint8_t ESCAPE = 27;
constexpr uint8_t GROUP_SEPARATOR = 29;
constexpr size_t ESCAPE_LENGTH = 6; // ESC, four hex digits, GS

constexpr std::array<int64_t, 256> make_hex_values()
{
    std::array<int64_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9')
            t[c] = c - '0';
        else if (c >= 'A' && c <= 'F')
            t[c] = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            t[c] = c - 'a' + 10;
        else
            t[c] = -1;
    }
    return t;
}

// Used internally so the operations work even before initmttools has run.
constexpr std::array<int64_t, 256> HEX_VALUES = make_hex_values();

bool in(int c, int low, int high) { return c >= low && c <= high; }

// Index (from 0) of the first of length items from a 1-based start, as MidText counts.
// Returns false when the slice is empty.
bool mid_range(size_t size, int64_t start, int64_t length, size_t& offset, size_t& count)
{
    if (length <= 0)
        return false;
    if (start <= 1) {
        offset = 0;
    } else {
        if (static_cast<uint64_t>(start) > size)
            return false;
        offset = static_cast<size_t>(start - 1);
    }
    count = std::min(static_cast<uint64_t>(length), static_cast<uint64_t>(size - offset));
    return count > 0;
}

std::string character(uint8_t code)
{
    std::string s;
    platform::append_utf8(s, code);
    return s;
}

// Fill characters in front up to width characters (the text is counted in characters).
std::string fill_to(std::string text, uint8_t fill, int64_t width)
{
    int64_t have = static_cast<int64_t>(platform::decode_utf8(text).size());
    int64_t want = std::min(width, MAX_FIELD);
    if (have >= want)
        return text;
    std::string pad;
    std::string one = character(fill);
    for (int64_t i = have; i < want; ++i)
        pad += one;
    return pad + text;
}

std::string decimal_digits(uint64_t magnitude)
{
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude);
    return std::string(buffer, result.ptr);
}

uint64_t magnitude_of(int64_t value)
{
    // Written so the most negative value does not overflow.
    return value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

Bytes hex_bytes(int64_t value, int digits)
{
    const std::string text = platform::hex_digits(static_cast<uint64_t>(value), digits);
    return Bytes(text.begin(), text.end());
}

Bytes read_whole(const std::string& path, std::string_view op)
{
    auto bytes = platform::read_file(path);
    if (!bytes) {
        diag_line(op, "Error #" + platform::last_error_text());
        return {};
    }
    return std::move(*bytes);
}

} // namespace

void initmttools()
{
    diag_line("initmttools", "Start.");
    for (int c = 0; c < 256; ++c) {
        int upper = c;
        if (in(c, 'a', 'z') || in(c, 224, 228) || in(c, 231, 246) || in(c, 249, 252))
            upper = c - 32;
        int lower = c;
        if (in(c, 'A', 'Z') || in(c, 192, 196) || in(c, 199, 214) || in(c, 217, 220))
            lower = c + 32;
        UpperCaseTable[static_cast<size_t>(c)] = static_cast<uint8_t>(upper);
        LowerCaseTable[static_cast<size_t>(c)] = static_cast<uint8_t>(lower);
    }
    HexDigitTable = {};
    for (size_t i = 0; i < 16; ++i)
        HexDigitTable[i] = static_cast<uint8_t>(platform::hex_digits(i, 1)[0]);
    HexValueTable = HEX_VALUES;
    auto now = static_cast<int64_t>(platform::time_seconds());
    srandom(static_cast<unsigned>(now & 0x7FFFFFFF));
    MttoolsReady = true;
    diag_line("initmttools", "End.");
}

// Text operations

std::string MidText(std::string_view text, int64_t start, int64_t length)
{
    std::u32string s = platform::decode_utf8(text);
    size_t offset = 0;
    size_t count = 0;
    if (!mid_range(s.size(), start, length, offset, count))
        return {};
    return platform::encode_utf8(std::u32string_view(s).substr(offset, count));
}

std::string TextFrom(std::string_view text, int64_t start)
{
    if (start < 2)
        return std::string(text);
    std::u32string s = platform::decode_utf8(text);
    if (static_cast<uint64_t>(start) > s.size())
        return {};
    return platform::encode_utf8(std::u32string_view(s).substr(static_cast<size_t>(start - 1)));
}

std::string CharAt(std::string_view text, int64_t position)
{
    std::u32string s = platform::decode_utf8(text);
    if (position < 1 || static_cast<uint64_t>(position) > s.size())
        return {};
    return platform::encode_utf8(std::u32string_view(s).substr(static_cast<size_t>(position - 1), 1));
}

int64_t TextPosition(std::string_view text, std::string_view search, int64_t start)
{
    if (search.empty())
        return 0;
    std::u32string s = platform::decode_utf8(text);
    std::u32string needle = platform::decode_utf8(search);
    size_t from = start <= 1 ? 0 : static_cast<size_t>(std::min<uint64_t>(start - 1, s.size()));
    size_t found = s.find(needle, from);
    return found == std::u32string::npos ? 0 : static_cast<int64_t>(found) + 1;
}

std::string Spaces(int64_t n)
{
    if (n < 1 || n > MAX_SPACES)
        return {};
    return std::string(static_cast<size_t>(n), ' ');
}

std::string RepeatText(std::string_view text, int64_t n)
{
    std::string out;
    for (int64_t i = 0; i < n; ++i)
        out += text;
    return out;
}

std::string FirstLine(std::string_view text)
{
    size_t end = text.find('\r');
    if (end == std::string_view::npos)
        end = text.find('\n');
    return std::string(text.substr(0, end));
}

int64_t FirstScalar(std::string_view text)
{
    if (text.empty())
        return 0;
    // Only the first character is needed; four bytes always hold it.
    std::u32string s = platform::decode_utf8(text.substr(0, std::min<size_t>(4, text.size())));
    return static_cast<int64_t>(s[0]);
}

// Byte-array operations

int64_t position(const Bytes& bytes, const Bytes& search, int64_t start)
{
    if (start < 1) {
        diag_line("position", "Startposition must be >= 1 (" + BytesToText(search) + ")");
        return 0;
    }
    if (search.empty() || static_cast<uint64_t>(start) > bytes.size())
        return 0;
    auto from = bytes.begin() + (start - 1);
    auto found = std::search(from, bytes.end(), search.begin(), search.end());
    return found == bytes.end() ? 0 : (found - bytes.begin()) + 1;
}

Bytes MidBytes(const Bytes& bytes, int64_t start, int64_t length)
{
    size_t offset = 0;
    size_t count = 0;
    if (!mid_range(bytes.size(), start, length, offset, count))
        return {};
    auto first = bytes.begin() + static_cast<ptrdiff_t>(offset);
    return Bytes(first, first + static_cast<ptrdiff_t>(count));
}

std::vector<Bytes> SplitBytes(const Bytes& bytes, uint8_t separator)
{
    std::vector<Bytes> pieces;
    if (bytes.empty())
        return pieces;
    Bytes piece;
    for (uint8_t b : bytes) {
        if (b == separator) {
            pieces.push_back(std::move(piece));
            piece.clear();
        } else {
            piece.push_back(b);
        }
    }
    pieces.push_back(std::move(piece));
    return pieces;
}

Bytes JoinBytes(const std::vector<Bytes>& pieces, uint8_t separator)
{
    Bytes out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            out.push_back(separator);
        out.insert(out.end(), pieces[i].begin(), pieces[i].end());
    }
    return out;
}

uint32_t BigEndian32(const Bytes& bytes, int64_t index)
{
    if (index < 0 || static_cast<uint64_t>(index) + 4 > bytes.size())
        return 0;
    auto i = static_cast<size_t>(index);
    return (uint32_t{bytes[i]} << 24) | (uint32_t{bytes[i + 1]} << 16) |
           (uint32_t{bytes[i + 2]} << 8) | uint32_t{bytes[i + 3]};
}

Bytes TextToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string BytesToText(const Bytes& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        uint8_t b = bytes[i];
        if (b == ESCAPE && i + ESCAPE_LENGTH - 1 < bytes.size() &&
            bytes[i + ESCAPE_LENGTH - 1] == GROUP_SEPARATOR) {
            int64_t code = 0;
            bool hex = true;
            for (size_t k = 1; k <= 4; ++k) {
                int64_t digit = HEX_VALUES[bytes[i + k]];
                hex = hex && digit >= 0;
                code = code * 16 + digit;
            }
            // Four non-digits are no escape the line editor could have written; keep them.
            if (hex) {
                bool surrogate = code >= 0xD800 && code <= 0xDFFF;
                platform::append_utf8(out, surrogate ? 0 : static_cast<char32_t>(code));
                i += ESCAPE_LENGTH;
                continue;
            }
        }
        platform::append_utf8(out, b);
        ++i;
    }
    return out;
}

// Number texts

std::string NumberText(int64_t value, uint8_t fill, int64_t width, bool grouping)
{
    std::string digits = decimal_digits(magnitude_of(value));
    if (grouping)
        digits = platform::group_thousands(digits);
    if (value < 0)
        digits.insert(digits.begin(), '-');
    return fill_to(std::move(digits), fill, width);
}

std::string DecimalText(double value) { return platform::decimal_text(value); }

std::string RealText(uint8_t fill, int64_t int_width, int64_t decimals, bool grouping, double value)
{
    std::string t = DecimalText(value);
    // Non-finite values have no digits to lay out; "-inf" as well as "nan" and "inf".
    if (!std::isfinite(value) || static_cast<uint8_t>(t[0]) > 63)
        return t;

    // Pass: split off sign and exponent, write the number out in plain digits.
    bool negative = t[0] == '-';
    if (negative)
        t.erase(0, 1);
    int64_t exponent = 0;
    if (size_t e = t.find('e'); e != std::string::npos) {
        std::string exp_text = t.substr(e + 1);
        if (!exp_text.empty() && exp_text[0] == '+')
            exp_text.erase(0, 1);
        std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
        t.resize(e);
    }
    std::string int_digits = t;
    std::string frac_digits;
    if (size_t comma = t.find(','); comma != std::string::npos) {
        int_digits = t.substr(0, comma);
        frac_digits = t.substr(comma + 1);
    }
    std::string all = int_digits + frac_digits;
    int64_t point = static_cast<int64_t>(int_digits.size()) + exponent;
    if (point <= 0) {
        int_digits = "0";
        frac_digits = std::string(static_cast<size_t>(-point), '0') + all;
    } else if (point >= static_cast<int64_t>(all.size())) {
        int_digits = all + std::string(static_cast<size_t>(point) - all.size(), '0');
        frac_digits.clear();
    } else {
        int_digits = all.substr(0, static_cast<size_t>(point));
        frac_digits = all.substr(static_cast<size_t>(point));
    }
    size_t nonzero = int_digits.find_first_not_of('0');
    int_digits = nonzero == std::string::npos ? "0" : int_digits.substr(nonzero);

    // Pass: integer part with grouping, sign and fill.
    std::string integer = grouping ? platform::group_thousands(int_digits) : int_digits;
    if (negative)
        integer.insert(integer.begin(), '-');
    integer = fill_to(std::move(integer), fill, int_width);

    // Pass: fraction cut, never rounded, to the asked number of digits.
    int64_t d = decimals == std::numeric_limits<int64_t>::min() ? MAX_FIELD
                                                                : std::min(std::abs(decimals), MAX_FIELD);
    std::string fraction;
    if (d > 0) {
        fraction = frac_digits.substr(0, std::min<size_t>(frac_digits.size(), static_cast<size_t>(d)));
        fraction.resize(static_cast<size_t>(d), '0');
        if (decimals < 0) {
            size_t last = fraction.find_last_not_of('0');
            fraction.resize(last == std::string::npos ? 0 : last + 1);
        }
    }
    return fraction.empty() ? integer : integer + "," + fraction;
}

int64_t BytesToInteger(const Bytes& bytes)
{
    size_t i = 0;
    while (i < bytes.size() && bytes[i] == ' ')
        ++i;
    bool negative = false;
    if (i < bytes.size() && bytes[i] == '-') {
        negative = true;
        ++i;
        while (i < bytes.size() && bytes[i] == ' ')
            ++i;
    }
    // Accumulate the magnitude; beyond the 64-bit range the result saturates.
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t magnitude = 0;
    for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
        uint64_t digit = bytes[i] - '0';
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (!negative)
        return static_cast<int64_t>(magnitude);
    return magnitude == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min()
                                            : -static_cast<int64_t>(magnitude);
}

Bytes IntegerToBytes(int64_t value)
{
    std::string text = decimal_digits(magnitude_of(value));
    if (value < 0)
        text.insert(text.begin(), '-');
    return TextToBytes(text);
}

Bytes Hex2(int64_t value) { return hex_bytes(value, 2); }
Bytes Hex4(int64_t value) { return hex_bytes(value, 4); }
Bytes Hex8(int64_t value) { return hex_bytes(value, 8); }
std::string Hex2Text(int64_t value) { return platform::hex_digits(static_cast<uint64_t>(value), 2); }
std::string Hex8Text(int64_t value) { return platform::hex_digits(static_cast<uint64_t>(value), 8); }

std::string RulerText(int64_t width, bool full_numbers, bool markers)
{
    if (width < 1)
        return {};
    width = std::min(width, MAX_FIELD);
    static constexpr std::string_view BLOCK = "....!....";
    std::string ruler;
    for (int64_t i = 1; i <= width / 10 + 1; ++i) {
        if (full_numbers && i >= 10) {
            std::string number = std::to_string(i);
            ruler.append(BLOCK.substr(0, 10 - std::min<size_t>(number.size(), 10)));
            ruler.append(number);
        } else {
            ruler.append(BLOCK);
            ruler += static_cast<char>('0' + i % 10);
        }
    }
    if (!markers)
        return ruler.substr(0, static_cast<size_t>(width));
    // A ruler one column wide has room for its left marker only.
    if (width == 1)
        return "L";
    auto w = static_cast<size_t>(width);
    std::string marked(1, 'L');
    marked.append(ruler, 1, w - 2);
    marked += 'R';
    if (width % 10 == 0 && marked[w - 2] >= '0' && marked[w - 2] <= '9')
        marked[w - 2] = '.';
    return marked;
}

// Files

int64_t FileKind(const std::string& path)
{
    if (path.empty())
        return -1;
    switch (platform::file_kind(path)) {
    case platform::FileKind::Missing:
        return 0;
    case platform::FileKind::Directory:
        return 2;
    case platform::FileKind::File:
    case platform::FileKind::Other:
        return 1;
    }
    return 0;
}

void deletefile(const std::string& path)
{
    if (FileKind(path) != 1)
        return;
    if (!platform::remove_file(path))
        diag_line("deletefile", "Error #" + platform::last_error_text());
}

Bytes getbinaryfromfile(const std::string& path) { return read_whole(path, "getbinaryfromfile"); }

Bytes gettextfromfile(const std::string& path) { return read_whole(path, "gettextfromfile"); }

std::string FileNameOfPath(std::string_view path)
{
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}
