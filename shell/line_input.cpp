// shell/line_input.cpp: the field editor. The field's state lives in the window record, so
// a program can read InputString and InputFinished after the form has ended.
#include "shell/line_input.h"

#include "platform/diag.h"
#include "platform/digits.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "shell/events.h"
#include "shell/menus.h"
#include "shell/mttools.h"
#include "toolkit/cursor.h"
#include "toolkit/text_output.h"
#include "toolkit/window.h"

#include <algorithm>
#include <optional>

namespace {

// The display mode in which control codes are drawn as symbols instead of acted on.
constexpr int64_t SYMBOL_DISPLAY_MODE = 4;
constexpr int64_t PLAIN_DISPLAY_MODE = 0;
constexpr char32_t ESCAPE = 27;
constexpr char32_t GROUP_SEPARATOR = 29;

bool is_digit(int64_t code) { return code >= '0' && code <= '9'; }

int64_t first_code(const std::string& key)
{
    std::u32string chars = platform::decode_utf8(key);
    return chars.empty() ? 0 : static_cast<int64_t>(chars.front());
}

// Prints text at the field's start with control codes drawn as symbols.
void draw_field(uint8_t win, std::u32string_view text)
{
    t_Window& w = window_table[win];
    w.TextHpos = w.InputHpos;
    w.TextDisplayMode = SYMBOL_DISPLAY_MODE;
    t_Print(win, platform::encode_utf8(text));
    window_table[win].TextDisplayMode = PLAIN_DISPLAY_MODE;
}

// Blanks n cells from the field's start.
void blank_field(uint8_t win, int64_t n)
{
    window_table[win].TextHpos = window_table[win].InputHpos;
    t_PrintSpc(win, n);
}

std::optional<std::string> pasteboard_text()
{
    std::optional<std::string> text;
    platform::show([&](platform::WindowSystem& ws) { text = ws.pasteboard_text(); });
    return text;
}

// Types the clipboard's first line into the field. The characters go in directly, not
// queued as keys: a queued rest would reach whatever reads keys after the field ends, as
// commands. Control codes are editing keys, not text, and are left out; a character above
// U+00FF has no code in the character set and is dropped with one line saying so.
void paste_into_field(uint8_t win)
{
    int64_t dropped = 0;
    for (char32_t c : platform::decode_utf8(FirstLine(pasteboard_text().value_or("")))) {
        if (c > 0xFF)
            ++dropped;
        else if (c >= 32 && c != 127)
            t_InputInsert(win, c);
    }
    if (dropped > 0) {
        diag_write("Einsetzen: " + std::to_string(dropped) +
                   " Zeichen ohne Entsprechung im Zeichensatz ausgelassen.\n");
        Beep();
    }
}

// Code entry: up to three digits typed after key code 30 give one character code.
void code_entry(uint8_t win)
{
    int64_t number = 0;
    for (int digits = 0; digits < 3; ++digits) {
        const int64_t key = first_code(WaitKey(win));
        if (!is_digit(key)) {
            if (digits == 0)
                return;
            break;
        }
        number = number * 10 + (key - '0');
    }
    const int64_t mode = window_table[win].InputMode;
    const bool allowed = mode == INPUT_ANY_CONTROL ? (number >= 1 && number <= 255)
                                                   : (number >= 32 && number <= 255);
    if (allowed)
        t_InputInsert(win, number);
}

// The mode table; returns the character to store, or nullopt when the code is refused.
std::optional<char32_t> accepted(const t_Window& w, const std::u32string& field, int64_t code)
{
    const int64_t cursor = w.InputCursorPos;
    const bool has_minus = field.find(U'-') != std::u32string::npos;
    switch (w.InputMode) {
    case INPUT_INTEGER:
        if (is_digit(code) || (code == '-' && cursor == 0))
            return static_cast<char32_t>(code);
        return std::nullopt;
    case INPUT_DECIMAL:
        if (is_digit(code))
            return static_cast<char32_t>(code);
        if (code == ',' || code == '.') {
            if (field.find(U',') != std::u32string::npos)
                return std::nullopt;
            return U',';
        }
        if (code == 'e' || code == 'E') {
            if (field.find(U'e') != std::u32string::npos)
                return std::nullopt;
            return U'e';
        }
        if (code == '-' && (cursor == 0 || field[cursor - 1] == U'e'))
            return U'-';
        return std::nullopt;
    case INPUT_RANGE:
        if (is_digit(code) || (code == '-' && cursor != 0 && !has_minus))
            return static_cast<char32_t>(code);
        return std::nullopt;
    default:
        if (code == 0 || code < 0 || code > 0x10FFFF)
            return std::nullopt;
        return static_cast<char32_t>(code);
    }
}

} // namespace

