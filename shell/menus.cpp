// shell/menus.cpp: menu commands, their built-in actions, menu look-ups, dialogs and Beep.
#include "shell/menus.h"

#include "platform/beep.h"
#include "platform/console_capture.h"
#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/text_lines.h"
#include "shell/app_delegate.h"
#include "shell/events.h"
#include "shell/interface.h"
#include "shell/mttools.h"
#include "shell/startup.h"
#include "toolkit/geometry.h"
#include "toolkit/platform_windows.h"
#include "toolkit/render.h"
#include "toolkit/window.h"

#include <mutex>

std::atomic<bool> MenuPending{false};
std::string OpenButtonTitle = "\xC3\x96"
                              "ffnen"; // Öffnen
std::string ChooseButtonTitle = "W\xC3\xA4"
                                "hlen"; // Wählen

namespace {

constexpr int64_t MENU_ITEM_KIND = 3;
constexpr int64_t LAST_POSITION = 65535;
constexpr uint8_t LAST_WINDOW_NUMBER = 12;
constexpr const char* FILE_SCHEME = "file://";
constexpr char PASTE_KEY = 0x16; // Ctrl+V

std::mutex menu_mutex;
std::vector<t_MenuAction> action_table; // guarded by menu_mutex
std::vector<t_MenuEvent> menu_events;   // guarded by menu_mutex
std::function<void()> menu_handler;     // guarded by menu_mutex
std::function<void()> paste_handler;    // guarded by menu_mutex
std::vector<platform::Menu> menu_bar;   // guarded by menu_mutex

// The menu bar's menu of that title; nullptr when there is none. Expects menu_mutex held.
platform::Menu* find_menu(const std::string& title)
{
    for (platform::Menu& menu : menu_bar) {
        if (menu.title == title)
            return &menu;
    }
    return nullptr;
}

void run_menu_handler()
{
    platform::name_helper_thread("t_EventMenu");
    std::function<void()> handler;
    {
        std::lock_guard lock(menu_mutex);
        handler = menu_handler;
    }
    if (handler)
        handler();
}

std::vector<std::string> split_types(const std::string& types)
{
    std::vector<std::string> out;
    size_t begin = 0;
    while (!types.empty()) {
        const size_t comma = types.find(',', begin);
        std::string piece =
            types.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        if (!piece.empty())
            out.push_back(std::move(piece));
        if (comma == std::string::npos)
            break;
        begin = comma + 1;
    }
    return out;
}

std::string without_scheme(std::string path)
{
    if (path.rfind(FILE_SCHEME, 0) == 0)
        path.erase(0, std::char_traits<char>::length(FILE_SCHEME));
    return path;
}

// Position 65535 on a non-empty menu is its last item; nullopt (with the operation's
// line printed) when the menu or the position does not exist.
std::optional<int64_t> item_position(const char* op, const std::string& menu_title,
                                     int64_t position)
{
    int64_t count = -1;
    {
        std::lock_guard lock(menu_mutex);
        if (const platform::Menu* menu = find_menu(menu_title))
            count = static_cast<int64_t>(menu->items.size());
    }
    if (count < 0) {
        diag_line(op, "Menu not found.");
        return std::nullopt;
    }
    if (position == LAST_POSITION && count > 0)
        position = count - 1;
    if (position < 0 || position >= count) {
        diag_line(op, "Item position out of range");
        return std::nullopt;
    }
    return position;
}

bool has_text_view(uint8_t win)
{
    return toolkit::platform_window(win).kind == platform::WindowKind::Text;
}

// The 112 and 114 actions: empty a shell text window and what feeds it.
void clear_text_window(uint8_t win, const std::function<void()>& clear_source)
{
    if (!has_text_view(win)) {
        diag_line("t_MenuEventHandler", win == platform::PRINTER_WINDOW
                                            ? "Virtual printer window is nil, resource undefined."
                                            : "System console window is nil, resource undefined.");
        Beep();
        return;
    }
    if (clear_source)
        clear_source();
    toolkit::clear_window_text(win);
}

void copy_picture(uint8_t n)
{
    std::shared_ptr<const platform::ArgbImage> image;
    if (n < WINDOW_COUNT)
        image = t_WindowImage(n);
    if (!image) {
        Beep();
        return;
    }
    platform::show([&](platform::WindowSystem& ws) { ws.set_pasteboard_image(image); });
}

void copy_text(uint8_t n)
{
    if (n < WINDOW_COUNT) {
        CopyToPasteboard(CopyTableText(t_GetScreen(n, "\r")));
        return;
    }
    if (n != platform::PRINTER_WINDOW && n != platform::CONSOLE_WINDOW) {
        Beep();
        return;
    }
    if (!has_text_view(n)) {
        diag_line("t_MenuEventHandler", n == platform::PRINTER_WINDOW
                                            ? "Virtual printer window is nil, resource undefined."
                                            : "System console window is nil, resource undefined.");
        Beep();
        return;
    }
    CopyToPasteboard(toolkit::window_text(n));
}

void show_graphic_window(int64_t action)
{
    const auto win = static_cast<uint8_t>((action - ACTION_SHOW_GRAPHIC_0) / 2);
    if (!MemoryReady || !window_table[win].Initialized) {
        diag_line("t_MenuEventHandler", "Window #" + std::to_string(win) + " not initialized.");
        Beep();
        return;
    }
    if (action % 2 == 1)
        t_WindowFront(win);
    else
        t_WindowVisible(win, false);
}

// A graphic window's items are offered once t_InitWindow has made it; before, showing it
// would show nothing. Chosen by key, the item still runs, with its beep and line.
void enable_graphic_window_items(std::vector<platform::Menu>& bar)
{
    for (platform::Menu& menu : bar) {
        for (platform::MenuItem& item : menu.items) {
            if (item.tag < ACTION_SHOW_GRAPHIC_0 || item.tag > ACTION_HIDE_GRAPHIC_7)
                continue;
            const auto win = static_cast<size_t>((item.tag - ACTION_SHOW_GRAPHIC_0) / 2);
            std::lock_guard lock(toolkit::video_mutex());
            item.enabled = MemoryReady && window_table[win].Initialized;
        }
    }
}

// The Fenster items that hide: "Alle Fenster ausblenden", the key window's item and the
// even numbers among the window actions.
bool hides_windows(int64_t action)
{
    return action == ACTION_HIDE_MAIN_WINDOW ||
           (action >= ACTION_HIDE_ALL && action <= ACTION_HIDE_CONSOLE && action % 2 == 0);
}

// Writes a text window's whole text to the chosen file, a line feed after each line;
// nothing when the dialog was cancelled.
void save_text_window(uint8_t win, const std::string& path)
{
    if (path.empty())
        return;
    const std::string text = ClipboardText(toolkit::window_text(win));
    if (!platform::write_file(path, std::vector<uint8_t>(text.begin(), text.end()))) {
        diag_write("Sichern: " + path + " l\xC3\xA4sst sich nicht schreiben (" +
                   platform::last_error_text() + ").\n");
        Beep();
    }
}

// Runs a dialog action and keeps its results in the table entry of the tag.
void file_dialog(int64_t tag, const t_MenuAction& entry)
{
    std::string path;
    if (entry.Action == ACTION_OPEN_DIALOG)
        path = OpenFileDialog(entry.Title, entry.Note, entry.FileTypes, true, false);
    else
        path = SaveFileDialog(entry.FileName, entry.Title, entry.Note, entry.FileTypes);
    std::lock_guard lock(menu_mutex);
    for (auto& a : action_table) {
        if (a.Tag == tag) {
            a.FilePath = path;
            a.FileName = FileNameOfPath(path);
            break;
        }
    }
}

void perform(int64_t tag, const t_MenuAction& entry)
{
    const int64_t action = entry.Action;
    switch (action) {
    case ACTION_OPEN_DIALOG:
    case ACTION_SAVE_DIALOG:
        file_dialog(tag, entry);
        if (tag == SAVE_PRINTER_TAG || tag == SAVE_CONSOLE_TAG)
            save_text_window(tag == SAVE_PRINTER_TAG ? platform::PRINTER_WINDOW
                                                     : platform::CONSOLE_WINDOW,
                             MenuActionForTag(tag).value_or(t_MenuAction{}).FilePath);
        return;
    case ACTION_COPY_PICTURE:
        copy_picture(MainWindowNumber());
        return;
    case ACTION_COPY_TEXT:
        copy_text(MainWindowNumber());
        return;
    case ACTION_CLEAR_PRINTER:
        clear_text_window(platform::PRINTER_WINDOW, menu_hooks().clear_printer_buffer);
        return;
    case ACTION_PASTE: {
        std::function<void()> handler;
        {
            std::lock_guard lock(menu_mutex);
            handler = paste_handler;
        }
        if (!handler) {
            // Without a program's own paste the item types Ctrl+V, which pastes into a
            // field of window 0 and means nothing elsewhere.
            PostText(std::string(1, PASTE_KEY));
            return;
        }
        if (MainWindowNumber() >= WINDOW_COUNT) {
            Beep();
            return;
        }
        handler();
        return;
    }
    case ACTION_CLEAR_CONSOLE:
        clear_text_window(platform::CONSOLE_WINDOW, platform::discard_console_pending);
        return;
    case ACTION_HIDE_ALL:
        for (uint8_t w = 0; w <= LAST_WINDOW_NUMBER; ++w)
            t_WindowVisible(w, false);
        return;
    case ACTION_HIDE_MAIN_WINDOW:
        t_WindowVisible(MainWindowNumber(), false);
        return;
    case ACTION_SHOW_APP_WINDOW:
        t_WindowFront(platform::MAIN_WINDOW);
        return;
    case ACTION_HIDE_APP_WINDOW:
        t_WindowVisible(platform::MAIN_WINDOW, false);
        return;
    case ACTION_SHOW_PREFERENCES:
        t_WindowFront(platform::PREFERENCES_WINDOW);
        return;
    case ACTION_HIDE_PREFERENCES:
        t_WindowVisible(platform::PREFERENCES_WINDOW, false);
        return;
    case ACTION_SHOW_PRINTER:
        t_WindowFront(platform::PRINTER_WINDOW);
        return;
    case ACTION_HIDE_PRINTER:
        t_WindowVisible(platform::PRINTER_WINDOW, false);
        return;
    case ACTION_SHOW_PASTEBOARD:
        t_WindowFront(platform::PASTEBOARD_WINDOW);
        return;
    case ACTION_HIDE_PASTEBOARD:
        t_WindowVisible(platform::PASTEBOARD_WINDOW, false);
        return;
    case ACTION_SHOW_CONSOLE:
        t_WindowFront(platform::CONSOLE_WINDOW);
        return;
    case ACTION_HIDE_CONSOLE:
        t_WindowVisible(platform::CONSOLE_WINDOW, false);
        return;
    default:
        if (action >= ACTION_SHOW_GRAPHIC_0 && action <= ACTION_HIDE_GRAPHIC_7)
            show_graphic_window(action);
        return; // any other action has no built-in meaning
    }
}

} // namespace

