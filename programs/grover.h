// programs/grover.h: the Grover search program and its two circuits, shared with the
// oracle data and code test programs.
#pragma once

#include <cstdint>
#include <string>

#include "engine/register.h"

// Flips the phase qubit (just above the register's width) for basis value `state`; the
// Toffoli chain uses qubits width + 1 to 2 * width as scratch. Expects a width of at least 1.
void oraclecircuit(uint64_t state, quantum_reg_struct& reg);

// Inversion about the mean over the register's width; scratch as in oraclecircuit.
void inversioncircuit(quantum_reg_struct& reg);

// Searches `searched` in a register of max(width, needed) qubits and prints the listing and
// the result lines into the main window. Callers refuse widths above 20 first
// (programs/input_limits.h): wider searches take far too long.
void groverprogram(int64_t searched, int64_t width);

namespace programs {

// The main window, which every program prints into.
constexpr uint8_t MAIN_WINDOW = 0;

// The register width the Grover program uses: the requested width, raised to what the
// searched number needs. Only meaningful for searched numbers below 2^20.
int64_t grover_width(int64_t searched, int64_t width);

// Iterations for a register of `width` qubits: floor(sqrt(2^width) * pi / 4).
int64_t grover_iterations(int64_t width);
// The iteration count after which the searched value is most probable.
int64_t grover_optimum(int64_t width);

// The basis value as an unsigned decimal number in exactly 8 characters: padded with
// blanks on the right, or cut to its first 8 digits.
std::string listing_field(uint64_t value);

// Prints the basis values of the register's first 100 entries as 8-character fields, one
// after the other (ten to a line of the 80-column window), with no line end.
void print_value_fields(const quantum_reg_struct& reg);

// The fields, then a line end unless the cursor is already at column 1, then an empty line.
void print_value_listing(const quantum_reg_struct& reg);

// The shortest decimal text that reads back as `value`, with a point: "0.5", "0.1875",
// "1.0", and exponent notation outside 1e-4 to 1e16 ("5e-05").
std::string shortest_text(double value);

} // namespace programs
