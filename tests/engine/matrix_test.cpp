// Tests for engine/matrix: allocation accounting, products, adjoint and printing.
#include "engine/matrix.h"

#include <gtest/gtest.h>

#include "engine/error.h"

namespace {

quantum_matrix_struct hadamard_matrix()
{
    quantum_matrix_struct m = matrix_new(2, 2);
    const float s = 0.70710677f;
    matrix_at(m, 0, 0) = s;
    matrix_at(m, 0, 1) = s;
    matrix_at(m, 1, 0) = s;
    matrix_at(m, 1, 1) = -s;
    return m;
}

} // namespace

TEST(MatrixNew, ZeroedAndAccountedUntilDeleted)
{
    const int64_t before = memory_account(0);
    quantum_matrix_struct m = matrix_new(3, 2);
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 3);
    ASSERT_NE(m.t, nullptr);
    EXPECT_EQ(memory_account(0), before + 48);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(m.t[i], quantum_amplitude(0));
    matrix_at(m, 1, 2) = {1, 2};
    EXPECT_EQ(m.t[5], quantum_amplitude(1, 2)) << "element (row, col) lives at col + row * cols";
    matrix_delete(m);
    EXPECT_EQ(m.t, nullptr);
    EXPECT_EQ(memory_account(0), before);
}

TEST(MatrixMul, KnownProduct)
{
    quantum_matrix_struct a = matrix_new(3, 2); // 2 x 3
    quantum_matrix_struct b = matrix_new(1, 3); // 3 x 1
    for (int k = 0; k < 3; ++k) {
        matrix_at(a, 0, k) = {float(k + 1), 0};
        matrix_at(a, 1, k) = {0, float(k)};
        matrix_at(b, k, 0) = {1, float(k)};
    }
    quantum_matrix_struct c = matrix_mul(a, b);
    ASSERT_EQ(c.rows, 2);
    ASSERT_EQ(c.cols, 1);
    // Row 0: 1*(1) + 2*(1+i) + 3*(1+2i) = 6 + 8i. Row 1: i*(1+i) + 2i*(1+2i) = -5 + 3i.
    EXPECT_EQ(matrix_at(c, 0, 0), quantum_amplitude(6, 8));
    EXPECT_EQ(matrix_at(c, 1, 0), quantum_amplitude(-5, 3));
    matrix_delete(a);
    matrix_delete(b);
    matrix_delete(c);
}

TEST(MatrixMul, HadamardSquaredIsIdentityInSinglePrecision)
{
    quantum_matrix_struct h = hadamard_matrix();
    quantum_matrix_struct p = matrix_mul(h, h);
    const float s = 0.70710677f;
    EXPECT_EQ(matrix_at(p, 0, 0).real(), s * s + s * s);
    EXPECT_EQ(matrix_at(p, 0, 1).real(), s * s - s * s);
    EXPECT_EQ(matrix_at(p, 1, 1).real(), s * s + (-s) * (-s));
    matrix_delete(h);
    matrix_delete(p);
}

TEST(MatrixMul, WrongShapeIsReportedAndLeavesZeros)
{
    quantum_matrix_struct a = matrix_new(3, 2); // 2 x 3
    quantum_matrix_struct b = matrix_new(2, 2);
    a.t[0] = 1;
    b.t[0] = 1;
    last_error = 0;
    testing::internal::CaptureStderr();
    quantum_matrix_struct c = matrix_mul(a, b);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: wrong matrix size\n");
    EXPECT_EQ(last_error, QUANTUM_EMSIZE);
    EXPECT_EQ(c.rows, 2);
    EXPECT_EQ(c.cols, 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(c.t[i], quantum_amplitude(0));
    last_error = 0;
    matrix_delete(a);
    matrix_delete(b);
    matrix_delete(c);
}

TEST(MatrixAdjoint, ConjugatesOffDiagonalKeepsDiagonalAndRejectsNonSquare)
{
    quantum_matrix_struct m = matrix_new(2, 2);
    matrix_at(m, 0, 0) = {1, 5};
    matrix_at(m, 0, 1) = {2, 3};
    matrix_at(m, 1, 0) = {4, -7};
    matrix_at(m, 1, 1) = {6, 0};
    matrix_adjoint(m);
    EXPECT_EQ(matrix_at(m, 0, 0), quantum_amplitude(1, 5));
    EXPECT_EQ(matrix_at(m, 0, 1), quantum_amplitude(4, 7));
    EXPECT_EQ(matrix_at(m, 1, 0), quantum_amplitude(2, -3));
    EXPECT_EQ(matrix_at(m, 1, 1), quantum_amplitude(6, 0));
    matrix_delete(m);

    // A non-square matrix is reported and left untouched.
    m = matrix_new(3, 2);
    m.t[1] = {1, 1};
    testing::internal::CaptureStderr();
    matrix_adjoint(m);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: wrong matrix size\n");
    EXPECT_EQ(m.t[1], quantum_amplitude(1, 1));
    last_error = 0;
    matrix_delete(m);
}

TEST(MatrixPrint, RealOrComplexFormatByElement)
{
    // A positive imaginary part over a zero real part counts as complex, a negative ratio
    // stays real; rows without columns print empty lines.
    struct Case {
        quantum_matrix_struct m;
        const char* text;
    };
    quantum_matrix_struct complex = matrix_new(2, 1), negative = matrix_new(1, 1);
    matrix_at(complex, 0, 0) = {0, 1};
    matrix_at(complex, 0, 1) = {0.5f, -0.25f};
    matrix_at(negative, 0, 0) = {-2, 1};
    for (Case c : {Case{hadamard_matrix(), "+0.7 +0.7 \n+0.7 -0.7 \n\n"},
                   Case{complex, "0.000+1.000i 0.500-0.250i \n\n"}, Case{negative, "-2.0 \n\n"},
                   Case{matrix_new(0, 3), "\n\n\n\n"}}) {
        testing::internal::CaptureStdout();
        matrix_print(c.m);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.text);
        matrix_delete(c.m);
    }
}
