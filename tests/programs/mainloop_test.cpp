// tests/programs/mainloop_test.cpp: command keys, and whole headless runs of the program.
#include "programs/mainloop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "programs/headless_run.h"

namespace {

namespace fs = std::filesystem;

TEST(CommandKey, UpperCasesAndBlanksControlKeys)
{
    EXPECT_EQ(CommandKey("g"), "G");
    EXPECT_EQ(CommandKey("Q"), "Q");
    EXPECT_EQ(CommandKey("\r"), " ");
    EXPECT_EQ(CommandKey("\x1b"), " ");
    EXPECT_EQ(CommandKey("\t"), " ");
    EXPECT_EQ(CommandKey(""), " ");
    EXPECT_EQ(CommandKey(std::string(1, '\0')), " ");
    EXPECT_EQ(CommandKey("\xC3\xA4"), "\xC3\x84");     // ä
    EXPECT_EQ(CommandKey("\xC3\x9F"), "SS");           // ß: full mapping
    EXPECT_EQ(CommandKey("\xC3\xBF"), "\xC5\xB8");     // ÿ becomes U+0178
    EXPECT_EQ(CommandKey("\xEF\xAC\x81"), "FI");       // the fi ligature
    EXPECT_EQ(CommandKey("1"), "1");
}

TEST(PrinterFileText, CarriageReturnsBecomeLineFeeds)
{
    EXPECT_EQ(PrinterFileText("a\rb\r"), "a\nb\n");
}

// One run of build/orbikon --headless in a folder of its own.
struct HeadlessResult {
    int status = -1;
    std::string screen;
    std::string printer;
    std::string out;
    std::vector<std::string> rows; // screen rows from 1; missing rows are empty
    std::string row(size_t n) const { return n <= rows.size() ? rows[n - 1] : ""; }
};

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

HeadlessResult run_headless(const std::string& name, const std::string& keys, int timeout = 60)
{
    const fs::path dir = fs::path(ORBIKON_BUILD_DIR) / "test-headless" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "in.txt", std::ios::binary) << keys;
    const std::string command = "XDG_CACHE_HOME='" + (dir / "cache").string() + "' '" +
                                std::string(ORBIKON_BUILD_DIR) + "/orbikon' --headless --input '" +
                                (dir / "in.txt").string() + "' --screen '" +
                                (dir / "screen.txt").string() + "' --printer '" +
                                (dir / "printer.txt").string() + "' --timeout " +
                                std::to_string(timeout) + " > '" + (dir / "out.txt").string() +
                                "' 2>&1";
    HeadlessResult run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.screen = slurp(dir / "screen.txt");
    run.printer = slurp(dir / "printer.txt");
    run.out = slurp(dir / "out.txt");
    std::stringstream lines(run.screen);
    for (std::string line; std::getline(lines, line);)
        run.rows.push_back(line);
    return run;
}

const std::string PROMPT_ROW =
    "D(isAsm  G(rover  H(elp  I(sing  O(racle  R(andom  S(hor  Q(uit     [1.1.1] ?";

void expect_help_screen(const HeadlessResult& run)
{
    EXPECT_EQ(run.row(11), "Mit dem Grover-Algorithmus wird eine Zahl in einer unsortierten "
                           "Liste gesucht.");
    EXPECT_EQ(run.row(12), "Jede Zahl von 0 bis zur gesuchten Zahl ist in der Liste einmal "
                           "vorhanden.");
    EXPECT_EQ(run.row(13), "");
    EXPECT_EQ(run.row(14), "Mit dem Shor-Algorithmus l\xC3\xA4sst sich die Zahl 667 problemlos "
                           "in ihre");
    EXPECT_EQ(run.row(15), "Primfaktoren (23 und 29) zerlegen. Daf\xC3\xBCr werden 51 Qubits "
                           "ben\xC3\xB6tigt.");
    EXPECT_EQ(run.row(16), "Wenn die Zerlegung nicht sofort klappt, einfach den Vorgang "
                           "wiederholen.");
    EXPECT_EQ(run.row(17), "");
    EXPECT_EQ(run.row(18), "Nach der Ausf\xC3\xBChrung eines Algorithmus kann man die "
                           "Quantenbefehle durch");
    EXPECT_EQ(run.row(19), "Aufrufen des Disassemblers auf dem virtuellen Drucker ausgeben "
                           "lassen.");
    EXPECT_EQ(run.row(20), "");
    EXPECT_EQ(run.row(21), "D = Disassembling ausgeben              G = Grover Such-Algorithmus");
    EXPECT_EQ(run.row(22), "H = Diese Hilfe                         I = Ising Modell berechnen");
    EXPECT_EQ(run.row(23), "O = Mehrere Zufallszahlen berechnen     R = Ein Zufallsbit berechnen");
    EXPECT_EQ(run.row(24), "S = Shor Primfaktor-Algorithmus         Q = Simulator beenden");
    EXPECT_EQ(run.rows.size(), 24u);
    for (size_t row = 3; row <= 9; ++row) {
        EXPECT_LE(run.row(row).size(), 80u) << row;
    }
}