void AddMenuAction(const t_MenuAction& action)
{
    std::lock_guard lock(menu_mutex);
    action_table.push_back(action);
}

std::vector<t_MenuAction> MenuActions()
{
    std::lock_guard lock(menu_mutex);
    return action_table;
}

std::optional<t_MenuAction> MenuActionForTag(int64_t tag)
{
    std::lock_guard lock(menu_mutex);
    for (const auto& a : action_table) {
        if (a.Tag == tag)
            return a;
    }
    return std::nullopt;
}

std::vector<t_MenuEvent> MenuEvents()
{
    std::lock_guard lock(menu_mutex);
    return menu_events;
}

int64_t MenuEventCount()
{
    std::lock_guard lock(menu_mutex);
    return static_cast<int64_t>(menu_events.size());
}

void SetMenuHandler(std::function<void()> handler)
{
    std::lock_guard lock(menu_mutex);
    menu_handler = std::move(handler);
}

void SetPasteHandler(std::function<void()> handler)
{
    std::lock_guard lock(menu_mutex);
    paste_handler = std::move(handler);
}

MenuHooks& menu_hooks()
{
    static MenuHooks hooks;
    return hooks;
}

void t_MenuEventHandler(const platform::MenuChoice& item)
{
    t_MenuEvent event;
    int64_t tag = 0;
    bool run_program_handler = true;
    if (item.in_menu) {
        event.Kind = MENU_ITEM_KIND;
        event.MenuTitle = item.menu_title;
        event.ItemTitle = item.item.title;
        event.ItemKeyChar = item.item.key_char;
        event.ItemKeyMods = item.item.key_mods;
        event.ItemKeyAsc = item.item.key_char.empty() ? 0 : FirstScalar(item.item.key_char);
        event.Time = platform::now_ms();
        tag = item.item.tag;
        // A tag in the table is handled here, whatever its action does; the program's
        // handler runs only for tag 0 and tags missing from the table.
        if (tag != 0) {
            if (std::optional<t_MenuAction> entry = MenuActionForTag(tag)) {
                run_program_handler = false;
                perform(tag, *entry);
                if (hides_windows(entry->Action))
                    QuitWhenNoWindowShown();
            }
        }
    }
    event.ItemAction = tag;
    {
        std::lock_guard lock(menu_mutex);
        menu_events.push_back(std::move(event));
    }
    MenuPending = true;
    if (run_program_handler)
        RunAsync(run_menu_handler);
}

