// toolkit/platform_windows.cpp: the platform windows' records and the one place that pushes
// their changes to the window system.
#include "toolkit/platform_windows.h"

#include "platform/platform.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>

namespace toolkit {

namespace {

using platform::NO_WINDOW;
using platform::WINDOW_NUMBER_COUNT;

// The layout rules of the text windows, in points.
constexpr double PASTEBOARD_INSET = 10;
constexpr double PRINTER_INSET = 20;
constexpr double RULER_GAP = 15;
constexpr double RULER_INSET = 48;
constexpr double RULER_HEIGHT = 19;
constexpr double RULER_ABOVE_SCROLL_VIEW = 4;
constexpr double SIZED_WIDTH_INSET = 40;
constexpr double SIZED_HEIGHT_INSET = 77;

// Text windows keep their text in blocks of this size.
constexpr size_t TEXT_BLOCK_BYTES = 16 << 20;

// A text window's text in blocks: appending never moves what is stored, so a listing of
// hundreds of megabytes grows without copying itself (which held the event thread for tens
// of milliseconds) and leaves no freed growth steps behind.
class StoredText {
  public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear()
    {
        blocks_ = {};
        size_ = 0;
    }
    void append(std::string_view text)
    {
        while (!text.empty()) {
            if (blocks_.empty() || blocks_.back().size() == TEXT_BLOCK_BYTES) {
                blocks_.emplace_back();
                // The first block grows as needed, so a short text stays small; later ones
                // take their room at once and never move.
                if (blocks_.size() > 1)
                    blocks_.back().reserve(TEXT_BLOCK_BYTES);
            }
            std::string& last = blocks_.back();
            const size_t length = std::min(text.size(), TEXT_BLOCK_BYTES - last.size());
            last.append(text.substr(0, length));
            text.remove_prefix(length);
            size_ += length;
        }
    }
    // Whether text starts with the whole stored text.
    bool starts(std::string_view text) const
    {
        if (text.size() < size_)
            return false;
        for (const std::string& block : blocks_) {
            if (text.substr(0, block.size()) != block)
                return false;
            text.remove_prefix(block.size());
        }
        return true;
    }
    std::string whole() const
    {
        std::string text;
        text.reserve(size_);
        for (const std::string& block : blocks_)
            text += block;
        return text;
    }

