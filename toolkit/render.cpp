// toolkit/render.cpp: graphic block to ARGB image, redraw requests and the auto-update thread.
#include "toolkit/render.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "toolkit/palette.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/video_memory.h"

#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr int64_t IDLE_SLEEP_MS = 1;
constexpr int64_t STOP_POLL_MS = 1;
constexpr int64_t STOP_TIMEOUT_MS = 3000;
constexpr uint8_t CARRIAGE_RETURN = 13;
constexpr uint8_t BLANK = 0x20;
constexpr const char* AUTO_UPDATE_OP = "t_WindowAutoUpdateProcess";

// Each start of the thread takes a new generation; an older thread that is still winding
// down sees it and leaves without touching the flag that the newer one owns.
std::atomic<int64_t> auto_update_generation{0};
std::atomic<int> auto_update_threads{0};

void auto_update_loop(int64_t generation);

// The last image built of each window, with what it was built from. A refresh of a window
// whose memory nobody wrote since hands out the same image instead of converting a few
// million bytes again, which is what an idle window mostly asks for.
struct BuiltImage {
    uint64_t writes = 0;
    int64_t memory_start = -1;
    int64_t width = 0;
    int64_t height = 0;
    int64_t depth = 0;
    std::shared_ptr<const platform::ArgbImage> image;
};
std::mutex built_mutex;
std::array<BuiltImage, WINDOW_COUNT> built_images; // guarded by built_mutex

std::shared_ptr<const platform::ArgbImage> unchanged_image(uint8_t win, const t_Window& w,
                                                           uint64_t writes)
{
    std::lock_guard lock(built_mutex);
    const BuiltImage& b = built_images[win];
    if (!b.image || b.writes != writes || b.memory_start != w.MemoryStart || b.width != w.Width ||
        b.height != w.Height || b.depth != w.BitDepth)
        return nullptr;
    return b.image;
}

void remember_image(uint8_t win, const t_Window& w, uint64_t writes,
                    std::shared_ptr<const platform::ArgbImage> image)
{
    std::lock_guard lock(built_mutex);
    built_images[win] = {writes, w.MemoryStart, w.Width, w.Height, w.BitDepth, std::move(image)};
}

uint32_t argb(uint8_t r, uint8_t g, uint8_t b)
{
    return 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | uint32_t{b};
}

uint32_t argb(const t_RGBColor& c)
{
    return argb(c.Red, c.Green, c.Blue);
}

// Bytes the graphic block of a window of this depth and size holds; -1 for a bad depth.
int64_t block_bytes(int64_t depth, int64_t width, int64_t height)
{
    switch (depth) {
    case 1:
        return height * width / 8;
    case 4:
        return height * width / 2;
    case 8:
    case 16:
    case 24:
    case 32:
        return height * width * (depth / 8);
    default:
        return -1;
    }
}

void convert(const t_Window& w, const uint8_t* src, std::vector<uint32_t>& out)
{
    const int64_t width = w.Width;
    const int64_t height = w.Height;
    const uint32_t white = argb(Palette[15]);
    const uint32_t black = argb(Palette[0]);
    for (int64_t y = 0; y < height; ++y) {
        uint32_t* row = out.data() + y * width;
        for (int64_t x = 0; x < width; ++x) {
            const int64_t p = y * width + x;
            uint32_t c = 0;
            switch (w.BitDepth) {
            case 1:
                c = (src[p / 8] >> (7 - (x % 8))) & 1 ? white : black;
                break;
            case 4: {
                const uint8_t byte = src[p / 2];
                c = argb(Palette[(x % 2 == 0) ? (byte >> 4) : (byte & 0x0F)]);
                break;
            }
            case 8:
                c = argb(src[p], src[p], src[p]);
                break;
            case 16: {
                const uint8_t grey = src[2 * p + 1];
                c = argb(grey, grey, grey);
                break;
            }
            case 24:
                c = argb(src[3 * p], src[3 * p + 1], src[3 * p + 2]);
                break;
            default: // 32: the first byte is alpha and ignored
                c = argb(src[4 * p + 1], src[4 * p + 2], src[4 * p + 3]);
                break;
            }
            row[x] = c;
        }
    }
}

// The view's drawing: the shell's when it set one, else the frame handed over as it is.
void draw_view(uint8_t win)
{
    if (auto& hook = toolkit::shell_hooks().draw_view) {
        hook(win);
        return;
    }
    const platform::Frame frame = t_WindowFrame(win);
    if (frame.image)
        platform::window_system().present_frame(win, frame);
}

// A deferred request waits for the next turn of the event thread; until it has drawn, more
// requests add nothing, as a desktop's display cycle coalesces them.
std::array<std::atomic<bool>, WINDOW_COUNT> draw_pending{};

void request_redraw(uint8_t win, bool deferred)
{
    if (!deferred) {
        platform::run_on_event_thread([win] { draw_view(win); }, true);
        return;
    }
    if (draw_pending[win].exchange(true))
        return;
    platform::run_on_event_thread(
        [win] {
            draw_pending[win] = false;
            draw_view(win);
        },
        false);
}

} // namespace

