// shell/events.cpp: key event queue shared by the event thread (writer) and the program
// thread (reader); every touch of the queue or CurrentEvent holds queue_mutex briefly.
#include "shell/events.h"

#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/us_keys.h"
#include "platform/utf8.h"
#include "platform/window_system.h"
#include "shell/menus.h"
#include "toolkit/cursor.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/text_output.h"
#include "toolkit/window.h"

using namespace platform::keys;

std::atomic<bool> EventPending{false};
std::atomic<bool> CapsLockDown{false};
std::atomic<bool> ShiftDown{false};
std::atomic<bool> ControlDown{false};
std::atomic<bool> OptionDown{false};
std::atomic<bool> CommandDown{false};
std::atomic<bool> FnDown{false};
std::atomic<bool> KeyIsDown{false};

namespace {

// The readers poll; a key reaches WaitKey at most this long after it was queued.
constexpr int64_t POLL_MS = 10;
// Function keys map onto codes from 129 up: F1 gives 129.
constexpr int64_t FIRST_FUNCTION_CHARACTER = platform::CHAR_F1;
constexpr int64_t FUNCTION_KEY_OFFSET = FIRST_FUNCTION_CHARACTER - 129;

std::mutex queue_mutex;
std::deque<t_Event> event_queue; // guarded by queue_mutex
t_Event current_event;           // guarded by queue_mutex
std::atomic<bool> waiting_for_key{false};

// Length of the menu command list that a pause also ends on.
int64_t menu_event_count() { return MenuEventCount(); }

// First Unicode scalar of UTF-8 text; 0 for empty or malformed text.
int64_t first_scalar(std::string_view text)
{
    size_t pos = 0;
    return text.empty() ? 0 : platform::next_utf8(text, pos).value_or(0);
}

// The characters of UTF-8 text, one string per scalar value (malformed bytes one each).
std::vector<std::string> split_characters(std::string_view text)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        platform::next_utf8(text, pos);
        out.emplace_back(text.substr(start, pos - start));
    }
    return out;
}

void update_modifiers(uint64_t modifiers)
{
    CapsLockDown = (modifiers & MOD_CAPS_LOCK) != 0;
    ShiftDown = (modifiers & MOD_SHIFT) != 0;
    ControlDown = (modifiers & MOD_CONTROL) != 0;
    OptionDown = (modifiers & MOD_OPTION) != 0;
    CommandDown = (modifiers & MOD_COMMAND) != 0;
    FnDown = (modifiers & MOD_FN) != 0;
}

// What a row of the key table decided.
struct TableOutcome {
    int64_t value = 0;
    bool cursor_key = false;
    int64_t redirect_mode = -1; // >= 0: redirect output instead of queueing
};

TableOutcome value_row(int64_t value, bool cursor_key = false)
{
    return TableOutcome{value, cursor_key, -1};
}

