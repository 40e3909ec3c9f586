// programs/grover.cpp: the Grover search program and its oracle and inversion circuits.
#include "programs/grover.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "engine/arith.h"
#include "engine/gates.h"
#include "engine/measure.h"
#include "programs/input_limits.h"
#include "programs/main_text.h"
#include "programs/pictures.h"
#include "toolkit/cursor.h"
#include "toolkit/text_output.h"

namespace {

using programs::MAIN_WINDOW;

// Beyond this many entries the listing stops; the window would only scroll them away.
constexpr int64_t LISTING_ENTRIES = 100;
constexpr int64_t LISTING_FIELD_CHARS = 8;
constexpr double QUARTER_PI = 0.7853981633974483;

using programs::cr;
using programs::grouped;
using programs::print;

// The NOTs around the oracle: every qubit whose bit in the pattern is 0.
void flip_zero_bits(uint64_t state, int64_t width, quantum_reg_struct& reg)
{
    for (int64_t i = 0; i < width; ++i) {
        bool bit_set = i < 64 && ((state >> i) & 1) != 0;
        if (!bit_set)
            apply_sigma_x(i, reg);
    }
}

void not_all(int64_t width, quantum_reg_struct& reg)
{
    permutation_run_open(reg);
    for (int64_t i = 0; i < width; ++i)
        apply_sigma_x(i, reg);
    permutation_run_close();
}

} // namespace

void oraclecircuit(uint64_t state, quantum_reg_struct& reg)
{
    const int64_t w = reg.width;
    // Only permutation gates: one pass over the register for all of them.
    permutation_run_open(reg);
    flip_zero_bits(state, w, reg);
    apply_toffoli(0, 1, w + 1, reg);
    if (w == 1) {
        apply_cnot(2, 1, reg);
    } else {
        for (int64_t i = 1; i <= w - 1; ++i)
            apply_toffoli(i, w + i, w + i + 1, reg);
        apply_cnot(2 * w, w, reg);
        for (int64_t i = w - 1; i >= 1; --i)
            apply_toffoli(i, w + i, w + i + 1, reg);
    }
    apply_toffoli(0, 1, w + 1, reg);
    flip_zero_bits(state, w, reg);
    permutation_run_close();
}

void inversioncircuit(quantum_reg_struct& reg)
{
    const int64_t w = reg.width;
    not_all(w, reg);
    apply_hadamard(w - 1, reg);
    permutation_run_open(reg);
    if (w == 3) {
        apply_toffoli(0, 1, 2, reg);
    } else {
        apply_toffoli(0, 1, w + 1, reg);
        for (int64_t i = 1; i <= w - 2; ++i)
            apply_toffoli(i, w + i, w + i + 1, reg);
        apply_cnot(2 * w - 1, w - 1, reg);
        for (int64_t i = w - 2; i >= 1; --i)
            apply_toffoli(i, w + i, w + i + 1, reg);
        apply_toffoli(0, 1, w + 1, reg);
    }
    permutation_run_close();
    apply_hadamard(w - 1, reg);
    not_all(w, reg);
}

