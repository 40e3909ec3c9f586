// circuits/gate_library.cpp: the standard gates as engine gates, and controlled and inverted
// gate lists.
#include "circuits/gate_library.h"

#include <algorithm>
#include <bit>
#include <numbers>

namespace circuits {

namespace {

constexpr double PI = std::numbers::pi;

using Qubits = const int32_t*;
using Params = const double*;

void u_gate(double theta, double phi, double lambda, int32_t q, bool keep_phase, GateSink& s)
{
    // U(0, phi, lambda) is diagonal: the phase kick alone, or (without the global phase
    // e^(i (phi + lambda) / 2)) the z rotation.
    if (theta == 0) {
        s.add(keep_phase ? OpKind::PHASE : OpKind::RZ, q, 0, 0, phi + lambda);
        return;
    }
    // U = e^(i (phi + lambda) / 2) rz(phi) ry(theta) rz(lambda).
    if (lambda != 0)
        s.add(OpKind::RZ, q, 0, 0, lambda);
    s.add(OpKind::RY, q, 0, 0, theta);
    if (phi != 0)
        s.add(OpKind::RZ, q, 0, 0, phi);
    if (keep_phase && phi + lambda != 0)
        s.add(OpKind::GPHASE, 0, 0, 0, (phi + lambda) / 2);
}

// The textbook square root of NOT, (1/2)[[1+i, 1-i], [1-i, 1+i]] = e^(i pi/4) rx(pi/2).
void sqrt_x(int32_t q, double sign, GateSink& s)
{
    s.add(OpKind::RX, q, 0, 0, sign * PI / 2);
    s.add(OpKind::GPHASE, 0, 0, 0, sign * PI / 4);
}

void swap_gate(int32_t a, int32_t b, GateSink& s)
{
    s.add(OpKind::CX, a, b);
    s.add(OpKind::CX, b, a);
    s.add(OpKind::CX, a, b);
}

// The relative-phase Toffoli of qelib1.inc: h, t, cx, tdg, ... on the target.
void rccx(Qubits q, GateSink& s)
{
    const int32_t a = q[0], b = q[1], c = q[2];
    s.add(OpKind::H, c);
    s.add(OpKind::PHASE, c, 0, 0, PI / 4);
    s.add(OpKind::CX, b, c);
    s.add(OpKind::PHASE, c, 0, 0, -PI / 4);
    s.add(OpKind::CX, a, c);
    s.add(OpKind::PHASE, c, 0, 0, PI / 4);
    s.add(OpKind::CX, b, c);
    s.add(OpKind::PHASE, c, 0, 0, -PI / 4);
    s.add(OpKind::H, c);
}

// The relative-phase three-controlled X of qelib1.inc.
void rc3x(Qubits q, GateSink& s)
{
    const int32_t a = q[0], b = q[1], c = q[2], d = q[3];
    const auto t = [&](double sign) { s.add(OpKind::PHASE, d, 0, 0, sign * PI / 4); };
    s.add(OpKind::H, d);
    t(1);
    s.add(OpKind::CX, c, d);
    t(-1);
    s.add(OpKind::H, d);
    s.add(OpKind::CX, a, d);
    t(1);
    s.add(OpKind::CX, b, d);
    t(-1);
    s.add(OpKind::CX, a, d);
    t(1);
    s.add(OpKind::CX, b, d);
    t(-1);
    s.add(OpKind::H, d);
    t(1);
    s.add(OpKind::CX, c, d);
    t(-1);
    s.add(OpKind::H, d);
}

// body, controlled by controls.
template <typename Body>
void controlled_by(std::span<const int32_t> controls, GateSink& s, Body body)
{
    std::vector<Op> ops;
    GateSink inner(ops, s.budget());
    body(inner);
    add_controlled(ops, controls, s);
}

// Gates both libraries define alike, each with its textbook matrix.
const LibraryGate COMMON_GATES[] = {
    {"id", 0, 1, [](Params, Qubits, GateSink&) {}},
    {"x", 0, 1, [](Params, Qubits q, GateSink& s) { s.add(OpKind::X, q[0]); }},
    {"y", 0, 1, [](Params, Qubits q, GateSink& s) { s.add(OpKind::Y, q[0]); }},
    {"z", 0, 1, [](Params, Qubits q, GateSink& s) { s.add(OpKind::Z, q[0]); }},
    {"h", 0, 1, [](Params, Qubits q, GateSink& s) { s.add(OpKind::H, q[0]); }},
    {"s", 0, 1, [](Params, Qubits q, GateSink& s) { s.add(OpKind::PHASE, q[0], 0, 0, PI / 2); }},
    {"sdg", 0, 1, [](Params, Qubits q, GateSink& s) { s.add(OpKind::PHASE, q[0], 0, 0, -PI / 2); }},
    {"t", 0, 1, [](Params, Qubits q, GateSink& s) { s.add(OpKind::PHASE, q[0], 0, 0, PI / 4); }},
    {"tdg", 0, 1, [](Params, Qubits q, GateSink& s) { s.add(OpKind::PHASE, q[0], 0, 0, -PI / 4); }},
    {"sx", 0, 1, [](Params, Qubits q, GateSink& s) { sqrt_x(q[0], 1, s); }},
    {"rx", 1, 1, [](Params p, Qubits q, GateSink& s) { s.add(OpKind::RX, q[0], 0, 0, p[0]); }},
    {"ry", 1, 1, [](Params p, Qubits q, GateSink& s) { s.add(OpKind::RY, q[0], 0, 0, p[0]); }},
    {"rz", 1, 1, [](Params p, Qubits q, GateSink& s) { s.add(OpKind::RZ, q[0], 0, 0, p[0]); }},
    {"p", 1, 1, [](Params p, Qubits q, GateSink& s) { s.add(OpKind::PHASE, q[0], 0, 0, p[0]); }},
    {"u1", 1, 1, [](Params p, Qubits q, GateSink& s) { s.add(OpKind::PHASE, q[0], 0, 0, p[0]); }},
    {"cx", 0, 2, [](Params, Qubits q, GateSink& s) { s.add(OpKind::CX, q[0], q[1]); }},
    {"cy", 0, 2,
     [](Params, Qubits q, GateSink& s) {
         controlled_by({q, 1}, s, [&](GateSink& i) { i.add(OpKind::Y, q[1]); });
     }},
    {"cz", 0, 2, [](Params, Qubits q, GateSink& s) { s.add(OpKind::CPHASE, q[0], q[1], 0, PI); }},
    {"ch", 0, 2,
     [](Params, Qubits q, GateSink& s) {
         controlled_by({q, 1}, s, [&](GateSink& i) { i.add(OpKind::H, q[1]); });
     }},
    {"cp", 1, 2,
     [](Params p, Qubits q, GateSink& s) { s.add(OpKind::CPHASE, q[0], q[1], 0, p[0]); }},
    {"crx", 1, 2,
     [](Params p, Qubits q, GateSink& s) {
         controlled_by({q, 1}, s, [&](GateSink& i) { i.add(OpKind::RX, q[1], 0, 0, p[0]); });
     }},
    {"cry", 1, 2,
     [](Params p, Qubits q, GateSink& s) {
         controlled_by({q, 1}, s, [&](GateSink& i) { i.add(OpKind::RY, q[1], 0, 0, p[0]); });
     }},
    {"crz", 1, 2,
     [](Params p, Qubits q, GateSink& s) {
         controlled_by({q, 1}, s, [&](GateSink& i) { i.add(OpKind::RZ, q[1], 0, 0, p[0]); });
     }},
    {"swap", 0, 2, [](Params, Qubits q, GateSink& s) { swap_gate(q[0], q[1], s); }},
    {"ccx", 0, 3, [](Params, Qubits q, GateSink& s) { s.add(OpKind::CCX, q[0], q[1], q[2]); }},
    {"cswap", 0, 3,
     [](Params, Qubits q, GateSink& s) {
         s.add(OpKind::CX, q[2], q[1]);
         s.add(OpKind::CCX, q[0], q[1], q[2]);
         s.add(OpKind::CX, q[2], q[1]);
     }},
    // cu(theta, phi, lambda, gamma): e^(i gamma) U(theta, phi, lambda) where the control is 1.
    {"cu", 4, 2,
     [](Params p, Qubits q, GateSink& s) {
         s.add(OpKind::PHASE, q[0], 0, 0, p[3]);
         controlled_by({q, 1}, s, [&](GateSink& i) { u_gate(p[0], p[1], p[2], q[1], true, i); });
     }},
};

// qelib1.inc: U is e^(i (phi + lambda) / 2) rz ry rz, as in OpenQASM 3, so that u1 is the
// phase kick and x = u3(pi, 0, pi) is X exactly.
const LibraryGate QELIB1_GATES[] = {
    {"u3", 3, 1, [](Params p, Qubits q, GateSink& s) { u_gate(p[0], p[1], p[2], q[0], true, s); }},
    {"u", 3, 1, [](Params p, Qubits q, GateSink& s) { u_gate(p[0], p[1], p[2], q[0], true, s); }},
    {"u2", 2, 1,
     [](Params p, Qubits q, GateSink& s) { u_gate(PI / 2, p[0], p[1], q[0], true, s); }},
    {"u0", 1, 1, [](Params, Qubits, GateSink&) {}},
    {"sxdg", 0, 1, [](Params, Qubits q, GateSink& s) { sqrt_x(q[0], -1, s); }},
    {"cu1", 1, 2,
     [](Params p, Qubits q, GateSink& s) { s.add(OpKind::CPHASE, q[0], q[1], 0, p[0]); }},
    {"cu3", 3, 2,
     [](Params p, Qubits q, GateSink& s) {
         controlled_by({q, 1}, s, [&](GateSink& i) { u_gate(p[0], p[1], p[2], q[1], true, i); });
     }},
    {"csx", 0, 2,
     [](Params, Qubits q, GateSink& s) {
         controlled_by({q, 1}, s, [&](GateSink& i) { sqrt_x(q[1], 1, i); });
     }},
    // exp(-i theta/2 X X) and exp(-i theta/2 Z Z).
    {"rxx", 1, 2,
     [](Params p, Qubits q, GateSink& s) {
         s.add(OpKind::H, q[0]);
         s.add(OpKind::H, q[1]);
         s.add(OpKind::CX, q[0], q[1]);
         s.add(OpKind::RZ, q[1], 0, 0, p[0]);
         s.add(OpKind::CX, q[0], q[1]);
         s.add(OpKind::H, q[0]);
         s.add(OpKind::H, q[1]);
     }},
    {"rzz", 1, 2,
     [](Params p, Qubits q, GateSink& s) {
         s.add(OpKind::CX, q[0], q[1]);
         s.add(OpKind::RZ, q[1], 0, 0, p[0]);
         s.add(OpKind::CX, q[0], q[1]);
     }},
    {"rccx", 0, 3, [](Params, Qubits q, GateSink& s) { rccx(q, s); }},
    {"rc3x", 0, 4, [](Params, Qubits q, GateSink& s) { rc3x(q, s); }},
    {"c3x", 0, 4,
     [](Params, Qubits q, GateSink& s) {
         add_multi_x({q, 3}, q[3], s);
     }},
    {"c3sqrtx", 0, 4,
     [](Params, Qubits q, GateSink& s) {
         controlled_by({q, 3}, s, [&](GateSink& i) { sqrt_x(q[3], 1, i); });
     }},
    {"c4x", 0, 5,
     [](Params, Qubits q, GateSink& s) {
         add_multi_x({q, 4}, q[4], s);
     }},
};

// stdgates.inc: u2 and u3 drop U's global phase (gphase(-(phi + lambda) / 2) first).
const LibraryGate STDGATES_GATES[] = {
    {"u3", 3, 1, [](Params p, Qubits q, GateSink& s) { u_gate(p[0], p[1], p[2], q[0], false, s); }},
    {"u2", 2, 1,
     [](Params p, Qubits q, GateSink& s) { u_gate(PI / 2, p[0], p[1], q[0], false, s); }},
    {"CX", 0, 2, [](Params, Qubits q, GateSink& s) { s.add(OpKind::CX, q[0], q[1]); }},
    {"phase", 1, 1,
     [](Params p, Qubits q, GateSink& s) { s.add(OpKind::PHASE, q[0], 0, 0, p[0]); }},
    {"cphase", 1, 2,
     [](Params p, Qubits q, GateSink& s) { s.add(OpKind::CPHASE, q[0], q[1], 0, p[0]); }},
};

const LibraryGate BUILTIN_U = {
    "U", 3, 1, [](Params p, Qubits q, GateSink& s) { u_gate(p[0], p[1], p[2], q[0], true, s); }};
const LibraryGate BUILTIN_CX = {
    "CX", 0, 2, [](Params, Qubits q, GateSink& s) { s.add(OpKind::CX, q[0], q[1]); }};
const LibraryGate BUILTIN_GPHASE = {
    "gphase", 1, 0, [](Params p, Qubits, GateSink& s) { s.add(OpKind::GPHASE, 0, 0, 0, p[0]); }};

template <size_t N> const LibraryGate* find_in(const LibraryGate (&table)[N], std::string_view name)
{
    for (const LibraryGate& g : table)
        if (g.name == name)
            return &g;
    return nullptr;
}

// Adds unit * (+1 for an odd, -1 for an even member count) times the parity of every
// non-empty subset of qubits: a product of the qubits' bits is such a sum, so the phase
// where all of them are 1 comes out with CNOTs and phase kicks only. The subsets that
// hold the last qubit are visited in Gray-code order, so one CNOT moves between them.
void parity_phases(std::span<const int32_t> qubits, double unit, GateSink& s)
{
    if (qubits.empty() || s.exhausted())
        return;
    const int32_t t = qubits.back();
    const std::span<const int32_t> rest = qubits.first(qubits.size() - 1);
    const uint64_t subsets = uint64_t{1} << rest.size();
    uint64_t previous = 0;
    for (uint64_t k = 0; k < subsets && !s.exhausted(); ++k) {
        const uint64_t gray = k ^ (k >> 1);
        if (k > 0)
            s.add(OpKind::CX, rest[static_cast<size_t>(std::countr_zero(gray ^ previous))], t);
        const bool odd = (std::popcount(gray) + 1) % 2 == 1;
        s.add(OpKind::PHASE, t, 0, 0, odd ? unit : -unit);
        previous = gray;
    }
    for (size_t b = 0; b < rest.size(); ++b)
        if (previous >> b & 1)
            s.add(OpKind::CX, rest[b], t);
    parity_phases(rest, unit, s);
}

std::vector<int32_t> joined(std::span<const int32_t> controls, std::initializer_list<int32_t> more)
{
    std::vector<int32_t> all(controls.begin(), controls.end());
    all.insert(all.end(), more);
    return all;
}

} // namespace

int op_qubit_count(OpKind kind)
{
    switch (kind) {
    case OpKind::CX:
    case OpKind::CPHASE:
        return 2;
    case OpKind::CCX:
        return 3;
    case OpKind::GPHASE:
        return 0;
    default:
        return 1;
    }
}

bool op_has_angle(OpKind kind)
{
    return kind == OpKind::RX || kind == OpKind::RY || kind == OpKind::RZ ||
           kind == OpKind::PHASE || kind == OpKind::CPHASE || kind == OpKind::GPHASE;
}

bool GateSink::add(OpKind kind, int32_t q0, int32_t q1, int32_t q2, double angle)
{
    if (--budget_ < 0)
        return false;
    Op op;
    op.kind = kind;
    op.qubit[0] = q0;
    op.qubit[1] = q1;
    op.qubit[2] = q2;
    op.angle = angle;
    out_.push_back(op);
    return true;
}

bool GateSink::append(const std::vector<Op>& ops)
{
    for (const Op& op : ops)
        if (!add(op.kind, op.qubit[0], op.qubit[1], op.qubit[2], op.angle))
            return false;
    return true;
}

const LibraryGate* find_library_gate(int version, std::string_view name, bool builtin)
{
    if (builtin) {
        if (name == "U")
            return &BUILTIN_U;
        if (version == 2 && name == "CX")
            return &BUILTIN_CX;
        if (version == 3 && name == "gphase")
            return &BUILTIN_GPHASE;
        return nullptr;
    }
    if (const LibraryGate* g =
            version == 2 ? find_in(QELIB1_GATES, name) : find_in(STDGATES_GATES, name))
        return g;
    return find_in(COMMON_GATES, name);
}

std::vector<std::string_view> library_gate_names(int version)
{
    std::vector<std::string_view> names;
    for (const LibraryGate& g : COMMON_GATES)
        names.push_back(g.name);
    if (version == 2) {
        for (const LibraryGate& g : QELIB1_GATES)
            names.push_back(g.name);
    } else {
        for (const LibraryGate& g : STDGATES_GATES)
            names.push_back(g.name);
    }
    return names;
}

void add_multi_phase(std::span<const int32_t> qubits, double lambda, GateSink& s)
{
    switch (qubits.size()) {
    case 0:
        s.add(OpKind::GPHASE, 0, 0, 0, lambda);
        return;
    case 1:
        s.add(OpKind::PHASE, qubits[0], 0, 0, lambda);
        return;
    case 2:
        s.add(OpKind::CPHASE, qubits[0], qubits[1], 0, lambda);
        return;
    default:
        parity_phases(qubits, lambda / static_cast<double>(uint64_t{1} << (qubits.size() - 1)), s);
    }
}

void add_multi_x(std::span<const int32_t> controls, int32_t target, GateSink& s)
{
    switch (controls.size()) {
    case 0:
        s.add(OpKind::X, target);
        return;
    case 1:
        s.add(OpKind::CX, controls[0], target);
        return;
    case 2:
        s.add(OpKind::CCX, controls[0], controls[1], target);
        return;
    default:
        // X = H Z H, and the controlled Z is the phase pi where every qubit is 1.
        s.add(OpKind::H, target);
        add_multi_phase(joined(controls, {target}), PI, s);
        s.add(OpKind::H, target);
    }
}

void add_controlled(const std::vector<Op>& body, std::span<const int32_t> controls, GateSink& s)
{
    // A rotation r(a) with r(a/2) X r(-a/2) X = r(a) and r(-a/2) r(a/2) = 1 (z and y).
    const auto rotation = [&](OpKind kind, int32_t q, double angle) {
        s.add(kind, q, 0, 0, angle / 2);
        add_multi_x(controls, q, s);
        s.add(kind, q, 0, 0, -angle / 2);
        add_multi_x(controls, q, s);
    };
    for (const Op& op : body) {
        if (s.exhausted())
            return;
        const int32_t a = op.qubit[0], b = op.qubit[1], c = op.qubit[2];
        switch (op.kind) {
        case OpKind::X:
            add_multi_x(controls, a, s);
            break;
        case OpKind::CX:
            add_multi_x(joined(controls, {a}), b, s);
            break;
        case OpKind::CCX:
            add_multi_x(joined(controls, {a, b}), c, s);
            break;
        case OpKind::Z:
            add_multi_phase(joined(controls, {a}), PI, s);
            break;
        case OpKind::PHASE:
            add_multi_phase(joined(controls, {a}), op.angle, s);
            break;
        case OpKind::CPHASE:
            add_multi_phase(joined(controls, {a, b}), op.angle, s);
            break;
        case OpKind::GPHASE:
            add_multi_phase(controls, op.angle, s);
            break;
        case OpKind::Y:
            // Y = S X S-dagger.
            s.add(OpKind::PHASE, a, 0, 0, -PI / 2);
            add_multi_x(controls, a, s);
            s.add(OpKind::PHASE, a, 0, 0, PI / 2);
            break;
        case OpKind::RZ:
        case OpKind::RY:
            rotation(op.kind, a, op.angle);
            break;
        case OpKind::RX:
            // rx = H rz H.
            s.add(OpKind::H, a);
            rotation(OpKind::RZ, a, op.angle);
            s.add(OpKind::H, a);
            break;
        case OpKind::H:
            // H = ry(pi/4) Z ry(-pi/4).
            s.add(OpKind::RY, a, 0, 0, -PI / 4);
            add_multi_phase(joined(controls, {a}), PI, s);
            s.add(OpKind::RY, a, 0, 0, PI / 4);
            break;
        case OpKind::MEASURE:
        case OpKind::RESET:
            // Gate bodies hold gates only; the reader never puts these here.
            break;
        }
    }
}

void invert(std::vector<Op>& ops)
{
    std::reverse(ops.begin(), ops.end());
    for (Op& op : ops)
        if (op_has_angle(op.kind))
            op.angle = -op.angle;
}

} // namespace circuits