// The key table: rows by physical key position; a failed condition falls through (nullopt).
std::optional<TableOutcome> key_table(uint16_t key_code, int64_t t, uint64_t modifiers)
{
    const bool shift = (modifiers & MOD_SHIFT) != 0;
    const bool control = (modifiers & MOD_CONTROL) != 0;
    const bool option = (modifiers & MOD_OPTION) != 0;
    auto when_char = [&](int64_t c, int64_t value) -> std::optional<TableOutcome> {
        if (t == c)
            return value_row(value);
        return std::nullopt;
    };
    switch (key_code) {
    case KEY_A: return when_char(0x00E5, 176);
    case KEY_S: return when_char(0x201A, 168);
    case KEY_D: return when_char(0x2202, 173);
    case KEY_F: return when_char(0x0192, 130);
    case KEY_H: return when_char(0x00AA, 131);
    case KEY_X: return when_char(0x2248, 132);
    case KEY_V: return when_char(0x221A, 253);
    case KEY_ISO_SECTION: return when_char(0, 94);
    case KEY_B: return when_char(0x222B, 222);
    case KEY_W: return when_char(0x2211, 221);
    case KEY_E: return when_char(0x20AC, 164);
    case KEY_Y: return when_char(0x03A9, 128);
    case KEY_T: return when_char(0x2020, 189);
    case KEY_2: return when_char(0x201C, 163);
    case KEY_EQUAL:
        if (t == 0)
            return value_row(shift ? 96 : 180);
        return std::nullopt;
    case KEY_MINUS: return when_char(0x00BF, 166);
    case KEY_0: return when_char(0x2260, 172);
    case KEY_U: return when_char(0, 175);
    case KEY_LEFT_BRACKET: return when_char(0x2022, 184);
    case KEY_I: return when_char(0x2044, 129);
    case KEY_P:
        if (t == 0x03C0)
            return value_row(240);
        return when_char(0x220F, 208);
    case KEY_L:
        if (t == 12 && option)
            return value_row(0);
        return std::nullopt;
    case KEY_J: return when_char(0x00BA, 183);
    case KEY_K: return when_char(0x2206, 254);
    case KEY_SEMICOLON: return when_char(0x0153, 190);
    case KEY_BACKSLASH: return when_char(0x2018, 180);
    case KEY_COMMA: return when_char(0x221E, 255);
    case KEY_SLASH: return when_char(0x2013, 154);
    case KEY_N:
        if (t == 0 && option)
            return value_row(126);
        return std::nullopt;
    case KEY_PERIOD: return when_char(0x2026, 191);
    case KEY_TAB: return when_char(25, 20);
    case KEY_GRAVE:
        if (t == 0x2264)
            return value_row(197);
        return when_char(0x2265, 198);
    case KEY_DELETE: return value_row(127);
    case KEY_PAD_CLEAR: return value_row(27);
    case KEY_PAD_ENTER: return value_row(13);
    case KEY_PAD_0:
    case KEY_PAD_1:
    case KEY_PAD_2:
    case KEY_PAD_3:
    case KEY_PAD_4:
    case KEY_PAD_5:
    case KEY_PAD_6: {
        static constexpr int64_t PAD_VALUES[] = {216, 185, 178, 179, 170, 215, 186};
        if (option)
            return value_row(PAD_VALUES[key_code - KEY_PAD_0]);
        return std::nullopt;
    }
    case KEY_PAD_7:
    case KEY_PAD_8:
    case KEY_PAD_9: {
        // Control alone on keypad 7, 8, 9 chooses where text output goes.
        const int64_t mode = key_code == KEY_PAD_7 ? 0 : key_code == KEY_PAD_8 ? 2 : 1;
        const int64_t value = key_code == KEY_PAD_7 ? 229 : key_code == KEY_PAD_8 ? 230 : 188;
        if (control && !option)
            return TableOutcome{0, false, mode};
        if (option)
            return value_row(value);
        return std::nullopt;
    }
    case KEY_HOME: return value_row(2, true);
    case KEY_PAGE_UP: return value_row(18, true);
    case KEY_FORWARD_DELETE: return value_row(7, false);
    case KEY_END: return value_row(5, true);
    case KEY_PAGE_DOWN: return value_row(3, true);
    case KEY_LEFT: return value_row(8, true);
    case KEY_RIGHT: return value_row(21, true);
    case KEY_DOWN: return value_row(10, true);
    case KEY_UP: return value_row(11, true);
    default: return std::nullopt;
    }
}

void append_event(t_Event event)
{
    std::lock_guard lock(queue_mutex);
    event_queue.push_back(std::move(event));
    EventPending = !event_queue.empty();
}

void refresh_pending()
{
    std::lock_guard lock(queue_mutex);
    EventPending = !event_queue.empty();
}

// Takes the head into CurrentEvent; nullopt (and EventPending false) when empty.
std::optional<int64_t> take_head()
{
    std::lock_guard lock(queue_mutex);
    if (event_queue.empty()) {
        EventPending = false;
        return std::nullopt;
    }
    current_event = std::move(event_queue.front());
    event_queue.pop_front();
    EventPending = !event_queue.empty();
    return current_event.Value;
}

} // namespace

t_Event CurrentEvent()
{
    std::lock_guard lock(queue_mutex);
    return current_event;
}

platform::KeyReport KeyReportFor(char32_t c)
{
    return platform::typed_key(c);
}