  private:
    std::vector<std::string> blocks_;
    size_t size_ = 0;
};

struct Records {
    std::mutex mutex;
    std::array<PlatformWindow, WINDOW_NUMBER_COUNT> windows; // guarded by mutex
    std::array<StoredText, WINDOW_NUMBER_COUNT> texts;       // guarded by mutex
    // Shown windows, the one brought forward last at the end; guarded by mutex.
    std::vector<uint8_t> front_order;
    uint8_t key = NO_WINDOW;   // guarded by mutex
    platform::Display display; // guarded by mutex
};

Records& records()
{
    static Records r;
    return r;
}

bool is_text_window(uint8_t window)
{
    return window == platform::PASTEBOARD_WINDOW || window == platform::PRINTER_WINDOW ||
           window == platform::CONSOLE_WINDOW;
}

// Expects the records locked.
void move_to_front(Records& r, uint8_t window)
{
    std::erase(r.front_order, window);
    r.front_order.push_back(window);
}

// After window lost its visibility: out of the order, and the key passes on when it held
// it. The new key window, or NO_WINDOW when the key stayed or no window is shown. Expects
// the records locked.
uint8_t hidden(Records& r, uint8_t window)
{
    std::erase(r.front_order, window);
    if (r.key != window)
        return NO_WINDOW;
    r.key = r.front_order.empty() ? NO_WINDOW : r.front_order.back();
    return r.key;
}

// Shows the window, if it was hidden, and makes it the key window; the state to push when it
// was hidden. Expects the records locked and the window built.
std::optional<platform::WindowState> make_key(Records& r, uint8_t window)
{
    PlatformWindow& w = r.windows[window];
    const bool was_hidden = !w.state.visible;
    w.state.visible = true;
    move_to_front(r, window);
    r.key = window;
    if (!was_hidden)
        return std::nullopt;
    return w.state;
}

// A shown tail starts at a line start, so the console never opens with half a line.
size_t tail_start(const std::string& text, size_t limit)
{
    if (text.size() <= limit)
        return 0;
    const size_t start = text.size() - limit;
    const size_t line = text.find_first_of("\r\n", start);
    return line == std::string::npos ? start : line + 1;
}

// Keeps the console within its limit; true when it cut its start. Expects the records locked.
bool trim_console(Records& r, uint8_t window)
{
    StoredText& stored = r.texts[window];
    if (window != platform::CONSOLE_WINDOW || stored.size() <= CONSOLE_LIMIT_BYTES)
        return false;
    std::string text = stored.whole();
    text.erase(0, tail_start(text, CONSOLE_LIMIT_BYTES / 2));
    stored.clear();
    stored.append(text);
    return true;
}

bool text_window_exists(Records& r, uint8_t window)
{
    return is_text_window(window) && r.windows[window].exists;
}

// The first piece of text to append: at most TEXT_PIECE_BYTES, not cutting a UTF-8 sequence.
size_t piece_length(std::string_view text)
{
    if (text.size() <= TEXT_PIECE_BYTES)
        return text.size();
    size_t length = TEXT_PIECE_BYTES;
    for (int back = 0; back < 3 && (static_cast<uint8_t>(text[length]) & 0xC0) == 0x80; ++back)
        --length;
    return length;
}

// On the event thread: runs change on a text window's kept text, which returns false to leave
// the window system as it is; else the window system gets the whole text when the console
// was trimmed, or push otherwise. False when the window has no text.
bool change_text(uint8_t window, const std::function<bool(StoredText&)>& change,
                 const std::function<void(platform::WindowSystem&)>& push)
{
    bool exists = false;
    platform::run_on_event_thread(
        [&] {
            Records& r = records();
            bool trimmed = false;
            {
                std::lock_guard lock(r.mutex);
                exists = text_window_exists(r, window);
                if (!exists || !change(r.texts[window]))
                    return;
                trimmed = trim_console(r, window);
            }
            platform::WindowSystem& ws = platform::window_system();
            // Only the event thread writes the texts, so they can be read here unlocked.
            if (trimmed)
                ws.set_text(window, r.texts[window].whole());
            else
                push(ws);
        },
        true);
    return exists;
}

// Appends one piece to the kept text and the window system's; false when the window has no
// text.
bool append_piece(uint8_t window, std::string_view piece)
{
    return change_text(
        window,
        [&](StoredText& kept) {
            kept.append(piece);
            return true;
        },
        [&](platform::WindowSystem& ws) { ws.append_text(window, piece); });
}

} // namespace

void lay_out_text_window(uint8_t window, PlatformWindow& w, double title_bar_height)
{
    const double width = w.state.frame.width;
    const double height = w.state.frame.height;
    if (window == platform::PASTEBOARD_WINDOW) {
        w.scroll_view_frame = {PASTEBOARD_INSET, 0, width - 2 * PASTEBOARD_INSET,
                               height - 2 * PASTEBOARD_INSET - title_bar_height};
        return;
    }
    if (window != platform::PRINTER_WINDOW && window != platform::CONSOLE_WINDOW)
        return;
    w.scroll_view_frame = {PRINTER_INSET, 0, width - 2 * PRINTER_INSET,
                           height - 2 * PRINTER_INSET - title_bar_height - RULER_GAP};
    if (w.ruler_frame == platform::Rect{})
        w.ruler_frame = {PRINTER_INSET, w.scroll_view_frame.height + RULER_ABOVE_SCROLL_VIEW, 0, 0};
    w.ruler_frame.width = width - RULER_INSET;
    w.ruler_frame.height = RULER_HEIGHT;
}

void size_text_window(PlatformWindow& w, double x, double y, double width, double height,
                      double title_bar_height)
{
    const platform::Rect scroll = w.scroll_view_frame;
    if (width <= 0)
        width = scroll.width + SIZED_WIDTH_INSET;
    if (height <= 0)
        height = scroll.height + SIZED_HEIGHT_INSET;
    w.state.frame = {x, y, width, height + title_bar_height};
    w.scroll_view_frame = {scroll.x, scroll.y, width - SIZED_WIDTH_INSET,
                           height - SIZED_HEIGHT_INSET};
}

void build_platform_windows(const std::vector<platform::WindowSpec>& windows)
{
    platform::run_on_event_thread(
        [&] {
            Records& r = records();
            std::vector<platform::WindowSpec> built;
            {
                std::lock_guard lock(r.mutex);
                for (const platform::WindowSpec& plan : windows) {
                    if (plan.number >= WINDOW_NUMBER_COUNT || r.windows[plan.number].exists)
                        continue;
                    PlatformWindow& w = r.windows[plan.number];
                    w = PlatformWindow{true, plan.kind, plan.has_ruler, plan.state, {}, {}};
                    r.texts[plan.number].clear();
                    if (plan.kind == platform::WindowKind::Text)
                        lay_out_text_window(plan.number, w, r.display.title_bar_height);
                    if (plan.state.visible)
                        move_to_front(r, plan.number);
                    built.push_back(plan);
                }
            }
            if (!built.empty())
                platform::window_system().build_interface(built);
        },
        true);
}

bool platform_window_exists(uint8_t window)
{
    Records& r = records();
    std::lock_guard lock(r.mutex);
    return window < WINDOW_NUMBER_COUNT && r.windows[window].exists;
}

PlatformWindow platform_window(uint8_t window)
{
    Records& r = records();
    std::lock_guard lock(r.mutex);
    return window < WINDOW_NUMBER_COUNT ? r.windows[window] : PlatformWindow{};
}

uint8_t key_window()
{
    Records& r = records();
    std::lock_guard lock(r.mutex);
    return r.key;
}

platform::Display display()
{
    Records& r = records();
    std::lock_guard lock(r.mutex);
    return r.display;
}

void change_platform_window(uint8_t window, const std::function<void(PlatformWindow&)>& change)
{
    if (window >= WINDOW_NUMBER_COUNT)
        return;
    platform::run_on_event_thread(
        [&] {
            Records& r = records();
            platform::WindowState state;
            bool state_changed = false;
            uint8_t new_key = NO_WINDOW;
            {
                std::lock_guard lock(r.mutex);
                PlatformWindow& w = r.windows[window];
                if (!w.exists)
                    return;
                const platform::WindowState before = w.state;
                change(w);
                state = w.state;
                state_changed = state != before;
                if (before.visible && !state.visible)
                    new_key = hidden(r, window);
                else if (!before.visible && state.visible)
                    move_to_front(r, window);
            }
            platform::WindowSystem& ws = platform::window_system();
            if (state_changed)
                ws.set_window_state(window, state);
            if (new_key != NO_WINDOW)
                ws.bring_to_front(new_key);
        },
        true);
}

void front_platform_window(uint8_t window)
{
    if (window >= WINDOW_NUMBER_COUNT)
        return;
    platform::run_on_event_thread(
        [&] {
            Records& r = records();
            std::optional<platform::WindowState> shown;
            {
                std::lock_guard lock(r.mutex);
                if (!r.windows[window].exists)
                    return;
                shown = make_key(r, window);
            }
            platform::WindowSystem& ws = platform::window_system();
            if (shown)
                ws.set_window_state(window, *shown);
            ws.bring_to_front(window);
        },
        true);
}

void platform_window_activated(uint8_t window)
{
    Records& r = records();
    std::optional<platform::WindowState> shown;
    {
        std::lock_guard lock(r.mutex);
        if (window >= WINDOW_NUMBER_COUNT || !r.windows[window].exists)
            return;
        shown = make_key(r, window);
    }
    if (shown)
        platform::window_system().set_window_state(window, *shown);
}

void platform_window_resized(uint8_t window, const platform::Rect& frame)
{
    Records& r = records();
    std::lock_guard lock(r.mutex);
    if (window >= WINDOW_NUMBER_COUNT || !r.windows[window].exists)
        return;
    r.windows[window].state.frame = frame;
}

void display_changed(const platform::Display& display)
{
    Records& r = records();
    std::lock_guard lock(r.mutex);
    r.display = display;
    for (uint8_t n = 0; n < WINDOW_NUMBER_COUNT; ++n) {
        if (r.windows[n].exists && r.windows[n].kind == platform::WindowKind::Text)
            lay_out_text_window(n, r.windows[n], display.title_bar_height);
    }
}

void set_window_text(uint8_t window, std::string text)
{
    // Where the part of text that follows as appends starts; npos for none.
    size_t append_from = std::string::npos;
    change_text(
        window,
        [&](StoredText& kept) {
            // A text published again with more at its end (the printer's buffer) needs only
            // that end.
            if (!kept.empty() && kept.starts(text)) {
                append_from = kept.size();
                return false;
            }
            // Anything else replaces the text in one push: clears and rewrites are rare, and
            // a backend that shows only a text's end cuts it once.
            kept.clear();
            kept.append(text);
            return true;
        },
        [&](platform::WindowSystem& ws) { ws.set_text(window, text); });
    if (append_from != std::string::npos)
        append_window_text(window, std::string_view(text).substr(append_from));
}

void append_window_text(uint8_t window, std::string_view text)
{
    // Piece by piece, each in a visit of its own to the event thread, so that a listing of
    // hundreds of megabytes never holds that thread (or a backend's lock) for long. A change
    // another thread makes meanwhile lands between two pieces.
    while (!text.empty()) {
        const size_t length = piece_length(text);
        if (!append_piece(window, text.substr(0, length)))
            return;
        text.remove_prefix(length);
    }
}

void clear_window_text(uint8_t window)
{
    platform::run_on_event_thread(
        [&] {
            Records& r = records();
            {
                std::lock_guard lock(r.mutex);
                if (!text_window_exists(r, window))
                    return;
                r.texts[window].clear();
            }
            platform::window_system().clear_text(window);
        },
        true);
}

std::string window_text(uint8_t window)
{
    Records& r = records();
    std::lock_guard lock(r.mutex);
    return window < WINDOW_NUMBER_COUNT ? r.texts[window].whole() : std::string();
}

void reset_platform_windows()
{
    Records& r = records();
    std::lock_guard lock(r.mutex);
    r.windows = {};
    for (StoredText& text : r.texts)
        text.clear();
    r.front_order.clear();
    r.key = NO_WINDOW;
    r.display = platform::Display{};
}

} // namespace toolkit
