// programs/mainloop.cpp: start-up of the main window and the command cycle.
#include "programs/mainloop.h"

#include <array>
#include <cwctype>
#include <locale.h>
#include <vector>
#include <wctype.h>

#include "engine/objcode.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "programs/disasm.h"
#include "programs/ising.h"
#include "programs/printer.h"
#include "programs/program_rows.h"
#include "shell/events.h"
#include "shell/line_input.h"
#include "shell/mttools.h"
#include "shell/startup.h"
#include "toolkit/cursor.h"
#include "toolkit/font.h"
#include "toolkit/geometry.h"
#include "toolkit/glyphs.h"
#include "toolkit/text_output.h"
#include "toolkit/window.h"
#include "toolkit/window_setup.h"

namespace {

constexpr uint8_t MAIN_WINDOW = 0;
constexpr int64_t MAIN_BIT_DEPTH = 24;
constexpr int64_t MAIN_COLUMNS = 80;
constexpr int64_t MAIN_LINES = 25;
constexpr int64_t MAIN_BORDER = 16;
constexpr int64_t HELP_FIRST_LINE = 3;
// Number prompts: integers only, and never longer than this.
constexpr int64_t NUMBER_INPUT_MODE = 2;
constexpr int64_t NUMBER_MAX_CHARACTERS = 25;

const std::string WINDOW_TITLE = "Orbikon \xE2\x80\x93 \xC2\xA9 2024\xE2\x80\x93"
                                 "2025 Die Orbikon-Entwickler";

// Lines 19 to 22 put their second entry in column 41.
const std::array<std::string_view, 22> HELP_LINES = {
    "Der Simulator beruht auf Version 1.1.1 einer Quanten-Bibliothek. Er und",
    "alle w\xC3\xA4hlbaren Algorithmen, die Berechnung des Ising-Modells und der",
    "Quanten-Disassembler sind vollst\xC3\xA4ndig in C++ geschrieben.",
    "",
    "Die ganzen Zahlen der Quanten-Bibliothek wurden durchgehend auf 64 Bit",
    "erweitert, damit sie reibungslos mit den aufrufenden Funktionen des",
    "Programms zusammenarbeiten.",
    "",
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

// Commands
// One function per key. A row's function prints its heading, asks for its numbers, and
// for engine programs deletes the dump before and writes the tail after.

void command_help() { helpscreen(); }

void command_quit()
{
    delete_dump();
    t_QuitProgram(command_window());
}

// D writes to the printer. The printer is shown anew, so the window system brings it
// forward while window 0 keeps the keyboard (the terminal, one page at a time, says that F2
// shows it).
void command_disasm_shown()
{
    const bool has_dump =
        platform::file_kind(platform::dump_file_path()) == platform::FileKind::File;
    command_disasm();
    if (!has_dump)
        return;
    t_WindowVisible(platform::PRINTER_WINDOW, false);
    t_WindowVisible(platform::PRINTER_WINDOW, true);
    // The listing's pieces and the printer's growth left freed memory behind (some 30 MB for
    // a listing of 70 MB); it goes back as after a program, once the printer is in front.
    platform::hand_back_freed_memory();
}

struct Command {
    std::string_view key;
    void (*run)();
};

// Checked in this order; a key that matches no row does nothing after its echo.
const Command COMMANDS[] = {
    {"D", command_disasm_shown},
    {"G", command_grover},
    {"H", command_help},
    {"I", command_ising},
    {"O", command_oracle},
    {"R", command_random},
    {"S", command_shor},
    {"T", command_codetest},
    {"Q", command_quit},
};

// Case mappings to more than one character that a per-character mapping cannot give.
struct SpecialUpper {
    char32_t lower;
    std::u32string_view upper;
};
constexpr SpecialUpper SPECIAL_UPPER[] = {
    {0x00DF, U"SS"},           {0x0149, U"\u02BCN"},       {0x01F0, U"J\u030C"},
    {0x0390, U"\u0399\u0308\u0301"}, {0x03B0, U"\u03A5\u0308\u0301"},
    {0x0587, U"\u0535\u0552"}, {0x1E96, U"H\u0331"},       {0x1E97, U"T\u0308"},
    {0x1E98, U"W\u030A"},      {0x1E99, U"Y\u030A"},       {0x1E9A, U"A\u02BE"},
    {0xFB00, U"FF"},           {0xFB01, U"FI"},            {0xFB02, U"FL"},
    {0xFB03, U"FFI"},          {0xFB04, U"FFL"},           {0xFB05, U"ST"},
    {0xFB06, U"ST"},           {0xFB13, U"\u0544\u0546"},  {0xFB14, U"\u0544\u0535"},
    {0xFB15, U"\u0544\u053B"}, {0xFB16, U"\u054E\u0546"},  {0xFB17, U"\u0544\u053D"},
};

// The C library's per-character mapping needs a Unicode locale, whatever the user's is.
locale_t unicode_locale()
{
    static locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return loc;
}

} // namespace

std::string UpperCaseText(std::string_view text)
{
    std::u32string upper;
    for (char32_t c : platform::decode_utf8(text, platform::StrayByte::Replacement)) {
        bool special = false;
        for (const SpecialUpper& s : SPECIAL_UPPER) {
            if (s.lower == c) {
                upper.append(s.upper);
                special = true;
                break;
            }
        }
        if (special)
            continue;
        locale_t loc = unicode_locale();
        if (loc != static_cast<locale_t>(nullptr))
            upper.push_back(static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc)));
        else if (c < 0x80)
            upper.push_back(c >= 'a' && c <= 'z' ? c - 32 : c);
        else
            upper.push_back(c);
    }
    return platform::encode_utf8(upper);
}

