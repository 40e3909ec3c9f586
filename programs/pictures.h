// programs/pictures.h: the graphic windows 1 to 4, which show what the programs compute
// beside the text of window 0: the final register, the Grover search, the Ising chain and
// Shor's Fourier-transformed register. Each window is set up the first time it is drawn.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/register.h"

namespace programs {

constexpr uint8_t REGISTER_WINDOW = 1;
constexpr uint8_t GROVER_WINDOW = 2;
constexpr uint8_t ISING_WINDOW = 3;
constexpr uint8_t SHOR_WINDOW = 4;

// Canvas size of every picture window, in pixels.
constexpr int64_t PICTURE_WIDTH = 640;
constexpr int64_t PICTURE_HEIGHT = 400;
// At most this many bars in the register picture.
constexpr size_t REGISTER_BARS = 256;

// Register picture
// The probabilities of a register's basis values, read in one pass over its entries:
// every value of a register of up to 256 values, else the 256 most probable, in value order.
struct RegisterBars {
    int64_t width = 0;
    bool all_values = false;
    std::vector<std::pair<uint64_t, double>> bars; // value, probability
};
// With a spectrum, the same pass bins the register into it (see shor_spectrum).
struct ShorSpectrum;
RegisterBars register_bars(const quantum_reg_struct& reg, ShorSpectrum* spectrum = nullptr);
// Window 1: the bars, value `marked` (-1: none) drawn in red under the word `mark`.
void draw_register_picture(const RegisterBars& bars, int64_t marked, const std::string& mark);

// Grover picture
// Window 2 cleared to its axes for a search of `iterations` iterations, `optimum` marked.
void grover_picture_start(int64_t iterations, int64_t optimum);
// Adds the point of one iteration (0: before the first) joined to the one before.
void grover_picture_point(int64_t iteration, double probability);

// Shor picture
// The Fourier-transformed register's values 0 to values - 1 binned into the plot's columns.
struct ShorSpectrum {
    int64_t values = 0; // 2^q
    std::vector<double> bins;
};
ShorSpectrum shor_spectrum(int64_t values);
// Window 4: the spectrum with the measured value marked.
void draw_shor_picture(const ShorSpectrum& spectrum, int64_t measured);
// Marks the multiples of values / period in window 4.
void mark_shor_period(const ShorSpectrum& spectrum, int64_t period);

// Ising picture
// Window 3 gets a new chain length: the curves drawn so far fade, the axes stay.
void ising_picture_chain(int64_t length, double g_first, double g_last);
// Adds one row's point of each curve.
void ising_picture_row(double g, double energy_per_site, double magnetisation,
                       double susceptibility);

} // namespace programs
