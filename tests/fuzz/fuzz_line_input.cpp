// tests/fuzz/fuzz_line_input.cpp: types arbitrary keys into the input form of a small window.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/utf8.h"
#include "shell/events.h"
#include "shell/line_input.h"
#include "shell/mttools.h"
#include "tests/shell/shell_test_window.h"
#include "toolkit/cursor.h"
#include "toolkit/text_output.h"
#include "toolkit/window.h"
#include "toolkit/window_setup.h"

namespace {

// Windows 0 to 3, each 4 lines of a different width, made once: building the video memory
// for every input would cost more than the editing it exercises.
constexpr int64_t COLUMNS[4] = {8, 17, 40, 80};

void set_up_windows()
{
    diag_set_sink([](std::string_view) {});
    // The windows live in the in-memory backend; nothing else here would link it in.
    platform::set_window_system(&platform::headless());
    shell_test::set_up_window(COLUMNS[0], 4);
    for (uint8_t win = 1; win < 4; ++win)
        t_InitWindow(win, 8, false, COLUMNS[win] * 8, 4 * 8, 0, 0,
                     test_support::tiny_font(8, 8, true), true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (set_up_windows(), true);
    (void)ready;
    if (size < 2)
        return 0;
    // Byte 0 picks the mode and the window, byte 1 the field's limit.
    const int64_t mode = data[0] % 5;
    const auto win = static_cast<uint8_t>((data[0] >> 4) % 4);
    const int64_t max_characters = data[1] % 90;
    ResetEvents();
    t_CursorHome(win);
    t_ClearEndOfWindow(win);
    std::string keys(reinterpret_cast<const char*>(data + 2), size - 2);
    // Whatever the keys left open (a code entry, a half field), Return and Escape end it;
    // a form that still waits after these is a hang the fuzzer reports.
    keys += "\r\x1b\r\x1b\r\x1b\r\x1b";
    PostText(keys);
    const std::string field = t_InputForm(win, "Z: ", "", false, mode, max_characters);
    if (static_cast<int64_t>(platform::decode_utf8(field).size()) > max_characters)
        __builtin_trap();
    return 0;
}
