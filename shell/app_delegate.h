// shell/app_delegate.h: the application delegate (references to the interface, window and
// application callbacks) and the connection of the window system's reports to the shell.
#pragma once

#include "platform/window_system.h"
#include "shell/interface.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

// Builds the described windows that do not exist yet; the menus come with PrepareMenus.
void BuildInterface(const InterfaceDescription& description);

// True after the application became active, false after it resigned.
extern std::atomic<bool> ApplicationActive;

// Replaces the function applicationWillTerminate calls (initially one that does nothing).
void SetTerminationHandler(std::function<void()> handler);

// Our windows are addressed by their numbers already, so a window's number is itself;
// anything that is not one of the 13 windows is 255.
uint8_t WindowNumberOf(uint8_t window);

// Hides a window whose close box was clicked and prints its line.
void t_MouseEventPostCloseBoxClick(uint8_t window);

// The pasteboard text view: Menlo 12, empty. Our text views substitute nothing, so plain
// editing needs no step of its own.
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

    // Fills the references from the windows that were built.
    void connect();

    void MenuHandler(const platform::MenuChoice& choice);
    void ButtonHandler() {}
    // Hides the window instead; the window system never closes it. Closing the last shown
    // window quits, as is usual on Linux, where no global menu bar would be left.
    bool windowShouldClose(uint8_t window);
    void windowWillClose(uint8_t) {}
    // Lays out the scroll view and ruler of a resized text window.
    void windowDidResize(uint8_t window);
    // The user made a window the key window; a hidden one is shown first.
    void windowDidBecomeKey(uint8_t window);
    bool applicationShouldTerminateAfterLastWindowClosed() { return false; }
    void applicationDidBecomeActive();
    void applicationWillResignActive();
    void applicationWillTerminate();
};

AppDelegate& app_delegate();

// Builds the interface, connects the delegate and sends every report of the window system
// to the shell: display, launch (program on the program thread), views, menus, close box,
// resize, activation; also gives the toolkit the menu preparation, the pasteboard view
// set-up and the views' drawing, and the console its feed. Called once, before the event
// loop runs.
void connect_shell(std::function<void()> program);

// Ends the application: stops the refresh thread and quits the event loop, which reports
// the termination first.
void QuitApplication();
// The user hid or closed a window: with none left on screen nothing could bring one back,
// so the application quits.
void QuitWhenNoWindowShown();
