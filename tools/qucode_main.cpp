// tools/qucode_main.cpp: command-line work with dump files of recorded object code.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/objcode.h"
#include "engine/register.h"
#include "engine/replay.h"
#include "platform/platform.h"
#include "programs/disasm.h"
#include "programs/qasm.h"

namespace {

constexpr const char* USAGE =
    "Aufruf: qucode run DATEI [--seed N] [--max-states N]\n"
    "        qucode list DATEI\n"
    "        qucode qasm DATEI [-o AUSGABE]\n"
    "        qucode --help\n"
    "  run   spielt die Dump-Datei DATEI in ein Register ein und gibt das Endregister aus;\n"
    "        --seed N setzt vorher den Zufallsgenerator der Messungen auf N;\n"
    "        --max-states N bricht ab (Status 1), bevor das Register mehr als N Zustände\n"
    "        hält (ohne: so viele, wie ein Viertel des Arbeitsspeichers fasst).\n"
    "  list  listet DATEI Befehl für Befehl, wie der Disassembler.\n"
    "  qasm  schreibt die aufgezeichnete Schaltung als OpenQASM-3-Programm auf die\n"
    "        Standardausgabe, mit -o in die Datei AUSGABE.\n";

// Everything a command line can ask for; each command reads the fields it knows.
struct CommandLine {
    std::string command;
    std::string file;
    bool seeded = false;
    unsigned seed = 0;
    int64_t max_states = replay_default_state_budget();
    std::string output;
};

// Parses a whole decimal seed; false for anything else.
bool parse_seed(const char* text, unsigned& seed)
{
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value > 0xFFFFFFFFull)
        return false;
    seed = static_cast<unsigned>(value);
    return true;
}

// Parses a whole decimal state budget of at least 1; false for anything else.
bool parse_max_states(const char* text, int64_t& max_states)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1)
        return false;
    max_states = value;
    return true;
}

// One option with a value: the command that takes it, its flag, what to say about a bad
// value, and how the value is stored. A new option is one more row.
struct OptionRule {
    std::string_view command;
    std::string_view flag;
    const char* bad_value;
    bool (*take)(const char* value, CommandLine& line);
};

const OptionRule OPTION_RULES[] = {
    {"run", "--seed", "--seed braucht eine ganze Zahl von 0 bis 4294967295.",
     [](const char* v, CommandLine& line) { return line.seeded = parse_seed(v, line.seed); }},
    {"run", "--max-states", "--max-states braucht eine ganze Zahl von mindestens 1.",
     [](const char* v, CommandLine& line) { return parse_max_states(v, line.max_states); }},
    {"qasm", "-o", "-o braucht einen Dateinamen.",
     [](const char* v, CommandLine& line) { return !(line.output = v).empty(); }},
};

constexpr std::string_view COMMANDS[] = {"run", "list", "qasm"};

int usage_error(const std::string& message)
{
    std::fprintf(stderr, "qucode: %s\n%s", message.c_str(), USAGE);
    return 2;
}

// Fills line from argv: a command, its FILE, then the options of that command in any order.
// Returns 0, or the status of a bad command line after the usage text.
int parse_command_line(int argc, char** argv, CommandLine& line)
{
    if (argc < 2)
        return usage_error("kein Befehl angegeben.");
    line.command = argv[1];
    bool known = false;
    for (std::string_view command : COMMANDS)
        known = known || command == line.command;
    if (!known)
        return usage_error("unbekannter Befehl \"" + line.command + "\".");
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const OptionRule* rule = nullptr;
        for (const OptionRule& r : OPTION_RULES)
            if (r.command == line.command && r.flag == arg)
                rule = &r;
        if (rule) {
            if (i + 1 >= argc || !rule->take(argv[i + 1], line))
                return usage_error(rule->bad_value);
            ++i;
        } else if (line.file.empty() && !arg.empty() && arg[0] != '-') {
            line.file = arg;
        } else {
            return usage_error("unerwartetes Argument \"" + std::string(arg) + "\".");
        }
    }
    if (line.file.empty())
        return usage_error(line.command + " braucht eine DATEI.");
    return 0;
}

int run_command(const CommandLine& line)
{
    // Checked here so that an unreadable file costs exactly one line and a non-zero status.
    if (!qucode_can_read(line.file))
        return 1;

    if (line.seeded)
        std::srand(line.seed);
    quantum_reg_struct reg;
    if (!quantum_objcode_run(line.file, reg, line.max_states)) {
        register_delete(reg);
        objcode_stop();
        return 1;
    }
    print_register(reg);
    std::fflush(stdout);
    register_delete(reg);
    objcode_stop();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    platform::keep_freed_memory();
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    CommandLine line;
    if (const int status = parse_command_line(argc, argv, line); status != 0)
        return status;
    if (line.command == "run")
        return run_command(line);
    if (line.command == "list")
        return disasm_list_to_stdout(line.file);
    return qasm_command(line.file, line.output);
}
