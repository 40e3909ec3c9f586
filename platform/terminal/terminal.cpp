// platform/terminal/terminal.cpp: raw terminal I/O, key decoding, the composed screen and
// the thread that reads keys and paints.
#include "platform/terminal/terminal.h"

#include "platform/console_capture.h"
#include "platform/diag.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "platform/us_keys.h"
#include "platform/utf8.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform::terminal {

namespace {

constexpr int PAINT_INTERVAL_MS = 30;
// Beyond this a copy is not sent through OSC 52.
constexpr size_t OSC52_LIMIT_BYTES = 100 * 1024;
// How long a notice or the key hint holds the bottom row.
constexpr int64_t NOTICE_MS = 6000;
constexpr int64_t HINT_MS = 4000;
// Columns a page moves sideways per arrow key.
constexpr int64_t SHIFT_COLUMNS = 10;
constexpr const char* KEY_HINT =
    "F2 Drucker  F3 Konsole  F4 Zwischenablage  F10 Men\xC3\xBC  Strg-C Ende";
constexpr char CTRL_C = 0x03;
constexpr char CTRL_Q = 0x11;
constexpr char32_t PASTE_KEY = 0x16; // Ctrl+V
constexpr char ESC = 0x1B;

// Alternate screen, cursor hidden, no line wrap: writing the bottom-right cell never scrolls.
// Bracketed paste sets a pasted text apart from typed keys.
constexpr std::string_view ENTER_SCREEN = "\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[?2004h\x1b[2J";
constexpr std::string_view LEAVE_SCREEN = "\x1b[0m\x1b[?2004l\x1b[?7h\x1b[?25h\x1b[?1049l";
constexpr std::string_view PASTE_START = "\x1b[200~";
constexpr std::string_view PASTE_END = "\x1b[201~";

constexpr uint32_t STATUS_FOREGROUND = 0xFF000000;
constexpr uint32_t STATUS_BACKGROUND = 0xFFC0C0C0;
constexpr uint32_t MENU_FOREGROUND = 0xFF000000;
constexpr uint32_t MENU_BACKGROUND = 0xFFE0E0E0;
constexpr uint32_t MENU_DISABLED_FOREGROUND = 0xFF808080;
constexpr uint32_t MENU_CHOSEN_FOREGROUND = 0xFFFFFFFF;
constexpr uint32_t MENU_CHOSEN_BACKGROUND = 0xFF2050A0;

// The pages and the function keys that show them; F1 returns to window 0, F5 to F8 show
// the pictures of graphic windows 1 to 4.
struct PageKey {
    uint16_t key;
    uint8_t window;
    const char* notice; // when the program shows the window while window 0 is shown
};
constexpr PageKey PAGE_KEYS[] = {
    {KEY_F1, 0, ""},
    {KEY_F2, PRINTER_WINDOW, "F2 zeigt den Drucker."},
    {KEY_F3, CONSOLE_WINDOW, "F3 zeigt die Systemkonsole."},
    {KEY_F4, PASTEBOARD_WINDOW, "F4 zeigt die Zwischenablage."},
    {KEY_F5, 1, ""},
    {KEY_F6, 2, ""},
    {KEY_F7, 3, ""},
    {KEY_F8, 4, ""},
};
constexpr char32_t UPPER_HALF = U'\u2580';
constexpr char32_t LOWER_HALF = U'\u2584';
constexpr char32_t FULL_BLOCK = U'\u2588';

termios saved_settings{};
std::atomic<bool> raw_active{false};
std::atomic<int> terminal_fd{STDOUT_FILENO}; // stays on the terminal when stdout is redirected
std::mutex output_mutex;                     // one writer at a time on the terminal

// Async-signal-safe: plain write calls only.
void write_raw(std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = write(terminal_fd, text.data(), text.size());
        if (n <= 0)
            return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}

void write_output(std::string_view text)
{
    std::lock_guard lock(output_mutex);
    write_raw(text);
}

void restore()
{
    if (!raw_active.exchange(false))
        return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_settings);
    write_raw(LEAVE_SCREEN);
}

void restore_and_reraise(int sig)
{
    restore();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

winsize window_size()
{
    winsize ws{};
    if (ioctl(terminal_fd, TIOCGWINSZ, &ws) != 0)
        ws = winsize{};
    return ws;
}

// The bytes typed so far, waiting at most timeout_ms for the first.
std::string read_input(int timeout_ms)
{
    std::string bytes;
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0)
        return bytes;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
        if (static_cast<size_t>(n) < sizeof buffer)
            break;
    }
    return bytes;
}

std::string base64(std::string_view bytes)
{
    static constexpr char DIGITS[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        out.push_back(DIGITS[(group >> 18) & 63]);
        out.push_back(DIGITS[(group >> 12) & 63]);
        out.push_back(i + 1 < bytes.size() ? DIGITS[(group >> 6) & 63] : '=');
        out.push_back(i + 2 < bytes.size() ? DIGITS[group & 63] : '=');
    }
    return out;
}

KeyReport character_report(char32_t c)
{
    // Some terminals send Ctrl-H for backspace.
    KeyReport report = typed_key(c == 0x08 ? 0x7F : c);
    // Control with a letter: the letter's key.
    if (c >= 1 && c <= 26 && report.key_code == KEY_UNMAPPED) {
        report.key_code = us_key(U'a' + c - 1)->code;
        report.modifiers = MOD_CONTROL;
    }
    return report;
}

KeyReport special_report(uint16_t code, char32_t character, uint64_t modifiers)
{
    KeyReport report;
    report.window = 0;
    report.key_code = code;
    append_utf8(report.characters, character);
    report.modifiers = modifiers | MOD_FN;
    return report;
}

KeyReport function_report(int number)
{
    static constexpr uint16_t CODES[] = {KEY_F1,  KEY_F2,  KEY_F3,  KEY_F4,  KEY_F5,
                                         KEY_F6,  KEY_F7,  KEY_F8,  KEY_F9,  KEY_F10,
                                         KEY_F11, KEY_F12, KEY_F13, KEY_F14, KEY_F15};
    return special_report(CODES[number - 1], function_key_character(number), 0);
}

