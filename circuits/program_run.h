// circuits/program_run.h: runs a read program on the engine, and the outcome tables of its
// classical bits (qucode run, probs and sample).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "circuits/circuit.h"
#include "engine/register.h"

namespace circuits {

struct RunOptions {
    // A gate that would grow the register past this many entries stops the run (status 1).
    int64_t max_states = int64_t{1} << 24;
    // "Gatter k von n" rewritten in place on standard error once a run takes over a second,
    // when standard error is a terminal.
    bool progress = false;
    // Where the object code of the (first) run goes; empty: nowhere.
    std::string dump;
};

// The op index of the earliest measurement that a later gate, reset or condition depends on
// (its qubit is used again, or its bit is read); -1 when every measurement is terminal.
int64_t first_early_measurement(const Circuit& circuit);

// One row of an outcome table: the bits as printed (registers last declared first, each
// from its highest bit, separated by blanks) and the probability or count.
template <typename T> using OutcomeRows = std::vector<std::pair<std::string, T>>;

// The exact probabilities of the classical bits (of the qubits, without any measurement) of
// a program whose measurements are terminal, at least min_probability each, most probable
// first. False after one line on standard error (an early measurement, the state budget).
bool outcome_probabilities(const Circuit& circuit, double min_probability,
                           const RunOptions& options, OutcomeRows<double>& rows);

// shots outcomes: drawn from the probabilities where the measurements are terminal, else
// one whole run each; most frequent first. False after one line on standard error.
bool outcome_samples(const Circuit& circuit, int64_t shots, const RunOptions& options,
                     OutcomeRows<int64_t>& rows);

// Runs the circuit once (measurements draw and collapse) into reg, which the caller then
// owns and deletes; false after one line on standard error, with reg empty.
bool run_to_register(const Circuit& circuit, const RunOptions& options, quantum_reg_struct& reg);

// The qucode commands: results on standard output, problems on standard error; each returns
// the exit status (0, or 1 after one line).
// run: the final register as print_register prints it, then the classical bits.
int run_command(const Circuit& circuit, const RunOptions& options);
int probs_command(const Circuit& circuit, double min_probability, const RunOptions& options);
int sample_command(const Circuit& circuit, int64_t shots, const RunOptions& options);

} // namespace circuits
