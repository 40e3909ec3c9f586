// shell/app_delegate.cpp: the application delegate and the reports of the window system.
#include "shell/app_delegate.h"

#include "platform/console_capture.h"
#include "platform/diag.h"
#include "platform/platform.h"
#include "shell/about.h"
#include "shell/events.h"
#include "shell/menus.h"
#include "shell/startup.h"
#include "shell/views.h"
#include "toolkit/geometry.h"
#include "toolkit/platform_windows.h"
#include "toolkit/render.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/window.h"

#include <mutex>

std::atomic<bool> ApplicationActive{false};

namespace {

std::mutex termination_mutex;
std::function<void()> termination_handler; // guarded by termination_mutex

bool any_window_shown()
{
    for (uint8_t n = 0; n < platform::WINDOW_NUMBER_COUNT; ++n) {
        if (toolkit::platform_window(n).state.visible)
            return true;
    }
    return false;
}

} // namespace

void BuildInterface(const InterfaceDescription& description)
{
    toolkit::build_platform_windows(description.windows);
}

void QuitApplication()
{
    // The refresh thread reads the video memory; it must be gone before the process
    // tears its globals down.
    toolkit::stop_auto_update();
    platform::window_system().quit_event_loop();
}

void QuitWhenNoWindowShown()
{
    if (!any_window_shown())
        QuitApplication();
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
    const uint8_t n = platform::PASTEBOARD_WINDOW;
    if (toolkit::platform_window(n).kind != platform::WindowKind::Text)
        return; // an unconnected view: nothing to set up
    toolkit::change_platform_window(n, [](toolkit::PlatformWindow& w) {
        w.state.font_family = "Menlo";
        w.state.font_points = 12;
    });
    toolkit::clear_window_text(n);
}

void AppDelegate::connect()
{
    auto graphic = [&](uint8_t n) -> std::optional<uint8_t> {
        const toolkit::PlatformWindow w = toolkit::platform_window(n);
        if (w.exists && w.kind == platform::WindowKind::Graphic)
            return n;
        return std::nullopt;
    };
    auto window = [&](uint8_t n) -> std::optional<uint8_t> {
        if (toolkit::platform_window_exists(n))
            return n;
        return std::nullopt;
    };
    auto text = [&](uint8_t n) -> std::optional<uint8_t> {
        if (toolkit::platform_window(n).kind == platform::WindowKind::Text)
            return n;
        return std::nullopt;
    };
    auto ruler = [&](uint8_t n) -> std::optional<uint8_t> {
        if (toolkit::platform_window(n).has_ruler)
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
        QuitApplication();
        return;
    }
    if (choice.in_menu && choice.item.tag == ABOUT_TAG) {
        platform::window_system().show_message(choice.item.title, AboutText());
        return;
    }
    t_MenuEventHandler(choice);
}

bool AppDelegate::windowShouldClose(uint8_t window)
{
    t_MouseEventPostCloseBoxClick(WindowNumberOf(window));
    QuitWhenNoWindowShown();
    return false;
}

void AppDelegate::windowDidResize(uint8_t window)
{
    // The resized window itself decides the layout (the key window when the user drags).
    const uint8_t n = WindowNumberOf(window);
    if (n == platform::NO_WINDOW || toolkit::platform_window(n).kind != platform::WindowKind::Text)
        return;
    const auto title = static_cast<double>(TitleBarHeight.load());
    toolkit::change_platform_window(
        n, [&](toolkit::PlatformWindow& w) { toolkit::lay_out_text_window(n, w, title); });
}

void AppDelegate::windowDidBecomeKey(uint8_t window)
{
    const uint8_t n = WindowNumberOf(window);
    if (n == platform::NO_WINDOW || !toolkit::platform_window_exists(n))
        return;
    if (!toolkit::platform_window(n).state.visible)
        t_WindowVisible(n, true);
    toolkit::platform_window_activated(n);
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
    BuildInterface(ApplicationInterface());
    app_delegate().connect();

    platform::WindowEvents events = ws.events();
    events.display_changed = [](const platform::Display& d) { toolkit::display_changed(d); };
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
    events.window_resized = [](uint8_t window, const platform::Rect& frame) {
        toolkit::platform_window_resized(window, frame);
        app_delegate().windowDidResize(window);
    };
    events.window_activated = [](uint8_t window) { app_delegate().windowDidBecomeKey(window); };
    events.pasteboard_changed = [] { PasteboardChanged(); };
    ws.set_events(std::move(events));

    InstallEventHooks();
    auto& hooks = toolkit::shell_hooks();
    hooks.prepare_menus = [] { PrepareMenus(); };
    hooks.setup_pasteboard_view = [] { SetupPasteboardTextView(); };
    hooks.draw_view = [](uint8_t window) { viewDraw(window); };
    hooks.window_ready_changed = [](uint8_t) { UpdateGraphicWindowItems(); };
    platform::set_console_consumer(
        [](std::string text) { toolkit::append_window_text(platform::CONSOLE_WINDOW, text); });
}
