// toolkit/cursor.cpp: cursor movement, scrolling, tabs, rules, inverse and control codes.
#include "toolkit/cursor.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "toolkit/window.h"

#include <string>

namespace {

constexpr uint8_t BLANK = 0x20;
constexpr uint8_t RULE_GLYPH = 0x9C;
constexpr const char* BELL_SOUND = "sysbeep.aif";

bool full_width(const t_Window& w)
{
    return w.TextFirstColumn == 1 && w.TextLastColumn == w.TextWidth;
}

// The ranges of a full-width scroll must stay inside the window's own blocks; a font swapped
// for one of another cell size could otherwise carry a move into a neighbour's memory.
bool inside(int64_t first, int64_t count, int64_t block_start, int64_t block_end)
{
    return count < 1 || (first >= block_start && first + count - 1 <= block_end);
}

void move_block(int64_t source, int64_t destination, int64_t count, int64_t block_start,
                int64_t block_end)
{
    if (inside(source, count, block_start, block_end) &&
        inside(destination, count, block_start, block_end))
        MoveVideoMemory(source, destination, count);
}

void play_bell()
{
    static const std::string path = platform::resource_folder() + BELL_SOUND;
    platform::run_on_event_thread(
        [] {
            auto& ws = platform::window_system();
            if (!ws.sound_playing())
                ws.play_sound(path);
        },
        false);
}

} // namespace

void t_ScrollUp(uint8_t win)
{
    if (!toolkit::text_window_ready("t_ScrollUp", win))
        return;
    t_Window& w = window_table[win];
    if (w.ScrollLock)
        return;
    const int64_t first = w.TextFirstLine;
    const int64_t last = w.TextLastLine;
    if (full_width(w)) {
        const int64_t cols = w.TextWidth;
        const int64_t count = cols * last - cols * first;
        const int64_t colours = toolkit::colour_plane_start(w);
        move_block(colours + first * cols, colours + first * cols - cols, count, w.TextMemoryStart,
                   w.TextMemoryEnd);
        move_block(w.TextMemoryStart + first * cols, w.TextMemoryStart + first * cols - cols, count,
                   w.TextMemoryStart, w.TextMemoryEnd);
        const int64_t line_bytes = w.BitDepth * w.Font.Height * w.Width / 8;
        const int64_t source = w.MemoryStart + w.BitDepth * w.Font.Height * first * w.Width / 8;
        const int64_t end = w.MemoryStart + ((w.Font.Height * last - 1) * w.Width +
                                             w.Font.Width * w.TextLastColumn) *
                                                w.BitDepth / 8;
        move_block(source, source - line_bytes, end - source, w.MemoryStart, w.MemoryEnd);
    } else {
        // A narrower area is redrawn cell by cell from the line below, never inverted.
        const bool inverse = w.TextInverse;
        w.TextInverse = false;
        for (int64_t line = first; line < last; ++line)
            for (int64_t column = w.TextFirstColumn; column <= w.TextLastColumn; ++column)
                t_PrintSymbol(win, toolkit::cell_char(w, column, line + 1),
                              toolkit::cell_colour(w, column, line + 1), column, line);
        w.TextInverse = inverse;
    }
    for (int64_t column = w.TextFirstColumn; column <= w.TextLastColumn; ++column)
        t_PrintSymbol(win, BLANK, w.TextColor, column, last);
}