int64_t t_MenuItemIndex(const std::string& menu_title, const std::string& item_title)
{
    int64_t index = -2;
    {
        std::lock_guard lock(menu_mutex);
        if (const platform::Menu* menu = find_menu(menu_title)) {
            index = -1;
            for (size_t i = 0; i < menu->items.size() && index < 0; ++i) {
                if (menu->items[i].title == item_title)
                    index = static_cast<int64_t>(i);
            }
        }
    }
    if (index == -2)
        diag_line("t_MenuItemIndex", "Menu not found.");
    return index;
}

void t_MenuItemDelete(const std::string& menu_title, int64_t position)
{
    std::optional<int64_t> at = item_position("t_MenuItemDelete", menu_title, position);
    if (!at)
        return;
    ChangeMenuBar([&](std::vector<platform::Menu>&) {
        if (platform::Menu* menu = find_menu(menu_title);
            menu && *at < static_cast<int64_t>(menu->items.size()))
            menu->items.erase(menu->items.begin() + *at);
    });
}

std::string t_MenuItemTitle(const std::string& menu_title, int64_t position)
{
    std::optional<int64_t> at = item_position("t_MenuItemTitle", menu_title, position);
    if (!at)
        return {};
    std::lock_guard lock(menu_mutex);
    const platform::Menu* menu = find_menu(menu_title);
    return menu && *at < static_cast<int64_t>(menu->items.size())
               ? menu->items[static_cast<size_t>(*at)].title
               : std::string();
}

