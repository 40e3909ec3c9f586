// engine/parts.h: an amplitude as two loose floats, for the hot gate passes.
#pragma once

#include <cmath>

#include "engine/complex.h"

namespace engine {

// The hot passes keep the two halves in registers, where a packed complex value would go
// through memory between them. A complex<float> array is an array of these.
struct Parts {
    float re, im;
};

// quantum_cmul on loose parts, bit for bit.
[[gnu::always_inline]] inline Parts cmul(Parts x, Parts y)
{
    const float re = x.re * y.re - x.im * y.im;
    const float im = x.re * y.im + x.im * y.re;
    if (std::isnan(re) && std::isnan(im)) [[unlikely]] {
        const quantum_amplitude r = quantum_cmul_recover(x.re, x.im, y.re, y.im);
        return {r.real(), r.imag()};
    }
    return {re, im};
}

[[gnu::always_inline]] inline Parts add(Parts x, Parts y)
{
    return {x.re + y.re, x.im + y.im};
}

// The pair update of the generic gate: ma a + mb b, the products and the sum in this order.
[[gnu::always_inline]] inline Parts mul_add(Parts ma, Parts a, Parts mb, Parts b)
{
    return add(cmul(ma, a), cmul(mb, b));
}

[[gnu::always_inline]] inline float prob(Parts a)
{
    return a.re * a.re + a.im * a.im;
}

inline Parts parts(quantum_amplitude a)
{
    return {a.real(), a.imag()};
}

} // namespace engine
