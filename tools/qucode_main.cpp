// tools/qucode_main.cpp: command-line work with dump files of recorded object code and with
// OpenQASM programs.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "circuits/program_run.h"
#include "circuits/qasm_lexer.h"
#include "circuits/qasm_reader.h"
#include "engine/objcode.h"
#include "engine/register.h"
#include "engine/replay.h"
#include "platform/platform.h"
#include "circuits/lister.h"
#include "circuits/qasm_export.h"

namespace {

constexpr const char* USAGE =
    "Aufruf: qucode run DATEI [--seed N] [--max-states N] [--dump AUS]\n"
    "        qucode probs PROGRAMM [--min P] [--max-states N] [--dump AUS]\n"
    "        qucode sample PROGRAMM --shots N [--seed N] [--max-states N] [--dump AUS]\n"
    "        qucode list DATEI\n"
    "        qucode qasm DATEI [-o AUSGABE]\n"
    "        qucode --help\n"
    "  run     spielt die Dump-Datei DATEI in ein Register ein oder führt das\n"
    "          OpenQASM-Programm DATEI aus (erkannt an \"OPENQASM 2.0;\" oder\n"
    "          \"OPENQASM 3;\"; \"-\" liest die Standardeingabe) und gibt das Endregister aus;\n"
    "          --seed N setzt vorher den Zufallsgenerator der Messungen auf N;\n"
    "          --max-states N bricht ab (Status 1), bevor das Register mehr als N Zustände\n"
    "          hält (ohne: so viele, wie ein Viertel des Arbeitsspeichers fasst).\n"
    "  probs   gibt die exakte Wahrscheinlichkeit jedes Ergebnisses der klassischen Bits\n"
    "          aus (\"BITS WAHRSCHEINLICHKEIT\", die wahrscheinlichsten zuerst, ab P, ohne\n"
    "          --min ab 1e-9); ohne Messungen die aller Qubits. Nur für Programme, deren\n"
    "          Messungen am Ende stehen.\n"
    "  sample  führt das Programm N-mal aus (oder zieht N Ergebnisse, wenn die Messungen am\n"
    "          Ende stehen) und gibt \"BITS ANZAHL\" aus, die häufigsten zuerst.\n"
    "          --dump AUS schreibt den Objektcode eines Laufs in die Datei AUS.\n"
    "  list    listet DATEI Befehl für Befehl, wie der Disassembler.\n"
    "  qasm    schreibt die aufgezeichnete Schaltung als OpenQASM-3-Programm auf die\n"
    "          Standardausgabe, mit -o in die Datei AUSGABE.\n";

// Everything a command line can ask for; each command reads the fields it knows.
struct CommandLine {
    std::string command;
    std::string file;
    bool seeded = false;
    unsigned seed = 0;
    int64_t max_states = replay_default_state_budget();
    std::string output;
    std::string dump;
    double min_probability = 1e-9;
    int64_t shots = 0; // 0: not given
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

// Parses a whole decimal count of at least 1; false for anything else.
bool parse_count(const char* text, int64_t& count)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1)
        return false;
    count = value;
    return true;
}

// Parses a probability from 0 to 1; false for anything else.
bool parse_probability(const char* text, double& p)
{
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(value >= 0 && value <= 1))
        return false;
    p = value;
    return true;
}

// One option with a value: the commands that take it, its flag, what to say about a bad
// value, and how the value is stored. A new option is one more row.
struct OptionRule {
    std::string_view commands; // separated by blanks
    std::string_view flag;
    const char* bad_value;
    bool (*take)(const char* value, CommandLine& line);
};

const OptionRule OPTION_RULES[] = {
    {"run probs sample", "--seed", "--seed braucht eine ganze Zahl von 0 bis 4294967295.",
     [](const char* v, CommandLine& line) { return line.seeded = parse_seed(v, line.seed); }},
    {"run probs sample", "--max-states", "--max-states braucht eine ganze Zahl von mindestens 1.",
     [](const char* v, CommandLine& line) { return parse_count(v, line.max_states); }},
    {"run probs sample", "--dump", "--dump braucht einen Dateinamen.",
     [](const char* v, CommandLine& line) { return !(line.dump = v).empty(); }},
    {"probs", "--min", "--min braucht eine Wahrscheinlichkeit von 0 bis 1.",
     [](const char* v, CommandLine& line) { return parse_probability(v, line.min_probability); }},
    {"sample", "--shots", "--shots braucht eine ganze Zahl von mindestens 1.",
     [](const char* v, CommandLine& line) { return parse_count(v, line.shots); }},
    {"qasm", "-o", "-o braucht einen Dateinamen.",
     [](const char* v, CommandLine& line) { return !(line.output = v).empty(); }},
};

constexpr std::string_view COMMANDS[] = {"run", "probs", "sample", "list", "qasm"};

