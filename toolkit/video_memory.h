// toolkit/video_memory.h: the video memory: creating it, moving and clearing blocks in it,
// giving a window's blocks back, and the character and colour planes of the text blocks.
#pragma once

#include "toolkit/window.h"

#include <atomic>
#include <cstdint>
#include <vector>

constexpr int64_t VIDEO_MEMORY_SIZE = 0x100000F;
constexpr int64_t LOWEST_ALLOCATABLE = 0x10000; // the lowest 64 KiB are never handed out
constexpr int64_t HIGHEST_ADDRESS = 0xFFFFFF;

extern std::vector<uint8_t> VideoMemory; // VIDEO_MEMORY_SIZE bytes once created
// Counts finished writes to VideoMemory, bumped after the bytes are written: an image built
// while the count stayed the same still shows the memory.
extern std::atomic<uint64_t> VideoMemoryWrites;
extern int64_t HighMemory; // highest free address

// Creates the video memory and the window table once per process.
void t_InitMemory();
// Copies count bytes inside VideoMemory, correct for overlapping ranges; out of range: nothing.
void MoveVideoMemory(int64_t source, int64_t destination, int64_t count);
// Graphic block to black (alpha 255 at depth 32), text cells to blank in TextColor.
void ClearWindowMemory(uint8_t win);

namespace toolkit {

// Gives back window win's blocks before it is set up again: the blocks of the windows set
// up after it move up by the freed size with their contents, and HighMemory rises, so the
// free memory stays one range. Expects win's Initialized already cleared.
void release_window_blocks(uint8_t win);

// Address of the colour plane (the middle of the text block).
int64_t colour_plane_start(const t_Window& w);
// Index of the cell (column, line) in either plane; -1 when outside the text grid.
int64_t cell_index(const t_Window& w, int64_t column, int64_t line);
// Character and colour stored in a cell; blank and 0 outside the grid.
uint8_t cell_char(const t_Window& w, int64_t column, int64_t line);
uint8_t cell_colour(const t_Window& w, int64_t column, int64_t line);

// Restores the freshly created memory and table; for test fixtures only.
void reset_video_memory();

} // namespace toolkit
