// shell/interface.cpp: the application's windows and menus.
#include "shell/interface.h"

#include "shell/menus.h"
#include "toolkit/window.h"

namespace {

using platform::MenuItem;
using platform::WindowKind;

constexpr uint64_t CMD = platform::MOD_COMMAND;
constexpr uint64_t CMD_SHIFT = platform::MOD_COMMAND | platform::MOD_SHIFT;
constexpr uint64_t CMD_OPTION = platform::MOD_COMMAND | platform::MOD_OPTION;

// A window of the description, hidden until the program shows it.
platform::WindowSpec window(uint8_t number, WindowKind kind, platform::Rect frame,
                            std::string title, bool ruler = false)
{
    platform::WindowSpec plan;
    plan.number = number;
    plan.kind = kind;
    plan.has_ruler = ruler;
    plan.state.frame = frame;
    plan.state.title = std::move(title);
    return plan;
}

MenuItem item(std::string title, int64_t tag, std::string key = "", uint64_t mods = 0)
{
    MenuItem i;
    i.title = std::move(title);
    i.tag = tag;
    i.key_char = std::move(key);
    i.key_mods = mods;
    return i;
}

MenuItem separator()
{
    return {};
}

InterfaceDescription make_interface()
{
    InterfaceDescription d;
    for (uint8_t n = 0; n < WINDOW_COUNT; ++n) {
        // t_InitWindow sizes the graphic windows; until then they are small and hidden.
        const double offset = 20.0 * n;
        d.windows.push_back(
            window(n, WindowKind::Graphic, {80 + offset, 80 + offset, 640, 428}, "Orbikon"));
    }
    d.windows.push_back(window(platform::PASTEBOARD_WINDOW, WindowKind::Text, {240, 200, 600, 400},
                               "Zwischenablage"));
    // The printer and the console open wide enough for a listing's 100 columns in their
    // 12-point font: 9.6 pixels a column at 96 dots per inch, plus the margins and the
    // scroll bar.
    d.windows.push_back(window(platform::PRINTER_WINDOW, WindowKind::Text, {60, 40, 1040, 640},
                               "Virtueller Drucker", true));
    d.windows.push_back(window(platform::CONSOLE_WINDOW, WindowKind::Text, {120, 60, 1040, 480},
                               "Systemkonsole", true));
    d.windows.push_back(window(platform::PREFERENCES_WINDOW, WindowKind::Plain,
                               {300, 300, 420, 260}, "Einstellungen"));
    d.windows.push_back(
        window(platform::MAIN_WINDOW, WindowKind::Plain, {200, 200, 480, 320}, "Orbikon"));

    // Every key equivalent holds Command: the programs read plain, Control and Option keys.
    d.menus.push_back({"Ablage",
                       {item("Drucker leeren", ACTION_CLEAR_PRINTER, "k", CMD),
                        item("Konsole leeren", ACTION_CLEAR_CONSOLE, "k", CMD_SHIFT), separator(),
                        item("Drucker sichern\xE2\x80\xA6", SAVE_PRINTER_TAG, "s", CMD),
                        item("Konsole sichern\xE2\x80\xA6", SAVE_CONSOLE_TAG, "s", CMD_SHIFT),
                        separator(),
                        item("Orbikon beenden", QUIT_TAG, "q", CMD)}});
    d.menus.push_back({"Bearbeiten",
                       {item("Text kopieren", ACTION_COPY_TEXT, "c", CMD),
                        item("Bild kopieren", ACTION_COPY_PICTURE, "c", CMD_SHIFT),
                        item("Einsetzen", ACTION_PASTE, "v", CMD)}});

    platform::Menu windows{"Fenster", {}};
    auto& w = windows.items;
    w.push_back(item("Fenster ausblenden", ACTION_HIDE_MAIN_WINDOW, "w", CMD));
    w.push_back(item("Alle Fenster ausblenden", ACTION_HIDE_ALL, "w", CMD_OPTION));
    w.push_back(separator());
    w.push_back(item("Virtuellen Drucker zeigen", ACTION_SHOW_PRINTER, "p", CMD));
    w.push_back(item("Virtuellen Drucker ausblenden", ACTION_HIDE_PRINTER));
    w.push_back(item("Systemkonsole zeigen", ACTION_SHOW_CONSOLE, "k", CMD_OPTION));
    w.push_back(item("Systemkonsole ausblenden", ACTION_HIDE_CONSOLE));
    w.push_back(item("Zwischenablage zeigen", ACTION_SHOW_PASTEBOARD, "z", CMD_OPTION));
    w.push_back(item("Zwischenablage ausblenden", ACTION_HIDE_PASTEBOARD));
    // The preferences and main windows hold nothing to show yet: not offered. Their actions
    // stay in the table for programs that add items of their own.
    w.push_back(separator());
    for (int64_t n = 0; n < WINDOW_COUNT; ++n) {
        const std::string name = "Grafikfenster " + std::to_string(n);
        w.push_back(item(name + " zeigen", ACTION_SHOW_GRAPHIC_0 + 2 * n, std::to_string(n), CMD));
        w.push_back(item(name + " ausblenden", ACTION_SHOW_GRAPHIC_0 + 2 * n + 1));
    }
    d.menus.push_back(std::move(windows));

    d.menus.push_back({"Hilfe",
                       {item("\xC3\x9C"
                             "ber Orbikon",
                             ABOUT_TAG)}}); // Über
    return d;
}

} // namespace

const InterfaceDescription& ApplicationInterface()
{
    static const InterfaceDescription description = make_interface();
    return description;
}
