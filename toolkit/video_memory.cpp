// toolkit/video_memory.cpp: the video memory, its blocks and the text planes.
#include "toolkit/video_memory.h"

#include "platform/diag.h"
#include "platform/digits.h"
#include "platform/platform.h"
#include "toolkit/shell_hooks.h"

#include <algorithm>
#include <cstring>
#include <string>

std::vector<uint8_t> VideoMemory;
std::atomic<uint64_t> VideoMemoryWrites{0};
int64_t HighMemory = HIGHEST_ADDRESS;

namespace {

constexpr uint8_t BLANK = 0x20;

std::string hex_dollar(int64_t v)
{
    return "$" + platform::hex_digits(static_cast<uint64_t>(v), 8);
}

// One block move of the release rule, with its line printed in three pieces.
void move_block(const std::string& prefix, const char* what, uint8_t i, int64_t start, int64_t end,
                int64_t distance)
{
    diag_write(prefix + " moving " + what + " block for win #" + std::to_string(i));
    diag_write(hex_dollar(start) + "..." + platform::hex_digits(static_cast<uint64_t>(end), 8) +
               " to");
    diag_write(hex_dollar(start + distance) + "..." +
               platform::hex_digits(static_cast<uint64_t>(end + distance), 8) + "\n");
    MoveVideoMemory(start, start + distance, end - start + 1);
}

} // namespace

namespace toolkit {

void release_window_blocks(uint8_t win)
{
    std::lock_guard lock(video_mutex());
    if (win >= WINDOW_COUNT || !MemoryReady)
        return;
    t_Window& w = window_table[win];
    if (w.MemoryStart < 0 || w.MemoryEnd < w.MemoryStart)
        return;
    const std::string op = "t_InitWindow";
    const std::string prefix = "t_InitWindow: GraphicWindow #" + std::to_string(win);
    const int64_t start = w.MemoryStart;
    const int64_t end = w.MemoryEnd;
    int64_t distance = end - start + 1;
    diag_line(op, "GraphicWindow #" + std::to_string(win) + " high memory = " + hex_dollar(end) +
                      ", graphic block size to delete = " + hex_dollar(distance) + ".");
    if (w.TextMemoryStart >= 0) {
        const int64_t text_size = w.TextMemoryEnd - w.TextMemoryStart + 1;
        diag_line(op, "GraphicWindow #" + std::to_string(win) +
                          " high memory = " + hex_dollar(end) +
                          ", text block size to delete = " + hex_dollar(text_size) + ".");
        distance += text_size;
    }

    // Pass: the windows set up later lie lower; lift each with its contents. Blocks are
    // taken strictly downward, so the freed range lies directly above them.
    for (uint8_t i = 0; i < WINDOW_COUNT; ++i) {
        t_Window& other = window_table[i];
        if (i == win || !other.Initialized || other.MemoryStart < 0 || other.MemoryStart >= end)
            continue;
        if (other.MemoryEnd + distance > HIGHEST_ADDRESS)
            continue; // cannot happen while blocks are taken downward; never write past it
        move_block(prefix, "graphic", i, other.MemoryStart, other.MemoryEnd, distance);
        const bool has_text = other.TextMemoryStart >= 0;
        if (has_text && other.TextMemoryStart < end)
            move_block(prefix, "text", i, other.TextMemoryStart, other.TextMemoryEnd, distance);
        other.MemoryStart += distance;
        other.MemoryEnd += distance;
        if (has_text) {
            other.TextMemoryStart += distance;
            other.TextMemoryEnd += distance;
        }
    }
    HighMemory += distance;
    // The old blocks now belong to others; the record must not point into them.
    w.MemoryStart = w.MemoryEnd = -1;
    w.TextMemoryStart = w.TextMemoryEnd = -1;
}

int64_t colour_plane_start(const t_Window& w)
{
    return w.TextMemoryStart + (w.TextMemoryEnd - w.TextMemoryStart + 1) / 2;
}

int64_t cell_index(const t_Window& w, int64_t column, int64_t line)
{
    if (w.TextMemoryStart < 0 || column < 1 || line < 1 || column > w.TextWidth ||
        line > w.TextHeight)
        return -1;
    return (line - 1) * w.TextWidth + (column - 1);
}

uint8_t cell_char(const t_Window& w, int64_t column, int64_t line)
{
    int64_t index = cell_index(w, column, line);
    if (index < 0)
        return BLANK;
    return VideoMemory[static_cast<size_t>(w.TextMemoryStart + index)];
}

uint8_t cell_colour(const t_Window& w, int64_t column, int64_t line)
{
    int64_t index = cell_index(w, column, line);
    if (index < 0)
        return 0;
    return VideoMemory[static_cast<size_t>(colour_plane_start(w) + index)];
}

void reset_video_memory()
{
    std::lock_guard lock(video_mutex());
    VideoMemory.assign(static_cast<size_t>(VIDEO_MEMORY_SIZE), 0xFF);
    ++VideoMemoryWrites;
    HighMemory = HIGHEST_ADDRESS;
    for (auto& w : window_table)
        w = t_Window{};
    CurrentTextWindow = NO_TEXT_WINDOW;
    MemoryInitStarted = true;
    MemoryReady = true;
}

} // namespace toolkit

