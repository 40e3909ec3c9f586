// shell/app_delegate.cpp: the interface description and the application delegate.
#include "shell/app_delegate.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "shell/events.h"
#include "shell/menus.h"
#include "shell/startup.h"
#include "shell/views.h"
#include "toolkit/geometry.h"
#include "toolkit/render.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/window.h"

#include <mutex>

std::atomic<bool> ApplicationActive{false};

namespace {

using platform::MenuItem;
using platform::WindowKind;
using platform::WindowSpec;

constexpr uint64_t CMD = platform::MOD_COMMAND;
constexpr uint64_t CMD_SHIFT = platform::MOD_COMMAND | platform::MOD_SHIFT;
constexpr uint64_t CMD_OPTION = platform::MOD_COMMAND | platform::MOD_OPTION;

// Text-window layouts after a resize, in points.
constexpr double PASTEBOARD_INSET = 10;
constexpr double PRINTER_INSET = 20;
constexpr double RULER_GAP = 15;
constexpr double RULER_INSET = 48;
constexpr double RULER_HEIGHT = 19;

std::mutex termination_mutex;
std::function<void()> termination_handler; // guarded by termination_mutex

MenuItem item(std::string title, int64_t tag, std::string key = "", uint64_t mods = 0)
{
    return {std::move(title), tag, std::move(key), mods};
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
            {n,
             {WindowKind::Graphic, {80 + offset, 80 + offset, 640, 428}, "Orbikon", false, false}});
    }
    d.windows.push_back({platform::PASTEBOARD_WINDOW,
                         {WindowKind::Text, {240, 200, 600, 400}, "Zwischenablage", false, false}});
    d.windows.push_back(
        {platform::PRINTER_WINDOW,
         {WindowKind::Text, {60, 40, 760, 640}, "Virtueller Drucker", true, false}});
    d.windows.push_back({platform::CONSOLE_WINDOW,
                         {WindowKind::Text, {120, 60, 700, 480}, "Systemkonsole", true, false}});
    d.windows.push_back({platform::PREFERENCES_WINDOW,
                         {WindowKind::Plain, {300, 300, 420, 260}, "Einstellungen", false, false}});
    d.windows.push_back({platform::MAIN_WINDOW,
                         {WindowKind::Plain, {200, 200, 480, 320}, "Orbikon", false, false}});

    // Every key equivalent holds Command: the programs read plain, Control and Option keys.
    d.menus.push_back({"Ablage",
                       {item("Drucker leeren", ACTION_CLEAR_PRINTER, "k", CMD),
                        item("Konsole leeren", ACTION_CLEAR_CONSOLE, "k", CMD_SHIFT), separator(),
                        item("Orbikon beenden", QUIT_TAG, "q", CMD)}});
    d.menus.push_back({"Bearbeiten",
                       {item("Text kopieren", ACTION_COPY_TEXT, "c", CMD),
                        item("Bild kopieren", ACTION_COPY_PICTURE, "c", CMD_SHIFT),
                        item("Einsetzen", ACTION_PASTE, "v", CMD)}});

    MenuDescription windows{"Fenster", {}};
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
    w.push_back(item("Einstellungen zeigen", ACTION_SHOW_PREFERENCES, ",", CMD));
    w.push_back(item("Einstellungen ausblenden", ACTION_HIDE_PREFERENCES));
    w.push_back(item("Hauptfenster zeigen", ACTION_SHOW_APP_WINDOW));
    w.push_back(item("Hauptfenster ausblenden", ACTION_HIDE_APP_WINDOW));
    w.push_back(separator());
    for (int64_t n = 0; n < WINDOW_COUNT; ++n) {
        const std::string name = "Grafikfenster " + std::to_string(n);
        w.push_back(item(name + " zeigen", ACTION_SHOW_GRAPHIC_0 + 2 * n, std::to_string(n), CMD));
        w.push_back(item(name + " ausblenden", ACTION_SHOW_GRAPHIC_0 + 2 * n + 1));
    }
    d.menus.push_back(std::move(windows));

    // Tag 0: the command goes to the program's menu handler.
    d.menus.push_back({"Hilfe",
                       {item("\xC3\x9C"
                             "ber Orbikon",
                             0)}}); // Über
    return d;
}