void PrepareMenus()
{
    // Pass: the action table: the window actions, then the edit and clear actions.
    for (int64_t a = 200; a <= 231; ++a)
        AddMenuAction({a, a, "", "", "", "", ""});
    for (int64_t a = 110; a <= 114; ++a)
        AddMenuAction({a, a, "", "", "", "", ""});
    AddMenuAction({SAVE_PRINTER_TAG, ACTION_SAVE_DIALOG, "Drucker sichern",
                   "Der ganze Text des virtuellen Druckers", "Drucker.txt", "txt", ""});
    AddMenuAction({SAVE_CONSOLE_TAG, ACTION_SAVE_DIALOG, "Konsole sichern",
                   "Der ganze Text der Systemkonsole", "Konsole.txt", "txt", ""});

    // Pass: the menu bar, as the interface describes it. No backend adds standard items of
    // its own, so there are none to remove.
    SetMenuBar(ApplicationInterface().menus);
}

void SetMenuBar(std::vector<platform::Menu> menus)
{
    ChangeMenuBar([&](std::vector<platform::Menu>& bar) {
        bar = std::move(menus);
        enable_graphic_window_items(bar);
    });
}

void UpdateGraphicWindowItems()
{
    ChangeMenuBar([](std::vector<platform::Menu>& bar) { enable_graphic_window_items(bar); });
}