std::string t_InputForm(uint8_t win, const std::string& prompt, const std::string& default_text,
                        bool setup_only, int64_t mode, int64_t max_characters)
{
    if (!toolkit::text_window_ready("t_InputForm", win))
        return "";

    window_table[win].TextDisplayMode = SYMBOL_DISPLAY_MODE;
    t_Print(win, prompt);
    window_table[win].TextDisplayMode = PLAIN_DISPLAY_MODE;

    t_Window& w = window_table[win];
    w.InputHpos = w.TextHpos;
    w.InputVpos = w.TextVpos;
    w.InputMode = mode;
    w.InputMaxCharacters = max_characters;
    std::u32string field = platform::decode_utf8(default_text);
    if (max_characters < 1)
        field.clear();
    else if (static_cast<int64_t>(field.size()) > max_characters)
        field.resize(static_cast<size_t>(max_characters));
    w.InputString = platform::encode_utf8(field);
    w.InputFinished = false;
    w.InputCursorPos = static_cast<int64_t>(field.size());
    t_Print(win, w.InputString);
    if (setup_only)
        return window_table[win].InputString;

    // Pass: edit until Return or Escape.
    for (;;) {
        t_InputEdit(win, 31);
        const int64_t key = first_code(WaitKey(win));
        t_InputEdit(win, key);
        if (key == 13 || key == 27)
            break;
    }
    t_Cr(win);
    return window_table[win].InputString;
}

void t_InputEdit(uint8_t win, int64_t code)
{
    if (!toolkit::text_window_ready("t_InputEdit", win))
        return;
    t_Window& w = window_table[win];
    std::u32string field = platform::decode_utf8(w.InputString);
    const int64_t n = static_cast<int64_t>(field.size());
    int64_t& cursor = w.InputCursorPos;
    cursor = std::clamp<int64_t>(cursor, 0, n);
    w.TextVpos = w.InputVpos;
    w.TextHpos = w.InputHpos + cursor;

    switch (code) {
    case 0:
        draw_field(win, field);
        window_table[win].TextHpos = window_table[win].InputHpos + cursor;
        break;
    case 1: case 2: case 11: case 18:
        cursor = 0;
        break;
    case 3: case 5: case 6: case 10:
        cursor = n;
        break;
    case 4:
        if (cursor < n) {
            ++cursor;
            while (cursor < n && field[cursor - 1] != U' ')
                ++cursor;
        }
        break;
    case 7:
        if (cursor < n)
            field.erase(static_cast<size_t>(cursor), 1);
        w.InputString = platform::encode_utf8(field);
        draw_field(win, field + U" ");
        break;
    case 8:
        if (cursor > 0)
            --cursor;
        break;
    case 12:
        CopyToPasteboard(UnescapeCodes(w.InputString));
        break;
    case 13:
        w.InputFinished = true;
        break;
    case 19:
        if (cursor > 0) {
            --cursor;
            while (cursor > 0 && field[cursor - 1] != U' ')
                --cursor;
        }
        break;
    case 21:
        if (cursor < n)
            ++cursor;
        break;
    case 22:
        paste_into_field(win);
        break;
    case 24: {
        field.erase(0, static_cast<size_t>(cursor));
        cursor = 0;
        w.InputString = platform::encode_utf8(field);
        std::u32string padded = field;
        if (static_cast<int64_t>(padded.size()) < n)
            padded.append(static_cast<size_t>(n) - padded.size(), U' ');
        draw_field(win, padded);
        break;
    }
    case 26:
        w.InputString.clear();
        cursor = 0;
        blank_field(win, n);
        break;
    case 27:
        w.InputString.clear();
        w.InputFinished = false;
        blank_field(win, n);
        break;
    case 30:
        code_entry(win);
        break;
    case 31:
        break;
    case 127:
        if (cursor > 0) {
            field.erase(static_cast<size_t>(cursor - 1), 1);
            --cursor;
        }
        w.InputString = platform::encode_utf8(field);
        draw_field(win, field + U" ");
        break;
    default:
        if ((code >= 32 && code <= 126) || code >= 128)
            t_InputInsert(win, code);
        break;
    }
    t_Window& after = window_table[win];
    after.InputCursorPos =
        std::clamp<int64_t>(after.InputCursorPos, 0,
                            static_cast<int64_t>(platform::decode_utf8(after.InputString).size()));
}