void quit_application()
{
    app_delegate().applicationWillTerminate();
    // The refresh thread reads the video memory; it must be gone before the process
    // tears its globals down.
    toolkit::stop_auto_update();
    platform::window_system().quit_event_loop();
}

} // namespace

const InterfaceDescription& ApplicationInterface()
{
    static const InterfaceDescription description = make_interface();
    return description;
}

void BuildInterface(platform::WindowSystem& ws, const InterfaceDescription& description)
{
    for (const auto& w : description.windows) {
        if (!ws.window_exists(w.number))
            ws.create_window(w.number, w.layout);
    }
    for (const auto& m : description.menus) {
        if (ws.menu_exists(m.title))
            continue;
        ws.add_menu(m.title);
        for (const auto& i : m.items)
            ws.add_menu_item(m.title, i);
    }
}

void SetTerminationHandler(std::function<void()> handler)
{
    std::lock_guard lock(termination_mutex);
    termination_handler = std::move(handler);
}

uint8_t WindowNumberOf(uint8_t window)
{
    return window < platform::WINDOW_NUMBER_COUNT ? window : platform::NO_WINDOW;
}

void t_MouseEventPostCloseBoxClick(uint8_t window)
{
    t_WindowVisible(window, false);
    diag_line("t_MouseEventPostCloseBoxClick", "Window = " + std::to_string(window));
}

void SetupPasteboardTextView()
{
    platform::run_on_event_thread(
        [] {
            auto& ws = platform::window_system();
            const uint8_t n = platform::PASTEBOARD_WINDOW;
            if (!ws.has_text_view(n))
                return; // an unconnected view: nothing to set up
            ws.set_plain_text_editing(n);
            ws.set_text_font(n, "Menlo", 12);
            ws.set_text(n, "");
            ws.mark_text_for_redraw(n);
        },
        true);
}

void AppDelegate::connect(platform::WindowSystem& ws)
{
    auto graphic = [&](uint8_t n) -> std::optional<uint8_t> {
        if (ws.window_exists(n) && ws.window_kind(n) == WindowKind::Graphic)
            return n;
        return std::nullopt;
    };
    auto window = [&](uint8_t n) -> std::optional<uint8_t> {
        if (ws.window_exists(n))
            return n;
        return std::nullopt;
    };
    auto text = [&](uint8_t n) -> std::optional<uint8_t> {
        if (ws.has_text_view(n))
            return n;
        return std::nullopt;
    };
    auto ruler = [&](uint8_t n) -> std::optional<uint8_t> {
        if (ws.has_ruler(n))
            return n;
        return std::nullopt;
    };
    for (uint8_t n = 0; n < WINDOW_COUNT; ++n)
        t_View[n] = graphic(n);
    VirtualPrinterWindow = window(platform::PRINTER_WINDOW);
    VirtualPrinterScrollView = text(platform::PRINTER_WINDOW);
    VirtualPrinterTextView = text(platform::PRINTER_WINDOW);
    VirtualPrinterRuler = ruler(platform::PRINTER_WINDOW);
    SystemConsoleWindow = window(platform::CONSOLE_WINDOW);
    SystemConsoleScrollView = text(platform::CONSOLE_WINDOW);
    SystemConsoleTextView = text(platform::CONSOLE_WINDOW);
    SystemConsoleRuler = ruler(platform::CONSOLE_WINDOW);
    PasteboardWindow = window(platform::PASTEBOARD_WINDOW);
    PasteboardScrollView = text(platform::PASTEBOARD_WINDOW);
    PasteboardTextView = text(platform::PASTEBOARD_WINDOW);
    MainWindow = window(platform::MAIN_WINDOW);
    PreferencesWindow = window(platform::PREFERENCES_WINDOW);
}