bool takes(const OptionRule& rule, std::string_view command)
{
    std::string_view list = rule.commands;
    while (!list.empty()) {
        const size_t blank = list.find(' ');
        if (list.substr(0, blank) == command)
            return true;
        list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
    }
    return false;
}

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
            if (takes(r, line.command) && r.flag == arg)
                rule = &r;
        if (rule) {
            if (i + 1 >= argc || !rule->take(argv[i + 1], line))
                return usage_error(rule->bad_value);
            ++i;
        } else if (line.file.empty() && !arg.empty() && (arg[0] != '-' || arg == "-")) {
            line.file = arg;
        } else {
            return usage_error("unerwartetes Argument \"" + std::string(arg) + "\".");
        }
    }
    if (line.file.empty())
        return usage_error(line.command + " braucht eine DATEI.");
    if (line.command == "sample" && line.shots == 0)
        return usage_error("sample braucht --shots N.");
    return 0;
}

// The whole of standard input; false after one line when it cannot be read.
bool read_standard_input(std::string& text)
{
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0)
        text.append(chunk, got);
    if (std::ferror(stdin)) {
        std::fprintf(stderr, "qucode: cannot read standard input: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

// The file's text when it is a program (program = true); a dump is only looked at, since
// it may be a gigabyte. Standard input ("-") is read whole either way.
bool load(const std::string& path, std::string& text, bool& program)
{
    if (path == "-") {
        if (!read_standard_input(text))
            return false;
        program = circuits::looks_like_qasm(text);
        return true;
    }
    // Checked here so that an unreadable file costs exactly one line and a non-zero status.
    if (!qucode_can_read(path))
        return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return qucode_can_read(path); // gone since: it says why
    char head[4096];
    const size_t got = std::fread(head, 1, sizeof head, file);
    program = circuits::looks_like_qasm(std::string_view(head, got));
    if (program) {
        text.assign(head, got);
        size_t more;
        while ((more = std::fread(head, 1, sizeof head, file)) > 0)
            text.append(head, more);
    }
    const bool failed = std::ferror(file) != 0;
    const int reason = errno;
    std::fclose(file);
    if (failed)
        std::fprintf(stderr, "qucode: cannot read %s: %s\n", path.c_str(), std::strerror(reason));
    return !failed;
}

// qucode run on a dump: the replay, from the file or from standard input held in memory.
int replay_dump(const CommandLine& line, const std::string& stdin_bytes)
{
    quantum_reg_struct reg;
    bool within = true;
    if (line.file == "-") {
        // An empty stream cannot be opened in memory; it replays as an empty file.
        static const char nop = static_cast<char>(OBJCODE_NOP);
        FILE* file = fmemopen(const_cast<char*>(stdin_bytes.empty() ? &nop : stdin_bytes.data()),
                              stdin_bytes.empty() ? 1 : stdin_bytes.size(), "rb");
        if (file) {
            within = quantum_objcode_run_stream(file, reg, line.max_states);
            std::fclose(file);
        }
    } else {
        within = quantum_objcode_run(line.file, reg, line.max_states);
    }
    if (within) {
        print_register(reg);
        std::fflush(stdout);
        if (!line.dump.empty() && objcode_write_file(line.dump.c_str()) != 0) {
            std::fprintf(stderr, "qucode: %s kann nicht geschrieben werden.\n", line.dump.c_str());
            within = false;
        }
    }
    register_delete(reg);
    objcode_stop();
    return within ? 0 : 1;
}

// run, probs and sample: a program is read and run; run also replays a dump.
int program_command(const CommandLine& line)
{
    std::string text;
    bool program = false;
    if (!load(line.file, text, program))
        return 1;
    if (line.seeded)
        std::srand(line.seed);
    if (!program) {
        if (line.command == "run")
            return replay_dump(line, text);
        std::fprintf(stderr,
                     "qucode: %s braucht ein OpenQASM-Programm; %s ist keines (eine Dump-Datei "
                     "wandelt \"qucode qasm\" um).\n",
                     line.command.c_str(), line.file.c_str());
        return 1;
    }
    const std::string name = line.file == "-" ? "<stdin>" : line.file;
    circuits::Circuit circuit;
    circuits::ReadError error;
    if (!circuits::read_qasm(text, name, circuit, error)) {
        std::fprintf(stderr, "%s\n", circuits::located(name, error).c_str());
        return 1;
    }
    circuits::RunOptions options;
    options.max_states = line.max_states;
    options.progress = true;
    options.dump = line.dump;
    if (line.command == "probs")
        return circuits::probs_command(circuit, line.min_probability, options);
    if (line.command == "sample")
        return circuits::sample_command(circuit, line.shots, options);
    return circuits::run_command(circuit, options);
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
    if (line.command == "run" || line.command == "probs" || line.command == "sample")
        return program_command(line);
    if (line.command == "list")
        return disasm_list_to_stdout(line.file);
    return qasm_command(line.file, line.output);
}