void PostKeyDown(uint8_t window, uint16_t key_code, std::string_view characters,
                 uint64_t modifiers)
{
    KeyIsDown = true;
    update_modifiers(modifiers);
    if (!MemoryReady)
        return;
    // Events from windows outside the table are not ours to queue.
    if (window > 7)
        return;
    bool initialized = false;
    bool ignore = false;
    {
        std::lock_guard lock(toolkit::video_mutex());
        initialized = window_table[window].Initialized;
        ignore = window_table[window].IgnoreEvents;
    }
    if (!initialized) {
        diag_line("viewKeyDown",
                  "Graphic window (" + std::to_string(window) + ") not initialized.");
        return;
    }
    if (ignore)
        return;

    // Step: translate.
    const int64_t t = first_scalar(characters);
    const int64_t time = platform::now_ms();

    std::optional<TableOutcome> row;
    if (key_code <= KEY_UP)
        row = key_table(key_code, t, modifiers);

    t_Event event;
    if (row) {
        if (row->redirect_mode >= 0) {
            t_RedirectOutput(window, row->redirect_mode);
            refresh_pending();
            return;
        }
        event.Value = row->value;
        event.CursorKeyPressed = row->cursor_key;
    } else if (t <= 255) {
        event.Value = t;
    } else if (t < FIRST_FUNCTION_CHARACTER) {
        refresh_pending();
        return;
    } else {
        event.Value = t - FUNCTION_KEY_OFFSET;
        event.FunctionKeyPressed = true;
    }

    // Step: fill and queue.
    event.Kind = 1;
    event.Index = key_code;
    event.Description = std::string(characters);
    event.Mods = static_cast<int64_t>((modifiers >> 16) & 0xFFFF);
    event.Window = window;
    event.Time = time;
    event.CapsLockPressed = (modifiers & MOD_CAPS_LOCK) != 0;
    event.ShiftPressed = (modifiers & MOD_SHIFT) != 0;
    event.ControlPressed = (modifiers & MOD_CONTROL) != 0;
    event.OptionPressed = (modifiers & MOD_OPTION) != 0;
    event.CommandPressed = (modifiers & MOD_COMMAND) != 0;
    event.NumericPadPressed = (modifiers & MOD_NUMERIC_PAD) != 0;
    event.HelpPressed = (modifiers & MOD_HELP) != 0;
    event.FnPressed = (modifiers & MOD_FN) != 0;
    append_event(std::move(event));
}

void PostModifiers(uint64_t modifiers) { update_modifiers(modifiers); }

void PostKeyUp() { KeyIsDown = false; }

void PostText(std::string_view text)
{
    for (std::string& character : split_characters(text)) {
        t_Event event;
        event.Kind = 1;
        event.Index = 0;
        event.Value = first_scalar(character);
        event.Description = std::move(character);
        event.Window = 1;
        event.Time = platform::now_ms();
        append_event(std::move(event));
    }
}

std::string WaitKey(uint8_t window)
{
    for (;;) {
        if (!EventPending) {
            t_CursorOn(window);
            waiting_for_key = true;
            while (!EventPending)
                platform::sleep_ms(POLL_MS);
            waiting_for_key = false;
            t_CursorOff(window);
        }
        std::optional<int64_t> value = take_head();
        if (!value || *value < 0)
            continue;
        std::string text;
        platform::append_utf8(text, static_cast<char32_t>(*value));
        return text;
    }
}

int64_t NextEvent()
{
    if (!EventPending)
        return -1;
    return take_head().value_or(-1);
}

std::pair<bool, int64_t> PauseOnKey(int64_t code, bool wait)
{
    if (!EventPending)
        return {false, 0};
    {
        std::lock_guard lock(queue_mutex);
        if (event_queue.empty()) {
            EventPending = false;
            return {false, 0};
        }
        if (event_queue.back().Value != code)
            return {false, 0};
        event_queue.clear();
        // Without waiting the flag stays up; the next reader finds the queue empty.
        if (!wait)
            return {true, 0};
        EventPending = false;
    }

    // Pass: pause until a key is queued or a menu command arrives.
    const int64_t menu_count = menu_event_count();
    waiting_for_key = true;
    for (;;) {
        if (EventQueueLength() != 0)
            break;
        if (menu_event_count() != menu_count) {
            waiting_for_key = false;
            refresh_pending();
            return {true, 0};
        }
        platform::sleep_ms(POLL_MS);
    }
    waiting_for_key = false;
    const int64_t value = NextEvent();
    refresh_pending();
    return {true, value};
}

void InstallEventHooks()
{
    toolkit::shell_hooks().pause_on_key = [](int64_t code, bool wait) { PauseOnKey(code, wait); };
}

int64_t EventQueueLength()
{
    std::lock_guard lock(queue_mutex);
    return static_cast<int64_t>(event_queue.size());
}

bool WaitingForKey() { return waiting_for_key; }

void ResetEvents()
{
    std::lock_guard lock(queue_mutex);
    event_queue.clear();
    current_event = t_Event{};
    EventPending = false;
    waiting_for_key = false;
    update_modifiers(0);
    KeyIsDown = false;
}