void ChangeMenuBar(const std::function<void(std::vector<platform::Menu>&)>& change)
{
    // Changed and pushed on the event thread, so the window system gets the changes in order.
    platform::run_on_event_thread(
        [&] {
            std::vector<platform::Menu> shown;
            {
                std::lock_guard lock(menu_mutex);
                change(menu_bar);
                shown = menu_bar;
            }
            platform::window_system().set_menu_bar(shown);
        },
        true);
}

std::vector<platform::Menu> MenuBar()
{
    std::lock_guard lock(menu_mutex);
    return menu_bar;
}

uint8_t MainWindowNumber()
{
    return toolkit::key_window();
}

void Beep() { platform::beep(); }

std::string ClipboardText(std::string_view text)
{
    return platform::clipboard_text(text);
}

void CopyToPasteboard(const std::string& raw)
{
    const std::string text = ClipboardText(raw);
    platform::show([&](platform::WindowSystem& ws) { ws.set_pasteboard_text(text); });
    // A shown pasteboard window shows what was copied, as showing it would.
    if (toolkit::platform_window(platform::PASTEBOARD_WINDOW).state.visible)
        toolkit::set_window_text(platform::PASTEBOARD_WINDOW, text);
}

void PasteboardChanged()
{
    if (!toolkit::platform_window(platform::PASTEBOARD_WINDOW).state.visible)
        return;
    std::optional<std::string> text;
    platform::show([&](platform::WindowSystem& ws) { text = ws.pasteboard_text(); });
    // The echo of what the window already shows (its own edit, a copy made here) changes
    // nothing.
    if (text.value_or("") != toolkit::window_text(platform::PASTEBOARD_WINDOW))
        toolkit::set_window_text(platform::PASTEBOARD_WINDOW, text.value_or(""));
}

std::string OpenFileDialog(const std::string& title, const std::string& message,
                           const std::string& file_types, bool choose_files,
                           bool choose_directories)
{
    platform::OpenDialogOptions options;
    options.title = title;
    options.message = message;
    options.confirm_title = choose_directories ? ChooseButtonTitle : OpenButtonTitle;
    options.file_types = split_types(file_types);
    options.choose_files = choose_files;
    options.choose_directories = choose_directories;
    std::string path;
    platform::show([&](platform::WindowSystem& ws) { path = ws.open_file_dialog(options); });
    return without_scheme(path);
}

std::string SaveFileDialog(const std::string& proposed_name, const std::string& title,
                           const std::string& message, const std::string& file_types)
{
    platform::SaveDialogOptions options;
    options.title = title;
    options.message = message;
    options.confirm_title = "Sichern";
    options.name_label = "Sichern unter:";
    options.proposed_name = proposed_name;
    options.file_types = split_types(file_types);
    std::string path;
    platform::show([&](platform::WindowSystem& ws) { path = ws.save_file_dialog(options); });
    return without_scheme(path);
}

std::string CopyTableText(std::string_view screen_text)
{
    std::string out;
    out.reserve(screen_text.size());
    // The symbols 127 to 160 have no character of their own; the screen shows their stand-ins.
    for (char32_t c : platform::decode_utf8(screen_text))
        platform::append_utf8(out, c <= 0xFF ? toolkit::shown_character(static_cast<uint8_t>(c)) : c);
    return out;
}

void ResetMenus()
{
    std::lock_guard lock(menu_mutex);
    action_table.clear();
    menu_events.clear();
    menu_handler = nullptr;
    paste_handler = nullptr;
    menu_bar.clear();
    MenuPending = false;
}
