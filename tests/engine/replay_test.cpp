// Tests for engine/replay and the qucode tool: a recorded circuit replays to the same
// register; malformed dumps are reported and never read out of bounds.
#include "engine/replay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/objcode.h"
#include "tests/support/test_support.h"

namespace {

using test_support::run_qucode;
using test_support::temp_path;
using test_support::write_bytes;

std::string register_text(const quantum_reg_struct& reg)
{
    testing::internal::CaptureStdout();
    print_register(reg);
    return testing::internal::GetCapturedStdout();
}

// A traced program on a 12-qubit register touching every replayable opcode.
quantum_reg_struct traced_program()
{
    quantum_reg_struct reg = register_new(0, 12);
    for (int q = 0; q < 4; ++q)
        apply_hadamard(q, reg);
    apply_cnot(0, 5, reg);
    apply_toffoli(1, 2, 7, reg);
    apply_sigma_x(9, reg);
    apply_sigma_y(4, reg);
    apply_sigma_z(1, reg);
    apply_rot_x(3, 0.5f, reg);
    apply_rot_y(6, 1.25f, reg);
    apply_rot_z(2, 0.75f, reg);
    apply_phase_kick(0, 0.3f, reg);
    apply_phase_scale(1, 0.2f, reg);
    apply_cond_phase(2, 0, reg);
    apply_cond_phase_kick(3, 1, 0.25f, reg);
    swap_leads(2, reg);
    measure_qubit_preserve(0, reg);
    measure(reg);
    apply_hadamard(8, reg);
    measure_qubit(5, reg);
    return reg;
}

// Replays the given bytes from a file onto reg; returns what the replay wrote on stderr.
std::string replay_bytes(const std::vector<uint8_t>& bytes, quantum_reg_struct& reg)
{
    const std::string path = temp_path("bytes.qucode");
    write_bytes(path, bytes);
    testing::internal::CaptureStderr();
    quantum_objcode_run(path, reg);
    std::remove(path.c_str());
    return testing::internal::GetCapturedStderr();
}

// Replays path into a fresh record and returns the printed register.
std::string replayed_text(const std::string& path)
{
    quantum_reg_struct reg;
    quantum_objcode_run(path, reg);
    std::string text = register_text(reg);
    register_delete(reg);
    return text;
}

class Replay : public ::testing::Test {
protected:
    void TearDown() override
    {
        objcode_stop();
        last_error = 0;
    }
};

} // namespace

TEST_F(Replay, RecordedCircuitReproducesTheRegisterAndIsRecordedAnew)
{
    const std::string path = temp_path("roundtrip.qucode");
    std::srand(42);
    quantum_reg_struct reg = traced_program();
    ASSERT_EQ(objcode_write_file(path.c_str()), 0);
    const std::string expected = register_text(reg);
    const std::vector<uint8_t> original(objcode_data(), objcode_data() + objcode_position());
    register_delete(reg);
    objcode_stop();
    ASSERT_GT(expected.size(), 100u);

    std::srand(42);
    quantum_reg_struct replayed;
    quantum_objcode_run(path, replayed);
    EXPECT_EQ(register_text(replayed), expected);
    ASSERT_TRUE(objcode_active());
    EXPECT_EQ(std::vector<uint8_t>(objcode_data(), objcode_data() + objcode_position()), original);
    register_delete(replayed);
    const test_support::ToolRun tool = run_qucode("run '" + path + "' --seed 42");
    EXPECT_EQ(tool.out, expected) << "qucode run prints the same register";
    EXPECT_EQ(tool.status, 0);
    std::remove(path.c_str());
}