std::string CommandKey(std::string_view key)
{
    if (FirstScalar(std::string(key)) <= 31)
        return " ";
    return UpperCaseText(key);
}

uint8_t command_window()
{
    const uint8_t current = CurrentTextWindow;
    return current == NO_TEXT_WINDOW ? MAIN_WINDOW : current;
}

void command_heading(std::string_view heading)
{
    const uint8_t win = command_window();
    t_Print(win, heading);
    t_Cr(win);
    t_Cr(win);
}

int64_t command_number(std::string_view prompt)
{
    const std::string text = t_InputForm(command_window(), std::string(prompt), "", false,
                                         NUMBER_INPUT_MODE, NUMBER_MAX_CHARACTERS);
    return BytesToInteger(TextToBytes(text));
}

void delete_dump() { deletefile(platform::dump_file_path()); }

void write_dump_tail()
{
    // The dump is replaced only now, so it never holds a half-written or half-run trace.
    if (objcode_write_file(nullptr) == 1)
        delete_dump();
    objcode_stop();
    platform::hand_back_freed_memory();
}

void helpscreen()
{
    const uint8_t win = command_window();
    t_Vtab(win, HELP_FIRST_LINE);
    t_Htab(win, 1);
    for (size_t i = 0; i < HELP_LINES.size(); ++i) {
        t_Print(win, HELP_LINES[i]);
        if (i + 1 < HELP_LINES.size())
            t_Cr(win);
    }
}

void mainloop_start()
{
    // The engine writes its object code where the platform keeps our cache.
    const std::string dump = platform::dump_file_path();
    objcode_set_dump_path(dump);
    objcode_set_default_file(dump);

    t_InitWindow(MAIN_WINDOW, MAIN_BIT_DEPTH, MAIN_COLUMNS, MAIN_LINES, MAIN_BORDER,
                 "MenloBold 16x32.font");
    const uint8_t win = command_window();
    t_WindowCenter(win);
    t_WindowFront(win);
    t_WindowTitle(win, WINDOW_TITLE);
    t_WindowFont(win, t_LoadFontResource("MenloRegular 16x32.font"));
    t_TextLine(win);
    t_Cr(win);
    p_InitPrinter();
    initopcodenames();
    helpscreen();
}

bool mainloop_cycle()
{
    const uint8_t win = command_window();
    t_CursorHome(win);
    t_ClearEndOfLine(win);
    t_Print(win, MAIN_PROMPT);

    const std::string key = CommandKey(WaitKey(win));
    t_ClearEndOfWindow(win);
    t_Print(win, key);
    t_Cr(win);
    t_Cr(win);

    for (const Command& command : COMMANDS) {
        if (command.key == key) {
            command.run();
            break;
        }
    }
    return key != "Q";
}

void mainloop()
{
    mainloop_start();
    while (mainloop_cycle()) {
    }
}