void t_InputInsert(uint8_t win, int64_t code)
{
    if (!toolkit::text_window_ready("t_InputInsert", win))
        return;
    t_Window& w = window_table[win];
    std::u32string field = platform::decode_utf8(w.InputString);
    const int64_t n = static_cast<int64_t>(field.size());
    if (w.InputHpos + n >= w.TextLastColumn || n >= w.InputMaxCharacters)
        return;
    w.InputCursorPos = std::clamp<int64_t>(w.InputCursorPos, 0, n);
    const std::optional<char32_t> c = accepted(w, field, code);
    if (!c)
        return;
    field.insert(static_cast<size_t>(w.InputCursorPos), 1, *c);
    w.InputCursorPos += 1;
    w.InputString = platform::encode_utf8(field);
    draw_field(win, field);
}

std::string EscapeCodes(std::string_view text)
{
    std::string out;
    for (char32_t c : platform::decode_utf8(text)) {
        if (c == U'\n') {
            out.push_back('\r');
        } else if (c > 0xFF) {
            const uint32_t low = static_cast<uint32_t>(c) & 0xFFFF;
            out.push_back(static_cast<char>(ESCAPE));
            out += platform::hex_digits(low, 4);
            out.push_back(static_cast<char>(GROUP_SEPARATOR));
        } else {
            platform::append_utf8(out, c);
        }
    }
    return out;
}

std::string UnescapeCodes(std::string_view text)
{
    const std::u32string chars = platform::decode_utf8(text);
    std::u32string out;
    size_t i = 0;
    while (i < chars.size()) {
        if (chars[i] == ESCAPE) {
            const size_t end = chars.find(GROUP_SEPARATOR, i + 1);
            if (end != std::u32string::npos && end > i + 1) {
                uint32_t value = 0;
                bool hex = true;
                for (size_t k = i + 1; k < end && hex; ++k) {
                    const char32_t d = chars[k];
                    const int digit = d >= U'0' && d <= U'9'   ? static_cast<int>(d - U'0')
                                      : d >= U'A' && d <= U'F' ? static_cast<int>(d - U'A' + 10)
                                      : d >= U'a' && d <= U'f' ? static_cast<int>(d - U'a' + 10)
                                                               : -1;
                    hex = digit >= 0 && value <= 0xFFFFF;
                    value = value * 16 + static_cast<uint32_t>(digit < 0 ? 0 : digit);
                }
                if (hex) {
                    out.push_back(static_cast<char32_t>(value));
                    i = end + 1;
                    continue;
                }
            }
        }
        out.push_back(chars[i]);
        ++i;
    }
    return platform::encode_utf8(out);
}
