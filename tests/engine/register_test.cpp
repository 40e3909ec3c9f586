// The register record, its hash table, purging and printing.
#include "engine/register.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/gates.h"
#include "engine/objcode.h"

namespace {

quantum_reg_struct sparse_register(int64_t width, int64_t hashw, std::vector<uint64_t> values)
{
    quantum_reg_struct reg = register_new_sparse(int64_t(values.size()), width);
    for (size_t i = 0; i < values.size(); i++) {
        reg.state[i] = values[i];
        reg.amplitude[i] = 1.0f;
    }
    reg.hashw = hashw;
    reg.hash = static_cast<int64_t*>(calloc(size_t(hash_length(hashw)), sizeof(int64_t)));
    memory_account(8 * hash_length(hashw));
    return reg;
}

std::vector<uint64_t> states(const quantum_reg_struct& reg)
{
    return std::vector<uint64_t>(reg.state, reg.state + reg.size);
}

std::string printed(void (*print)(quantum_reg_struct), const quantum_reg_struct& reg)
{
    testing::internal::CaptureStdout();
    print(reg);
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(RegisterNew, FieldsTableTraceStartAndScratch)
{
    quantum_reg_struct reg = register_new(5, 3);
    EXPECT_EQ(hash_length(reg.hashw), 32);
    for (int i = 0; i < 32; i++)
        EXPECT_EQ(reg.hash[i], 0);
    const std::vector<uint8_t> start(objcode_data(), objcode_data() + objcode_position());
    const std::vector<uint8_t> expected = {0xF0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 5};
    EXPECT_EQ(start, expected);
    // Scratch qubits shift the values up and keep the table.
    int64_t* table = reg.hash;
    register_add_scratch(3, reg);
    EXPECT_EQ(reg.state[0], 40u);
    EXPECT_EQ(reg.width, 6);
    EXPECT_EQ(reg.hashw, 5);
    EXPECT_EQ(reg.hash, table);
    register_delete(reg);
    objcode_stop();
}

TEST(RegisterMemory, AccountingReturnsToZeroAfterDelete)
{
    const int64_t base = memory_account(0);
    quantum_reg_struct reg = register_new(0, 6);
    EXPECT_EQ(memory_account(0), base + 16 + 8 * 256 + 65536);
    apply_hadamard(0, reg);
    apply_hadamard(3, reg);
    quantum_reg_struct copy;
    register_copy(reg, copy);
    apply_hadamard(3, copy);
    quantum_reg_struct both = register_kronecker(reg, copy);
    register_delete(both);
    register_delete(copy);
    register_delete(reg);
    objcode_stop();
    EXPECT_EQ(memory_account(0), base);

    quantum_reg_struct dense = register_new_dense(10, 4);
    quantum_reg_struct sparse = register_new_sparse(10, 4);
    EXPECT_EQ(memory_account(0), base + 80 + 160);
    register_delete(dense);
    register_delete(sparse);
    EXPECT_EQ(memory_account(0), base);
}

TEST(HashFunction, KnownIndicesAndTheWideMismatchLine)
{
    for (int64_t h : {1, 5, 12, 30})
        EXPECT_EQ(quantum_hash64(0, h), 0u);
    EXPECT_EQ(quantum_hash64(1, 5), 19u);
    // High and low halves are folded together first.
    EXPECT_EQ(quantum_hash64(uint64_t{1} << 32, 5), 19u);
    EXPECT_EQ(quantum_hash64(2, 10), (2u * 0x9E370001u) >> 22);
    // A wide register prints the index mismatch.
    testing::internal::CaptureStdout();
    EXPECT_EQ(quantum_hash64(1, 42), 632u);
    EXPECT_EQ(quantum_hash64(0, 42), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "quantum_hash64: key = 1, width = 42, k32 = 632, k64 = 0\n");
}

TEST(HashTable, WidthFortyWorksWithATableOfTwoToTheTen)
{
    testing::internal::CaptureStdout();
    quantum_reg_struct reg = register_new(0, 40);
    EXPECT_EQ(hash_length(reg.hashw), 1024);
    apply_hadamard(39, reg);
    apply_hadamard(0, reg);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(reg.size, 4);
    hash_rebuild(reg);
    testing::internal::CaptureStdout();
    for (int64_t p = 0; p < reg.size; p++)
        EXPECT_EQ(state_lookup(reg.state[p], reg), p);
    testing::internal::GetCapturedStdout();
    register_delete(reg);
    objcode_stop();
}

TEST(HashTable, CollisionsProbeLinearlyAndWrap)
{
    // Values sharing one folded key share one index; find a key landing on the last slot.
    uint64_t key = 1;
    while (quantum_hash64(key, 5) != 31)
        key++;
    const std::vector<uint64_t> values = {key, key << 32, (key ^ 7) | (uint64_t{7} << 32)};
    quantum_reg_struct reg = sparse_register(3, 5, values);
    hash_rebuild(reg);
    EXPECT_EQ(reg.hash[31], 1);
    EXPECT_EQ(reg.hash[0], 2);
    EXPECT_EQ(reg.hash[1], 3);
    for (int64_t p = 0; p < 3; p++)
        EXPECT_EQ(state_lookup(values[p], reg), p);
    EXPECT_EQ(state_lookup(key ^ (uint64_t{9} << 32) ^ 9, reg), -1);
    register_delete(reg);
}

TEST(HashTable, InsertIntoAFullTableIsReportedAndWritesNothing)
{
    quantum_reg_struct reg = sparse_register(1, 1, {0, 1, 2});
    hash_insert(0, 0, reg);
    hash_insert(1, 1, reg);
    last_error = 0;
    testing::internal::CaptureStderr();
    hash_insert(2, 2, reg);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: hash table full\n");
    EXPECT_EQ(last_error, QUANTUM_EHASHFULL);
    EXPECT_EQ(reg.hash[0] + reg.hash[1], 1 + 2);
    EXPECT_EQ(state_lookup(3, reg), -1) << "a full table must not loop";
    register_delete(reg);
    last_error = 0;
}

TEST(HashTable, RebuildOfAnOverfullTableReportsOnceAndWidensIt)
{
    quantum_reg_struct reg = sparse_register(1, 1, {0, 1, 2});
    const int64_t before = memory_account(0);
    last_error = 0;
    testing::internal::CaptureStderr();
    hash_rebuild(reg);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: hash table full\n");
    EXPECT_EQ(last_error, QUANTUM_EHASHFULL);
    EXPECT_EQ(reg.hashw, 3);
    EXPECT_EQ(memory_account(0), before + 8 * (8 - 2));
    for (int64_t p = 0; p < 3; p++)
        EXPECT_EQ(state_lookup(uint64_t(p), reg), p);
    EXPECT_EQ(state_lookup(3, reg), -1);
    register_delete(reg);
    EXPECT_EQ(memory_account(0), before - 8 * 2 - 48);
    last_error = 0;
}

TEST(HashTable, HadamardsBeyondTheWidthKeepWorking)
{
    // Width 1 gives 8 slots; Hadamards on qubits 0..4 make 32 entries.
    quantum_reg_struct reg = register_new(0, 1);
    testing::internal::CaptureStderr();
    for (int q = 0; q < 5; q++)
        apply_hadamard(q, reg);
    for (int q = 0; q < 5; q++)
        apply_hadamard(q, reg);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(reg.size, 1);
    EXPECT_EQ(reg.state[0], 0u);
    EXPECT_NEAR(reg.amplitude[0].real(), 1.0f, 1e-5);
    register_delete(reg);
    objcode_stop();
    last_error = 0;
}

TEST(HashTable, WidthsOutsideTheWorkingRangeStaySafe)
{
    // hashw 32: a one-slot table that raw indices would overrun.
    quantum_reg_struct reg = register_new(3, 30);
    EXPECT_EQ(hash_length(reg.hashw), 1);
    last_error = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    apply_hadamard(0, reg);
    apply_hadamard(1, reg);
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("ERROR"), std::string::npos);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(states(reg), (std::vector<uint64_t>{3, 2, 1, 0}));
    EXPECT_EQ(last_error, 0);
    register_delete(reg);

    // hashw 31: the table cannot be made; lookups still answer.
    last_error = 0;
    testing::internal::CaptureStderr();
    reg = register_new(3, 29);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: malloc failed\n");
    EXPECT_EQ(reg.hash, nullptr);
    testing::internal::CaptureStderr();
    apply_hadamard(0, reg);
    apply_hadamard(0, reg);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(reg.size, 1);
    EXPECT_EQ(reg.state[0], 3u);
    register_delete(reg);
    objcode_stop();
    last_error = 0;
}

TEST(Purge, DropsEntriesBelowTheLimitKeepingOrder)
{
    quantum_reg_struct reg = sparse_register(1, 3, {0, 1, 2, 3, 4});
    // Limit for width 1: 0.5e-6 in single precision; 7e-4 squared is above, 7e-4 below.
    reg.amplitude[0] = 0.5f;
    reg.amplitude[1] = 1e-4f;
    reg.amplitude[2] = quantum_amplitude(0.0f, 7.2e-4f);
    reg.amplitude[3] = 0.0f;
    reg.amplitude[4] = -0.5f;
    const int64_t before = memory_account(0);
    testing::internal::CaptureStderr();
    purge_small_amplitudes(reg);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(states(reg), (std::vector<uint64_t>{0, 2, 4}));
    EXPECT_EQ(reg.amplitude[2], quantum_amplitude(-0.5f, 0.0f));
    EXPECT_EQ(memory_account(0), before - 32);
    register_delete(reg);
}

TEST(Purge, WarnsWhenTheTableIsMoreThanHalfFull)
{
    quantum_reg_struct reg = sparse_register(1, 2, {0, 1, 2});
    testing::internal::CaptureStderr();
    purge_small_amplitudes(reg);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: inefficient hash table (size 3 vs hash 4)\n");
    register_delete(reg);
}

TEST(RegisterCopy, CopyIsIndependentOfTheSource)
{
    quantum_reg_struct src = register_new(2, 3);
    apply_hadamard(0, src);
    quantum_reg_struct dst;
    register_copy(src, dst);
    EXPECT_NE(dst.state, src.state);
    EXPECT_NE(dst.hash, src.hash);
    apply_hadamard(1, dst);
    EXPECT_EQ(dst.size, 4);
    EXPECT_EQ(states(src), (std::vector<uint64_t>{2, 3}));
    EXPECT_EQ(src.amplitude[0], quantum_amplitude(0.70710677f, 0.0f));
    register_delete(dst);
    register_delete(src);
    objcode_stop();
}

// Neither is used by a program: one smoke check each.
TEST(RegisterKroneckerAndColumn, ShiftTheFirstOverTheSecondAndRoundTrip)
{
    quantum_reg_struct a = sparse_register(2, 4, {1, 2});
    a.amplitude[0] = quantum_amplitude(0.0f, 1.0f);
    quantum_reg_struct b = sparse_register(3, 5, {5, 0});
    b.amplitude[0] = 3.0f;
    quantum_reg_struct k = register_kronecker(a, b);
    EXPECT_EQ(k.width, 5);
    EXPECT_EQ(k.hashw, 7);
    EXPECT_EQ(states(k), (std::vector<uint64_t>{13, 8, 21, 16}));
    EXPECT_EQ(k.amplitude[0], quantum_amplitude(0.0f, 3.0f));
    EXPECT_EQ(k.amplitude[1], quantum_amplitude(0.0f, 1.0f));
    for (quantum_reg_struct* r : {&a, &b, &k})
        register_delete(*r);

    quantum_matrix_struct column = matrix_new(1, 4);
    column.t[1] = 0.5f;
    column.t[3] = quantum_amplitude(0.0f, -0.25f);
    quantum_reg_struct reg = register_from_column(column, 2);
    EXPECT_EQ(states(reg), (std::vector<uint64_t>{1, 3}));
    quantum_matrix_struct back = register_to_column(reg);
    ASSERT_EQ(back.rows, 4);
    for (int r = 0; r < 4; r++)
        EXPECT_EQ(back.t[r], column.t[r]) << r;
    matrix_delete(back);
    matrix_delete(column);
    register_delete(reg);
}

TEST(PrintRegister, EntryLinesAndExpansion)
{
    quantum_reg_struct reg = register_new(5, 3);
    EXPECT_EQ(printed(print_register, reg), " 1.000000 +0.000000i|5> (1.000000e+00) (|101>)\n\n");
    register_delete(reg);
    objcode_stop();

    // A blank before every fourth bit.
    reg = sparse_register(6, 8, {45});
    reg.amplitude[0] = quantum_amplitude(-0.5f, 0.25f);
    EXPECT_EQ(printed(print_register, reg), "-0.500000 +0.250000i|45> (3.125000e-01) (|10 1101>)\n\n");
    reg.width = 0;
    EXPECT_EQ(printed(print_register, reg), "-0.500000 +0.250000i|45> (3.125000e-01) (|>)\n\n");
    register_delete(reg);

    // The expansion subtracts the position times the half-width power.
    reg = sparse_register(4, 6, {5, 6, 9});
    EXPECT_EQ(printed(print_expn, reg), "0: 5\n1: 2\n2: 1\n");
    register_delete(reg);
}
