// circuits/circuit.h: a program as the list of engine gates it runs, with its registers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace circuits {

// One engine gate each, plus the two operations that read a qubit out. Every standard gate
// and every user gate is lowered to these before anything runs.
enum class OpKind : uint8_t {
    X,       // apply_sigma_x(qubit[0])
    Y,       // apply_sigma_y
    Z,       // apply_sigma_z
    H,       // apply_hadamard
    CX,      // apply_cnot(qubit[0], qubit[1])
    CCX,     // apply_toffoli(qubit[0], qubit[1], qubit[2])
    RX,      // apply_rot_x(qubit[0], angle)
    RY,      // apply_rot_y
    RZ,      // apply_rot_z
    PHASE,   // apply_phase_kick(qubit[0], angle): e^(i angle) where the qubit is 1
    CPHASE,  // apply_cond_phase_kick(qubit[0], qubit[1], angle): where both are 1
    GPHASE,  // apply_phase_scale: e^(i angle) everywhere
    MEASURE, // qubit[0] into the classical bit `bit`, collapsing
    RESET,   // qubit[0] to 0: measured, then flipped when it read 1
};

// Qubits an operation acts on.
int op_qubit_count(OpKind kind);
// Whether it carries an angle.
bool op_has_angle(OpKind kind);

struct Op {
    OpKind kind = OpKind::X;
    int32_t qubit[3] = {0, 0, 0};
    int32_t bit = -1;       // MEASURE: the classical bit written
    int32_t condition = -1; // index into Circuit::conditions; -1: unconditional
    double angle = 0;       // in radians; the engine narrows it to single precision
    int32_t line = 0;       // of the statement in the source, from 1
    int32_t column = 0;
};

// An op runs when the bits, read as a number (bits[0] the lowest), compare with value as
// stated, and so does the parent condition (nested ifs and else branches).
struct Condition {
    std::vector<int32_t> bits;
    uint64_t value = 0;
    bool equal = true;
    int32_t parent = -1;
};

// A quantum or classical register: its first index in the whole program and its size.
struct Register {
    std::string name;
    int32_t first = 0;
    int32_t size = 0;
};

struct Circuit {
    std::string file;            // as named in messages
    int version = 3;             // 2 or 3
    std::vector<Register> qregs; // in declaration order; q[i] of the first is engine qubit i
    std::vector<Register> cregs;
    int32_t qubits = 0;
    int32_t bits = 0;
    // The engine register's width; the qubit count unless a pragma sets it (an exported
    // dump replays on the replay's fixed width, beyond which its qubits may lie).
    int64_t engine_width = 0;
    std::vector<Op> ops;
    std::vector<Condition> conditions;
};

// A count in a message, with German digit groups: 4.194.304.
inline std::string grouped(int64_t n)
{
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > (n < 0 ? 1 : 0); i -= 3)
        digits.insert(static_cast<size_t>(i), ".");
    return digits;
}

} // namespace circuits
