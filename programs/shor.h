// programs/shor.h: Shor's factoring program, one attempt per call.
#pragma once

#include <cstdint>
#include <functional>

// One attempt to split n into two factors; prints every step into the main window. Callers
// refuse numbers below 3 and above 1000 first (programs/input_limits.h): the base search
// never ends below 3, and the register outgrows memory above 1000.
void shorprogram(int64_t n);

namespace programs {

// Qubits the attempt needs for n: width of n*n, plus three times the width of n, plus 2.
int64_t shor_qubits(int64_t n);

// Sources of one draw of the base candidate: 32 random bits and the time in seconds.
using RandomSource = std::function<uint32_t()>;
using ClockSource = std::function<double()>;

// A 63-bit candidate built from eight draws of the two sources.
int64_t shor_candidate(const RandomSource& random, const ClockSource& clock);

// A base from 2 to n - 1 coprime to n, from candidates of the two sources. Expects n >= 3.
int64_t shor_random_base(int64_t n, const RandomSource& random, const ClockSource& clock);

// The same with the platform's random source and clock.
int64_t shor_random_base(int64_t n);

// The larger of gcd(n, x^(r/2) + 1) and gcd(n, x^(r/2) - 1), the power taken modulo n;
// a proper factor of n when r is an even period of x whose half power is not -1.
int64_t shor_factor(int64_t n, int64_t x, int64_t r);

} // namespace programs