TEST(HeadlessRun, NoKeysShowsPromptAndHelpScreen)
{
    HeadlessResult run = run_headless("no-keys", "");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.row(1), PROMPT_ROW);
    EXPECT_EQ(run.row(2), "");
    EXPECT_NE(run.row(3), "");
    expect_help_screen(run);
    const std::string launch = "applicationWillFinishLaunching: Called.\n"
                               "applicationDidFinishLaunching: Start.\n"
                               "initmttools: Start.\n"
                               "initmttools: End.\n"
                               "Program: Start.\n"
                               "applicationDidFinishLaunching: End.\n";
    EXPECT_EQ(run.out.substr(0, launch.size()), launch);
    EXPECT_NE(run.out.find("t_InitWindow: GraphicWindow #0 = 1280 x 800 pixel x 24 bit = "
                           "3.000,00K video-memory = $00D12000.\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("t_InitWindow: GraphicWindow #0 Start.\n"), std::string::npos);
}

TEST(HeadlessRun, UnknownKeyIsEchoedAndClearsTheWindow)
{
    // The next cycle's prompt line replaces the echo; the cleared window shows x was read.
    HeadlessResult run = run_headless("unknown-key", "x");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.row(1), PROMPT_ROW);
    EXPECT_EQ(run.rows.size(), 1u);
}

TEST(HeadlessRun, HelpKeyShowsTheHelpScreenAgain)
{
    HeadlessResult run = run_headless("help-key", "xH");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.row(1), PROMPT_ROW);
    expect_help_screen(run);
}

TEST(HeadlessRun, ControlKeysEchoABlank)
{
    HeadlessResult run = run_headless("control-keys", "\t");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.row(1), PROMPT_ROW);
    EXPECT_EQ(run.rows.size(), 1u);
}

TEST(HeadlessRun, QuitLeavesTheClosingMessage)
{
    const fs::path dump = fs::path(ORBIKON_BUILD_DIR) / "test-headless" / "quit" / "cache" /
                          "orbikon" / "dump.qucode";
    HeadlessResult run = run_headless("quit", "q");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.row(1), PROMPT_ROW + " Q");
    EXPECT_EQ(run.row(25).rfind("(Programm Ende)", 0), 0u) << run.screen;
    EXPECT_NE(run.out.find("t_QuitProgram: Quitting current thread with message in window "
                           "#0.\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dump));
}

TEST(HeadlessRun, KeysAfterQuitAreNotTyped)
{
    HeadlessResult run = run_headless("after-quit", "qx");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.row(1), PROMPT_ROW + " Q");
}

TEST(HeadlessRun, TimeLimitMustBePositive)
{
    HeadlessResult run = run_headless("zero-limit", "", 0);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("orbikon: Ung\xC3\xBCltige Zeitgrenze: 0"), std::string::npos);
}

TEST(HeadlessRun, BadArgumentsAreRefused)
{
    const std::string command = std::string("'") + ORBIKON_BUILD_DIR +
                                "/orbikon' --headless --input /nonexistent/in.txt --screen "
                                "/dev/null > /dev/null 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 2);
}

} // namespace
