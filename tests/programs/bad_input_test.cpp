// tests/programs/bad_input_test.cpp: hostile input at every prompt of the real program and
// on qucode's command line; each is refused with one clear line and loses nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/programs/program_fixture.h"

namespace {

using program_test::HeadlessRun;
using program_test::run_headless;

const std::string SHOR_RANGE = "Bitte geben Sie eine Zahl von 3 bis 1.000 ein.";
const std::string SEARCHED_MAX = "Bitte geben Sie eine gesuchte Zahl von höchstens 1.048.575 ein.";
const std::string GROVER_WIDTH_MAX = "Bitte geben Sie eine Registerzahl von höchstens 20 ein.";
const std::string ORACLE_WIDTH_MAX = "Bitte geben Sie eine Registerzahl von höchstens 24 ein.";
const std::string WIDTH_MIN = "Bitte geben Sie eine Registerzahl von mindestens 3 ein.";

struct PromptCase {
    const char* name;
    std::string keys; // typed after R, whose dump must survive them
    std::string refusal;
};

std::ostream& operator<<(std::ostream& out, const PromptCase& c)
{
    return out << c.name;
}

// What R writes: its width record of 1 qubit, then 19 bytes; no other command writes that.
bool is_random_dump(const std::vector<uint8_t>& dump)
{
    return dump.size() == 24 && std::equal(dump.begin(), dump.begin() + 5,
                                           std::vector<uint8_t>{0xF0, 0, 0, 0, 1}.begin());
}

class BadPromptInput : public ::testing::TestWithParam<PromptCase> {};

TEST_P(BadPromptInput, IsRefusedWithOneLineAndTheDumpKept)
{
    const PromptCase& c = GetParam();
    // A hang would end at the time limit with status 3.
    const HeadlessRun run = run_headless(std::string("bad-input-") + c.name, "r" + c.keys, "", 60);
    EXPECT_EQ(run.status, 0) << run.output;
    size_t lines = 0;
    for (const std::string& row : run.rows)
        lines += row.rfind("Bitte ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(lines, 1u) << run.screen;
    EXPECT_NE(run.screen.find("\n\n" + c.refusal), std::string::npos) << run.screen;
    EXPECT_EQ(run.output.find("ERROR"), std::string::npos) << run.output;
    EXPECT_TRUE(is_random_dump(run.dump)) << run.dump.size();
}

const std::string THIRTY_DIGITS(30, '9');

INSTANTIATE_TEST_SUITE_P(
    EveryPrompt, BadPromptInput,
    ::testing::Values(
        PromptCase{"shor_empty", "s\n", SHOR_RANGE},
        PromptCase{"shor_letters", "sabc\n", SHOR_RANGE},
        PromptCase{"shor_signs", "s-+-5\n", SHOR_RANGE},
        PromptCase{"shor_30_digits", "s" + THIRTY_DIGITS + "\n", SHOR_RANGE},
        PromptCase{"shor_below", "s2\n", SHOR_RANGE},
        PromptCase{"shor_above", "s1001\n", SHOR_RANGE},
        PromptCase{"shor_escape", "s12\x1b", SHOR_RANGE},
        // Control characters, a lone continuation byte, a cut sequence and a surrogate.
        PromptCase{"shor_pasted",
                   "s\x01\x07\x80\xC3\xED\xA0\x80"
                   "2\n",
                   SHOR_RANGE},
        PromptCase{"grover_30_digits", "g" + THIRTY_DIGITS + "\n0\n", SEARCHED_MAX},
        PromptCase{"grover_searched_above", "g1048576\n0\n", SEARCHED_MAX},
        PromptCase{"grover_width_above", "g5\n21\n", GROVER_WIDTH_MAX},
        PromptCase{"grover_searched_escape",
                   "g1\x1b"
                   "21\n",
                   GROVER_WIDTH_MAX},
        PromptCase{"oracle_empty", "o\n", WIDTH_MIN}, PromptCase{"oracle_below", "o2\n", WIDTH_MIN},
        PromptCase{"oracle_above", "o25\n", ORACLE_WIDTH_MAX},
        PromptCase{"oracle_pasted", "o\xFF\xFE\x1b", WIDTH_MIN}),
    [](const ::testing::TestParamInfo<PromptCase>& info) { return std::string(info.param.name); });

TEST(BadQucodeFile, EachIsOneLineAndItsStatus)
{
    const std::filesystem::path folder =
        std::filesystem::path(ORBIKON_BUILD_DIR) / "test-programs" / "bad-qucode";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "folder.qucode");
    const auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
        test_support::write_bytes(folder / name, bytes);
        return (folder / name).string();
    };
    const std::string empty = write("empty.qucode", {});
    // An init and a CNOT cut after its first operand.
    const std::string cut = write("cut.qucode", {0x00, 0, 0, 0, 0, 0, 0, 0, 5, 0x01, 0, 0, 0, 1});
    // 34 Hadamards: far more entries than a quarter of any machine's memory holds.
    std::vector<uint8_t> wide = {0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    for (uint8_t q = 0; q < 34; ++q)
        wide.insert(wide.end(), {0x06, 0, 0, 0, q});
    const std::string oversized = write("wide.qucode", wide);
    const std::string missing = (folder / "missing.qucode").string();
    const std::string directory = (folder / "folder.qucode").string();

    const struct {
        std::string args;
        int status;
        std::string err; // all of standard error; "*": one line refusing the budget
        std::string out; // the start of standard output
    } cases[] = {
        {"run '" + missing + "'", 1,
         "qucode: cannot read " + missing + ": No such file or directory\n", ""},
        {"list '" + missing + "'", 1,
         "qucode: cannot read " + missing + ": No such file or directory\n", ""},
        {"run '" + directory + "'", 1, "qucode: cannot read " + directory + ": Is a directory\n",
         ""},
        {"list '" + directory + "'", 1, "qucode: cannot read " + directory + ": Is a directory\n",
         ""},
        // Readable by nobody, not even root: reading a process's own memory at 0 fails.
        {"run /proc/self/mem", 1, "qucode: cannot read /proc/self/mem: Input/output error\n", ""},
        {"run '" + empty + "'", 0, "", "\n"},
        {"list '" + empty + "'", 0, "quantum_print: File size = 0 Bytes\n", ""},
        {"run '" + cut + "'", 0, "ERROR: failure\n", " 1.000000 +0.000000i|5> "},
        {"run '" + oversized + "'", 1, "*", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const test_support::ToolRun run = test_support::run_qucode(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out;
        if (c.err != "*") {
            EXPECT_EQ(run.err, c.err);
        } else {
            EXPECT_NE(run.err.find("would grow the register to "), std::string::npos) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
    }
}

} // namespace
