// toolkit/window.cpp: video memory, the window table, window set-up and text output.
#include "toolkit/window.h"

#include "platform/diag.h"
#include "platform/digits.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "platform/window_system.h"
#include "toolkit/geometry.h"
#include "toolkit/render.h"

#include <algorithm>
#include <charconv>
#include <cstring>

std::vector<uint8_t> VideoMemory;
std::atomic<uint64_t> VideoMemoryWrites{0};
int64_t HighMemory = HIGHEST_ADDRESS;
std::atomic<bool> MemoryInitStarted{false};
std::atomic<bool> MemoryReady{false};
std::array<t_Window, WINDOW_COUNT> window_table;
std::atomic<uint8_t> CurrentTextWindow{NO_TEXT_WINDOW};
std::atomic<int64_t> TitleBarHeight{0};
std::atomic<bool> AutoUpdateRunning{false};

namespace {

constexpr int64_t MEMORY_POLL_MS = 10;
constexpr int64_t MIN_CANVAS = 32;
constexpr int64_t MAX_CANVAS = 8192;
constexpr int64_t FALLBACK_WIDTH = 1280;
constexpr int64_t FALLBACK_HEIGHT = 800;
// Bits 0 to 9 and 11 cleared: the block start keeps the historic alignment.
constexpr uint64_t BLOCK_MASK = 0xFFFFF400u;
constexpr uint8_t INITIAL_TEXT_COLOR = 0xC0; // green on black
constexpr uint8_t BLANK = 0x20;
constexpr int64_t PAUSE_KEY = 19; // Ctrl-S

void ensure_memory()
{
    if (!MemoryInitStarted) {
        t_InitMemory();
        return;
    }
    while (!MemoryReady)
        platform::sleep_ms(MEMORY_POLL_MS);
}

int64_t block_start(int64_t high, int64_t size)
{
    int64_t start = high - size + 1;
    return static_cast<int64_t>(static_cast<uint64_t>(start) & ~uint64_t{0xFFFFFFFF}) |
           static_cast<int64_t>(static_cast<uint64_t>(start) & BLOCK_MASK);
}

void pause_check()
{
    auto& hook = toolkit::shell_hooks().pause_on_key;
    if (hook)
        hook(PAUSE_KEY, true);
}

std::string window_title_text(bool has_text)
{
    auto& hook = toolkit::shell_hooks().application_name;
    std::string title = hook ? hook() : std::string("Orbikon");
    if (title.size() > 4) {
        std::string tail = title.substr(title.size() - 4);
        for (char& c : tail)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        if (tail == ".app")
            title.resize(title.size() - 4);
    }
    if (!has_text)
        title += "-Grafik";
    return title;
}

// Decodes one UTF-8 scalar at text[pos]; malformed input yields U+FFFD, one byte consumed.
char32_t next_scalar(std::string_view text, size_t& pos)
{
    return platform::next_utf8(text, pos).value_or(0xFFFD);
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

namespace toolkit {

std::recursive_mutex& video_mutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

ShellHooks& shell_hooks()
{
    static ShellHooks hooks;
    return hooks;
}

bool view_exists(uint8_t win)
{
    auto& hook = shell_hooks().find_view;
    if (hook)
        return hook(win);
    bool found = false;
    platform::run_on_event_thread(
        [&] {
            auto& ws = platform::window_system();
            found = ws.window_exists(win) && ws.window_kind(win) == platform::WindowKind::Graphic;
        },
        true);
    return found;
}

bool window_ready(std::string_view op, uint8_t win)
{
    if (win >= WINDOW_COUNT) {
        diag_line(op, "Window is not a graphic window.");
        return false;
    }
    if (!MemoryReady || !window_table[win].Initialized) {
        diag_line(op, "Window #" + std::to_string(win) + " not initialized.");
        return false;
    }
    return true;
}

int64_t output_redirect(uint8_t win)
{
    std::lock_guard lock(video_mutex());
    return window_table[win].TextRedirectOutput;
}

bool text_window_ready(std::string_view op, uint8_t win)
{
    if (win >= WINDOW_COUNT) {
        diag_line(op, "Window is not a graphic window.");
        return false;
    }
    if (!MemoryReady || !window_table[win].Initialized || window_table[win].TextMemoryStart < 0) {
        diag_line(op, "Window #" + std::to_string(win) + " not initialized.");
        return false;
    }
    return true;
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

std::string hex8_text(int64_t value)
{
    return platform::hex_digits(static_cast<uint64_t>(value), 8);
}

std::string kib_text(double kib)
{
    // Shortest round-trip digits, then cut (not rounded) to two decimals, as the number
    // texts of the shell do.
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, kib, std::chars_format::fixed);
    std::string digits(buffer, result.ptr);
    bool negative = !digits.empty() && digits[0] == '-';
    if (negative)
        digits.erase(0, 1);
    std::string integer = digits;
    std::string fraction;
    if (auto dot = digits.find('.'); dot != std::string::npos) {
        integer = digits.substr(0, dot);
        fraction = digits.substr(dot + 1);
    }
    fraction.resize(2, '0');
    return (negative ? "-" : "") + platform::group_thousands(integer) + "," + fraction;
}

void write_redirected(uint8_t code)
{
    std::string text;
    platform::append_utf8(text, code);
    diag_write(text);
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

void t_InitWindow(uint8_t win, int64_t bit_depth, bool auto_update, int64_t width, int64_t height,
                  int64_t border_width, int64_t border_height, const t_Font& font,
                  bool title_visible)
{
    const std::string op = "t_InitWindow";
    if (win >= WINDOW_COUNT) {
        diag_line(op, "Window is not a graphic window.");
        return;
    }
    const std::string prefix = "GraphicWindow #" + std::to_string(win);
    diag_line(op, prefix + " Start.");
    ensure_memory();
    uint8_t none = NO_TEXT_WINDOW;
    CurrentTextWindow.compare_exchange_strong(none, win);
    toolkit::start_auto_update();

    t_Window& w = window_table[win];
    if (w.Initialized) {
        std::lock_guard lock(toolkit::video_mutex());
        w.Initialized = false;
        toolkit::release_window_blocks(win);
    }
    const int64_t free_bytes = HighMemory - LOWEST_ALLOCATABLE;

    // Pass: correct the canvas size and size the graphic block.
    if (width < MIN_CANVAS || width > MAX_CANVAS) {
        diag_line(op, prefix + " cannot display " + std::to_string(width) + " horizontal pixel.");
        width = FALLBACK_WIDTH;
    }
    if (height < MIN_CANVAS || height > MAX_CANVAS) {
        diag_line(op, prefix + " cannot display " + std::to_string(height) + " vertical pixel.");
        height = FALLBACK_HEIGHT;
    }
    int64_t size = 0;
    switch (bit_depth) {
    case 1:
        if (width % 8 != 0) {
            diag_line(op, prefix + " width with 1 bit depth must be a multiple of 8.");
            width = ((width + 7) / 8) * 8;
        }
        size = height * width / 8;
        break;
    case 4:
        if (width % 4 != 0) {
            diag_line(op, prefix + " width with 4 bit depth must be a multiple of 4.");
            width = ((width + 1) / 4) * 4;
        }
        size = height * width / 2;
        break;
    case 8:
    case 16:
    case 24:
    case 32:
        size = height * bit_depth * width / 8;
        break;
    default:
        diag_line(op, prefix + " unsupported " + std::to_string(bit_depth) + " bit depth.");
        return;
    }
    const std::string canvas_text = std::to_string(width) + " x " + std::to_string(height) +
                                    " pixel x " + std::to_string(bit_depth) + " bit";
    const std::string graphic_kib = toolkit::kib_text(static_cast<double>(size) / 1024.0);
    if (size > free_bytes) {
        diag_line(op, prefix + " has not enough graphic-video-memory (" +
                          std::to_string(free_bytes / 1024) + "K available).");
        diag_line(op, "Displaying " + canvas_text + " needs " + graphic_kib + "K video-memory.");
        return;
    }
    if (!title_visible) {
        t_WindowTitleVisible(win, false);
        diag_line(op, prefix + " title will be invisible.");
    }
    if (border_width < 0)
        border_width = t_WindowPos(win, 15) - width;
    if (border_height < 0)
        border_height = t_WindowPos(win, 16) - height;

    // Pass: text geometry. A font without cells cannot hold text either.
    int64_t columns = -1;
    int64_t lines = -1;
    int64_t text_size = 0;
    const bool has_font = !font.Data.empty() && font.Width > 0 && font.Height > 0;
    if (has_font) {
        columns = width / font.Width;
        lines = height / font.Height;
        text_size = columns * lines * 2;
    }
    const int64_t graphic_start = block_start(HighMemory, size);
    // The text block comes below the graphic block; when each fits alone but not both,
    // the text block would reach below the lowest allocatable address.
    const int64_t free_after_graphic = graphic_start - 1 - LOWEST_ALLOCATABLE;
    const bool text_too_big =
        text_size > free_bytes ||
        (text_size > 0 && block_start(graphic_start - 1, text_size) < LOWEST_ALLOCATABLE);
    if (text_too_big) {
        int64_t available = text_size > free_bytes ? free_bytes : free_after_graphic;
        diag_line(op, prefix + " has not enough text-video-memory (" +
                          std::to_string(std::max<int64_t>(available, 0) / 1024) + "K available).");
        diag_line(op, "Displaying " + std::to_string(columns) + " x " + std::to_string(lines) +
                          " characters needs " +
                          toolkit::kib_text(static_cast<double>(text_size) / 1024.0) +
                          "K text-video-memory.");
        return;
    }

    // Pass: fill the record and take the blocks.
    std::unique_lock record_lock(toolkit::video_mutex());
    w.UpdateStarted = 0;
    w.UpdateFinished = 0;
    w.VerticalBlank = true;
    w.IgnoreEvents = false;
    w.RefreshRate = 30;
    w.AutoUpdate = auto_update;
    w.QuickUpdate = true;
    w.ScrollLock = false;
    w.BitDepth = bit_depth;
    w.Width = width;
    w.Height = height;
    w.BorderWidth = border_width;
    w.BorderHeight = border_height;
    w.TitleHeight = title_visible ? TitleBarHeight.load() : 0;
    w.RGBColor = PaletteColor(0);
    w.RGBColorBorder = PaletteColor(5);
    w.MemoryStart = graphic_start;
    w.MemoryEnd = HighMemory;
    HighMemory = w.MemoryStart - 1;
    diag_line(op, prefix + " = " + canvas_text + " = " + graphic_kib + "K video-memory = $" +
                      toolkit::hex8_text(w.MemoryStart) + ".");

    w.TextWidth = columns;
    w.TextHeight = lines;
    w.TextFirstColumn = 1;
    w.TextLastColumn = w.TextWidth;
    w.TextFirstLine = 1;
    w.TextLastLine = w.TextHeight;
    w.TextHpos = 1;
    w.TextVpos = 1;
    w.TextColor = INITIAL_TEXT_COLOR;
    if (text_size > 0) {
        w.TextMemoryStart = block_start(HighMemory, text_size);
        w.TextMemoryEnd = HighMemory;
        HighMemory = w.TextMemoryStart - 1;
    } else {
        w.TextMemoryStart = -1;
        w.TextMemoryEnd = -1;
    }
    record_lock.unlock();

    // Pass: bind the view.
    if (!toolkit::view_exists(win)) {
        std::lock_guard lock(toolkit::video_mutex());
        w.Initialized = false;
        w.Font = t_Font{};
        diag_line(op, prefix + " could not be initialized, resource undefined.");
    } else {
        {
            std::lock_guard lock(toolkit::video_mutex());
            w.View = win;
            w.Window = win;
            w.Font = font;
            w.Initialized = true;
        }
        ClearWindowMemory(win);
        t_WindowTitle(win, window_title_text(w.TextMemoryStart >= 0));
        t_WindowSize(win, -1, -1, width, height);
        t_ColorBorder(win, 5);
    }
    diag_line(op, prefix + " End.");
}

void t_InitWindow(uint8_t win, int64_t bit_depth, int64_t columns, int64_t lines, int64_t border,
                  const std::string& font_name)
{
    ensure_memory();
    t_Font font = t_LoadFontResource(font_name);
    if (font.Data.empty()) {
        diag_line("t_InitWindow", "Font '" + font_name + "' not found.");
        return;
    }
    t_InitWindow(win, bit_depth, true, columns * font.Width, lines * font.Height, border, border,
                 font, true);
}

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
