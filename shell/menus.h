// shell/menus.h: the menu bar, the one handler of every menu command, its table of built-in
// actions, the menu event list, menu item look-ups, the menu preparation, dialogs and Beep.
#pragma once

#include "platform/window_system.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One menu command; Kind 3 from a menu item, 0 when the item belongs to no menu.
struct t_MenuEvent {
    int64_t Kind = 0;
    std::string MenuTitle;
    std::string ItemTitle;
    std::string ItemKeyChar;  // the key equivalent's character, empty when none
    uint64_t ItemKeyMods = 0; // modifier word of the key equivalent
    int64_t ItemKeyAsc = 0;   // first Unicode scalar of ItemKeyChar, 0 when empty
    int64_t ItemAction = 0;   // the item's tag
    int64_t Time = 0;         // milliseconds
};

// One entry of the action table; the texts serve the file dialogs (actions 100 and 101).
struct t_MenuAction {
    int64_t Tag = 0;
    int64_t Action = 0;
    std::string Title;
    std::string Note;
    std::string FileName;  // chosen file; for 101 also the proposed name
    std::string FileTypes; // comma-separated; empty allows all
    std::string FilePath;  // full path of the chosen file
};

// Built-in actions
constexpr int64_t ACTION_OPEN_DIALOG = 100;
constexpr int64_t ACTION_SAVE_DIALOG = 101;
constexpr int64_t ACTION_COPY_PICTURE = 110;
constexpr int64_t ACTION_COPY_TEXT = 111;
constexpr int64_t ACTION_CLEAR_PRINTER = 112;
constexpr int64_t ACTION_PASTE = 113;
constexpr int64_t ACTION_CLEAR_CONSOLE = 114;
constexpr int64_t ACTION_HIDE_ALL = 200;
constexpr int64_t ACTION_HIDE_MAIN_WINDOW = 201;
constexpr int64_t ACTION_SHOW_APP_WINDOW = 205;
constexpr int64_t ACTION_HIDE_APP_WINDOW = 206;
constexpr int64_t ACTION_SHOW_PREFERENCES = 207;
constexpr int64_t ACTION_HIDE_PREFERENCES = 208;
constexpr int64_t ACTION_SHOW_PRINTER = 209;
constexpr int64_t ACTION_HIDE_PRINTER = 210;
constexpr int64_t ACTION_SHOW_PASTEBOARD = 211;
constexpr int64_t ACTION_HIDE_PASTEBOARD = 212;
// 213 + 2n shows graphic window n, 214 + 2n hides it (n = 0..7).
constexpr int64_t ACTION_SHOW_GRAPHIC_0 = 213;
constexpr int64_t ACTION_HIDE_GRAPHIC_7 = 228;
constexpr int64_t ACTION_SHOW_CONSOLE = 229;
constexpr int64_t ACTION_HIDE_CONSOLE = 230;

// Set true by every command.
extern std::atomic<bool> MenuPending;

// Confirm button titles of the open dialog ("Öffnen", "Wählen"); set before use.
extern std::string OpenButtonTitle;
extern std::string ChooseButtonTitle;

// The action table
// Appends an entry; look-ups take the first entry with the tag.
void AddMenuAction(const t_MenuAction& action);
std::vector<t_MenuAction> MenuActions();
// The first entry with the tag (with the dialog results of its last run), nullopt if none.
std::optional<t_MenuAction> MenuActionForTag(int64_t tag);

// The menu event list, appended by every command and never emptied by the shell.
std::vector<t_MenuEvent> MenuEvents();
int64_t MenuEventCount();

// The program's menu handler, run on a thread of its own for commands without a built-in
// action; empty restores the default, which does nothing.
void SetMenuHandler(std::function<void()> handler);
// Run by action 113 in a graphic window; empty restores the default, Beep.
void SetPasteHandler(std::function<void()> handler);

// What the built-in actions need of the programs layer, which the shell cannot link.
struct MenuHooks {
    std::function<void()> clear_printer_buffer; // empties VirtualPrinterBuffer
};
MenuHooks& menu_hooks();

// The target of every menu item (event thread).
void t_MenuEventHandler(const platform::MenuChoice& item);

// The menu bar: the shell's own record of every menu and item, shown by the window system
// The whole bar, replaced and shown.
void SetMenuBar(std::vector<platform::Menu> menus);
// Offers the graphic windows' Fenster items of the windows initialised by now, and no other.
void UpdateGraphicWindowItems();
// Runs change on the bar and shows the result (any thread; waits for the event thread).
void ChangeMenuBar(const std::function<void(std::vector<platform::Menu>&)>& change);
std::vector<platform::Menu> MenuBar();

// Menu items by menu title and position from 0 (65535 means the last item)
// Position of the first item titled itemTitle; -1 none; -2 no such menu.
int64_t t_MenuItemIndex(const std::string& menu_title, const std::string& item_title);
void t_MenuItemDelete(const std::string& menu_title, int64_t position);
// The item's title; empty on failure.
std::string t_MenuItemTitle(const std::string& menu_title, int64_t position);

// The menu preparation: fills the action table and sets the menu bar the interface
// describes. Once per process (the toolkit calls it).
void PrepareMenus();

// The main window's number; 255 when there is none.
uint8_t MainWindowNumber();

// The system's beep (platform/beep.h): "sysbeep.aif", else the alert beep.
void Beep();

// Puts text on the system pasteboard as ClipboardText makes it; a shown pasteboard window
// shows it too.
void CopyToPasteboard(const std::string& text);

// The system clipboard changed (the window system's report): a shown pasteboard window
// shows its new text.
void PasteboardChanged();

// Text as other programs expect it on a clipboard (platform::clipboard_text, the one rule the
// desktop's text views copy by too): a line feed ends each line, and control codes other
// than LF and Tab become blanks, such as the 25 the printer keeps after a listing's address.
std::string ClipboardText(std::string_view text);

// Modal dialogs on the event thread; the chosen path without "file://", empty when cancelled.
std::string OpenFileDialog(const std::string& title, const std::string& message,
                           const std::string& file_types, bool choose_files,
                           bool choose_directories);
std::string SaveFileDialog(const std::string& proposed_name, const std::string& title,
                           const std::string& message, const std::string& file_types);

// A window's text (UTF-8, one scalar per cell) with the special codes 127 to 160 turned
// into plain characters, as the copy command puts it on the pasteboard.
std::string CopyTableText(std::string_view screen_text);

// For test fixtures: empties the action table, the event list and the menu bar, restores the
// handlers.
void ResetMenus();
