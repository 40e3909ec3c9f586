// engine/arith.h: modular exponentiation circuits, the quantum Fourier transform and the
// classical number theory around them.
#pragma once

#include <cstdint>

#include "engine/register.h"

// Qubit layout for a modulus of width w: 0..w-1 carries, w..2w-1 accumulator, 2w the
// comparison flag, 2w+1 the adder enable, 2w+2..3w+1 the product register, and from 3w+2
// on the exponent register. Every circuit is a fixed sequence of engine gates, so the
// object code lists them in exactly this order.

// Circuits
// Product register = x^k mod N for exponent register k (m qubits); other scratch back to 0.
void modular_exponentiation(int64_t n, int64_t x, int64_t m, int64_t w, quantum_reg_struct& reg);
// Product register *= a mod N where qubit control is set.
void controlled_mul_mod(int64_t n, int64_t a, int64_t control, int64_t w, quantum_reg_struct& reg);
// Accumulator += a * product mod N where control is set.
void controlled_mul_step(int64_t n, int64_t a, int64_t control, int64_t w, quantum_reg_struct& reg);
// Accumulator -= a^-1 * product mod N where control is set; clears the old product.
void controlled_mul_step_inverse(int64_t n, int64_t a, int64_t control, int64_t w,
                                 quantum_reg_struct& reg);
// Accumulator += a mod N where the enable qubit is set.
void add_const_mod(int64_t n, int64_t a, int64_t w, quantum_reg_struct& reg);
// The two halves of add_const_mod.
void add_const_forward(int64_t n, int64_t a, int64_t w, quantum_reg_struct& reg);
void add_const_backward(int64_t n, int64_t a, int64_t w, quantum_reg_struct& reg);
// Qubit 2w ^= (accumulator compared with cv) where the enable qubit 2w+1 is set.
void compare_const(int64_t cv, int64_t w, quantum_reg_struct& reg);
// Full and half adders whose added bit is chosen by code 0..3; other codes do nothing.
void mux_full_adder(int64_t code, int64_t p1, int64_t p2, int64_t p3, int64_t p4, int64_t p5,
                    quantum_reg_struct& reg);
void mux_full_adder_inverse(int64_t code, int64_t q1, int64_t q2, int64_t q3, int64_t q4,
                            int64_t q5, quantum_reg_struct& reg);
void mux_half_adder(int64_t code, int64_t h1, int64_t h2, int64_t h3, int64_t h4,
                    quantum_reg_struct& reg);
void mux_half_adder_inverse(int64_t code, int64_t g1, int64_t g2, int64_t g3, int64_t g4,
                            quantum_reg_struct& reg);

// Runs of permutation gates inside the circuits are applied as one permutation of the
// distinct values of the bits they touch (same result, same records); off, every gate
// rewrites the register on its own. On by default; for comparisons in tests and benchmarks.
void arith_set_batching(bool enabled);

// Fourier transform over qubits 0..n-1; neither form reverses the qubit order.
void qft(int64_t n, quantum_reg_struct& reg);
void qft_inverse(int64_t n, quantum_reg_struct& reg);

// Classical functions
// Euclid with signed remainders; gcd(a, 0) = a.
int64_t gcd(int64_t a, int64_t b);
// Replaces a/b by a continued-fraction convergent with denominator at most 2^width.
void continued_fraction_approx(int64_t& a, int64_t& b, int64_t width);
// a to the power b by repeated 64-bit multiplication (wraps); 1 for b <= 0.
int64_t int_pow(int64_t a, int64_t b);
// a to the power b modulo n, from 0 to n - 1, without overflow; 1 % n for b <= 0, 0 for n < 1.
int64_t mod_pow(int64_t a, int64_t b, int64_t n);
// Smallest i >= 1 with (i * v) % N = 1; 0 when there is none.
int64_t inverse_mod(int64_t n, int64_t v);
// Smallest w >= 1 with 2^w >= n.
int64_t get_width(int64_t n);