void t_InitMemory()
{
    bool expected = false;
    if (!MemoryInitStarted.compare_exchange_strong(expected, true))
        return;
    diag_line("t_InitMemory", "Start.");
    if (platform::current_thread_number() == 2)
        platform::set_current_thread_name("Main Program");
    {
        std::lock_guard lock(toolkit::video_mutex());
        HighMemory = HIGHEST_ADDRESS;
        VideoMemory.assign(static_cast<size_t>(VIDEO_MEMORY_SIZE), 0xFF);
        ++VideoMemoryWrites;
        for (auto& w : window_table)
            w = t_Window{};
    }
    auto& hooks = toolkit::shell_hooks();
    if (hooks.prepare_menus)
        hooks.prepare_menus();
    if (hooks.setup_pasteboard_view)
        hooks.setup_pasteboard_view();
    MemoryReady = true;
    diag_line("t_InitMemory", "End.");
}

void MoveVideoMemory(int64_t source, int64_t destination, int64_t count)
{
    if (count < 1)
        return;
    std::lock_guard lock(toolkit::video_mutex());
    const int64_t size = static_cast<int64_t>(VideoMemory.size());
    if (source < 0 || destination < 0 || source > size - count || destination > size - count)
        return;
    // memmove gives what copying from the last byte down (source below destination) or from
    // the first byte up (otherwise) gives, so overlapping scroll moves come out right.
    std::memmove(VideoMemory.data() + destination, VideoMemory.data() + source,
                 static_cast<size_t>(count));
    ++VideoMemoryWrites;
}

void ClearWindowMemory(uint8_t win)
{
    if (win >= WINDOW_COUNT || !MemoryReady)
        return;
    std::lock_guard lock(toolkit::video_mutex());
    t_Window& w = window_table[win];
    if (w.MemoryStart >= 0) {
        uint8_t* pixels = VideoMemory.data() + w.MemoryStart;
        int64_t bytes = w.Height * w.BitDepth * w.Width / 8;
        bytes = std::min(bytes, w.MemoryEnd - w.MemoryStart + 1);
        if (w.BitDepth == 32) {
            for (int64_t i = 0; i + 3 < bytes; i += 4) {
                pixels[i] = 255;
                pixels[i + 1] = pixels[i + 2] = pixels[i + 3] = 0;
            }
        } else {
            std::fill(pixels, pixels + bytes, 0);
        }
    }
    if (w.TextMemoryStart >= 0) {
        int64_t cells = w.TextWidth * w.TextHeight;
        uint8_t* chars = VideoMemory.data() + w.TextMemoryStart;
        uint8_t* colours = VideoMemory.data() + toolkit::colour_plane_start(w);
        std::fill(chars, chars + cells, BLANK);
        std::fill(colours, colours + cells, w.TextColor);
    }
    ++VideoMemoryWrites;
}
