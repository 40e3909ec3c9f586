// engine/matrix.h: complex single-precision matrices for gates, register columns and density operators.
#pragma once

#include <cstdint>

#include "engine/complex.h"

// Row-major: element (row, col) lives at index col + row * cols. The element array belongs
// to whoever holds the record; copies of the record share it until one is deleted.
struct quantum_matrix_struct {
    int64_t rows = 0;
    int64_t cols = 0;
    quantum_amplitude* t = nullptr;
};

// Element (row, col); both counted from 0. No bounds check.
inline quantum_amplitude& matrix_at(quantum_matrix_struct& m, int64_t row, int64_t col)
{
    return m.t[col + row * m.cols];
}

inline const quantum_amplitude& matrix_at(const quantum_matrix_struct& m, int64_t row, int64_t col)
{
    return m.t[col + row * m.cols];
}

// Zeroed matrix; note the column count comes first. Reports "malloc failed" on failure.
quantum_matrix_struct matrix_new(int64_t cols, int64_t rows);

// Releases the elements and clears the reference; the sizes stay.
void matrix_delete(quantum_matrix_struct& m);

// A * B summed in single precision in k order; reports "wrong matrix size" unless A.cols = B.rows.
quantum_matrix_struct matrix_mul(const quantum_matrix_struct& a, const quantum_matrix_struct& b);

// In-place conjugate transpose of a square matrix; the diagonal is left as it is (meant for
// Hermitian input, whose diagonal is real).
void matrix_adjoint(quantum_matrix_struct& m);

// Prints the rows on standard output, as complex pairs when any element has im/re > 0.001.
void matrix_print(const quantum_matrix_struct& m);
