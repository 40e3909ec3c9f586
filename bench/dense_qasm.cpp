// bench/dense_qasm.cpp: the baseline of the OpenQASM rows in compare.sh: a plain dense
// state-vector simulator, 2^n single-precision amplitudes and one pass over all of them per
// gate, written the straightforward way. It reads the program with qucode's reader, so both
// run the same engine gates, and prints the table `qucode probs` prints.
// Usage: bench_dense_qasm PROGRAM [--min P]
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "circuits/circuit.h"
#include "circuits/program_run.h"
#include "circuits/qasm_reader.h"

namespace {

using circuits::Op;
using circuits::OpKind;
using Amplitude = std::complex<float>;

Amplitude mul(Amplitude a, Amplitude b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

Amplitude phase(double angle)
{
    return {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
}

class StateVector {
public:
    explicit StateVector(int qubits) : a_(size_t{1} << qubits) { a_[0] = 1.0f; }

    // The 2x2 matrix m on the target where every control bit is set.
    void matrix(size_t target, size_t controls, const Amplitude (&m)[4])
    {
        for (size_t i = 0; i < a_.size(); ++i) {
            if ((i & target) || (i & controls) != controls)
                continue;
            const Amplitude x = a_[i], y = a_[i | target];
            a_[i] = mul(m[0], x) + mul(m[1], y);
            a_[i | target] = mul(m[2], x) + mul(m[3], y);
        }
    }

    // d0 where the target bit is 0 and d1 where it is 1, where every control bit is set.
    void diagonal(size_t target, size_t controls, Amplitude d0, Amplitude d1)
    {
        for (size_t i = 0; i < a_.size(); ++i)
            if ((i & controls) == controls)
                a_[i] = mul(a_[i], (i & target) ? d1 : d0);
    }

    float probability(size_t i) const { return std::norm(a_[i]); }
    size_t size() const { return a_.size(); }

private:
    std::vector<Amplitude> a_;
};

void apply(StateVector& v, const Op& op)
{
    const auto bit = [&op](int k) { return size_t{1} << op.qubit[k]; };
    const float half = static_cast<float>(op.angle) / 2;
    const float c = std::cos(half), s = std::sin(half);
    const float h = 0.70710677f;
    switch (op.kind) {
    case OpKind::X:
        v.matrix(bit(0), 0, {0, 1, 1, 0});
        break;
    case OpKind::CX:
        v.matrix(bit(1), bit(0), {0, 1, 1, 0});
        break;
    case OpKind::CCX:
        v.matrix(bit(2), bit(0) | bit(1), {0, 1, 1, 0});
        break;
    case OpKind::Y:
        v.matrix(bit(0), 0, {0, {0, -1}, {0, 1}, 0});
        break;
    case OpKind::H:
        v.matrix(bit(0), 0, {h, h, h, -h});
        break;
    case OpKind::RX:
        v.matrix(bit(0), 0, {c, {0, -s}, {0, -s}, c});
        break;
    case OpKind::RY:
        v.matrix(bit(0), 0, {c, -s, s, c});
        break;
    case OpKind::Z:
        v.diagonal(bit(0), 0, 1, -1);
        break;
    case OpKind::RZ:
        v.diagonal(bit(0), 0, phase(-half), phase(half));
        break;
    case OpKind::PHASE:
        v.diagonal(bit(0), 0, 1, phase(op.angle));
        break;
    case OpKind::CPHASE:
        v.diagonal(bit(1), bit(0), 1, phase(op.angle));
        break;
    case OpKind::GPHASE:
        v.diagonal(0, 0, phase(op.angle), phase(op.angle));
        break;
    case OpKind::MEASURE:
    case OpKind::RESET:
        break;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--min")) {
        std::fprintf(stderr, "usage: bench_dense_qasm PROGRAM [--min P]\n");
        return 2;
    }
    const double min_probability = argc == 4 ? std::atof(argv[3]) : 1e-9;
    std::ifstream file(argv[1], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    circuits::Circuit c;
    circuits::ReadError error;
    if (!file || !circuits::read_qasm(text.str(), argv[1], c, error)) {
        std::fprintf(stderr, "%s\n", circuits::located(argv[1], error).c_str());
        return 1;
    }
    if (!c.conditions.empty() || circuits::first_early_measurement(c) >= 0) {
        std::fprintf(stderr, "bench_dense_qasm: only programs that measure at the end.\n");
        return 1;
    }
    StateVector v(c.qubits);
    // The qubit each classical bit is measured from, and whether anything is measured.
    std::vector<int> source(static_cast<size_t>(c.bits), -1);
    bool measured = false;
    for (const Op& op : c.ops) {
        if (op.kind == OpKind::RESET) {
            std::fprintf(stderr, "bench_dense_qasm: no resets.\n");
            return 1;
        }
        if (op.kind == OpKind::MEASURE) {
            measured = true;
            if (op.bit >= 0)
                source[static_cast<size_t>(op.bit)] = op.qubit[0];
        }
        apply(v, op);
    }
    // Sum the probability of every amplitude into its outcome: the measured bits, or
    // without measurements the whole index.
    std::vector<std::pair<std::string, double>> table;
    auto text_of = [&](size_t i) {
        std::string bits;
        const auto& regs = measured ? c.cregs : c.qregs;
        for (auto r = regs.rbegin(); r != regs.rend(); ++r) {
            if (!bits.empty())
                bits += ' ';
            for (int k = r->size - 1; k >= 0; --k) {
                const int q = measured ? source[static_cast<size_t>(r->first + k)] : r->first + k;
                bits += q >= 0 && (i >> q & 1) ? '1' : '0';
            }
        }
        return bits;
    };
    // Outcomes are keyed by the index with every unmeasured qubit cleared.
    size_t mask = v.size() - 1;
    if (measured) {
        mask = 0;
        for (int q : source)
            if (q >= 0)
                mask |= size_t{1} << q;
    }
    std::vector<double> cells(v.size(), 0.0);
    for (size_t i = 0; i < v.size(); ++i)
        cells[i & mask] += v.probability(i);
    for (size_t i = 0; i < v.size(); ++i)
        if ((i & ~mask) == 0 && cells[i] >= min_probability && cells[i] > 0)
            table.emplace_back(text_of(i), cells[i]);
    std::sort(table.begin(), table.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    for (const auto& [bits, p] : table)
        std::printf("%s %.9g\n", bits.c_str(), p);
    return 0;
}