namespace toolkit {

char32_t shown_character(uint8_t code)
{
    if (code < 127 || code > 160)
        return code;
    switch (code) {
    case 127:
    case 129:
        return U'#';
    case 128:
        return U'*';
    case 130:
        return U'<';
    case 131:
    case 159:
        return U'=';
    case 132:
        return U'>';
    case 133:
        return U'O';
    case 138:
    case 139:
    case 156:
    case 157:
        return U'|';
    case 140:
    case 141:
    case 154:
    case 155:
        return U'-';
    case 160:
        return U'\u02FD'; // shelf symbol: a visible space
    default: // 134 to 137, 142 to 153, 158: corners and crossings
        return U'+';
    }
}

bool auto_update_due(const t_Window& w, int64_t now)
{
    // A rate of 0 (or less) would divide by zero; such a window is never due.
    if (!w.Initialized || !w.AutoUpdate || !w.VerticalBlank || w.RefreshRate <= 0)
        return false;
    return now - w.UpdateStarted >= 1000 / w.RefreshRate;
}

void start_auto_update()
{
    bool expected = false;
    // Claiming the flag here, not only in the thread, keeps two quick set-ups from
    // starting two threads. The start line is printed here too, so it always comes
    // before the caller's next line instead of whenever the new thread gets to run.
    if (AutoUpdateRunning.compare_exchange_strong(expected, true)) {
        diag_line(AUTO_UPDATE_OP, "Start.");
        // Counted and given its generation before it runs, so a stop right after this
        // call already applies to it.
        ++auto_update_threads;
        const int64_t generation = ++auto_update_generation;
        platform::run_async([generation] { auto_update_loop(generation); });
    }
}

bool stop_auto_update()
{
    AutoUpdateRunning = false;
    ++auto_update_generation;
    for (int64_t waited = 0; auto_update_threads > 0; waited += STOP_POLL_MS) {
        if (waited >= STOP_TIMEOUT_MS)
            return false;
        platform::sleep_ms(STOP_POLL_MS);
    }
    return true;
}

} // namespace toolkit

namespace {

// The image of the window's graphic block, built anew only after writes; expects the video
// lock held and the window initialised. Sets UpdateDuration and UpdateFinished.
std::shared_ptr<const platform::ArgbImage> build_image(const char* op, uint8_t win)
{
    t_Window& w = window_table[win];
    // Read before the conversion: a write during it makes the next call build anew.
    const uint64_t writes = VideoMemoryWrites.load();
    if (auto image = unchanged_image(win, w, writes))
        return image;
    const double started = platform::time_seconds();

    const int64_t bytes = block_bytes(w.BitDepth, w.Width, w.Height);
    if (bytes < 0) {
        // Once per image, not once per pixel: a bad depth would otherwise flood the output.
        diag_line(op, "Illegal bit depth.");
        return nullptr;
    }
    const bool inside = w.MemoryStart >= 0 && w.Width > 0 && w.Height > 0 &&
                        bytes <= w.MemoryEnd - w.MemoryStart + 1 &&
                        w.MemoryStart + bytes <= static_cast<int64_t>(VideoMemory.size());
    auto image = std::make_shared<platform::ArgbImage>();
    if (inside) {
        try {
            image->pixels.resize(static_cast<size_t>(w.Width * w.Height));
        } catch (const std::bad_alloc&) {
            image->pixels.clear();
        }
    }
    if (!inside || image->pixels.empty()) {
        diag_line(op, "Data could not be collected, image could not be created.");
        return nullptr;
    }
    image->width = w.Width;
    image->height = w.Height;
    convert(w, VideoMemory.data() + w.MemoryStart, image->pixels);

    const double finished = platform::time_seconds();
    w.UpdateDuration = static_cast<int64_t>((finished - started) * 1000000.0);
    w.UpdateFinished = static_cast<int64_t>(finished * 1000.0);
    remember_image(win, w, writes, image);
    return image;
}

} // namespace

std::shared_ptr<const platform::ArgbImage> t_WindowImage(uint8_t win)
{
    const char* op = "t_WindowImage";
    if (!MemoryReady)
        return nullptr;
    if (win >= WINDOW_COUNT) {
        diag_line(op, "Window is not a graphic window.");
        return nullptr;
    }
    std::lock_guard lock(toolkit::video_mutex());
    if (!window_table[win].Initialized) {
        diag_line(op, "Graphic window #" + std::to_string(win) + " not initialized.");
        return nullptr;
    }
    if (!window_table[win].Visible)
        return nullptr;
    return build_image(op, win);
}

std::shared_ptr<const platform::ArgbImage> toolkit::canvas_image(uint8_t win)
{
    if (!MemoryReady || win >= WINDOW_COUNT)
        return nullptr;
    std::lock_guard lock(toolkit::video_mutex());
    if (!window_table[win].Initialized)
        return nullptr;
    return build_image("t_WindowImage", win);
}

