// shell/interface.h: the application's interface description: its windows by number and
// its menus with their tagged items.
#pragma once

#include "platform/window_system.h"

#include <cstdint>
#include <vector>

struct InterfaceDescription {
    std::vector<platform::WindowSpec> windows;
    std::vector<platform::Menu> menus; // a separator has an empty title and tag 0
};

// The menu item that quits the application; handled by the delegate, not by the action table.
constexpr int64_t QUIT_TAG = 1;
// Hilfe: the version, the licence and the libraries, in a message.
constexpr int64_t ABOUT_TAG = 2;
// Ablage: the printer's and the console's whole text to a file, through the save dialog.
constexpr int64_t SAVE_PRINTER_TAG = 120;
constexpr int64_t SAVE_CONSOLE_TAG = 121;

// The application's own interface, declared once.
const InterfaceDescription& ApplicationInterface();
