// shell/app_delegate.h: the application delegate (references to the interface, window and
// application callbacks) and the interface description that every window system builds.
#pragma once

#include "platform/window_system.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The interface description: the windows by number and the menus with their tagged items.
struct WindowDescription {
    uint8_t number = platform::NO_WINDOW;
    platform::WindowSpec layout;
};
struct MenuDescription {
    std::string title;
    std::vector<platform::MenuItem> items; // a separator has an empty title and tag 0
};
struct InterfaceDescription {
    std::vector<WindowDescription> windows;
    std::vector<MenuDescription> menus;
};

// The menu item that quits the application; handled by the delegate, not by the action table.
constexpr int64_t QUIT_TAG = 1;

// The application's own interface, declared once.
const InterfaceDescription& ApplicationInterface();
// Creates every described window and menu that does not exist yet.
void BuildInterface(platform::WindowSystem& ws, const InterfaceDescription& description);

// True after the application became active, false after it resigned.
extern std::atomic<bool> ApplicationActive;

// Replaces the function applicationWillTerminate calls (initially one that does nothing).
void SetTerminationHandler(std::function<void()> handler);

// Our windows are addressed by their numbers already, so a window's number is itself;
// anything that is not one of the 13 windows is 255.
uint8_t WindowNumberOf(uint8_t window);

// Hides a window whose close box was clicked and prints its line.
void t_MouseEventPostCloseBoxClick(uint8_t window);

// The pasteboard text view: plain editing, Menlo 12, empty, redrawn.
void SetupPasteboardTextView();

// The delegate: references to the parts of the interface (empty until connected) and the
// callbacks of the window system. The launch callbacks live in shell/startup.h.
struct AppDelegate {
    std::array<std::optional<uint8_t>, 8> t_View; // t_View00 .. t_View07
    std::optional<uint8_t> VirtualPrinterWindow;
    std::optional<uint8_t> VirtualPrinterScrollView;
    std::optional<uint8_t> VirtualPrinterTextView;
    std::optional<uint8_t> VirtualPrinterRuler;
    std::optional<uint8_t> SystemConsoleWindow;
    std::optional<uint8_t> SystemConsoleScrollView;
    std::optional<uint8_t> SystemConsoleTextView;
    std::optional<uint8_t> SystemConsoleRuler;
    std::optional<uint8_t> PasteboardWindow;
    std::optional<uint8_t> PasteboardScrollView;
    std::optional<uint8_t> PasteboardTextView;
    std::optional<uint8_t> MainWindow;
    std::optional<uint8_t> PreferencesWindow;

    // Fills the references from what the window system has built.
    void connect(platform::WindowSystem& ws);

    void MenuHandler(const platform::MenuChoice& choice);
    void ButtonHandler() {}
    // Hides the window instead; the window system never closes it.
    bool windowShouldClose(uint8_t window);
    void windowWillClose(uint8_t) {}
    // Lays out the scroll view and ruler of a resized text window.
    void windowDidResize(uint8_t window);
    bool applicationShouldTerminateAfterLastWindowClosed() { return false; }
    void applicationDidBecomeActive();
    void applicationWillResignActive();
    void applicationWillTerminate();
};

AppDelegate& app_delegate();

// Builds the interface, connects the delegate and sends every report of the window system
// to the shell: launch (program on the program thread), views, menus, close box, resize;
// also gives the toolkit the menu preparation and the pasteboard view set-up. Called once,
// before the event loop runs.
void connect_shell(std::function<void()> program);