void AppDelegate::MenuHandler(const platform::MenuChoice& choice)
{
    if (choice.in_menu && choice.item.tag == QUIT_TAG) {
        quit_application();
        return;
    }
    t_MenuEventHandler(choice);
}

bool AppDelegate::windowShouldClose(uint8_t window)
{
    t_MouseEventPostCloseBoxClick(WindowNumberOf(window));
    return false;
}

void AppDelegate::windowDidResize(uint8_t window)
{
    // The resized window itself decides the layout (the key window when the user drags).
    const uint8_t n = WindowNumberOf(window);
    auto& ws = platform::window_system();
    if (n == platform::NO_WINDOW || !ws.window_exists(n))
        return;
    const platform::Rect frame = ws.window_frame(n);
    const double w = frame.width;
    const double h = frame.height;
    const auto title = static_cast<double>(TitleBarHeight.load());
    if (n == platform::PASTEBOARD_WINDOW) {
        ws.set_scroll_view_frame(
            n, {PASTEBOARD_INSET, 0, w - 2 * PASTEBOARD_INSET, h - 2 * PASTEBOARD_INSET - title});
        return;
    }
    if (n == platform::PRINTER_WINDOW || n == platform::CONSOLE_WINDOW) {
        ws.set_scroll_view_frame(n, {PRINTER_INSET, 0, w - 2 * PRINTER_INSET,
                                     h - 2 * PRINTER_INSET - title - RULER_GAP});
        const platform::Rect ruler = ws.ruler_frame(n);
        ws.set_ruler_frame(n, {ruler.x, ruler.y, w - RULER_INSET, RULER_HEIGHT});
    }
}

void AppDelegate::applicationDidBecomeActive()
{
    ApplicationActive = true;
}

void AppDelegate::applicationWillResignActive()
{
    ApplicationActive = false;
}

void AppDelegate::applicationWillTerminate()
{
    diag_line("applicationWillTerminate", "Called.");
    std::function<void()> handler;
    {
        std::lock_guard lock(termination_mutex);
        handler = termination_handler;
    }
    if (handler)
        handler();
}

AppDelegate& app_delegate()
{
    static AppDelegate delegate;
    return delegate;
}

void connect_shell(std::function<void()> program)
{
    platform::WindowSystem& ws = platform::window_system();
    BuildInterface(ws, ApplicationInterface());
    app_delegate().connect(ws);

    platform::WindowEvents events = ws.events();
    events.will_finish_launching = [] { applicationWillFinishLaunching(); };
    events.did_finish_launching = [program = std::move(program)] {
        applicationDidFinishLaunching(program);
    };
    events.active_changed = [](bool active) {
        if (active)
            app_delegate().applicationDidBecomeActive();
        else
            app_delegate().applicationWillResignActive();
    };
    events.will_terminate = [] { app_delegate().applicationWillTerminate(); };
    events.key_down = [](const platform::KeyReport& r) { viewKeyDown(r.window, r); };
    events.key_up = [](const platform::KeyReport& r) { viewKeyUp(r.window, r); };
    events.modifiers_changed = [](uint64_t modifiers) { viewFlagsChanged(modifiers); };
    events.mouse_down = [](const platform::MouseReport& r) { viewMouseDown(r.window, r, r.right); };
    events.mouse_up = [](const platform::MouseReport& r) { viewMouseUp(r.window, r); };
    events.menu_chosen = [](const platform::MenuChoice& c) { app_delegate().MenuHandler(c); };
    events.close_box = [](uint8_t window) { app_delegate().windowShouldClose(window); };
    events.window_resized = [](uint8_t window) { app_delegate().windowDidResize(window); };
    events.draw_view = [](uint8_t window) { viewDraw(window); };
    ws.set_events(std::move(events));

    InstallEventHooks();
    auto& hooks = toolkit::shell_hooks();
    hooks.prepare_menus = [] { PrepareMenus(); };
    hooks.setup_pasteboard_view = [] { SetupPasteboardTextView(); };
}
