// Object-code recording: record bytes, page growth and the dump file.
#include "engine/objcode.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "engine/error.h"
#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/register.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes recorded()
{
    const uint8_t* data = objcode_data();
    return data ? Bytes(data, data + objcode_position()) : Bytes{};
}

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

using test_support::temp_path;

// A mix of single records and runs that crosses page ends and, spilling, the window:
// repeat(count, ...) records a run when bulk is set, else count single records.
void record_mix(bool bulk)
{
    const auto repeat = [bulk](int64_t count, auto... operands) {
        if (bulk) {
            objcode_record_repeat(count, operands...);
            return;
        }
        for (int64_t k = 0; k < count; k++)
            objcode_record(operands...);
    };
    objcode_record(OBJCODE_NOP);
    repeat(0, OBJCODE_SWAP_LEADS, 3);
    for (int k = 0; k < 13106; k++)
        objcode_record(OBJCODE_HADAMARD, k);
    repeat(3, OBJCODE_ROT_X, 1, 0.5);
    repeat(100000, OBJCODE_SWAP_LEADS, 19);
    objcode_record(OBJCODE_TOFFOLI, 1, 2, 3);
    repeat(7, OBJCODE_COND_PHASE_KICK, 4, 1, 0.25);
    repeat(20000, OBJCODE_CNOT, 1, 2);
    objcode_record(OBJCODE_MEASURE);
}

// The files that writes to path may leave beside it while working.
std::vector<std::string> leftovers(const std::string& path)
{
    std::vector<std::string> found;
    const std::filesystem::path target(path);
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name != target.filename().string() && name.rfind(target.filename().string(), 0) == 0)
            found.push_back(name);
    }
    return found;
}

class ObjcodeTest : public testing::Test {
protected:
    void SetUp() override { quantum_objcode_start(); }
    void TearDown() override { objcode_stop(); }
};

} // namespace

TEST(ObjcodeTrace, RegisterNewRestoresTheDumpPathAsDefault)
{
    objcode_set_dump_path("/somewhere/dump.qucode");
    objcode_set_default_file("/elsewhere");
    quantum_reg_struct reg = register_new(0, 1);
    EXPECT_EQ(objcode_default_file(), "/somewhere/dump.qucode");
    register_delete(reg);
    objcode_stop();
    objcode_set_dump_path("");
}

TEST_F(ObjcodeTest, OpcodesEncodeTheirOperands)
{
    // The opcodes whose records no gate test, program test or replay round trip pins.
    struct Case {
        Bytes expected;
        void (*record)();
    };
    const Case cases[] = {
        {{0x00, 1, 2, 3, 4, 5, 6, 7, 8},
         [] { objcode_record(OBJCODE_INIT, uint64_t{0x0102030405060708}); }},
        {{0x04, 0, 0, 0, 9}, [] { objcode_record(OBJCODE_SIGMA_Y, 9); }},
        {{0x05, 0, 0, 0, 9}, [] { objcode_record(OBJCODE_SIGMA_Z, 9); }},
        // Angles are the native little-endian double.
        {{0x07, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F}, [] { objcode_record(OBJCODE_ROT_X, 1, 0.5); }},
        {{0x09, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x40},
         [] { objcode_record(OBJCODE_ROT_Z, 2, 2.0); }},
        {{0x0A, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0xF0, 0xBF},
         [] { objcode_record(OBJCODE_PHASE_KICK, 2, -1.0); }},
        {{0x0B, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0},
         [] { objcode_record(OBJCODE_PHASE_SCALE, 2, 0.0); }},
        {{0x80}, [] { objcode_record(OBJCODE_MEASURE); }},
        {{0x82, 0, 0, 0, 0}, [] { objcode_record(OBJCODE_MEASURE_QUBIT_PRESERVE, 0); }},
        {{0xFF}, [] { objcode_record(OBJCODE_NOP); }},
        {{0x03, 0xFF, 0xFF, 0xFF, 0xFE}, [] { objcode_record(OBJCODE_SIGMA_X, -2); }},
    };
    for (const Case& c : cases) {
        quantum_objcode_start();
        c.record();
        EXPECT_EQ(recorded(), c.expected) << "opcode " << int(c.expected[0]);
        EXPECT_EQ(objcode_record_length(c.expected[0]), int64_t(c.expected.size()));
    }
}