// "ESC [ body final" or "ESC O final"; nullopt for a sequence we do not know.
std::optional<KeyReport> sequence_report(std::string_view body, char final)
{
    // "1;5A": the key's number, then 1 + the modifier bits (1 Shift, 2 Alt, 4 Control).
    int number = 0;
    int mod_field = 0;
    const size_t semicolon = body.find(';');
    for (char c : body.substr(0, semicolon)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (semicolon != std::string_view::npos) {
        for (char c : body.substr(semicolon + 1))
            mod_field = c >= '0' && c <= '9' ? mod_field * 10 + (c - '0') : mod_field;
    }
    uint64_t mods = 0;
    if (mod_field > 1) {
        const int bits = mod_field - 1;
        mods |= (bits & 1) ? MOD_SHIFT : 0;
        mods |= (bits & 2) ? MOD_OPTION : 0;
        mods |= (bits & 4) ? MOD_CONTROL : 0;
    }
    switch (final) {
    case 'A':
        return special_report(KEY_UP, CHAR_UP, mods | MOD_NUMERIC_PAD);
    case 'B':
        return special_report(KEY_DOWN, CHAR_DOWN, mods | MOD_NUMERIC_PAD);
    case 'C':
        return special_report(KEY_RIGHT, CHAR_RIGHT, mods | MOD_NUMERIC_PAD);
    case 'D':
        return special_report(KEY_LEFT, CHAR_LEFT, mods | MOD_NUMERIC_PAD);
    case 'H':
        return special_report(KEY_HOME, CHAR_HOME, mods);
    case 'F':
        return special_report(KEY_END, CHAR_END, mods);
    case 'P':
        return function_report(1);
    case 'Q':
        return function_report(2);
    case 'R':
        return function_report(3);
    case 'S':
        return function_report(4);
    case 'Z': { // Shift-Tab
        KeyReport report = special_report(KEY_TAB, 25, MOD_SHIFT);
        report.modifiers &= ~MOD_FN;
        return report;
    }
    case '~':
        break;
    default:
        return std::nullopt;
    }
    switch (number) {
    case 1:
    case 7:
        return special_report(KEY_HOME, CHAR_HOME, mods);
    case 4:
    case 8:
        return special_report(KEY_END, CHAR_END, mods);
    case 3:
        return special_report(KEY_FORWARD_DELETE, CHAR_FORWARD_DELETE, mods);
    case 5:
        return special_report(KEY_PAGE_UP, CHAR_PAGE_UP, mods);
    case 6:
        return special_report(KEY_PAGE_DOWN, CHAR_PAGE_DOWN, mods);
    default:
        break;
    }
    // The numbers of F1 to F15 in the "ESC [ n ~" form, with gaps where no key is.
    static constexpr int FUNCTION_NUMBERS[] = {11, 12, 13, 14, 15, 17, 18, 19,
                                               20, 21, 23, 24, 25, 26, 28};
    for (int i = 0; i < 15; ++i) {
        if (FUNCTION_NUMBERS[i] == number)
            return function_report(i + 1);
    }
    return std::nullopt;
}

// 256-colour palette index nearest to an RGB colour: the 6 x 6 x 6 cube or the grey ramp.
int colour_index(uint32_t argb)
{
    const int r = (argb >> 16) & 0xFF;
    const int g = (argb >> 8) & 0xFF;
    const int b = argb & 0xFF;
    auto level = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; };
    auto value = [](int l) { return l == 0 ? 0 : 55 + 40 * l; };
    const int lr = level(r), lg = level(g), lb = level(b);
    const int cube = 16 + 36 * lr + 6 * lg + lb;
    const int cube_error = (r - value(lr)) * (r - value(lr)) + (g - value(lg)) * (g - value(lg)) +
                           (b - value(lb)) * (b - value(lb));
    const int mean = (r + g + b) / 3;
    const int grey_step = std::clamp((mean - 8 + 5) / 10, 0, 23);
    const int grey = 8 + 10 * grey_step;
    const int grey_error =
        (r - grey) * (r - grey) + (g - grey) * (g - grey) + (b - grey) * (b - grey);
    return grey_error < cube_error ? 232 + grey_step : cube;
}

// The 16 colours of the basic SGR codes, as the Linux console shows them.
constexpr uint32_t BASIC_COLOURS[16] = {
    0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA, 0x00AAAA, 0xAAAAAA,
    0x555555, 0xFF5555, 0x55FF55, 0xFFFF55, 0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF};

int basic_colour_index(uint32_t argb)
{
    int best = 0;
    int best_error = INT32_MAX;
    for (int i = 0; i < 16; ++i) {
        int error = 0;
        for (int shift : {16, 8, 0}) {
            const int d = static_cast<int>((argb >> shift) & 0xFF) -
                          static_cast<int>((BASIC_COLOURS[i] >> shift) & 0xFF);
            error += d * d;
        }
        if (error < best_error) {
            best = i;
            best_error = error;
        }
    }
    return best;
}

std::string_view environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

ColourMode colour_mode()
{
    if (limited_terminal())
        return ColourMode::Basic;
    const std::string_view v = environment("COLORTERM");
    return v == "truecolor" || v == "24bit" ? ColourMode::Full : ColourMode::Indexed;
}

std::string colour_code(uint32_t argb, bool foreground, ColourMode mode)
{
    if (mode == ColourMode::Basic) {
        const int i = basic_colour_index(argb);
        return std::to_string((foreground ? 30 : 40) + (i < 8 ? i : 60 + i - 8));
    }
    std::string code = foreground ? "38;" : "48;";
    if (mode == ColourMode::Full)
        return code + "2;" + std::to_string((argb >> 16) & 0xFF) + ";" +
               std::to_string((argb >> 8) & 0xFF) + ";" + std::to_string(argb & 0xFF);
    return code + "5;" + std::to_string(colour_index(argb));
}

