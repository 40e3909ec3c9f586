// programs/orbikon_main.cpp: program entry. Connects the window system's reports to the
// shell and, with --headless, types keys from a file and writes the screen's text.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/terminal/terminal.h"
#include "platform/window_system.h"
#include "programs/headless_run.h"
#include "programs/mainloop.h"
#include "programs/terminal_run.h"
#ifdef ORBIKON_DESKTOP
#include "platform/qt/desktop.h"
#endif
#include "shell/events.h"
#include "shell/startup.h"

namespace {

constexpr const char* USAGE =
    "Aufruf: orbikon [--desktop | --headless --input EINGABE --screen BILDSCHIRM [--printer DRUCKER] "
    "[--image BILD.png] [--timeout SEKUNDEN]]\n";

// Exits with a German message on standard error; status 2 marks a bad command line.
[[noreturn]] void usage_error(const std::string& message)
{
    std::cerr << "orbikon: " << message << "\n" << USAGE;
    std::exit(2);
}

HeadlessOptions parse_arguments(int argc, char** argv, bool& headless, bool& desktop)
{
    HeadlessOptions options;
    headless = false;
    desktop = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc)
                usage_error(std::string("Der Option ") + name + " fehlt ihr Wert.");
            return argv[++i];
        };
        if (arg == "--headless") {
            headless = true;
        } else if (arg == "--desktop") {
            desktop = true;
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
    if (headless && desktop)
        usage_error("--headless und --desktop schlie\xC3\x9F" "en einander aus.");
    if (headless && (options.input_path.empty() || options.screen_path.empty()))
        usage_error("--headless braucht --input und --screen.");
    if (!headless && (!options.input_path.empty() || !options.screen_path.empty() ||
                      !options.printer_path.empty() || !options.image_path.empty()))
        usage_error("--input, --screen, --printer und --image gelten nur mit --headless.");
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    bool headless = false;
    bool desktop = false;
    HeadlessOptions options = parse_arguments(argc, argv, headless, desktop);

    std::optional<std::u32string> keys;
    if (headless) {
        keys = read_key_file(options.input_path);
        if (!keys)
            usage_error("Die Eingabedatei " + options.input_path +
                        " kann nicht gelesen werden.");
    }

#ifdef ORBIKON_DESKTOP
    // A display wins over the terminal; --desktop asks for it whatever the environment says.
    if (!headless && (desktop || platform::qt::display_available())) {
        platform::WindowSystem* backend = platform::qt::start_desktop(argc, argv);
        if (!backend) {
            std::cerr << "orbikon: Es gibt keine Anzeige, auf der sich Fenster \xC3\xB6" "ffnen lassen.\n";
            return 2;
        }
        platform::set_window_system(backend);
        connect_shell(mainloop);
        backend->run_event_loop();
        platform::qt::finish_desktop();
        // The program thread may sit in WaitKey for ever; end without unwinding it.
        std::fflush(stdout);
        std::_Exit(0);
    }
#else
    if (desktop)
        usage_error("Dieses orbikon wurde ohne Desktop gebaut.");
#endif

    connect_shell(mainloop);
    if (headless)
        start_headless_driver(std::move(*keys), options);
    else if (platform::terminal::is_interactive() &&
             RunInTerminal(platform::cache_folder() + "console.log") != 0)
        std::cerr << "orbikon: Das Terminal l\xC3\xA4sst sich nicht in den Rohmodus schalten.\n";
    platform::window_system().run_event_loop();
    return 0;
}
