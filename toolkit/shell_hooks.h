// toolkit/shell_hooks.h: what the toolkit needs of the shell, which it cannot link.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace toolkit {

// The shell sets these at launch; a hook that needs the event thread goes there itself.
struct ShellHooks {
    std::function<void()> prepare_menus;         // menu preparation, before any window
    std::function<void()> setup_pasteboard_view; // pasteboard text view set-up
    // Whether window n's view exists; unset: asks the window system for a graphic window n.
    std::function<bool(uint8_t)> find_view;
    std::function<void(int64_t code, bool wait)> pause_on_key; // the Ctrl-S pause check
    std::function<std::string()> application_name;             // bundle file name; unset: "Orbikon"
    // The view of graphic window n draws (on the event thread); unset: its frame as it is.
    std::function<void(uint8_t)> draw_view;
    // Graphic window n was initialised, or failed to be (the menus offer only ready windows).
    std::function<void(uint8_t)> window_ready_changed;
};
ShellHooks& shell_hooks();

} // namespace toolkit
