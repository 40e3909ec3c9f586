// toolkit/window_setup.cpp: setting up a window: its blocks, its record and its view.
#include "toolkit/window_setup.h"

#include "platform/diag.h"
#include "platform/digits.h"
#include "platform/platform.h"
#include "toolkit/display.h"
#include "toolkit/geometry.h"
#include "toolkit/render.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/video_memory.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr int64_t MEMORY_POLL_MS = 10;
constexpr int64_t MIN_CANVAS = 32;
constexpr int64_t MAX_CANVAS = 8192;
constexpr int64_t FALLBACK_WIDTH = 1280;
constexpr int64_t FALLBACK_HEIGHT = 800;
// Bits 0 to 9 and 11 cleared: the block start keeps the historic alignment.
constexpr uint64_t BLOCK_MASK = 0xFFFFF400u;
constexpr uint8_t INITIAL_TEXT_COLOR = 0xC0; // green on black

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

} // namespace

namespace toolkit {

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

} // namespace toolkit

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
                      platform::hex_digits(static_cast<uint64_t>(w.MemoryStart), 8) + ".");

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
    if (const auto& changed = toolkit::shell_hooks().window_ready_changed)
        changed(win);
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
