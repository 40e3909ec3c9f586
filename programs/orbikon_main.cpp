// programs/orbikon_main.cpp: program entry. Chooses the front end, installs its window
// system, connects its reports to the shell and runs its event loop.
#include "platform/headless/headless.h"
#include "platform/leaving.h"
#include "platform/platform.h"
#include "platform/terminal/terminal.h"
#include "platform/window_system.h"
#include "programs/headless_run.h"
#include "programs/mainloop.h"
#include "shell/app_delegate.h"
#include "shell/startup.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#ifdef ORBIKON_DESKTOP
#include "platform/qt/desktop.h"
#endif

namespace {

constexpr const char* USAGE =
    "Aufruf: orbikon [--desktop | --terminal | --headless --input EINGABE --screen BILDSCHIRM "
    "[--printer DRUCKER] [--image BILD.png [--window N]] [--timeout SEKUNDEN]]\n";

constexpr const char* HELP =
    "Orbikon simuliert einen kleinen Quantencomputer und f\xC3\xBChrt Quantenalgorithmen "
    "aus.\n\n"
    "  (ohne Option)   auf dem Desktop, wenn eine Anzeige da ist, sonst im Terminal\n"
    "  --desktop       auf dem Desktop (braucht DISPLAY oder WAYLAND_DISPLAY)\n"
    "  --terminal      im Terminal (Standardeingabe und -ausgabe ein Terminal)\n"
    "  --headless      ohne Anzeige: tippt die Zeichen der Datei EINGABE und schreibt\n"
    "                  den Text von Fenster 0 nach BILDSCHIRM, den Drucker nach DRUCKER,\n"
    "                  das Bild von Fenster 0 (oder N, 0 bis 7) nach BILD.png; nach\n"
    "                  SEKUNDEN (600) endet es mit Status 3\n"
    "  --help          diese Hilfe\n";

// Exit status of a start that found nothing to show the program on, or a bad command line.
constexpr int NO_FRONT_END_STATUS = 2;

// One front end. Its flag asks for it; without a flag the first of the table's defaults
// that is available serves. start installs nothing and returns nullptr after printing its
// one German line when the front end cannot start after all.
struct FrontEnd {
    std::string flag;
    bool is_default = false;
    std::function<bool()> available;
    std::string unavailable; // the line when its flag asks for it and it is not available
    std::function<platform::WindowSystem*(int& argc, char** argv)> start;
    std::function<void()> connected; // after the shell is connected, before the event loop
    std::function<void()> finish;    // after the event loop
};

// How long a leaving signal waits for the event loop to end before the process goes anyway.
constexpr int64_t SIGNAL_GRACE_MS = 3000;

HeadlessOptions headless_options;
std::u32string headless_keys;

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
    std::exit(NO_FRONT_END_STATUS);
}

[[noreturn]] void cannot_start(const std::string& line)
{
    std::cerr << "orbikon: " << line << "\n";
    std::exit(NO_FRONT_END_STATUS);
}

FrontEnd desktop_front_end()
{
#ifdef ORBIKON_DESKTOP
    return {"--desktop",
            true,
            platform::qt::display_available,
            "Keine Anzeige f\xC3\xBCr --desktop: weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt.",
            [](int& argc, char** argv) -> platform::WindowSystem* {
                platform::WindowSystem* desktop = platform::qt::start_desktop(argc, argv);
                if (!desktop)
                    cannot_start("Die Anzeige l\xC3\xA4sst sich nicht \xC3\xB6"
                                 "ffnen.");
                return desktop;
            },
            {},
            platform::qt::finish_desktop};
#else
    return {
        "--desktop", false, [] { return false; }, "Dieses orbikon wurde ohne Desktop gebaut.", {},
        {},          {}};
#endif
}

FrontEnd terminal_front_end()
{
    return {"--terminal",
            true,
            platform::terminal::is_interactive,
            "Kein Terminal f\xC3\xBCr --terminal: Standardeingabe und -ausgabe sind kein "
            "Terminal.",
            [](int&, char**) -> platform::WindowSystem* {
                if (const std::string refusal = platform::terminal::unsuitable_terminal();
                    !refusal.empty())
                    cannot_start(refusal);
                if (!platform::terminal::start(platform::cache_folder() + "console.log"))
                    cannot_start("Das Terminal l\xC3\xA4sst sich nicht in den Rohmodus "
                                 "schalten.");
                return &platform::terminal::backend();
            },
            quit_on_key_after_program_end,
            platform::terminal::stop};
}

FrontEnd headless_front_end()
{
    return {"--headless",
            false,
            [] { return true; },
            "",
            [](int&, char**) -> platform::WindowSystem* {
                std::optional<std::u32string> keys = read_key_file(headless_options.input_path);
                if (!keys)
                    usage_error("Die Eingabedatei " + headless_options.input_path +
                                " kann nicht gelesen werden.");
                headless_keys = std::move(*keys);
                return &platform::headless();
            },
            [] { start_headless_driver(std::move(headless_keys), headless_options); },
            {}};
}