TEST_F(Replay, SwapLeadsRecordsOfOneCallReplayAsOneCall)
{
    // Four entries: each call writes four identical records. Two calls with the same width
    // must swap twice, and a following call with another width once more.
    const std::string path = temp_path("swaps.qucode");
    quantum_reg_struct reg = register_new(0, 12);
    apply_hadamard(0, reg);
    apply_hadamard(5, reg);
    swap_leads(3, reg);
    swap_leads(3, reg);
    swap_leads(4, reg);
    ASSERT_EQ(objcode_write_file(path.c_str()), 0);
    const std::string expected = register_text(reg);
    register_delete(reg);
    objcode_stop();
    EXPECT_EQ(replayed_text(path), expected);
    std::remove(path.c_str());
}

TEST_F(Replay, WidthRecordIsReadAndTheRegisterHasTwelveQubits)
{
    quantum_reg_struct reg;
    EXPECT_EQ(replay_bytes({0xF0, 0, 0, 0, 4, 0x00, 0, 0, 0, 0, 0, 0, 0, 5, 0x06, 0, 0, 0, 2}, reg), "");
    EXPECT_EQ(reg.width, 12);
    ASSERT_EQ(reg.size, 2);
    EXPECT_EQ(reg.state[0], 5u);
    EXPECT_EQ(reg.state[1], 1u);
    // The new recording begins with the replay's own width.
    EXPECT_EQ(std::vector<uint8_t>(objcode_data(), objcode_data() + 5),
              (std::vector<uint8_t>{OBJCODE_WIDTH, 0, 0, 0, 12}));
    register_delete(reg);
}

TEST_F(Replay, LoneHadamardActsOnTheGivenRegisterAndIsRecorded)
{
    quantum_reg_struct reg = register_new(0, 3);
    const int64_t start = objcode_position();
    EXPECT_EQ(replay_bytes({0x06, 0, 0, 0, 2}, reg), "");
    ASSERT_EQ(reg.size, 2);
    EXPECT_EQ(reg.state[1], 4u);
    EXPECT_FLOAT_EQ(reg.amplitude[1].real(), 0.70710677f);
    ASSERT_EQ(objcode_position(), start + 5);
    EXPECT_EQ(objcode_data()[start], OBJCODE_HADAMARD);
    EXPECT_EQ(objcode_data()[start + 4], 2);
    register_delete(reg);
}

TEST_F(Replay, EmptyFileChangesNothingAndMalformedRecordsReportFailure)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    // A cut angle and a negative swap width are in the export test's bad records.
    for (const Case& c : {Case{"empty file", {}}, Case{"integer", {0x06, 0, 0}},
                          Case{"basis value", {0x00, 0, 0, 0, 0, 1}},
                          Case{"second integer", {0x01, 0, 0, 0, 0, 0, 0}},
                          Case{"kick angle", {0x0D, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}}}) {
        const bool empty = c.bytes.empty();
        quantum_reg_struct reg = register_new(9, 4);
        const std::string before = register_text(reg);
        last_error = 0;
        EXPECT_EQ(replay_bytes(c.bytes, reg), empty ? "" : "ERROR: failure\n") << c.name;
        EXPECT_EQ(last_error, empty ? 0 : QUANTUM_FAILURE) << c.name;
        EXPECT_EQ(register_text(reg), before) << c.name;
        register_delete(reg);
    }
}

TEST_F(Replay, UnreadableFileIsReportedAndTheRegisterUntouched)
{
    const std::string path = temp_path("missing/none.qucode");
    quantum_reg_struct reg = register_new(1, 2);
    testing::internal::CaptureStderr();
    quantum_objcode_run(path, reg);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "quantum_objcode_run: Could not open " + path + ": No such file or directory\n");
    ASSERT_EQ(reg.size, 1);
    EXPECT_EQ(reg.state[0], 1u);
    // A folder opens but fails every read; the replay once looped on it for ever.
    testing::internal::CaptureStderr();
    quantum_objcode_run(testing::TempDir(), reg);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "quantum_objcode_run: Could not read " + testing::TempDir() + ": Is a directory\n");
    EXPECT_EQ(reg.size, 1);
    register_delete(reg);
}

// Hostile records in general are the replay fuzz target's work (tests/fuzz).

