// tests/shell/shell_test_window.h: a small text window for shell tests, with no font file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/diag.h"
#include "platform/window_system.h"
#include "shell/events.h"
#include "tests/support/test_support.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"
#include "toolkit/window_setup.h"

namespace shell_test {

// Fresh memory, empty queue and window 0 as a text window of columns x lines cells.
inline void set_up_window(int64_t columns = 40, int64_t lines = 10)
{
    DiagCapture quiet;
    toolkit::reset_video_memory();
    ResetEvents();
    InstallEventHooks();
    toolkit::shell_hooks().find_view = [](uint8_t) { return true; };
    t_InitMemory();
    t_InitWindow(0, 8, false, columns * 8, lines * 8, 0, 0, test_support::tiny_font(8, 8, true),
                 true);
}

// The characters of one line of window 0, trailing blanks removed.
inline std::string line_text(int64_t line, uint8_t win = 0)
{
    return test_support::trimmed_row(win, line);
}

} // namespace shell_test