void groverprogram(int64_t searched, int64_t width)
{
    using namespace programs;

    // The main loop refuses these first; a wider register would never finish, and the width
    // of a larger searched number would never be found.
    if (!grover_refusal(searched, width).empty()) {
        print_refusal(grover_refusal(searched, width));
        return;
    }

    // Pass: register size.
    const int64_t c = grover_width(searched, width);
    print("Registergröße = " + std::to_string(c) + " Qubit");
    if (c != 1)
        print("s");
    cr();

    // Pass: phase qubit in |->, search qubits in equal superposition.
    quantum_reg_struct reg = register_new(0, c);
    apply_sigma_x(c, reg);
    apply_walsh(c, reg);
    apply_hadamard(c, reg);

    // Pass: the iterations, each announced before it runs so the line grows with the work.
    // One run around all of them lets the engine keep the register by value from gate to
    // gate; the circuits' own runs nest in it.
    const int64_t t = grover_iterations(c);
    print(std::to_string(t) + (t == 1 ? " Iteration: " : " Iterationen: "));
    // The picture follows the searched value's probability over the search qubits, the
    // phase qubit summed out.
    const uint64_t search_mask = c >= 64 ? ~uint64_t{0} : (uint64_t{1} << c) - 1;
    grover_picture_start(t, grover_optimum(c));
    permutation_run_open(reg);
    grover_picture_point(0, register_probability_where(reg, search_mask,
                                                       static_cast<uint64_t>(searched)));
    for (int64_t k = 1; k <= t; ++k) {
        print("#" + std::to_string(k));
        if (k == t) {
            cr();
            cr();
        } else {
            print(", ");
        }
        oraclecircuit(static_cast<uint64_t>(searched), reg);
        apply_walsh(c, reg);
        inversioncircuit(reg);
        apply_walsh(c, reg);
        grover_picture_point(k, register_probability_where(reg, search_mask,
                                                           static_cast<uint64_t>(searched)));
    }

    // Pass: take the phase qubit out again. It lies above the width, so the width is raised
    // for the one measurement that removes it.
    apply_hadamard(c, reg);
    permutation_run_close();
    reg.width = c + 1;
    measure_qubit(c, reg);
    draw_register_picture(register_bars(reg), searched, "gesucht");

    print("Unsortierte Datenmenge mit " + grouped(reg.size) +
          " Elementen, die durchsucht wurde:");
    cr();
    print_value_listing(reg);

    for (int64_t i = 0; i < reg.size; ++i) {
        if (reg.state[i] != static_cast<uint64_t>(searched))
            continue;
        print("Die gesuchte Zahl " + grouped(searched) + " ist die " + grouped(i + 1) +
              ". Zahl in der Datenmenge.");
        cr();
        print("Die Wahrscheinlichkeit für das Suchergebnis beträgt " +
              shortest_text(get_probability(i, reg)));
    }

    register_delete(reg);
}

namespace programs {

int64_t grover_width(int64_t searched, int64_t width)
{
    return std::max(width, get_width(searched + 1));
}

int64_t grover_optimum(int64_t width)
{
    // The searched value's amplitude turns by 2 theta per iteration, sin theta = 2^(-width/2);
    // the probability peaks nearest a quarter turn.
    const double theta = std::asin(std::pow(2.0, -static_cast<double>(width) / 2.0));
    return std::max<int64_t>(0, std::llround(QUARTER_PI * 2.0 / (2.0 * theta) - 0.5));
}

int64_t grover_iterations(int64_t width)
{
    const int64_t states = (width >= 64 || width < 0) ? 0 : int64_t{1} << width;
    return static_cast<int64_t>(std::sqrt(static_cast<double>(states)) * QUARTER_PI);
}

std::string listing_field(uint64_t value)
{
    std::string text = std::to_string(value);
    text.resize(LISTING_FIELD_CHARS, ' ');
    return text;
}

void print_value_fields(const quantum_reg_struct& reg)
{
    const int64_t shown = std::min(reg.size, LISTING_ENTRIES);
    for (int64_t i = 0; i < shown; ++i)
        print(listing_field(reg.state[i]));
}

void print_value_listing(const quantum_reg_struct& reg)
{
    print_value_fields(reg);
    if (t_Hpos(MAIN_WINDOW) != 1)
        cr();
    cr();
}

std::string shortest_text(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";

    // The shortest round-trip digits come from the scientific form "d.ddde[+-]xx".
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific);
    if (ec != std::errc())
        return "";
    std::string scientific(buffer, end);
    std::string sign;
    if (scientific[0] == '-') {
        sign = "-";
        scientific.erase(0, 1);
    }
    const size_t e_at = scientific.find('e');
    const int exponent = std::atoi(scientific.c_str() + e_at + 1);
    if (exponent < -4 || exponent >= 16)
        return sign + scientific;

    std::string digits = scientific.substr(0, e_at);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    std::string whole, fraction;
    if (exponent >= 0) {
        const size_t whole_digits = static_cast<size_t>(exponent) + 1;
        if (digits.size() < whole_digits)
            digits.resize(whole_digits, '0');
        whole = digits.substr(0, whole_digits);
        fraction = digits.substr(whole_digits);
    } else {
        whole = "0";
        fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    if (fraction.empty())
        fraction = "0";
    return sign + whole + "." + fraction;
}

} // namespace programs
