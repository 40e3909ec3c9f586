// toolkit/window_setup.h: setting up a window: its blocks in the video memory, its record
// and its view.
#pragma once

#include "toolkit/font.h"

#include <cstdint>
#include <string>

// Full form: allocates the blocks, binds the view; a negative border comes from the screen.
void t_InitWindow(uint8_t win, int64_t bit_depth, bool auto_update, int64_t width, int64_t height,
                  int64_t border_width, int64_t border_height, const t_Font& font,
                  bool title_visible);
// Font-name form: columns x lines cells of the font loaded from the resource folder.
void t_InitWindow(uint8_t win, int64_t bit_depth, int64_t columns, int64_t lines, int64_t border,
                  const std::string& font_name);

namespace toolkit {

// Kilobytes in German notation with two truncated decimals and grouping: "3.000,00".
std::string kib_text(double kib);

} // namespace toolkit
