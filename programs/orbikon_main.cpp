// programs/orbikon_main.cpp: program entry. Chooses the window system, installs it,
// connects its reports to the shell and runs its event loop.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/terminal/terminal.h"
#include "platform/window_system.h"
#include "programs/headless_run.h"
#include "programs/mainloop.h"
#include "shell/app_delegate.h"
#include "shell/startup.h"
#ifdef ORBIKON_DESKTOP
#include "platform/qt/desktop.h"
#endif

namespace {

constexpr const char* USAGE =
    "Aufruf: orbikon [--desktop | --terminal | --headless --input EINGABE --screen BILDSCHIRM "
    "[--printer DRUCKER] [--image BILD.png] [--timeout SEKUNDEN]]\n";

// Exit status of a start that found nothing to show the program on.
constexpr int NO_FRONT_END_STATUS = 2;

enum class Backend { Headless, Desktop, Terminal, None };

// What the command line asked for.
struct StartRequest {
    bool headless = false;
    bool desktop = false;
    bool terminal = false;
};

// Whether this build has the desktop and a display to open it on.
bool desktop_available()
{
#ifdef ORBIKON_DESKTOP
    return platform::qt::display_available();
#else
    return false;
#endif
}

// The one place that picks the window system. The flags win; without one, the desktop
// serves when there is a display, else the terminal when standard input and output are
// one. A further backend adds its flag and the condition of its default here.
Backend choose_backend(const StartRequest& request, bool display, bool interactive)
{
    if (request.headless)
        return Backend::Headless;
    if (request.desktop)
        return Backend::Desktop;
    if (display && !request.terminal)
        return Backend::Desktop;
    if (interactive) // asked for with --terminal, or by default
        return Backend::Terminal;
    return Backend::None;
}

// In the terminal the application ends with a key once the program has ended, as there is
// no other window to close.
void quit_on_key_after_program_end()
{
    platform::WindowSystem& ws = platform::window_system();
    platform::WindowEvents events = ws.events();
    events.key_down = [key_down = events.key_down](const platform::KeyReport& report) {
        if (ProgramEnded)
            platform::window_system().quit_event_loop();
        else if (key_down)
            key_down(report);
    };
    ws.set_events(std::move(events));
}

// Exits with a German message on standard error; status 2 marks a bad command line.
[[noreturn]] void usage_error(const std::string& message)
{
    std::cerr << "orbikon: " << message << "\n" << USAGE;
    std::exit(2);
}

HeadlessOptions parse_arguments(int argc, char** argv, StartRequest& request)
{
    HeadlessOptions options;
    request = {};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc)
                usage_error(std::string("Der Option ") + name + " fehlt ihr Wert.");
            return argv[++i];
        };
        if (arg == "--headless") {
            request.headless = true;
        } else if (arg == "--terminal") {
            request.terminal = true;
        } else if (arg == "--desktop") {
            request.desktop = true;
        } else if (arg == "--input") {
            options.input_path = value("--input");
        } else if (arg == "--screen") {
            options.screen_path = value("--screen");
        } else if (arg == "--printer") {
            options.printer_path = value("--printer");
        } else if (arg == "--image") {
            options.image_path = value("--image");
        } else if (arg == "--timeout") {
            const std::string text = value("--timeout");
            char* end = nullptr;
            const double seconds = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !(seconds > 0))
                usage_error("Ung\xC3\xBCltige Zeitgrenze: " + text);
            options.timeout_seconds = seconds;
        } else {
            usage_error("Unbekannte Option: " + arg);
        }
    }
    if (request.headless + request.terminal + request.desktop > 1)
        usage_error("--headless, --terminal und --desktop schlie\xC3\x9F" "en einander aus.");
#ifndef ORBIKON_DESKTOP
    if (request.desktop)
        usage_error("Dieses orbikon wurde ohne Desktop gebaut.");
#endif
    if (request.headless && (options.input_path.empty() || options.screen_path.empty()))
        usage_error("--headless braucht --input und --screen.");
    if (!request.headless && (!options.input_path.empty() || !options.screen_path.empty() ||
                      !options.printer_path.empty() || !options.image_path.empty()))
        usage_error("--input, --screen, --printer und --image gelten nur mit --headless.");
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    platform::keep_freed_memory();
    StartRequest request;
    HeadlessOptions options = parse_arguments(argc, argv, request);

    switch (choose_backend(request, desktop_available(), platform::terminal::is_interactive())) {
    case Backend::None:
        std::cerr << "orbikon: Weder Anzeige noch Terminal gefunden. Starten Sie orbikon auf "
                     "einem Desktop, in einem Terminal oder mit --headless --input EINGABE "
                     "--screen BILDSCHIRM.\n";
        return NO_FRONT_END_STATUS;
    case Backend::Desktop: {
#ifdef ORBIKON_DESKTOP
        platform::WindowSystem* desktop = platform::qt::start_desktop(argc, argv);
        if (!desktop) {
            std::cerr << "orbikon: Die Anzeige l\xC3\xA4sst sich nicht \xC3\xB6" "ffnen.\n";
            return NO_FRONT_END_STATUS;
        }
        platform::set_window_system(desktop);
        connect_shell(mainloop);
        desktop->run_event_loop();
        platform::qt::finish_desktop();
#endif
        std::fflush(stdout);
        std::_Exit(0);
    }
    case Backend::Headless: {
        std::optional<std::u32string> keys = read_key_file(options.input_path);
        if (!keys)
            usage_error("Die Eingabedatei " + options.input_path +
                        " kann nicht gelesen werden.");
        platform::set_window_system(&platform::headless());
        connect_shell(mainloop);
        start_headless_driver(std::move(*keys), options);
        break;
    }
    case Backend::Terminal:
        if (!platform::terminal::start(platform::cache_folder() + "console.log")) {
            std::cerr << "orbikon: Das Terminal l\xC3\xA4sst sich nicht in den Rohmodus "
                         "schalten.\n";
            return NO_FRONT_END_STATUS;
        }
        platform::set_window_system(&platform::terminal::backend());
        connect_shell(mainloop);
        quit_on_key_after_program_end();
        break;
    }
    platform::window_system().run_event_loop();
    platform::terminal::stop();
    std::fflush(stdout);
    std::fflush(stderr);
    // The program thread may sit in WaitKey for ever; end without unwinding it.
    std::_Exit(0);
}
