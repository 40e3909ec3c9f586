// toolkit/cursor.cpp: cursor movement, wrapping and scrolling, and the visible cursor.
#include "toolkit/cursor.h"

#include "toolkit/glyphs.h"
#include "toolkit/video_memory.h"

namespace {

constexpr uint8_t BLANK = 0x20;

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

} // namespace

void t_CursorRight(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorRight", win))
        return;
    t_Window& w = window_table[win];
    ++w.TextHpos;
    if (w.TextHpos > w.TextLastColumn)
        t_Cr(win);
}

void t_Cr(uint8_t win)
{
    if (!toolkit::text_window_ready("t_Cr", win))
        return;
    t_Window& w = window_table[win];
    w.TextHpos = w.TextFirstColumn;
    ++w.TextVpos;
    if (w.TextVpos > w.TextLastLine) {
        t_ScrollUp(win);
        --w.TextVpos;
    }
}

void t_CursorDown(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorDown", win))
        return;
    t_Window& w = window_table[win];
    ++w.TextVpos;
    if (w.TextVpos > w.TextLastLine) {
        t_ScrollUp(win);
        --w.TextVpos;
    }
}

void t_CursorHome(uint8_t win)
{
    if (!toolkit::text_window_ready("t_CursorHome", win))
        return;
    t_Window& w = window_table[win];
    w.TextHpos = w.TextFirstColumn;
    w.TextVpos = w.TextFirstLine;
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