platform::Frame t_WindowFrame(uint8_t win)
{
    platform::Frame frame;
    frame.image = t_WindowImage(win);
    if (!frame.image)
        return frame;
    // The program thread writes cells while a view reads them.
    std::lock_guard lock(toolkit::video_mutex());
    const t_Window& w = window_table[win];
    if (w.TextMemoryStart < 0 || w.TextWidth <= 0 || w.TextHeight <= 0)
        return frame;
    auto grid = std::make_shared<platform::TextGrid>();
    grid->columns = w.TextWidth;
    grid->lines = w.TextHeight;
    grid->cells.reserve(static_cast<size_t>(w.TextWidth * w.TextHeight));
    for (int64_t line = 1; line <= w.TextHeight; ++line) {
        for (int64_t column = 1; column <= w.TextWidth; ++column) {
            const uint8_t colour = toolkit::cell_colour(w, column, line);
            platform::TextCell cell;
            cell.code = toolkit::cell_char(w, column, line);
            cell.character = toolkit::shown_character(static_cast<uint8_t>(cell.code));
            cell.foreground = argb(PaletteColor(colour >> 4));
            cell.background = argb(PaletteColor(colour & 0x0F));
            grid->cells.push_back(cell);
        }
    }
    frame.text = std::move(grid);
    return frame;
}

void t_WindowUpdate(uint8_t win, bool deferred)
{
    if (!MemoryReady)
        return;
    if (win >= WINDOW_COUNT) {
        diag_line("t_WindowUpdate", "Window is not a graphic window.");
        return;
    }
    if (!toolkit::view_exists(win)) {
        diag_line("t_WindowUpdate",
                  "Window #" + std::to_string(win) + " view is nil, resource undefined.");
        return;
    }
    request_redraw(win, deferred);
}

void t_WindowAutoUpdateProcess()
{
    ++auto_update_threads;
    const int64_t generation = ++auto_update_generation;
    diag_line(AUTO_UPDATE_OP, "Start.");
    AutoUpdateRunning = true;
    auto_update_loop(generation);
}

namespace {

// The auto-update thread after its start line; counted in auto_update_threads by its starter.
void auto_update_loop(int64_t generation)
{
    const char* op = AUTO_UPDATE_OP;
    platform::name_helper_thread("t_WindowAutoUpdate");

    auto still_wanted = [&] {
        return MemoryReady && AutoUpdateRunning && generation == auto_update_generation;
    };
    while (still_wanted()) {
        bool any_due = false;
        for (uint8_t win = 0; win < WINDOW_COUNT; ++win) {
            {
                std::lock_guard lock(toolkit::video_mutex());
                if (!toolkit::auto_update_due(window_table[win], platform::now_ms()))
                    continue;
            }
            any_due = true;
            const bool has_view = toolkit::view_exists(win);
            if (!has_view)
                diag_line(op,
                          "Window #" + std::to_string(win) + " view is nil, resource undefined.");
            {
                std::lock_guard lock(toolkit::video_mutex());
                window_table[win].UpdateStarted = platform::now_ms();
            }
            if (has_view)
                request_redraw(win, true);
        }
        if (!any_due)
            platform::sleep_ms(IDLE_SLEEP_MS);
    }

    if (generation == auto_update_generation)
        AutoUpdateRunning = false;
    diag_line(op, "End.");
    --auto_update_threads;
}

} // namespace

std::string t_GetScreen(uint8_t win, std::string_view separator)
{
    if (!toolkit::text_window_ready("t_GetScreen", win))
        return {};
    std::string text;
    {
        // A menu's copy reads the cells on the event thread while the program writes them.
        std::lock_guard lock(toolkit::video_mutex());
        const t_Window& w = window_table[win];
        text.reserve(static_cast<size_t>(w.TextWidth * w.TextHeight * 2 + w.TextHeight));
        for (int64_t line = 1; line <= w.TextHeight; ++line) {
            for (int64_t column = 1; column <= w.TextWidth; ++column) {
                const uint8_t code = toolkit::cell_char(w, column, line);
                // Each byte is the Unicode scalar of the same value, written as UTF-8.
                platform::append_utf8(text, code);
            }
            text.append(separator);
        }
    }
    if (separator.empty())
        return text;

    // Pass: split at carriage returns, trim each line, drop empty lines at the end.
    std::vector<std::string> lines;
    size_t begin = 0;
    for (;;) {
        const size_t cr = text.find(static_cast<char>(CARRIAGE_RETURN), begin);
        lines.push_back(
            text.substr(begin, cr == std::string::npos ? std::string::npos : cr - begin));
        if (cr == std::string::npos)
            break;
        begin = cr + 1;
    }
    for (auto& l : lines) {
        while (!l.empty() && static_cast<uint8_t>(l.back()) == BLANK)
            l.pop_back();
    }
    while (lines.size() > 1 && lines.back().empty())
        lines.pop_back();
    std::string result;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            result.push_back(static_cast<char>(CARRIAGE_RETURN));
        result += lines[i];
    }
    return result;
}
