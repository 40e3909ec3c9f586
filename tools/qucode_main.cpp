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
#include "programs/disasm.h"

namespace {

constexpr const char* USAGE =
    "Usage: qucode run FILE [--seed N] [--max-states N]\n"
    "  run   replays the dump FILE into a register and prints the final register;\n"
    "        --seed N seeds the random draws of the measurements with N first;\n"
    "        --max-states N refuses (status 1) to let the register grow past N entries\n"
    "        (default: what fits in a quarter of the physical memory).\n"
    "       qucode list FILE\n"
    "  list  prints the listing of the dump FILE, one record a line.\n"
    "       qucode --help\n";

int usage_error(const char* message)
{
    std::fprintf(stderr, "qucode: %s\n%s", message, USAGE);
    return 2;
}

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

int run_command(int argc, char** argv)
{
    if (argc < 3)
        return usage_error("run needs a FILE.");
    const std::string file = argv[2];
    bool seeded = false;
    unsigned seed = 0;
    int64_t max_states = replay_default_state_budget();
    for (int i = 3; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--seed" && i + 1 < argc) {
            if (!parse_seed(argv[i + 1], seed))
                return usage_error("--seed needs a whole number from 0 to 4294967295.");
            seeded = true;
            ++i;
        } else if (std::string_view(argv[i]) == "--max-states" && i + 1 < argc) {
            errno = 0;
            char* end = nullptr;
            const long long value = std::strtoll(argv[i + 1], &end, 10);
            if (errno != 0 || end == argv[i + 1] || *end != '\0' || value < 1)
                return usage_error("--max-states needs a whole number of at least 1.");
            max_states = value;
            ++i;
        } else {
            return usage_error("unexpected argument.");
        }
    }

    // Checked here so that an unreadable file costs exactly one line and a non-zero status.
    if (!qucode_can_read(file))
        return 1;

    if (seeded)
        std::srand(seed);
    quantum_reg_struct reg;
    if (!quantum_objcode_run(file, reg, max_states)) {
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
    if (argc < 2)
        return usage_error("no command given.");
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (command == "run")
        return run_command(argc, argv);
    if (command == "list")
        return argc == 3 ? disasm_list_to_stdout(argv[2]) : usage_error("list needs one FILE.");
    return usage_error("unknown command.");
}
