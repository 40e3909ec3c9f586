// bench/grover_dense_bench.cpp: the baseline for the G command, a plain dense state vector
// stepped through the program's gate sequence. The vector holds the c search qubits and the
// phase qubit (2^(c+1) amplitudes in single precision); each Toffoli chain of the oracle and
// the inversion is applied as the multi-controlled NOT it computes, since its scratch qubits
// are 0 before and after it and a dense vector cannot hold 2c + 1 qubits.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace {

using Amplitude = std::complex<float>;

class DenseRegister {
public:
    explicit DenseRegister(int64_t qubits) : a_(size_t{1} << qubits) { a_[0] = 1.0f; }

    // Each gate pairs amplitude i (bit q clear) with i + 2^q, block by block, so that the
    // inner loops run over contiguous amplitudes.
    void hadamard(int64_t q)
    {
        const float s = 0.70710677f;
        pairs(q, [s](Amplitude& x, Amplitude& y) {
            const Amplitude sum = x + y, difference = x - y;
            x = {s * sum.real(), s * sum.imag()};
            y = {s * difference.real(), s * difference.imag()};
        });
    }

    void x(int64_t q)
    {
        pairs(q, [](Amplitude& x, Amplitude& y) { std::swap(x, y); });
    }

    // NOT on target where every bit of controls is set.
    void controlled_x(size_t controls, int64_t target)
    {
        const size_t bit = size_t{1} << target;
        for (size_t base = 0; base < a_.size(); base += 2 * bit)
            for (size_t i = base; i < base + bit; ++i)
                if ((i & controls) == controls)
                    std::swap(a_[i], a_[i + bit]);
    }

    float probability(size_t i) const { return std::norm(a_[i]); }

private:
    template <typename F> void pairs(int64_t q, F f)
    {
        const size_t bit = size_t{1} << q;
        for (size_t base = 0; base < a_.size(); base += 2 * bit)
            for (size_t i = base; i < base + bit; ++i)
                f(a_[i], a_[i + bit]);
    }

    std::vector<Amplitude> a_;
};

// The G command's circuit for searched value s on c qubits, without the final measurement.
float dense_grover(int64_t c, uint64_t s)
{
    DenseRegister reg(c + 1);
    const size_t index_bits = (size_t{1} << c) - 1;
    reg.x(c);
    for (int64_t i = 0; i <= c; ++i)
        reg.hadamard(i);
    const auto iterations =
        static_cast<int64_t>(std::sqrt(static_cast<double>(int64_t{1} << c)) * 0.7853981633974483);
    for (int64_t k = 0; k < iterations; ++k) {
        // Oracle: NOTs on the 0 bits of s, the chain onto the phase qubit, the NOTs again.
        for (int64_t i = 0; i < c; ++i)
            if (!((s >> i) & 1))
                reg.x(i);
        reg.controlled_x(index_bits, c);
        for (int64_t i = 0; i < c; ++i)
            if (!((s >> i) & 1))
                reg.x(i);
        for (int64_t i = 0; i < c; ++i)
            reg.hadamard(i);
        // Inversion about the mean.
        for (int64_t i = 0; i < c; ++i)
            reg.x(i);
        reg.hadamard(c - 1);
        reg.controlled_x(index_bits >> 1, c - 1);
        reg.hadamard(c - 1);
        for (int64_t i = 0; i < c; ++i)
            reg.x(i);
        for (int64_t i = 0; i < c; ++i)
            reg.hadamard(i);
    }
    reg.hadamard(c);
    return reg.probability(s) + reg.probability(s | (size_t{1} << c));
}

void BM_DenseGrover(benchmark::State& state)
{
    const int64_t c = state.range(0);
    float found = 0;
    for (auto _ : state) {
        found = dense_grover(c, 0);
        benchmark::DoNotOptimize(found);
    }
    state.counters["probability"] = found;
}

BENCHMARK(BM_DenseGrover)->Arg(12)->Arg(16)->Arg(18)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
