// programs/terminal_run.cpp: the terminal front end. The program thread and the event
// thread run as on the desktop; this driver only types keys and repaints the text cells.
#include "programs/terminal_run.h"

#include <cstdlib>
#include <thread>

#include "platform/platform.h"
#include "platform/terminal/terminal.h"
#include "programs/headless_run.h"
#include "programs/mainloop.h"
#include "shell/events.h"
#include "shell/menus.h"
#include "shell/mttools.h"
#include "shell/startup.h"
#include "toolkit/display.h"
#include "toolkit/window.h"

using namespace platform::keys;

namespace {

constexpr int FRAME_INTERVAL_MS = 30;
constexpr char CTRL_C = 0x03;

platform::KeyReport key_report(uint16_t code)
{
    platform::KeyReport report;
    report.window = 0;
    report.key_code = code;
    return report;
}

// "ESC [ ... final" or "ESC O final": the key, or KEY_UNMAPPED for one we ignore.
uint16_t sequence_key(std::string_view body, char final)
{
    switch (final) {
    case 'A': return KEY_UP;
    case 'B': return KEY_DOWN;
    case 'C': return KEY_RIGHT;
    case 'D': return KEY_LEFT;
    case 'H': return KEY_HOME;
    case 'F': return KEY_END;
    case '~':
        if (body == "1" || body == "7")
            return KEY_HOME;
        if (body == "4" || body == "8")
            return KEY_END;
        if (body == "3")
            return KEY_FORWARD_DELETE;
        if (body == "5")
            return KEY_PAGE_UP;
        if (body == "6")
            return KEY_PAGE_DOWN;
        return KEY_UNMAPPED;
    default:
        return KEY_UNMAPPED;
    }
}

void deliver(const platform::KeyReport& report)
{
    platform::run_on_event_thread(
        [report] {
            const platform::WindowEvents events = platform::window_system().events();
            if (events.key_down)
                events.key_down(report);
            if (events.key_up)
                events.key_up(report);
        },
        true);
}

std::string colour_code(const t_RGBColor& c, bool foreground)
{
    return std::string(foreground ? "\x1b[38;2;" : "\x1b[48;2;") + std::to_string(c.Red) + ";" +
           std::to_string(c.Green) + ";" + std::to_string(c.Blue) + "m";
}

} // namespace

bool TakeTerminalKey(std::string& input, platform::KeyReport& report)
{
    if (input.empty())
        return false;
    const auto byte = static_cast<unsigned char>(input[0]);
    if (byte == 0x1B && input.size() >= 2 && (input[1] == '[' || input[1] == 'O')) {
        size_t end = 2;
        while (end < input.size() && (input[end] < 0x40 || input[end] > 0x7E))
            ++end;
        if (end == input.size())
            return false; // the rest of the sequence is still on its way
        report = key_report(sequence_key(std::string_view(input).substr(2, end - 2), input[end]));
        input.erase(0, end + 1);
        return true;
    }
    if (byte == 0x08) { // some terminals send Ctrl-H for backspace
        report = KeyReportFor(0x7F);
        input.erase(0, 1);
        return true;
    }
    const size_t length = byte < 0x80 ? 1 : (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3 : 4;
    if (input.size() < length)
        return false;
    const std::u32string chars = shell::decode_utf8(std::string_view(input).substr(0, length));
    input.erase(0, length);
    if (chars.empty())
        return false;
    report = KeyReportFor(chars[0]);
    if (chars[0] < 0x20 && report.key_code == KEY_UNMAPPED)
        report.characters = std::string(1, static_cast<char>(chars[0]));
    return true;
}

std::string TerminalFrame()
{
    if (!MemoryReady || !window_table[0].Initialized || window_table[0].TextMemoryStart < 0)
        return "";
    const t_Window& w = window_table[0];
    std::string frame = "\x1b[H";
    for (int64_t line = 1; line <= w.TextHeight; ++line) {
        int last_colour = -1;
        std::string cells;
        for (int64_t column = 1; column <= w.TextWidth; ++column) {
            const uint8_t colour = toolkit::cell_colour(w, column, line);
            if (colour != last_colour) {
                cells += colour_code(PaletteColor(colour >> 4), true);
                cells += colour_code(PaletteColor(colour & 15), false);
                last_colour = colour;
            }
            shell::append_utf8(cells, toolkit::cell_char(w, column, line));
        }
        frame += CopyTableText(cells);
        frame += "\x1b[0m\x1b[K\r\n";
    }
    return frame;
}

int RunInTerminal(const std::string& log_path)
{
    if (!platform::terminal::enter_raw_mode())
        return 1;
    if (!platform::terminal::redirect_standard_streams(log_path)) {
        platform::terminal::leave_raw_mode();
        return 1;
    }
    std::thread([] {
        std::string input;
        std::string shown;
        for (;;) {
            input += platform::terminal::read_input(FRAME_INTERVAL_MS);
            if (input.find(CTRL_C) != std::string::npos || (ProgramEnded && !input.empty()))
                break;
            platform::KeyReport report;
            while (TakeTerminalKey(input, report)) {
                if (report.key_code != KEY_UNMAPPED || !report.characters.empty())
                    deliver(report);
            }
            std::string frame = TerminalFrame();
            if (frame != shown) {
                platform::terminal::write_output(frame);
                shown = std::move(frame);
            }
        }
        platform::terminal::leave_raw_mode();
        std::_Exit(0);
    }).detach();
    return 0;
}