// Pieces joined by two blanks; the last-ranked pieces give way until the line fits, and a
// first piece too wide on its own is cut short with a dot.
std::string fit_status(std::vector<std::pair<int, std::string>> pieces, int columns)
{
    auto joined = [&] {
        std::string line;
        for (const auto& piece : pieces)
            line += (line.empty() ? " " : "  ") + piece.second;
        return line;
    };
    while (pieces.size() > 1 && static_cast<int>(decode_utf8(joined()).size()) > columns) {
        const auto by_rank = [](const auto& a, const auto& b) { return a.first < b.first; };
        pieces.erase(std::max_element(pieces.begin(), pieces.end(), by_rank));
    }
    std::u32string line = decode_utf8(joined());
    if (static_cast<int>(line.size()) > columns && columns > 1) {
        line.resize(static_cast<size_t>(columns - 1));
        line.push_back(U'.');
    }
    return encode_utf8(line);
}

// The escape sequences that change the changed lines of shown into screen.
std::string paint(const std::vector<ScreenCell>& screen, const std::vector<ScreenCell>& shown,
                  int columns, int lines, ColourMode colours)
{
    std::string out;
    for (int line = 0; line < lines; ++line) {
        const auto begin = screen.begin() + static_cast<ptrdiff_t>(line) * columns;
        if (shown.size() == screen.size() &&
            std::equal(begin, begin + columns, shown.begin() + (begin - screen.begin())))
            continue;
        out += "\x1b[" + std::to_string(line + 1) + ";1H";
        const ScreenCell* last = nullptr;
        for (int column = 0; column < columns; ++column) {
            const ScreenCell& cell = *(begin + column);
            if (!last || last->foreground != cell.foreground ||
                last->background != cell.background || last->reverse != cell.reverse) {
                out += std::string("\x1b[0;") + (cell.reverse ? "7;" : "") +
                       colour_code(cell.foreground, true, colours) + ";" +
                       colour_code(cell.background, false, colours) + "m";
            }
            last = &cell;
            // Control characters would move the terminal's cursor; they show as blanks.
            const char32_t c = cell.character;
            append_utf8(out, c < 0x20 || (c >= 0x7F && c < 0xA0) ? U' ' : c);
        }
    }
    if (!out.empty())
        out += "\x1b[0m";
    return out;
}

// A text window's lines, at most `columns` cells each (longer ones continue below).
std::vector<std::u32string> page_lines(const std::string& text, int columns)
{
    std::vector<std::u32string> lines(1);
    for (char32_t c : decode_utf8(text)) {
        if (c == U'\r' || c == U'\n') {
            lines.emplace_back();
            continue;
        }
        if (static_cast<int>(lines.back().size()) == columns)
            lines.emplace_back();
        lines.back().push_back(c);
    }
    // A final line end opens no line of its own.
    if (lines.size() > 1 && lines.back().empty())
        lines.pop_back();
    return lines;
}

void put_text(std::vector<ScreenCell>& screen, int columns, int line, int column,
              std::u32string_view text, uint32_t foreground, uint32_t background)
{
    for (char32_t c : text) {
        if (column >= columns)
            return;
        ScreenCell& cell = screen[static_cast<size_t>(line * columns + column)];
        cell = {c, foreground, background, false};
        ++column;
    }
}

void fill_line(std::vector<ScreenCell>& screen, int columns, int line, std::string_view text,
               uint32_t foreground, uint32_t background)
{
    for (int column = 0; column < columns; ++column)
        screen[static_cast<size_t>(line * columns + column)] = {U' ', foreground, background,
                                                                false};
    put_text(screen, columns, line, 0, decode_utf8(text), foreground, background);
}

// Of the image pixels behind one half cell, the one that shows best: the most colourful,
// else the brightest, so a curve one pixel wide survives the scaling down and the grey grid
// does not cover it.
uint32_t salient_pixel(const ArgbImage& image, int64_t x0, int64_t x1, int64_t y0, int64_t y1)
{
    uint32_t best = 0xFF000000;
    int best_chroma = -1;
    int best_light = -1;
    for (int64_t y = y0; y < std::max(y1, y0 + 1); ++y) {
        for (int64_t x = x0; x < std::max(x1, x0 + 1); ++x) {
            const uint32_t p = image.pixels[static_cast<size_t>(y * image.width + x)];
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            const int chroma = std::max({r, g, b}) - std::min({r, g, b});
            const int light = r + g + b;
            if (chroma > best_chroma || (chroma == best_chroma && light > best_light)) {
                best = p | 0xFF000000;
                best_chroma = chroma;
                best_light = light;
            }
        }
    }
    return best;
}

// The image scaled into columns x rows cells, two pixel rows per cell in half blocks,
// keeping its proportions (a half cell is about square) and centred.
void put_picture(std::vector<ScreenCell>& screen, int columns, int rows, const ArgbImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < static_cast<size_t>(image.width * image.height))
        return;
    const double scale = std::min(static_cast<double>(columns) / static_cast<double>(image.width),
                                  2.0 * rows / static_cast<double>(image.height));
    const int width = std::max(1, static_cast<int>(image.width * scale));
    const int height = std::max(2, static_cast<int>(image.height * scale) / 2 * 2);
    const int left = (columns - width) / 2;
    const int top = (rows - height / 2) / 2;
    auto source = [&](int target, int target_size, int64_t size) {
        return static_cast<int64_t>(static_cast<double>(target) * static_cast<double>(size) /
                                    static_cast<double>(target_size));
    };
    for (int row = 0; row < height / 2; ++row) {
        for (int column = 0; column < width; ++column) {
            const int64_t x0 = source(column, width, image.width);
            const int64_t x1 = source(column + 1, width, image.width);
            const int64_t y0 = source(2 * row, height, image.height);
            const int64_t ym = source(2 * row + 1, height, image.height);
            const int64_t y1 = source(2 * row + 2, height, image.height);
            const uint32_t upper = salient_pixel(image, x0, x1, y0, ym);
            const uint32_t lower = salient_pixel(image, x0, x1, ym, y1);
            ScreenCell cell;
            cell.background = 0xFF000000;
            if (upper == lower) {
                cell.character = upper == 0xFF000000 ? U' ' : FULL_BLOCK;
                cell.foreground = upper;
            } else if (lower == 0xFF000000) {
                cell.character = UPPER_HALF;
                cell.foreground = upper;
            } else {
                cell.character = LOWER_HALF;
                cell.foreground = lower;
                cell.background = upper;
            }
            screen[static_cast<size_t>((top + row) * columns + left + column)] = cell;
        }
    }
}