// Sets the flag of the front end asked for (nullptr: none) and fills headless_options.
const FrontEnd* parse_arguments(int argc, char** argv, const std::vector<FrontEnd>& front_ends)
{
    const FrontEnd* chosen = nullptr;
    bool window_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc)
                usage_error(std::string("Der Option ") + name + " fehlt ihr Wert.");
            return argv[++i];
        };
        const FrontEnd* flagged = nullptr;
        for (const FrontEnd& f : front_ends) {
            if (arg == f.flag)
                flagged = &f;
        }
        if (flagged) {
            if (chosen && chosen != flagged)
                usage_error("--headless, --terminal und --desktop schlie\xC3\x9F"
                            "en einander aus.");
            chosen = flagged;
        } else if (arg == "--help") {
            std::cout << USAGE << "\n" << HELP;
            std::exit(0);
        } else if (arg == "--input") {
            headless_options.input_path = value("--input");
        } else if (arg == "--screen") {
            headless_options.screen_path = value("--screen");
        } else if (arg == "--printer") {
            headless_options.printer_path = value("--printer");
        } else if (arg == "--image") {
            headless_options.image_path = value("--image");
        } else if (arg == "--window") {
            const std::string text = value("--window");
            if (text.size() != 1 || text[0] < '0' || text[0] > '7')
                usage_error("Ung\xC3\xBCltiges Fenster: " + text + " (erlaubt sind 0 bis 7).");
            headless_options.image_window = static_cast<uint8_t>(text[0] - '0');
            window_given = true;
        } else if (arg == "--timeout") {
            const std::string text = value("--timeout");
            char* end = nullptr;
            const double seconds = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !(seconds > 0))
                usage_error("Ung\xC3\xBCltige Zeitgrenze: " + text);
            headless_options.timeout_seconds = seconds;
        } else {
            usage_error("Unbekannte Option: " + arg);
        }
    }
    const bool headless = chosen && chosen->flag == "--headless";
    const HeadlessOptions& o = headless_options;
    if (headless && (o.input_path.empty() || o.screen_path.empty()))
        usage_error("--headless braucht --input und --screen.");
    if (!headless && (!o.input_path.empty() || !o.screen_path.empty() || !o.printer_path.empty() ||
                      !o.image_path.empty()))
        usage_error("--input, --screen, --printer und --image gelten nur mit --headless.");
    if (window_given && o.image_path.empty())
        usage_error("--window gilt nur mit --image.");
    return chosen;
}

// The dump is the largest thing the application leaves; it goes on every way out. Its path
// is fixed before the first thread starts, so every exit path reads it without a lock.
std::string dump_path;
std::atomic<bool> window_system_ready{false};
std::atomic<int> leaving_signal{0};

void remove_dump() { platform::remove_file(dump_path); }

// Ends the process now, as the signal would, without the dump and with the terminal restored.
[[noreturn]] void leave_at_once(int signal_number)
{
    platform::terminal::stop();
    remove_dump();
    platform::end_by_signal(signal_number);
}

// SIGINT, SIGTERM, SIGHUP: leave as Ctrl+Q does. A second signal, or an event loop that does
// not end in time, ends the process at once.
void on_leaving_signal(int signal_number)
{
    if (leaving_signal.exchange(signal_number) != 0 || !window_system_ready)
        leave_at_once(signal_number);
    QuitApplication();
    std::thread([signal_number] {
        platform::sleep_ms(SIGNAL_GRACE_MS);
        leave_at_once(signal_number);
    }).detach();
}

} // namespace

int main(int argc, char** argv)
{
    dump_path = platform::dump_file_path();
    platform::watch_leaving_signals(on_leaving_signal);
    platform::keep_freed_memory();
    const std::vector<FrontEnd> front_ends = {desktop_front_end(), terminal_front_end(),
                                              headless_front_end()};
    const FrontEnd* front_end = parse_arguments(argc, argv, front_ends);
    if (front_end && !front_end->available())
        cannot_start(front_end->unavailable);
    for (size_t i = 0; !front_end && i < front_ends.size(); ++i) {
        if (front_ends[i].is_default && front_ends[i].available())
            front_end = &front_ends[i];
    }
    if (!front_end)
        cannot_start("Weder Anzeige noch Terminal gefunden. Starten Sie orbikon auf einem "
                     "Desktop, in einem Terminal oder mit --headless --input EINGABE --screen "
                     "BILDSCHIRM.");

    platform::set_window_system(front_end->start(argc, argv));
    window_system_ready = true;
    connect_shell(mainloop);
    if (front_end->connected)
        front_end->connected();
    platform::window_system().run_event_loop();
    if (front_end->finish)
        front_end->finish();
    remove_dump();
    std::fflush(stdout);
    std::fflush(stderr);
    if (const int signal_number = leaving_signal.load(); signal_number != 0)
        platform::end_by_signal(signal_number);
    // The program thread may sit in WaitKey for ever; end without unwinding it.
    std::_Exit(0);
}