// A dump of an init of basis value 0 and the given records, each an opcode with its integer
// operands and, for the rotations, an angle.
std::vector<uint8_t> dump_of(const std::vector<std::vector<int64_t>>& records)
{
    std::vector<uint8_t> bytes = {0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    for (const std::vector<int64_t>& r : records) {
        const auto op = static_cast<uint8_t>(r[0]);
        bytes.push_back(op);
        const bool angle = op == OBJCODE_ROT_X || op == OBJCODE_ROT_Y;
        for (size_t i = 1; i < r.size() - (angle ? 1 : 0); ++i)
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes.push_back(static_cast<uint8_t>(r[i] >> shift));
        if (angle) {
            const double gamma = static_cast<double>(r.back());
            const auto* b = reinterpret_cast<const uint8_t*>(&gamma);
            bytes.insert(bytes.end(), b, b + sizeof gamma);
        }
    }
    return bytes;
}

std::vector<std::vector<int64_t>> hadamards(int64_t count)
{
    std::vector<std::vector<int64_t>> records;
    for (int64_t q = 0; q < count; ++q)
        records.push_back({OBJCODE_HADAMARD, q});
    return records;
}

TEST_F(Replay, StateBudgetRefusesOnlyRecordsThatWouldPassIt)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int64_t budget;
        std::string err; // empty: the replay runs to the end
        int64_t size;    // entries afterwards
    };
    const Case cases[] = {
        // Foreseen from the first Hadamard: refused before any of them runs.
        {"34 Hadamards", dump_of(hadamards(34)), 1000,
         "10: Record 0x06 on qubit 9 would grow the register to 1024 states, past the budget of "
         "1000; replay stopped.\n",
         1},
        {"exactly the budget", dump_of(hadamards(10)), 1024, "", 1024},
        // {00, 11} after H0 and a CNOT: the look-ahead cannot know the second H0 grows it.
        {"grows where entries differ", dump_of({{OBJCODE_HADAMARD, 0}, {OBJCODE_CNOT, 0, 1},
                                                {OBJCODE_HADAMARD, 0}}),
         3,
         "3: Record 0x06 on qubit 0 would grow the register to 4 states, past the budget of 3; "
         "replay stopped.\n",
         2},
        // A Hadamard undone at the budget finds every partner present.
        {"undone at the budget", dump_of({{OBJCODE_HADAMARD, 0}, {OBJCODE_HADAMARD, 0}}), 2, "", 1},
        {"rotation by 0 adds nothing", dump_of({{OBJCODE_ROT_X, 3, 0}}), 1, "", 1},
        {"rotation by 1", dump_of({{OBJCODE_ROT_Y, 3, 1}}), 1,
         "1: Record 0x08 on qubit 3 would grow the register to 2 states, past the budget of 1; "
         "replay stopped.\n",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = temp_path("budget.qucode");
        write_bytes(path, c.bytes);
        quantum_reg_struct reg;
        testing::internal::CaptureStderr();
        const bool within = quantum_objcode_run(path, reg, c.budget);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(within, c.err.empty());
        EXPECT_EQ(reg.size, c.size);
        register_delete(reg);
        std::remove(path.c_str());
    }
}

// A missing file and the default budget are in the bad-input table of the program tests.
TEST_F(Replay, QucodeHoldsToTheBudgetItIsGiven)
{
    const std::string path = temp_path("tool.qucode");
    write_bytes(path, dump_of(hadamards(3)));
    EXPECT_EQ(run_qucode("run '" + path + "' --max-states 4").status, 1) << "8 states past 4";
    EXPECT_EQ(run_qucode("run '" + path + "' --max-states 8").status, 0);
    for (const char* bad : {"0", "-3", "x", "", "99999999999999999999"})
        EXPECT_EQ(run_qucode("run '" + path + "' --max-states '" + bad + "'").status, 2) << bad;
    std::remove(path.c_str());
}