bool selectable(const MenuItem& item)
{
    return !item.title.empty() && item.enabled;
}

} // namespace

bool limited_terminal()
{
    const std::string_view term = environment("TERM");
    return term == "linux" || term.rfind("vt", 0) == 0;
}

std::string unsuitable_terminal()
{
    const std::string_view term = environment("TERM");
    if (term.empty())
        return "TERM ist nicht gesetzt; Orbikon braucht ein Terminal, das Bildschirmseiten "
               "zeichnen kann.";
    if (term == "dumb")
        return "Das Terminal (TERM=dumb) kann keine Bildschirmseiten zeichnen.";
    return {};
}

bool is_interactive()
{
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

bool take_key(std::string& input, TerminalKey& key)
{
    if (input.empty())
        return false;
    key = {};
    if (input[0] == CTRL_C) {
        key.kind = TerminalKey::Kind::Interrupt;
        input.erase(0, 1);
        return true;
    }
    if (input.compare(0, PASTE_START.size(), PASTE_START) == 0) {
        const size_t end = input.find(PASTE_END, PASTE_START.size());
        if (end == std::string::npos)
            return false; // the rest of the paste is still on its way
        key.kind = TerminalKey::Kind::Paste;
        key.text = input.substr(PASTE_START.size(), end - PASTE_START.size());
        input.erase(0, end + PASTE_END.size());
        return true;
    }
    // The Linux console's F1 to F5: "ESC [ [ A" to "ESC [ [ E".
    if (input.size() >= 3 && input.compare(0, 3, "\x1b[[") == 0) {
        if (input.size() < 4)
            return false;
        const char letter = input[3];
        input.erase(0, 4);
        key.report.window = 0;
        key.report.key_code = KEY_UNMAPPED;
        if (letter >= 'A' && letter <= 'E')
            key.report = function_report(letter - 'A' + 1);
        return true;
    }
    if (input[0] == ESC && input.size() >= 2 && (input[1] == '[' || input[1] == 'O')) {
        size_t end = 2;
        while (end < input.size() && (input[end] < 0x40 || input[end] > 0x7E))
            ++end;
        if (end == input.size())
            return false; // the rest of the sequence is still on its way
        std::optional<KeyReport> report =
            sequence_report(std::string_view(input).substr(2, end - 2), input[end]);
        input.erase(0, end + 1);
        key.report.window = 0;
        key.report.key_code = KEY_UNMAPPED; // a key we do not know: nothing to type
        if (report)
            key.report = *report;
        return true;
    }
    const auto byte = static_cast<unsigned char>(input[0]);
    const size_t length = byte < 0x80             ? 1
                          : (byte & 0xE0) == 0xC0 ? 2
                          : (byte & 0xF0) == 0xE0 ? 3
                                                  : 4;
    if (input.size() < length)
        return false;
    const std::u32string chars = decode_utf8(std::string_view(input).substr(0, length));
    // A malformed start byte stands for itself; the rest is read again as the next key.
    const size_t used = chars.size() == 1 ? length : 1;
    key.report = character_report(chars[0]);
    input.erase(0, used);
    return true;
}

// The backend

void TerminalWindowSystem::run_event_loop()
{
    start_named_thread("terminal input", [this] { paint_loop(); });
    // A terminal has no screen in points: the default display stands in.
    loop_.run([this] { report_launch(Display{}); });
}

void TerminalWindowSystem::quit_event_loop()
{
    loop_.quit([this] { report_termination(); });
}

void TerminalWindowSystem::post_to_event_thread(std::function<void()> work)
{
    loop_.post(std::move(work));
}

void TerminalWindowSystem::build_interface(const std::vector<WindowSpec>& windows)
{
    {
        std::lock_guard lock(ui_mutex_);
        for (const WindowSpec& plan : windows) {
            if (plan.number < WINDOW_NUMBER_COUNT && !windows_[plan.number].exists)
                windows_[plan.number] = {true, plan.kind, plan.state, {}};
        }
    }
    changed();
}

void TerminalWindowSystem::set_menu_bar(const std::vector<Menu>& menus)
{
    {
        std::lock_guard lock(ui_mutex_);
        menus_ = menus;
        menu_.open = menu_.open && menu_.menu < menus_.size();
    }
    changed();
}

void TerminalWindowSystem::set_window_state(uint8_t window, const WindowState& state)
{
    {
        std::lock_guard lock(ui_mutex_);
        if (window >= WINDOW_NUMBER_COUNT || !windows_[window].exists)
            return;
        // A text window the program shows cannot share the screen with window 0: the
        // bottom row says which key shows it.
        if (state.visible && !windows_[window].state.visible && page_ == 0 &&
            windows_[window].kind == WindowKind::Text) {
            for (const PageKey& p : PAGE_KEYS) {
                if (p.window == window) {
                    notice_ = p.notice;
                    notice_until_ms_ = now_ms() + NOTICE_MS;
                }
            }
        }
        windows_[window].state = state;
        // A hidden text page gives way to window 0.
        if (!state.visible && page_ == window && window != 0) {
            page_ = 0;
            scroll_ = -1;
        }
    }
    changed();
}

void TerminalWindowSystem::bring_to_front(uint8_t window)
{
    {
        std::lock_guard lock(ui_mutex_);
        if (window >= WINDOW_NUMBER_COUNT || !windows_[window].exists)
            return;
        // Of the graphic windows 1 to 7, the pictures' windows have a page of their own.
        page_ = windows_[window].kind == WindowKind::Text || picture_page(window) ? window : 0;
        scroll_ = -1;
        shift_ = 0;
        notice_.clear();
    }
    changed();
}

void TerminalWindowSystem::present_frame(uint8_t window, const Frame& frame)
{
    if (window >= frames_.size())
        return; // the other windows have no page
    {
        std::lock_guard lock(ui_mutex_);
        if (window == 0)
            frame_ = frame;
        else
            frames_[window] = frame;
    }
    changed();
}

void TerminalWindowSystem::set_text(uint8_t window, std::string_view text)
{
    {
        std::lock_guard lock(ui_mutex_);
        if (window >= WINDOW_NUMBER_COUNT || windows_[window].kind != WindowKind::Text)
            return;
        windows_[window].text.set(text);
    }
    changed();
}

void TerminalWindowSystem::append_text(uint8_t window, std::string_view text)
{
    {
        std::lock_guard lock(ui_mutex_);
        if (window >= WINDOW_NUMBER_COUNT || windows_[window].kind != WindowKind::Text)
            return;
        windows_[window].text.append(text);
    }
    changed();
}

void TerminalWindowSystem::clear_text(uint8_t window)
{
    set_text(window, {});
}

void TerminalWindowSystem::set_pasteboard_text(const std::string& text)
{
    {
        std::lock_guard lock(ui_mutex_);
        pasteboard_ = text;
    }
    // Terminals drop a longer OSC 52 sequence without a word; the text stays on F4.
    if (text.size() > OSC52_LIMIT_BYTES) {
        show_notice("Zu gro\xC3\x9F f\xC3\xBCr die Zwischenablage des Terminals (" +
                        std::to_string(text.size() / 1024) +
                        " KB); F4 zeigt den kopierten Text.",
                    NOTICE_MS);
        return;
    }
    // The terminal's own clipboard (OSC 52), with the line ends of this system.
    std::string lines = text;
    std::replace(lines.begin(), lines.end(), '\r', '\n');
    write_output("\x1b]52;c;" + base64(lines) + "\x07");
}

void TerminalWindowSystem::show_notice(const std::string& text, int64_t ms)
{
    {
        std::lock_guard lock(ui_mutex_);
        notice_ = text;
        notice_until_ms_ = now_ms() + ms;
    }
    changed();
}

void TerminalWindowSystem::expire_notice()
{
    {
        std::lock_guard lock(ui_mutex_);
        if (notice_.empty() || now_ms() < notice_until_ms_)
            return;
        notice_.clear();
    }
    changed();
}

bool TerminalWindowSystem::window_zero_visible()
{
    std::lock_guard lock(ui_mutex_);
    return windows_[0].state.visible;
}

void TerminalWindowSystem::set_pasteboard_image(std::shared_ptr<const ArgbImage>)
{
    // A terminal's clipboard holds text only; an image empties it, as a desktop's would.
    std::lock_guard lock(ui_mutex_);
    pasteboard_.reset();
}

std::optional<std::string> TerminalWindowSystem::pasteboard_text()
{
    std::lock_guard lock(ui_mutex_);
    return pasteboard_;
}

std::string TerminalWindowSystem::open_file_dialog(const OpenDialogOptions&)
{
    return {};
}

std::string TerminalWindowSystem::save_file_dialog(const SaveDialogOptions& options)
{
    std::unique_lock lock(ui_mutex_);
    const std::string title = options.title.empty() ? options.confirm_title : options.title;
    prompt_ = {true, false, title + " (Esc bricht ab): ", decode_utf8(options.proposed_name)};
    changed();
    prompt_done_.wait(lock, [&] { return !prompt_.asking; });
    changed();
    return prompt_.taken ? encode_utf8(prompt_.text) : std::string();
}

void TerminalWindowSystem::show_message(const std::string& title, const std::string& text)
{
    std::lock_guard lock(ui_mutex_);
    message_title_ = title;
    message_lines_.clear();
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        message_lines_.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    message_lines_.push_back("Oberfl\xC3\xA4"
                             "che: Terminal (" +
                             std::string(environment("TERM")) + ")");
    changed();
}

// Centred in the menu's colours, lines longer than the screen cut; the bottom row stays the
// status bar's.
void TerminalWindowSystem::put_message(std::vector<ScreenCell>& screen, int columns,
                                       int lines) const
{
    std::vector<std::u32string> shown{U"", decode_utf8(message_title_), U""};
    for (const std::string& line : message_lines_)
        shown.push_back(decode_utf8(line));
    shown.push_back(U"");
    shown.push_back(U"Eine Taste schlie\u00DFt diese Meldung.");
    size_t width = 0;
    for (const std::u32string& line : shown)
        width = std::max(width, line.size());
    width = std::min<size_t>(width + 4, static_cast<size_t>(columns));
    const int rows = std::min(static_cast<int>(shown.size()) + 1, lines - 1);
    const int top = std::max(0, (lines - 1 - rows) / 2);
    const int left = (columns - static_cast<int>(width)) / 2;
    for (int row = 0; row < rows; ++row) {
        std::u32string line = U"  ";
        if (static_cast<size_t>(row) < shown.size())
            line += shown[static_cast<size_t>(row)];
        line.resize(width, U' ');
        put_text(screen, columns, top + row, left, line,
                 row == 1 ? MENU_CHOSEN_FOREGROUND : MENU_FOREGROUND,
                 row == 1 ? MENU_CHOSEN_BACKGROUND : MENU_BACKGROUND);
    }
}

bool TerminalWindowSystem::prompt_key(const TerminalKey& key)
{
    std::lock_guard lock(ui_mutex_);
    if (!prompt_.asking)
        return false;
    const uint16_t code = key.report.key_code;
    const std::u32string typed = decode_utf8(key.report.characters);
    if (key.kind == TerminalKey::Kind::Interrupt || code == KEY_ESCAPE || code == KEY_RETURN) {
        prompt_.asking = false;
        prompt_.taken = code == KEY_RETURN && !prompt_.text.empty();
        prompt_done_.notify_all();
        // Ctrl-C still leaves: the dialog is answered first, so the event thread is free.
        return key.kind != TerminalKey::Kind::Interrupt;
    }
    if (code == KEY_DELETE) {
        if (!prompt_.text.empty())
            prompt_.text.pop_back();
    } else if (key.kind == TerminalKey::Kind::Paste) {
        for (char32_t c : decode_utf8(key.text))
            if (c >= 0x20)
                prompt_.text.push_back(c);
    } else if (typed.size() == 1 && typed[0] >= 0x20 && typed[0] != 0x7F &&
               (typed[0] < 0xF700 || typed[0] > 0xF8FF)) {
        prompt_.text.push_back(typed[0]);
    }
    ++changes_;
    return true;
}

std::optional<double> TerminalWindowSystem::play_sound(const std::string&)
{
    return std::nullopt;
}

void TerminalWindowSystem::alert_beep()
{
    write_output("\a");
}

WindowState TerminalWindowSystem::shown_state(uint8_t window)
{
    std::lock_guard lock(ui_mutex_);
    return window < WINDOW_NUMBER_COUNT ? windows_[window].state : WindowState{};
}

uint8_t TerminalWindowSystem::shown_page()
{
    std::lock_guard lock(ui_mutex_);
    return page_;
}

std::vector<ScreenCell> TerminalWindowSystem::compose(int columns, int lines)
{
    std::vector<ScreenCell> screen(static_cast<size_t>(std::max(0, columns * lines)));
    if (screen.empty())
        return screen;
    if (columns < NEEDED_COLUMNS || lines < NEEDED_LINES) {
        // One line, continued below when even that is too narrow.
        const std::vector<std::u32string> message =
            page_lines("Orbikon braucht " + std::to_string(NEEDED_COLUMNS) + " x " +
                           std::to_string(NEEDED_LINES) + " Zeichen; das Terminal hat " +
                           std::to_string(columns) + " x " + std::to_string(lines) + ".",
                       columns);
        for (size_t line = 0; line < message.size() && static_cast<int>(line) < lines; ++line)
            put_text(screen, columns, static_cast<int>(line), 0, message[line],
                     ScreenCell{}.foreground, ScreenCell{}.background);
        return screen;
    }
    const bool ascii = limited_terminal();
    std::lock_guard lock(ui_mutex_);
    if (page_ == 0) {
        const bool visible = windows_[0].state.visible;
        const Frame frame = visible ? frame_ : Frame{};
        int used_lines = 0;
        if (!visible)
            fill_line(screen, columns, 0,
                      "Grafikfenster 0 ist ausgeblendet: F10, Fenster, Grafikfenster 0 zeigen.",
                      ScreenCell{}.foreground, ScreenCell{}.background);
        if (frame.text) {
            const TextGrid& grid = *frame.text;
            used_lines = static_cast<int>(std::min<int64_t>(grid.lines, lines));
            for (int line = 0; line < used_lines; ++line) {
                for (int column = 0; column < std::min<int64_t>(grid.columns, columns); ++column) {
                    const TextCell& c = *grid.at(column + 1, line + 1);
                    screen[static_cast<size_t>(line * columns + column)] = {
                        c.character, c.foreground, c.background, false};
                }
            }
        }
        // Below window 0 only when there is a line to spare.
        if (used_lines < lines && frame.text)
            fill_line(screen, columns, lines - 1,
                      fit_status({{0, "Orbikon "}, {1, KEY_HINT}}, columns), STATUS_FOREGROUND,
                      STATUS_BACKGROUND);
    } else if (picture_page(page_)) {
        const Frame& frame = frames_[page_];
        if (frame.image)
            put_picture(screen, columns, lines - 1, *frame.image);
        else
            fill_line(screen, columns, 0,
                      "Grafikfenster " + std::to_string(page_) + " zeigt noch kein Bild.",
                      ScreenCell{}.foreground, ScreenCell{}.background);
        const std::string title = windows_[page_].state.title;
        fill_line(screen, columns, lines - 1,
                  fit_status({{0, title.empty() ? "Grafikfenster " + std::to_string(page_) : title},
                              {2, "F5 Register  F6 Grover  F7 Ising  F8 Shor"},
                              {1, "Esc zur\xC3\xBC"
                                  "ck"},
                              {3, "F10 Men\xC3\xBC"}},
                             columns),
                  STATUS_FOREGROUND, STATUS_BACKGROUND);
    } else {
        // Only the lines on screen are decoded; a line wider than the screen is not broken
        // but shifted sideways with the arrows.
        const Shown& page = windows_[page_];
        const int64_t rows = lines - 1;
        const int64_t total = page.text.line_count();
        const int64_t last_first = std::max<int64_t>(0, total - rows);
        const int64_t first = scroll_ < 0 ? last_first : std::min(scroll_, last_first);
        page_rows_ = rows;
        page_total_ = total;
        for (int64_t row = 0; row < rows && first + row < total; ++row) {
            // Laid out as the desktop's view lays it out: Tabs to their stops.
            std::u32string text = shown_columns(page.text.line(first + row));
            text.erase(0, std::min<size_t>(text.size(), static_cast<size_t>(shift_)));
            put_text(screen, columns, static_cast<int>(row), 0, text, ScreenCell{}.foreground,
                     ScreenCell{}.background);
        }
        const std::string shown = total == 0 ? std::string("leer")
                                             : "Zeile " + std::to_string(first + 1) + "-" +
                                                   std::to_string(std::min(first + rows, total)) +
                                                   "/" + std::to_string(total);
        const std::string arrows = ascii ? "^v" : "\xE2\x86\x91\xE2\x86\x93";
        fill_line(screen, columns, lines - 1,
                  fit_status({{0, windows_[page_].state.title},
                              {1, shown},
                              {4, "Bild" + arrows + " " + arrows + " bl\xC3\xA4ttern"},
                              {2, "Esc zur\xC3\xBC"
                                  "ck"},
                              {3, "F10 Men\xC3\xBC"}},
                             columns),
                  STATUS_FOREGROUND, STATUS_BACKGROUND);
    }
    if (!notice_.empty())
        fill_line(screen, columns, lines - 1, fit_status({{0, notice_}}, columns),
                  STATUS_FOREGROUND, STATUS_BACKGROUND);
    if (prompt_.asking) {
        // The end of a long path stays in sight.
        std::u32string line = decode_utf8(" " + prompt_.label) + prompt_.text + U"_";
        if (static_cast<int>(line.size()) > columns)
            line.erase(0, line.size() - static_cast<size_t>(columns));
        fill_line(screen, columns, lines - 1, encode_utf8(line), STATUS_FOREGROUND,
                  STATUS_BACKGROUND);
    }

    if (!message_lines_.empty())
        put_message(screen, columns, lines);
    if (menu_.open) {
        const std::vector<Menu>& all = menus_;
        fill_line(screen, columns, 0, "", MENU_FOREGROUND, MENU_BACKGROUND);
        int column = 1;
        int menu_column = 1;
        for (size_t m = 0; m < all.size(); ++m) {
            const std::u32string title = U" " + decode_utf8(all[m].title) + U" ";
            const bool chosen = m == menu_.menu;
            if (chosen)
                menu_column = column;
            put_text(screen, columns, 0, column, title,
                     chosen ? MENU_CHOSEN_FOREGROUND : MENU_FOREGROUND,
                     chosen ? MENU_CHOSEN_BACKGROUND : MENU_BACKGROUND);
            column += static_cast<int>(title.size()) + 1;
        }
        if (menu_.menu < all.size()) {
            const std::vector<MenuItem>& items = all[menu_.menu].items;
            size_t width = 0;
            for (const MenuItem& item : items)
                width = std::max(width, decode_utf8(item.title).size());
            width += 2;
            const int64_t visible =
                std::min<int64_t>(static_cast<int64_t>(items.size()), lines - 2);
            const int64_t top =
                std::clamp<int64_t>(static_cast<int64_t>(menu_.item) - visible + 1, 0,
                                    static_cast<int64_t>(items.size()) - visible);
            const int left = std::min(menu_column, columns - static_cast<int>(width));
            for (int64_t row = 0; row < visible; ++row) {
                const size_t index = static_cast<size_t>(top + row);
                const MenuItem& item = items[index];
                const char32_t rule = ascii ? U'-' : U'\u2500';
                std::u32string label = item.title.empty() ? std::u32string(width, rule)
                                                          : U" " + decode_utf8(item.title);
                label.resize(width, U' ');
                const bool chosen = index == menu_.item;
                const uint32_t foreground = chosen         ? MENU_CHOSEN_FOREGROUND
                                            : item.enabled ? MENU_FOREGROUND
                                                           : MENU_DISABLED_FOREGROUND;
                put_text(screen, columns, static_cast<int>(row) + 1, std::max(0, left), label,
                         foreground, chosen ? MENU_CHOSEN_BACKGROUND : MENU_BACKGROUND);
            }
        }
    }
    return screen;
}

void TerminalWindowSystem::show_page(uint8_t window)
{
    {
        std::lock_guard lock(ui_mutex_);
        if (!windows_[window].exists)
            return;
        page_ = window;
        scroll_ = -1;
        shift_ = 0;
        notice_.clear();
    }
    changed();
    // The user asked for the window: it is the key window now, and shown if it was hidden.
    report_activation(window);
}

void TerminalWindowSystem::scroll_page(int64_t lines)
{
    {
        std::lock_guard lock(ui_mutex_);
        const int64_t last_first = std::max<int64_t>(0, page_total_ - page_rows_);
        const int64_t first = scroll_ < 0 ? last_first : std::min(scroll_, last_first);
        const int64_t next = std::clamp<int64_t>(first + lines, 0, last_first);
        scroll_ = next == last_first ? -1 : next;
    }
    changed();
}

void TerminalWindowSystem::shift_page(int64_t columns)
{
    {
        std::lock_guard lock(ui_mutex_);
        shift_ = std::max<int64_t>(0, shift_ + columns);
    }
    changed();
}

void TerminalWindowSystem::move_in_menu(int menus_step, int items_step)
{
    {
        std::lock_guard lock(ui_mutex_);
        const std::vector<Menu>& all = menus_;
        if (all.empty())
            return;
        if (menus_step != 0) {
            const auto count = static_cast<int>(all.size());
            menu_.menu = static_cast<size_t>(
                ((static_cast<int>(menu_.menu) + menus_step) % count + count) % count);
            menu_.item = 0;
            items_step = 0;
        }
        const std::vector<MenuItem>& items = all[std::min(menu_.menu, all.size() - 1)].items;
        if (items.empty())
            return;
        const auto count = static_cast<int>(items.size());
        int item = static_cast<int>(menu_.item);
        // Separators are passed over; a step of 0 only finds the first item to stand on.
        for (int tries = 0; tries < count; ++tries) {
            if (items_step != 0 || tries > 0)
                item = ((item + (items_step < 0 ? -1 : 1)) % count + count) % count;
            if (selectable(items[static_cast<size_t>(item)]))
                break;
        }
        menu_.item = static_cast<size_t>(item);
    }
    changed();
}

void TerminalWindowSystem::choose_menu_item()
{
    std::optional<MenuChoice> choice;
    {
        std::lock_guard lock(ui_mutex_);
        const std::vector<Menu>& all = menus_;
        if (menu_.menu < all.size() && menu_.item < all[menu_.menu].items.size() &&
            selectable(all[menu_.menu].items[menu_.item]))
            choice = MenuChoice{true, all[menu_.menu].title, all[menu_.menu].items[menu_.item]};
        menu_.open = false;
    }
    changed();
    if (choice)
        report_choice_later(*choice);
}

void TerminalWindowSystem::report_choice_later(const MenuChoice& choice)
{
    // Queued, not waited for: a command may ask on the bottom row (the save dialog), and
    // the keys that answer are read by this thread.
    loop_.post([this, choice] { report_menu_choice(choice); });
}

bool TerminalWindowSystem::choose_item_with_key(const std::string& key_char)
{
    std::optional<MenuChoice> choice;
    {
        std::lock_guard lock(ui_mutex_);
        for (const Menu& menu : menus_) {
            for (const MenuItem& item : menu.items) {
                if (!choice && item.key_char == key_char && selectable(item))
                    choice = MenuChoice{true, menu.title, item};
            }
        }
    }
    if (choice)
        report_choice_later(*choice);
    return choice.has_value();
}

bool TerminalWindowSystem::handle_key(const TerminalKey& key)
{
    if (prompt_key(key))
        return true;
    if (key.kind == TerminalKey::Kind::Interrupt)
        return false;
    {
        std::lock_guard lock(ui_mutex_);
        if (!message_lines_.empty()) {
            message_lines_.clear();
            changed();
            return true;
        }
    }
    if (key.kind == TerminalKey::Kind::Paste) {
        // The pasted text becomes the clipboard and the program gets Ctrl+V, its paste key:
        // typed one by one, the text's letters would reach the menu as commands.
        {
            std::lock_guard lock(ui_mutex_);
            pasteboard_ = key.text;
        }
        report_pasteboard_changed();
        TerminalKey paste;
        paste.report = character_report(PASTE_KEY);
        return handle_key(paste);
    }
    const KeyReport& report = key.report;
    const uint16_t code = report.key_code;
    bool menu_open = false;
    uint8_t page = 0;
    {
        std::lock_guard lock(ui_mutex_);
        menu_open = menu_.open;
        page = page_;
    }
    if (menu_open) {
        if (code == KEY_LEFT || code == KEY_RIGHT) {
            move_in_menu(code == KEY_LEFT ? -1 : 1, 0);
        } else if (code == KEY_UP || code == KEY_DOWN) {
            move_in_menu(0, code == KEY_UP ? -1 : 1);
        } else if (code == KEY_RETURN) {
            choose_menu_item();
        } else if (code == KEY_ESCAPE || code == KEY_F10) {
            std::lock_guard lock(ui_mutex_);
            menu_.open = false;
        }
        changed();
        return true;
    }
    // Ctrl+Q chooses the menus' Q item as the desktop's key equivalent does; no field
    // editing key uses it.
    if (report.characters == std::string(1, CTRL_Q) && choose_item_with_key("q"))
        return true;
    if (code == KEY_F10) {
        {
            std::lock_guard lock(ui_mutex_);
            menu_ = {true, 0, 0};
        }
        move_in_menu(0, 0);
        return true;
    }
    for (const PageKey& p : PAGE_KEYS) {
        if (code == p.key) {
            show_page(p.window);
            return true;
        }
    }
    if (page != 0) {
        int64_t rows = 1;
        {
            std::lock_guard lock(ui_mutex_);
            rows = std::max<int64_t>(1, page_rows_ - 1);
        }
        if (code == KEY_ESCAPE)
            show_page(0);
        else if (code == KEY_UP || code == KEY_DOWN)
            scroll_page(code == KEY_UP ? -1 : 1);
        else if (code == KEY_LEFT || code == KEY_RIGHT)
            shift_page(code == KEY_LEFT ? -SHIFT_COLUMNS : SHIFT_COLUMNS);
        else if (code == KEY_PAGE_UP || code == KEY_PAGE_DOWN)
            scroll_page(code == KEY_PAGE_UP ? -rows : rows);
        else if (code == KEY_HOME || code == KEY_END)
            scroll_page(code == KEY_HOME ? INT32_MIN : INT32_MAX);
        else
            alert_beep(); // the pages take no typing, and no key reaches a program from here
        return true;
    }
    // A sequence of a key we do not know carries nothing to type.
    if (code == KEY_UNMAPPED && report.characters.empty())
        return true;
    // Nobody sees what a key would do in a hidden window 0.
    if (!window_zero_visible()) {
        alert_beep();
        return true;
    }
    report_key(report, true);
    report_key(report, false);
    return true;
}

void TerminalWindowSystem::paint_loop()
{
    const ColourMode colours = colour_mode();
    std::string input;
    std::vector<ScreenCell> shown;
    int shown_columns = -1;
    int shown_lines = -1;
    int64_t painted = -1;
    for (;;) {
        input += read_input(PAINT_INTERVAL_MS);
        TerminalKey key;
        while (take_key(input, key)) {
            if (!handle_key(key)) {
                quit_event_loop();
                return;
            }
        }
        const winsize size = window_size();
        const int columns = size.ws_col > 0 ? size.ws_col : NEEDED_COLUMNS;
        const int lines = size.ws_row > 0 ? size.ws_row : NEEDED_LINES;
        const bool resized = columns != shown_columns || lines != shown_lines;
        // Where window 0 leaves no row for the status bar, its keys show for a while after
        // the start and every resize.
        if (resized && lines == NEEDED_LINES)
            show_notice(KEY_HINT, HINT_MS);
        expire_notice();
        const int64_t changes = changes_.load();
        if (!resized && changes == painted)
            continue;
        painted = changes;
        std::vector<ScreenCell> screen = compose(columns, lines);
        std::string out;
        if (resized) {
            out = "\x1b[0m\x1b[2J";
            shown.clear();
            shown_columns = columns;
            shown_lines = lines;
        }
        out += paint(screen, shown, columns, lines, colours);
        if (!out.empty())
            write_output(out);
        shown = std::move(screen);
    }
}

TerminalWindowSystem& backend()
{
    // Never destroyed: its threads may still run while the process exits.
    static auto* instance = new TerminalWindowSystem;
    return *instance;
}

bool start(const std::string& log_path)
{
    if (raw_active || !is_interactive() || tcgetattr(STDIN_FILENO, &saved_settings) != 0)
        return false;
    // Lines printed to standard output or error would run across the drawn screen: they go
    // to the log file and to the console page.
    const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int screen = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (log < 0 || screen < 0) {
        if (log >= 0)
            close(log);
        if (screen >= 0)
            close(screen);
        return false;
    }
    termios raw = saved_settings;
    raw.c_iflag &= ~(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_oflag &= ~OPOST;
    raw.c_cflag |= CS8;
    raw.c_lflag &= ~(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) {
        close(log);
        close(screen);
        return false;
    }
    terminal_fd = screen;
    const bool captured = start_console_capture(log);
    close(log);
    if (!captured) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_settings);
        close(screen);
        terminal_fd = STDOUT_FILENO;
        return false;
    }
    raw_active = true;
    std::atexit(restore);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(sig, restore_and_reraise);
    write_output(ENTER_SCREEN);
    return true;
}

void stop()
{
    stop_console_capture();
    restore();
}

} // namespace platform::terminal
