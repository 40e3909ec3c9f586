// tests/programs/mainloop_test.cpp: command keys, and whole headless runs of the program.
#include "programs/mainloop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "programs/headless_run.h"
#include "tests/programs/program_fixture.h"
#include "toolkit/window_setup.h"

namespace {

using program_test::HeadlessRun;
using program_test::run_headless;

TEST(CommandKey, UpperCasesAndBlanksControlKeys)
{
    EXPECT_EQ(CommandKey("g"), "G");
    EXPECT_EQ(CommandKey("\x1b"), " ");
    EXPECT_EQ(CommandKey(""), " ");
    EXPECT_EQ(CommandKey(std::string(1, '\0')), " ");
    EXPECT_EQ(CommandKey("\xC3\x9F"), "SS");           // ß: full mapping
    EXPECT_EQ(CommandKey("\xC3\xBF"), "\xC5\xB8");     // ÿ becomes U+0178
    EXPECT_EQ(CommandKey("\xEF\xAC\x81"), "FI");       // the fi ligature
}

TEST(PrinterFileText, CarriageReturnsBecomeLineFeeds)
{
    EXPECT_EQ(PrinterFileText("a\rb\r"), "a\nb\n");
}

const std::string PROMPT_ROW =
    "D(isAsm  G(rover  H(elp  I(sing  O(racle  R(andom  S(hor  Q(uit     [1.1.1] ?";

void expect_help_screen(const HeadlessRun& run)
{
    const std::vector<std::string> help = {
        "Mit dem Grover-Algorithmus wird eine Zahl in einer unsortierten Liste gesucht.",
        "Jede Zahl von 0 bis zur gesuchten Zahl ist in der Liste einmal vorhanden.",
        "",
        "Mit dem Shor-Algorithmus l\xC3\xA4sst sich die Zahl 667 problemlos in ihre",
        "Primfaktoren (23 und 29) zerlegen. Daf\xC3\xBCr werden 51 Qubits ben\xC3\xB6tigt.",
        "Wenn die Zerlegung nicht sofort klappt, einfach den Vorgang wiederholen.",
        "",
        "Nach der Ausf\xC3\xBChrung eines Algorithmus kann man die Quantenbefehle durch",
        "Aufrufen des Disassemblers auf dem virtuellen Drucker ausgeben lassen.",
        "",
        "D = Disassembling ausgeben              G = Grover Such-Algorithmus",
        "H = Diese Hilfe                         I = Ising Modell berechnen",
        "O = Mehrere Zufallszahlen berechnen     R = Ein Zufallsbit berechnen",
        "S = Shor Primfaktor-Algorithmus         Q = Simulator beenden",
    };
    for (size_t i = 0; i < help.size(); ++i)
        EXPECT_EQ(run.row(11 + i), help[i]) << "row " << 11 + i;
    EXPECT_EQ(run.rows.size(), 24u);
}

TEST(HeadlessRun, NoKeysShowsPromptAndHelpScreen)
{
    HeadlessRun run = run_headless("no-keys", "");
    ASSERT_EQ(run.status, 0) << run.output;
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
    EXPECT_EQ(run.output.substr(0, launch.size()), launch);
    EXPECT_NE(run.output.find("t_InitWindow: GraphicWindow #0 = 1280 x 800 pixel x 24 bit = "
                           "3.000,00K video-memory = $00D12000.\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("t_InitWindow: GraphicWindow #0 Start.\n"), std::string::npos);
    // The menu bar is built as described: no look-up for standard items fails at start.
    EXPECT_EQ(run.output.find("Menu not found"), std::string::npos) << run.output;
}

TEST(HeadlessRun, UnknownAndControlKeysClearTheWindowAndHelpShowsItAgain)
{
    // The next cycle's prompt line replaces the echo; the cleared window shows the key was read.
    for (const char* keys : {"x", "\t", "xH"}) {
        SCOPED_TRACE(::testing::PrintToString(keys));
        HeadlessRun run = run_headless("keys", keys);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.row(1), PROMPT_ROW);
        if (std::string(keys) == "xH")
            expect_help_screen(run);
        else
            EXPECT_EQ(run.rows.size(), 1u);
    }
}

TEST(HeadlessRun, QuitLeavesTheClosingMessageAndTypesNoFurtherKeys)
{
    HeadlessRun run = run_headless("quit", "qx");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.row(1), PROMPT_ROW + " Q");
    EXPECT_EQ(run.row(25).rfind("(Programm Ende)", 0), 0u) << run.screen;
    EXPECT_NE(run.output.find("t_QuitProgram: Quitting current thread with message in window "
                              "#0.\n"),
              std::string::npos);
    EXPECT_FALSE(run.dump_exists);
}

TEST(HeadlessRun, ProgramsRunFromTheirKeysAndRefusalsLeaveTheDump)
{
    const struct {
        const char* name;
        const char* keys;
        std::vector<std::string> shown, absent, one_of; // screen parts
        uint8_t width;                                  // of the dump's first record
        size_t size;                                    // of the dump; 0 for any
    } runs[] = {
        {"grover", "g5\n0\n",
         {"Grover Such-Algorithmus für unsortierte Daten:",
          "Zahl (0-8000) eingeben, die gesucht wird : 5",
          "Anzahl der Qubits (0 = benötigte Anzahl): 0",
          "Registergröße = 3 Qubits\n2 Iterationen: #1, #2\n", "Die gesuchte Zahl 5 ist die ",
          "Die Wahrscheinlichkeit für das Suchergebnis beträgt 0.9"}, {}, {}, 3, 0},
        // The random bit first, so there is a dump that the refusal must leave alone.
        {"grover-wide", "rg5\n21\n",
         {"Anzahl der Qubits (0 = benötigte Anzahl): 21\n\n"
          "Bitte geben Sie eine Registerzahl von höchstens 20 ein."}, {"Registergröße"}, {}, 1, 24},
        {"oracle-refused", "ro2\n",
         {"Oracle-Algorithmus zur Generierung von unsortierten Daten:",
          "Anzahl der Qubits (>=3): 2\n\nBitte geben Sie eine Registerzahl von mindestens 3 ein."},
         {}, {}, 1, 24},
        {"oracle", "o3\n",
         {"Sortierte Datenmenge mit 8 Elementen:\n0       1       2", "Unsortierte Datenmenge mit "},
         {}, {}, 3, 0},
        // 14 bytes of start, 16 NOT, 2 Hadamard, 14 Toffoli and one controlled NOT.
        {"codetest", "t", {"Quanten-Code Test:"}, {}, {}, 8, 14 + 16 * 5 + 2 * 5 + 14 * 13 + 9},
        {"shor", "s15\n",
         {"Shor Faktorzerlegungs-Algorithmus für Zahlen:\n\nZahl eingeben (15-1000): 15\n\n"
          "N = 15\n\nRegistergröße = 22 Qubits\n\nZufallszahl = "},
         {}, {"15 = 5 * 3", "15 = 3 * 5", "Bitte noch einmal versuchen."}, 8, 0},
        {"shor-two", "rs2\n",
         {"Zahl eingeben (15-1000): 2\n\nBitte geben Sie eine Zahl von 3 bis 1.000 ein."},
         {"N = "}, {}, 1, 24},
    };
    for (const auto& c : runs) {
        SCOPED_TRACE(c.name);
        const HeadlessRun run = run_headless(c.name, c.keys);
        ASSERT_EQ(run.status, 0) << run.output;
        for (const std::string& part : c.shown)
            EXPECT_NE(run.screen.find(part), std::string::npos) << part << "\n" << run.screen;
        for (const std::string& part : c.absent)
            EXPECT_EQ(run.screen.find(part), std::string::npos) << part;
        if (!c.one_of.empty()) {
            EXPECT_TRUE(std::any_of(c.one_of.begin(), c.one_of.end(), [&](const std::string& part) {
                return run.screen.find(part) != std::string::npos;
            })) << run.screen;
        }
        ASSERT_TRUE(run.dump_exists);
        ASSERT_GE(run.dump.size(), 14u);
        EXPECT_EQ(std::vector<uint8_t>(run.dump.begin(), run.dump.begin() + 5),
                  (std::vector<uint8_t>{0xF0, 0, 0, 0, c.width}));
        if (c.size != 0) {
            EXPECT_EQ(run.dump.size(), c.size);
        }
    }
}

TEST(HeadlessRun, BadTimeLimitAndInputAreRefused)
{
    HeadlessRun run = run_headless("zero-limit", "", "", 0);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("orbikon: Ung\xC3\xBCltige Zeitgrenze: 0"), std::string::npos);
    const std::string command = std::string("'") + ORBIKON_BUILD_DIR +
                                "/orbikon' --headless --input /nonexistent/in.txt --screen "
                                "/dev/null > /dev/null 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2);
}

} // namespace
