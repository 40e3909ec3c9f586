// circuits/gate_library.h: the standard gates of qelib1.inc and stdgates.inc as engine gates,
// and the ctrl, negctrl and inv modifiers on any list of them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "circuits/circuit.h"

namespace circuits {

// Collects the lowered gates (kind, qubits and angle only), counting against a limit that
// one program's expansion shares, so that nested definitions cannot grow without bound.
class GateSink {
public:
    GateSink(std::vector<Op>& out, int64_t& budget) : out_(out), budget_(budget) {}

    // False once the budget is spent; the op is then dropped.
    bool add(OpKind kind, int32_t q0 = 0, int32_t q1 = 0, int32_t q2 = 0, double angle = 0);
    // Appends ops as they are (each counted).
    bool append(const std::vector<Op>& ops);
    bool exhausted() const { return budget_ < 0; }
    int64_t& budget() { return budget_; }

private:
    std::vector<Op>& out_;
    int64_t& budget_;
};

// One gate of a standard library: how many parameters and qubits it takes, and its lowering.
struct LibraryGate {
    std::string_view name;
    int params;
    int qubits;
    void (*lower)(const double* params, const int32_t* qubits, GateSink& sink);
};

// The gates a program gets from `include "qelib1.inc";` (version 2) or
// `include "stdgates.inc";` (version 3); U, CX and gphase are the language's own and are
// looked up with builtin = true.
const LibraryGate* find_library_gate(int version, std::string_view name, bool builtin);

// Every name the include of that version defines, for listing and tests.
std::vector<std::string_view> library_gate_names(int version);

// Appends body with every op controlled by controls (all must be 1): each gate becomes the
// engine gates of its controlled form, exactly, global phases becoming phases of the
// controls. No control may be a qubit of the body.
void add_controlled(const std::vector<Op>& body, std::span<const int32_t> controls, GateSink& sink);

// Reverses ops and inverts each one.
void invert(std::vector<Op>& ops);

// The phase e^(i lambda) where all the qubits are 1 (on none: a global phase).
void add_multi_phase(std::span<const int32_t> qubits, double lambda, GateSink& sink);

// X on target where all the controls are 1.
void add_multi_x(std::span<const int32_t> controls, int32_t target, GateSink& sink);

} // namespace circuits
