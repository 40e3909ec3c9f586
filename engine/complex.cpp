// engine/complex.cpp: the rare path of the complex product.
#include "engine/complex.h"

#include <limits>

namespace {

float box(float x)
{
    return std::copysign(std::isinf(x) ? 1.0f : 0.0f, x);
}

float zero_if_nan(float x)
{
    return std::isnan(x) ? std::copysign(0.0f, x) : x;
}

} // namespace

// Both parts are NaN. If a factor is infinite (or a partial product overflowed), the true
// product is infinite: replace infinities by unit-sized values, NaNs by zeros, and scale
// the recomputed product by infinity.
quantum_amplitude quantum_cmul_recover(float a, float b, float c, float d)
{
    const float ac = a * c, bd = b * d, ad = a * d, bc = b * c;
    bool recompute = false;
    if (std::isinf(a) || std::isinf(b)) {
        a = box(a);
        b = box(b);
        c = zero_if_nan(c);
        d = zero_if_nan(d);
        recompute = true;
    }
    if (std::isinf(c) || std::isinf(d)) {
        c = box(c);
        d = box(d);
        a = zero_if_nan(a);
        b = zero_if_nan(b);
        recompute = true;
    }
    if (!recompute && (std::isinf(ac) || std::isinf(bd) || std::isinf(ad) || std::isinf(bc))) {
        a = zero_if_nan(a);
        b = zero_if_nan(b);
        c = zero_if_nan(c);
        d = zero_if_nan(d);
        recompute = true;
    }
    if (!recompute)
        return {ac - bd, ad + bc};
    const float inf = std::numeric_limits<float>::infinity();
    return {inf * (a * c - b * d), inf * (a * d + b * c)};
}
