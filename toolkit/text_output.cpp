// toolkit/text_output.cpp: printing text at the cursor, control characters and display modes.
#include "toolkit/text_output.h"

#include "platform/beep.h"
#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "toolkit/cursor.h"
#include "toolkit/display.h"
#include "toolkit/glyphs.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/video_memory.h"

#include <string>

namespace {

constexpr uint8_t BLANK = 0x20;
constexpr uint8_t RULE_GLYPH = 0x9C;
constexpr int64_t PAUSE_KEY = 19; // Ctrl-S
constexpr int64_t MODE_COMMAND = 99;
constexpr int64_t CODE_COMMAND_DONE = -1;
constexpr int64_t CODE_REFUSED = -2;
constexpr uint32_t ATTRIBUTES_REFUSED = 0xF000;

void pause_check()
{
    auto& hook = toolkit::shell_hooks().pause_on_key;
    if (hook)
        hook(PAUSE_KEY, true);
}

// Decodes one UTF-8 scalar at text[pos]; malformed input yields U+FFFD, one byte consumed.
char32_t next_scalar(std::string_view text, size_t& pos)
{
    return platform::next_utf8(text, pos).value_or(0xFFFD);
}

// Tab to the next stop of `stop` columns, or to the next line when it lies beyond the area.
void tab_to_stop(uint8_t win, int64_t stop)
{
    t_Window& w = window_table[win];
    int64_t target = (w.TextHpos / stop) * stop + stop + 1;
    if (w.TextWidth - w.TextFirstColumn + 1 < target) {
        t_ClearEndOfLine(win);
        t_Cr(win);
    } else {
        t_PrintTab(win, target, 0x20);
    }
}

// Carries out the character after an Escape; returns the code to draw and the colour byte.
int64_t run_command(uint8_t win, int64_t c, uint8_t& colour)
{
    t_Window& w = window_table[win];
    bool done = true;
    if (c >= 0x40 && c <= 0x4F) {
        colour = static_cast<uint8_t>((colour & 0x0F) | ((c & 0x0F) << 4));
    } else if (c >= 0x50 && c <= 0x5F) {
        colour = static_cast<uint8_t>((colour & 0xF0) + (c - 0x50));
    } else if (c == 0x65) {
        t_CursorEnd(win);
    } else if (c == 0x66) {
        t_Htab(win, w.TextWidth - w.TextFirstColumn + 1);
    } else if (c == 0x69) {
        tab_to_stop(win, 10);
    } else if (c == 0x6A) {
        tab_to_stop(win, 20);
    } else if (c == 0x6B) {
        tab_to_stop(win, 40);
    } else if (c >= 0x6E && c <= 0x7F) {
        t_ColorBorder(win, c - 0x6E);
    } else {
        done = false;
    }
    if (!done)
        return c;
    w.TextDisplayMode = 0;
    return CODE_COMMAND_DONE;
}

// One printable or control character of t_Print, shared by its two forms.
void print_one(uint8_t win, int64_t c)
{
    t_Window& w = window_table[win];
    if (c < 32 && w.TextDisplayMode <= 2) {
        if (c == 13)
            pause_check();
        t_PrintControl(win, static_cast<uint8_t>(c));
        return;
    }
    t_MappedCode mapped = t_ApplyDisplayMode(win, c);
    int64_t m = mapped.Code;
    if (m >= 256) {
        m = '?';
        if (w.TextDisplayMode == 4)
            t_Color(win, 1);
    }
    if (m >= 0) {
        t_PrintSymbol(win, static_cast<int32_t>(m), w.TextColor, w.TextHpos, w.TextVpos);
        t_CursorRight(win);
    }
    w.TextInverse = (mapped.Attributes & 1) != 0;
    w.TextColor = static_cast<uint8_t>((mapped.Attributes >> 8) & 0xFF);
}

bool print_ready(uint8_t win)
{
    if (!toolkit::text_window_ready("t_Print", win))
        return false;
    if (window_table[win].Font.Data.empty()) {
        diag_line("t_Print", "Window #" + std::to_string(win) + " has no text font.");
        return false;
    }
    return true;
}

} // namespace

void t_Print(uint8_t win, std::string_view text)
{
    if (!print_ready(win))
        return;
    size_t pos = 0;
    while (pos < text.size())
        print_one(win, static_cast<int64_t>(next_scalar(text, pos)));
    pause_check();
}

void t_Print(uint8_t win, const std::vector<uint8_t>& bytes)
{
    if (!print_ready(win))
        return;
    for (uint8_t b : bytes)
        print_one(win, b);
    pause_check();
}

void t_PrintChar(uint8_t win, uint8_t code)
{
    if (!toolkit::text_window_ready("t_PrintChar", win))
        return;
    t_Window& w = window_table[win];
    t_MappedCode mapped = t_ApplyDisplayMode(win, code);
    if (mapped.Code >= 0 && mapped.Code < 256) {
        t_PrintSymbol(win, static_cast<int32_t>(mapped.Code), w.TextColor, w.TextHpos, w.TextVpos);
        t_CursorRight(win);
    }
    w.TextInverse = (mapped.Attributes & 1) != 0;
    w.TextColor = static_cast<uint8_t>((mapped.Attributes >> 8) & 0xFF);
}

void t_ClearEndOfLine(uint8_t win)
{
    if (!toolkit::text_window_ready("t_ClearEndOfLine", win))
        return;
    t_Window& w = window_table[win];
    // A cursor beyond the last column leaves an empty range: nothing is cleared.
    for (int64_t column = w.TextHpos; column <= w.TextLastColumn; ++column)
        t_PrintSymbol(win, BLANK, w.TextColor, column, w.TextVpos);
}

