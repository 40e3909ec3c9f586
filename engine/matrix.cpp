// engine/matrix.cpp: complex single-precision matrices.
#include "engine/matrix.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "engine/complex.h"
#include "engine/error.h"

quantum_matrix_struct matrix_new(int64_t cols, int64_t rows)
{
    quantum_matrix_struct m;
    m.rows = rows;
    m.cols = cols;
    if (rows <= 0 || cols <= 0)
        return m;
    const auto count = static_cast<size_t>(rows) * static_cast<size_t>(cols);
    m.t = static_cast<quantum_amplitude*>(std::calloc(count, sizeof(quantum_amplitude)));
    if (!m.t) {
        quantum_error(QUANTUM_ENOMEM);
        return m;
    }
    memory_account(static_cast<int64_t>(sizeof(quantum_amplitude) * count));
    return m;
}

void matrix_delete(quantum_matrix_struct& m)
{
    if (!m.t)
        return;
    std::free(m.t);
    m.t = nullptr;
    memory_account(-static_cast<int64_t>(sizeof(quantum_amplitude)) * m.rows * m.cols);
}

quantum_matrix_struct matrix_mul(const quantum_matrix_struct& a, const quantum_matrix_struct& b)
{
    quantum_matrix_struct c = matrix_new(b.cols, a.rows);
    // A mismatched pair leaves the zeroed result: summing over either count would read
    // past the other matrix.
    if (a.cols != b.rows) {
        quantum_error(QUANTUM_EMSIZE);
        return c;
    }
    if (!c.t || !a.t || !b.t)
        return c;
    for (int64_t r = 0; r < a.rows; ++r) {
        for (int64_t q = 0; q < b.cols; ++q) {
            quantum_amplitude sum = 0;
            for (int64_t k = 0; k < a.cols; ++k)
                sum += quantum_cmul(matrix_at(a, r, k), matrix_at(b, k, q));
            matrix_at(c, r, q) = sum;
        }
    }
    return c;
}

void matrix_adjoint(quantum_matrix_struct& m)
{
    // A non-square matrix has no in-place adjoint; swapping would leave the array.
    if (m.rows != m.cols) {
        quantum_error(QUANTUM_EMSIZE);
        return;
    }
    if (!m.t)
        return;
    for (int64_t i = 0; i < m.rows; ++i) {
        for (int64_t j = 0; j < i; ++j) {
            quantum_amplitude upper = std::conj(matrix_at(m, j, i));
            quantum_amplitude lower = std::conj(matrix_at(m, i, j));
            matrix_at(m, i, j) = upper;
            matrix_at(m, j, i) = lower;
        }
    }
}

void matrix_print(const quantum_matrix_struct& m)
{
    const bool have_elements = m.t && m.rows > 0 && m.cols > 0;
    bool complex = false;
    if (have_elements) {
        for (int64_t i = 0; i < m.rows * m.cols && !complex; ++i) {
            // A zero real part with a positive imaginary part gives +inf and counts; 0/0 does not.
            const double ratio = static_cast<double>(m.t[i].imag()) / static_cast<double>(m.t[i].real());
            complex = ratio > 0.001;
        }
    }
    for (int64_t r = 0; r < m.rows; ++r) {
        for (int64_t q = 0; have_elements && q < m.cols; ++q) {
            const quantum_amplitude e = matrix_at(m, r, q);
            if (complex)
                std::printf("%3.3f%+.3fi ", static_cast<double>(e.real()), static_cast<double>(e.imag()));
            else
                std::printf("%+.1f ", static_cast<double>(e.real()));
        }
        std::printf("\n");
    }
    std::printf("\n");
    std::fflush(stdout);
}
