// Tests for engine/matrix, which no program uses: accounting, products, adjoint, printing.
#include "engine/matrix.h"

#include <gtest/gtest.h>

#include "engine/error.h"

TEST(Matrix, ProductOfKnownMatricesAccountedUntilDeleted)
{
    const int64_t before = memory_account(0);
    quantum_matrix_struct a = matrix_new(3, 2); // 2 x 3
    quantum_matrix_struct b = matrix_new(1, 3); // 3 x 1
    EXPECT_EQ(memory_account(0), before + 48 + 24);
    for (int k = 0; k < 3; ++k) {
        matrix_at(a, 0, k) = {float(k + 1), 0};
        matrix_at(a, 1, k) = {0, float(k)};
        matrix_at(b, k, 0) = {1, float(k)};
    }
    EXPECT_EQ(a.t[5], quantum_amplitude(0, 2)) << "element (row, col) lives at col + row * cols";
    quantum_matrix_struct c = matrix_mul(a, b);
    ASSERT_EQ(c.rows, 2);
    ASSERT_EQ(c.cols, 1);
    // Row 0: 1*(1) + 2*(1+i) + 3*(1+2i) = 6 + 8i. Row 1: i*(1+i) + 2i*(1+2i) = -5 + 3i.
    EXPECT_EQ(matrix_at(c, 0, 0), quantum_amplitude(6, 8));
    EXPECT_EQ(matrix_at(c, 1, 0), quantum_amplitude(-5, 3));
    matrix_delete(c);

    // The wrong shape is reported and leaves zeros.
    testing::internal::CaptureStderr();
    c = matrix_mul(a, a);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: wrong matrix size\n");
    EXPECT_EQ(last_error, QUANTUM_EMSIZE);
    EXPECT_EQ(c.t[0], quantum_amplitude(0));
    last_error = 0;
    for (quantum_matrix_struct* m : {&a, &b, &c})
        matrix_delete(*m);
    EXPECT_EQ(a.t, nullptr);
    EXPECT_EQ(memory_account(0), before);
}

TEST(Matrix, AdjointAndPrinting)
{
    quantum_matrix_struct m = matrix_new(2, 2);
    matrix_at(m, 0, 0) = {1, 5};
    matrix_at(m, 0, 1) = {2, 3};
    matrix_at(m, 1, 0) = {4, -7};
    matrix_at(m, 1, 1) = {6, 0};
    matrix_adjoint(m);
    EXPECT_EQ(matrix_at(m, 0, 0), quantum_amplitude(1, 5)) << "the diagonal is kept";
    EXPECT_EQ(matrix_at(m, 0, 1), quantum_amplitude(4, 7));
    EXPECT_EQ(matrix_at(m, 1, 0), quantum_amplitude(2, -3));

    // A positive imaginary part over a zero real part counts as complex, a negative ratio
    // stays real; rows without columns print empty lines.
    struct Case {
        quantum_matrix_struct m;
        const char* text;
    };
    quantum_matrix_struct real = matrix_new(2, 1), complex = matrix_new(2, 1);
    quantum_matrix_struct negative = matrix_new(1, 1);
    matrix_at(real, 0, 0) = 0.7071f;
    matrix_at(real, 0, 1) = -0.7071f;
    matrix_at(complex, 0, 0) = {0, 1};
    matrix_at(complex, 0, 1) = {0.5f, -0.25f};
    matrix_at(negative, 0, 0) = {-2, 1};
    for (Case c : {Case{real, "+0.7 -0.7 \n\n"}, Case{complex, "0.000+1.000i 0.500-0.250i \n\n"},
                   Case{negative, "-2.0 \n\n"}, Case{matrix_new(0, 3), "\n\n\n\n"}}) {
        testing::internal::CaptureStdout();
        matrix_print(c.m);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.text);
        matrix_delete(c.m);
    }
    matrix_delete(m);
}
