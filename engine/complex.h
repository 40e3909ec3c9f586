// engine/complex.h: single-precision complex arithmetic with a fixed operation order.
#pragma once

#include <cmath>
#include <complex>

// One amplitude: two IEEE single-precision floats, real part first (8 bytes).
using quantum_amplitude = std::complex<float>;
static_assert(sizeof(quantum_amplitude) == 8);

// The slow path of quantum_cmul, taken only when both parts of a product came out NaN:
// an infinite factor must still give an infinite result.
quantum_amplitude quantum_cmul_recover(float a, float b, float c, float d);

// (a+bi)(c+di) = (ac - bd) + (ad + bc)i in single precision, in that order, so results do
// not depend on how the library or compiler expands complex products.
inline quantum_amplitude quantum_cmul(quantum_amplitude x, quantum_amplitude y)
{
    const float a = x.real(), b = x.imag(), c = y.real(), d = y.imag();
    const float ac = a * c, bd = b * d, ad = a * d, bc = b * c;
    const float re = ac - bd;
    const float im = ad + bc;
    if (std::isnan(re) && std::isnan(im)) [[unlikely]]
        return quantum_cmul_recover(a, b, c, d);
    return {re, im};
}

// (a+bi)/(c+di) = ((ac + bd) + (bc - ad)i) / (c² + d²), all in single precision.
inline quantum_amplitude quantum_cdiv(quantum_amplitude x, quantum_amplitude y)
{
    const float a = x.real(), b = x.imag(), c = y.real(), d = y.imag();
    const float den = c * c + d * d;
    const float re = (a * c + b * d) / den;
    const float im = (b * c - a * d) / den;
    return {re, im};
}

// cos φ + i sin φ taken in double on φ widened from single, each part rounded to single.
inline quantum_amplitude quantum_cexp(float phi)
{
    const double p = phi;
    return {static_cast<float>(std::cos(p)), static_cast<float>(std::sin(p))};
}

// re² + im² in single precision.
inline float quantum_prob(quantum_amplitude a)
{
    const float re = a.real(), im = a.imag();
    return re * re + im * im;
}