void t_ClearEndOfWindow(uint8_t win)
{
    if (!toolkit::text_window_ready("t_ClearEndOfWindow", win))
        return;
    t_Window& w = window_table[win];
    const int64_t hpos = w.TextHpos;
    const int64_t vpos = w.TextVpos;
    t_ClearEndOfLine(win);
    for (int64_t line = vpos + 1; line <= w.TextLastLine; ++line) {
        w.TextVpos = line;
        w.TextHpos = w.TextFirstColumn;
        t_ClearEndOfLine(win);
    }
    w.TextHpos = hpos;
    w.TextVpos = vpos;
}

void t_PrintTab(uint8_t win, int64_t column, uint8_t code)
{
    if (!toolkit::text_window_ready("t_PrintTab", win))
        return;
    const int64_t count = column - window_table[win].TextHpos;
    for (int64_t i = 0; i < count; ++i)
        t_PrintChar(win, code);
}

void t_PrintSpc(uint8_t win, int64_t count)
{
    if (!toolkit::text_window_ready("t_PrintSpc", win))
        return;
    for (int64_t i = 0; i < count; ++i)
        t_PrintChar(win, BLANK);
}

void t_TextHline(uint8_t win, int64_t from_column, int64_t to_column, int64_t line, uint8_t code)
{
    if (!toolkit::text_window_ready("t_TextHline", win))
        return;
    const t_Window& w = window_table[win];
    for (int64_t column = from_column; column <= to_column; ++column)
        t_PrintSymbol(win, code, w.TextColor, column, line);
}

void t_TextLine(uint8_t win)
{
    if (!toolkit::text_window_ready("t_TextLine", win))
        return;
    const t_Window& w = window_table[win];
    t_TextHline(win, w.TextHpos, w.TextLastColumn, w.TextVpos, RULE_GLYPH);
    t_Cr(win);
}

void t_Inverse(uint8_t win)
{
    if (toolkit::window_ready("t_Inverse", win))
        window_table[win].TextInverse = true;
}

void t_Normal(uint8_t win)
{
    if (toolkit::window_ready("t_Normal", win))
        window_table[win].TextInverse = false;
}

void t_Reverse(uint8_t win)
{
    if (toolkit::window_ready("t_Reverse", win))
        window_table[win].TextInverse = !window_table[win].TextInverse;
}

void t_RedirectOutput(uint8_t win, int64_t mode)
{
    if (!toolkit::window_ready("t_RedirectOutput", win))
        return;
    std::lock_guard lock(toolkit::video_mutex());
    window_table[win].TextRedirectOutput = mode;
}

void t_PrintControl(uint8_t win, uint8_t code)
{
    if (win >= WINDOW_COUNT) {
        diag_line("t_PrintControl", "Window is not a graphic window.");
        return;
    }
    t_Window& w = window_table[win];
    const bool ready = MemoryReady && w.Initialized && w.TextMemoryStart >= 0;
    const int64_t redirect = toolkit::output_redirect(win);
    if (!ready || redirect != 1) {
        if (redirect == 2)
            diag_write(std::string(1, static_cast<char>(code)));
        else if (redirect == 1)
            diag_line("t_PrintControl", "Window #" + std::to_string(win) + " not initialized.");
        return;
    }
    switch (code) {
    case 7:
        platform::beep();
        break;
    case 8:
        t_CursorLeft(win);
        break;
    case 10:
        t_CursorDown(win);
        break;
    case 11:
        t_ClearEndOfWindow(win);
        break;
    case 12:
        t_CursorHome(win);
        t_ClearEndOfWindow(win);
        break;
    case 13:
        t_Cr(win);
        break;
    case 14:
        t_Normal(win);
        break;
    case 15:
        t_Inverse(win);
        break;
    case 17:
        t_Reverse(win);
        break;
    case 18:
        t_Htab(win, 1);
        break;
    case 19:
        w.TextDisplayMode = 0;
        break;
    case 20:
        w.TextDisplayMode = 1;
        break;
    case 22:
        t_ScrollDown(win);
        break;
    case 23:
        t_ScrollUp(win);
        break;
    case 25:
        t_CursorHome(win);
        break;
    case 26:
        t_Htab(win, 1);
        t_ClearEndOfLine(win);
        break;
    case 27:
        w.TextDisplayMode = 99;
        break;
    case 28:
        t_CursorRight(win);
        break;
    case 29:
        t_ClearEndOfLine(win);
        break;
    case 30:
        t_CursorUp(win);
        break;
    case 31:
        w.TextDisplayMode = 2;
        break;
    default:
        break; // 0-6, 9, 16, 21, 24: nothing
    }
}

t_MappedCode t_ApplyDisplayMode(uint8_t win, int64_t code)
{
    if (!toolkit::text_window_ready("t_ApplyDisplayMode", win))
        return {CODE_REFUSED, ATTRIBUTES_REFUSED};
    t_Window& w = window_table[win];
    const uint32_t inverse = w.TextInverse ? 1u : 0u;
    uint8_t colour = w.TextColor;
    int64_t c = code;
    switch (w.TextDisplayMode) {
    case 1:
        if (c >= 0x20 && c <= 0x7F)
            c += 0x80;
        break;
    case 2:
        if (c >= 0x60 && c <= 0x7F)
            c += 0x20;
        else if (c >= 0x40 && c <= 0x5F)
            c -= 0x40;
        break;
    case 3:
        if (c <= 0x1F) {
            t_Inverse(win);
            c += 0x40;
        }
        break;
    case 4:
        if (c <= 0x1F) {
            t_Color(win, 1);
            c += 0x40;
        }
        break;
    case MODE_COMMAND:
        c = run_command(win, c, colour);
        break;
    default:
        break;
    }
    return {c, inverse | (static_cast<uint32_t>(colour) << 8)};
}