void t_ScrollDown(uint8_t win)
{
    if (!toolkit::text_window_ready("t_ScrollDown", win))
        return;
    t_Window& w = window_table[win];
    if (w.ScrollLock)
        return;
    const int64_t first = w.TextFirstLine;
    const int64_t last = w.TextLastLine;
    if (full_width(w)) {
        const int64_t cols = w.TextWidth;
        const int64_t count = (last - 1) * cols - (first - 1) * cols;
        const int64_t colours = toolkit::colour_plane_start(w);
        move_block(colours + (first - 1) * cols, colours + (first - 1) * cols + cols, count,
                   w.TextMemoryStart, w.TextMemoryEnd);
        move_block(w.TextMemoryStart + (first - 1) * cols,
                   w.TextMemoryStart + (first - 1) * cols + cols, count, w.TextMemoryStart,
                   w.TextMemoryEnd);
        const int64_t line_bytes = w.BitDepth * w.Font.Height * w.Width / 8;
        const int64_t source =
            w.MemoryStart + w.BitDepth * w.Font.Height * (first - 1) * w.Width / 8;
        const int64_t end =
            w.MemoryStart +
            ((w.Font.Height * (last - 1) - 1) * w.Width + w.Font.Width * cols) * w.BitDepth / 8;
        move_block(source, source + line_bytes, end - source, w.MemoryStart, w.MemoryEnd);
    } else {
        const bool inverse = w.TextInverse;
        w.TextInverse = false;
        for (int64_t line = last; line > first; --line)
            for (int64_t column = w.TextFirstColumn; column <= w.TextLastColumn; ++column)
                t_PrintSymbol(win, toolkit::cell_char(w, column, line - 1),
                              toolkit::cell_colour(w, column, line - 1), column, line);
        w.TextInverse = inverse;
    }
    for (int64_t column = w.TextFirstColumn; column <= w.TextLastColumn; ++column)
        t_PrintSymbol(win, BLANK, w.TextColor, column, first);
}

void t_CursorEnd(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorEnd", win))
        return;
    t_Window& w = window_table[win];
    w.TextHpos = w.TextLastColumn;
    w.TextVpos = w.TextLastLine;
}

void t_CursorLeft(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorLeft", win))
        return;
    t_Window& w = window_table[win];
    --w.TextHpos;
    if (w.TextHpos < w.TextFirstColumn) {
        w.TextHpos = w.TextLastColumn;
        t_CursorUp(win);
    }
}

void t_CursorUp(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorUp", win))
        return;
    t_Window& w = window_table[win];
    --w.TextVpos;
    if (w.TextVpos < w.TextFirstLine) {
        t_ScrollDown(win);
        ++w.TextVpos;
    }
}

void t_Htab(uint8_t win, int64_t column)
{
    if (!toolkit::text_window_ready("t_Htab", win))
        return;
    t_Window& w = window_table[win];
    if (column > 0 && w.TextFirstColumn + column - 1 <= w.TextWidth)
        w.TextHpos = w.TextFirstColumn + column - 1;
}

void t_Vtab(uint8_t win, int64_t line)
{
    if (!toolkit::text_window_ready("t_Vtab", win))
        return;
    t_Window& w = window_table[win];
    if (line > 0 && line <= w.TextHeight)
        w.TextVpos = line;
}

int64_t t_Hpos(uint8_t win)
{
    if (!toolkit::text_window_ready("t_Hpos", win))
        return 0;
    const t_Window& w = window_table[win];
    return w.TextHpos - w.TextFirstColumn + 1;
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

void t_InvertRect(uint8_t win, int64_t column1, int64_t line1, int64_t column2, int64_t line2)
{
    if (!toolkit::text_window_ready("t_InvertRect", win))
        return;
    t_Window& w = window_table[win];
    if (!(0 < column1 && column1 <= column2 && column2 <= w.TextWidth && 0 < line1 &&
          line1 <= line2 && line2 <= w.TextHeight))
        return;
    const bool inverse = w.TextInverse;
    w.TextInverse = true;
    for (int64_t line = line1; line <= line2; ++line)
        for (int64_t column = column1; column <= column2; ++column)
            t_PrintSymbol(win, toolkit::cell_char(w, column, line),
                          toolkit::cell_colour(w, column, line), column, line);
    w.TextInverse = inverse;
}

void t_CursorDraw(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorDraw", win))
        return;
    const t_Window& w = window_table[win];
    t_InvertRect(win, w.TextHpos, w.TextVpos, w.TextHpos, w.TextVpos);
}

void t_CursorOn(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorOn", win))
        return;
    t_Window& w = window_table[win];
    if (w.TextCursorLevel++ == 0)
        t_CursorDraw(win);
}

void t_CursorOff(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorOff", win))
        return;
    t_Window& w = window_table[win];
    if (--w.TextCursorLevel == 0)
        t_CursorDraw(win);
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
        play_bell();
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