TEST(ObjcodeInactive, RecordReturnsZeroAndWriteComplains)
{
    objcode_stop();
    EXPECT_EQ(objcode_record(OBJCODE_HADAMARD, 1), 0);
    EXPECT_EQ(objcode_position(), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(objcode_write_file("/tmp/never-written"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Object code generation not active! Forgot to call quantum_objcode_start?\n");
}

TEST_F(ObjcodeTest, UnopenableOrFailedWritesReturnMinusOne)
{
    objcode_record(OBJCODE_NOP);
    objcode_set_default_file("");
    EXPECT_EQ(objcode_write_file(), -1) << "no default file";
    EXPECT_EQ(objcode_write_file("/nonexistent-folder/dump.qucode"), -1);
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(objcode_write_file("/dev/full"), -1) << "a failed write is no success";
    }
}

TEST(ObjcodeSpill, RunsAndSpilledRecordsGiveTheBytesOfSingleRecordsInMemory)
{
    objcode_set_memory_limit(0);
    quantum_objcode_start();
    record_mix(false);
    const Bytes reference = recorded();
    const int64_t reference_pages = objcode_pages();
    objcode_stop();
    ASSERT_EQ(reference.size(), 65531u + 39 + 500000 + 13 + 119 + 180000 + 1);

    const std::string path = temp_path("spill.qucode");
    for (const int64_t limit : {int64_t{0}, OBJCODE_PAGE_BYTES, 2 * OBJCODE_PAGE_BYTES + 3}) {
        SCOPED_TRACE(limit);
        objcode_set_memory_limit(limit);
        const int64_t before = memory_account(0);
        quantum_objcode_start();
        record_mix(true);
        EXPECT_EQ(objcode_position(), int64_t(reference.size()));
        EXPECT_EQ(objcode_pages(), reference_pages);
        EXPECT_EQ(memory_account(0), before + reference_pages * OBJCODE_PAGE_BYTES);
        EXPECT_TRUE(recorded() == reference);
        ASSERT_EQ(objcode_write_file(path.c_str()), 0);
        EXPECT_TRUE(read_file(path) == reference);
        objcode_stop();
        EXPECT_EQ(memory_account(0), before);
    }
    objcode_set_memory_limit(OBJCODE_MEMORY_LIMIT);
    EXPECT_EQ(leftovers(path), std::vector<std::string>{});
    std::remove(path.c_str());
}

TEST(ObjcodeSpill, WrittenFilesKeepTheirBytesWhileRecordingGoesOn)
{
    const std::string first = temp_path("first.qucode");
    const std::string second = temp_path("second.qucode");
    for (const int64_t limit : {int64_t{0}, OBJCODE_PAGE_BYTES}) {
        SCOPED_TRACE(limit);
        objcode_set_memory_limit(limit);
        quantum_objcode_start();
        objcode_record_repeat(100000, OBJCODE_SWAP_LEADS, 19);
        ASSERT_EQ(objcode_write_file(first.c_str()), 0);
        const Bytes early = recorded();
        ASSERT_EQ(early.size(), 500000u);
        // Writing again with nothing new, then going on, must not touch the first file.
        ASSERT_EQ(objcode_write_file(first.c_str()), 0);
        objcode_record(OBJCODE_HADAMARD, 5);
        objcode_record_repeat(30000, OBJCODE_SWAP_LEADS, 7);
        ASSERT_EQ(objcode_write_file(second.c_str()), 0);
        const Bytes late = recorded();
        EXPECT_EQ(late.size(), 500000u + 5 + 150000);
        EXPECT_TRUE(read_file(first) == early);
        EXPECT_TRUE(read_file(second) == late);
        ASSERT_EQ(objcode_write_file(first.c_str()), 0);
        EXPECT_TRUE(read_file(first) == late);
        objcode_stop();
    }
    objcode_set_memory_limit(OBJCODE_MEMORY_LIMIT);
    EXPECT_EQ(leftovers(first), std::vector<std::string>{});
    std::remove(first.c_str());
    std::remove(second.c_str());
}

TEST(ObjcodeSpill, FailedWriteKeepsThePreviousFile)
{
    const std::string path = temp_path("kept.qucode");
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    for (const int64_t limit : {int64_t{0}, OBJCODE_PAGE_BYTES}) {
        SCOPED_TRACE(limit);
        std::ofstream(path, std::ios::binary) << "previous";
        objcode_set_memory_limit(limit);
        quantum_objcode_start();
        objcode_record_repeat(60000, OBJCODE_SWAP_LEADS, 19);
        objcode_record(OBJCODE_MEASURE);
        // Files may now grow to 100000 bytes only: the 300001-byte trace cannot be written.
        rlimit small = old_limit;
        small.rlim_cur = 100000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_EQ(objcode_write_file(path.c_str()), -1);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit), 0);
        EXPECT_EQ(read_file(path), (Bytes{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
        EXPECT_EQ(leftovers(path), std::vector<std::string>{});
        // Nothing recorded is lost: with room again the whole trace is written.
        ASSERT_EQ(objcode_write_file(path.c_str()), 0);
        EXPECT_EQ(read_file(path).size(), 300001u);
        objcode_stop();
    }
    objcode_set_memory_limit(OBJCODE_MEMORY_LIMIT);
    std::signal(SIGXFSZ, old_handler);
    std::remove(path.c_str());
}
