// programs/input_limits.h: the inputs the programs refuse before anything is computed.
// Each check gives the one German line to print, or the empty text when the input may run.
#pragma once

#include <cstdint>
#include <string>

namespace programs {

// Beyond this the registers (and the object code of swap leads) outgrow a desktop's memory.
constexpr int64_t SHOR_SMALLEST = 3;
constexpr int64_t SHOR_LARGEST = 1000;
// Widest oracle register: the scratch qubits stay far below 64, the table fits.
constexpr int64_t REGISTER_WIDEST = 24;
// Widest search. 20 qubits take under a minute on a two-core machine and 21 under two,
// but from 21 on the share of the searched value that the diffusion spreads over the other
// entries falls below the engine's purge limit and is dropped: the search stays uniform and
// finds nothing. So 20 is the widest that both finishes and works.
constexpr int64_t GROVER_WIDEST = 20;
// The oracle data need at least this many qubits to show their mixing.
constexpr int64_t ORACLE_NARROWEST = 3;
// Largest searched number that fits the widest search register: 2^20 - 1.
constexpr int64_t GROVER_LARGEST_SEARCHED = (int64_t{1} << GROVER_WIDEST) - 1;

// S: below 3 the base search never ends (0 divides by zero); above 1000 memory runs out.
std::string shor_refusal(int64_t number);

// G: a requested width or a searched number that needs more than 20 qubits. Negative
// numbers and widths run (they find nothing, or take the needed width).
std::string grover_refusal(int64_t searched, int64_t width);

// O: widths below 3 (the O command's own line) and above 24 qubits.
std::string oracle_refusal(int64_t width);

// Prints a refusal line into the main window and ends the line.
void print_refusal(const std::string& line);

} // namespace programs
