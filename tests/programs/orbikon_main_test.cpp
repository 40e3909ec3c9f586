// The command line of orbikon: the help, and the one German line of a front end that cannot
// start, each with its exit status.
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace {

struct Start {
    int status = -1;
    std::string output; // standard output and error
};

// Runs build/orbikon with its standard input from /dev/null, so it has no terminal, and with
// the display variables the case sets and no others.
Start start(const std::string& environment, const std::string& arguments)
{
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                environment + " '" + ORBIKON_BUILD_DIR + "/orbikon' " + arguments +
                                " < /dev/null 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Start run;
    if (!pipe)
        return run;
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

TEST(FrontEnds, HelpIsGermanAndSucceeds)
{
    const Start run = start("", "--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.rfind("Aufruf: orbikon [--desktop | --terminal | --headless", 0), 0u)
        << run.output;
    EXPECT_NE(run.output.find("--help          diese Hilfe\n"), std::string::npos);
}

// Each front end that cannot start says so in one German line and exits with status 2:
// never Qt's English lines and an abort.
TEST(FrontEnds, OneGermanLineWhenNoneCanStart)
{
    const struct {
        const char* environment;
        const char* arguments;
        const char* line;
    } cases[] = {
        {"", "",
         "orbikon: Weder Anzeige noch Terminal gefunden. Starten Sie orbikon auf einem Desktop, "
         "in einem Terminal oder mit --headless --input EINGABE --screen BILDSCHIRM.\n"},
        {"", "--terminal",
         "orbikon: Kein Terminal f\xC3\xBCr --terminal: Standardeingabe und -ausgabe sind kein "
         "Terminal.\n"},
#ifdef ORBIKON_DESKTOP
        {"", "--desktop",
         "orbikon: Keine Anzeige f\xC3\xBCr --desktop: weder DISPLAY noch WAYLAND_DISPLAY ist "
         "gesetzt.\n"},
        // A display no server listens on.
        {"DISPLAY=:4711", "--desktop",
         "orbikon: Die Anzeige l\xC3\xA4sst sich nicht \xC3\xB6"
         "ffnen.\n"},
#else
        {"", "--desktop", "orbikon: Dieses orbikon wurde ohne Desktop gebaut.\n"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.environment) + " " + c.arguments);
        const Start run = start(c.environment, c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.output, c.line);
    }
}

} // namespace
