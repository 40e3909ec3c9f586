// programs/shor.cpp: Shor's factoring program.
#include "programs/shor.h"

#include <cmath>
#include <string>

#include "engine/arith.h"
#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/register.h"
#include "platform/platform.h"
#include "programs/grover.h"
#include "programs/input_limits.h"
#include "programs/main_text.h"
#include "programs/pictures.h"
#include "shell/mttools.h"
#include "toolkit/cursor.h"
#include "toolkit/text_output.h"

namespace {

using programs::MAIN_WINDOW;

// A draw whose random or clock half is 0 is repeated, but not for ever.
constexpr int DRAW_TRIES = 100;
constexpr int DRAWS_PER_CANDIDATE = 8;

using programs::cr;
using programs::grouped;
using programs::print;

// The end of every unsuccessful attempt: its message, an empty line and the request.
void try_again(const std::string& message)
{
    print(message);
    cr();
    cr();
    print("Bitte noch einmal versuchen.");
    cr();
}

// The low 16 bits of the time in nanoseconds, truncated. A time beyond the 64-bit range
// (past the year 2262, or a broken clock) is reduced instead of converted out of range.
uint64_t low_clock_bits(double seconds)
{
    const double nanoseconds = std::trunc(seconds * 1000000000.0);
    if (std::isfinite(nanoseconds) && std::fabs(nanoseconds) < 9.2e18)
        return static_cast<uint64_t>(static_cast<int64_t>(nanoseconds)) & 0xFFFF;
    if (!std::isfinite(nanoseconds))
        return 0;
    return static_cast<uint64_t>(std::fabs(std::fmod(nanoseconds, 65536.0)));
}

// Bits 16 and up of the product of 16 random bits and 16 clock bits.
uint64_t draw_product(const programs::RandomSource& random, const programs::ClockSource& clock)
{
    uint64_t u = 0;
    uint64_t v = 0;
    for (int tries = 0; tries < DRAW_TRIES; ++tries) {
        u = random() & 0xFFFF;
        v = low_clock_bits(clock());
        if (u != 0 && v != 0)
            break;
    }
    return (u * v) >> 16;
}

} // namespace

namespace programs {

int64_t shor_qubits(int64_t n)
{
    return get_width(n * n) + 3 * get_width(n) + 2;
}

int64_t shor_candidate(const RandomSource& random, const ClockSource& clock)
{
    uint64_t candidate = 0;
    for (int draw = 1; draw < DRAWS_PER_CANDIDATE; ++draw)
        candidate = (candidate << 8) | (draw_product(random, clock) & 0xFF);
    candidate = (candidate << 7) | (draw_product(random, clock) & 0x7F);
    return static_cast<int64_t>(candidate);
}

int64_t shor_random_base(int64_t n, const RandomSource& random, const ClockSource& clock)
{
    for (;;) {
        const int64_t base = shor_candidate(random, clock) % n;
        if (base >= 2 && gcd(n, base) <= 1)
            return base;
    }
}

int64_t shor_random_base(int64_t n)
{
    return shor_random_base(n, platform::random32, platform::time_seconds);
}

int64_t shor_factor(int64_t n, int64_t x, int64_t r)
{
    // x^(r/2) reduced modulo n: the plain power wraps in 64 bits for the long periods of
    // the larger numbers, and the gcds below only need it modulo n.
    const int64_t p = mod_pow(x, r / 2, n);
    const int64_t one = 1 % n;
    const int64_t f1 = gcd(n, p + one);
    const int64_t f2 = gcd(n, p - one);
    return f1 >= f2 ? f1 : f2;
}

} // namespace programs

void shorprogram(int64_t n)
{
    using namespace programs;

    // Below 3 the base search would never end; the main loop refuses such numbers first.
    if (!shor_refusal(n).empty()) {
        print_refusal(shor_refusal(n));
        return;
    }

    const int64_t width = get_width(n * n);
    const int64_t nwidth = get_width(n);
    const int64_t scratch = 3 * nwidth + 2;
    const int64_t q = width >= 64 ? 0 : int64_t{1} << width;

    print("N = " + std::to_string(n));
    cr();
    cr();
    const int64_t qubits = width + scratch;
    print("Registergröße = " + std::to_string(qubits) + " Qubit");
    if (qubits != 1)
        print("s");
    cr();

    const int64_t x = shor_random_base(n);
    cr();
    print("Zufallszahl = " + std::to_string(x));
    cr();
    cr();

    // Pass: exponent register in equal superposition, x^k mod n computed into the scratch
    // qubits below it, which are then measured away.
    quantum_reg_struct reg = register_new(0, width);
    for (int64_t i = 0; i < width; ++i)
        apply_hadamard(i, reg);
    register_add_scratch(scratch, reg);
    modular_exponentiation(n, x, width, nwidth, reg);
    for (int64_t i = 0; i < scratch; ++i)
        measure_qubit(0, reg);

    // Pass: Fourier transform, then undo the bit reversal it leaves.
    qft(width, reg);
    if (width >= 2) {
        for (int64_t i = 0; i < width / 2; ++i) {
            const int64_t j = width - 1 - i;
            apply_cnot(i, j, reg);
            apply_cnot(j, i, reg);
            apply_cnot(i, j, reg);
        }
    }

    // The pictures read the register once, just before the measurement collapses it.
    ShorSpectrum spectrum = shor_spectrum(q);
    const RegisterBars bars = register_bars(reg, &spectrum);
    int64_t c = static_cast<int64_t>(measure(reg));
    register_delete(reg);
    draw_register_picture(bars, c, "gemessen");
    draw_shor_picture(spectrum, c);
    if (c == -1) {
        try_again("Messung war nicht möglich.");
        return;
    }
    if (c == 0) {
        try_again("Messung war Null.");
        return;
    }

    // Pass: the period from the continued fraction of c / q.
    print("Gemessen wurde " + grouped(c) + " (" +
          shortest_text(static_cast<double>(c) / static_cast<double>(q)) + "), ");
    int64_t denominator = q;
    continued_fraction_approx(c, denominator, width);
    int64_t r = denominator;
    print("Näherung als Bruchzahl = " + std::to_string(c) + "/" + std::to_string(r));
    cr();
    cr();

    if (r % 2 == 1 && 2 * r < q) {
        print("Ungerader Denominator, es wird versucht, mit 2 zu erweitern.");
        cr();
        r *= 2;
    }
    if (r % 2 == 1) {
        try_again("Ungerade Periode.");
        return;
    }
    mark_shor_period(spectrum, r);
    print("Mögliche Periode ist " + grouped(r));
    cr();
    cr();

    // Pass: factors from x^(r/2) +- 1; only a proper factor is accepted.
    const int64_t f = shor_factor(n, x, r);
    if (f < n && f >= 2) {
        print(grouped(n) + " = " + grouped(f) + " * " + grouped(n / f));
        cr();
        return;
    }
    try_again("Faktoren konnten nicht ermittelt werden.");
}
