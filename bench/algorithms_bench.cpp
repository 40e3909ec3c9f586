// bench/algorithms_bench.cpp: the engine's algorithms as the programs run them, recording
// included: modular exponentiation of a factoring run and Lanczos on the Ising ring.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "engine/algebra.h"
#include "engine/arith.h"
#include "engine/gates.h"
#include "engine/objcode.h"
#include "engine/register.h"

namespace {

// Factoring 667 = 23 * 29: 19 exponent qubits in superposition (2^19 entries), 3*10 + 2
// scratch qubits, modulus width 10. The base is fixed so runs compare.
// Argument 1: permutation runs batched (the default); 0: every gate rewrites the register.
void BM_ModularExponentiation667(benchmark::State& state)
{
    arith_set_batching(state.range(0) != 0);
    const int64_t n = 667, x = 2;
    const int64_t width = get_width(n * n), nwidth = get_width(n);
    for (auto _ : state) {
        state.PauseTiming();
        quantum_reg_struct reg = register_new(0, width);
        for (int64_t i = 0; i < width; ++i)
            apply_hadamard(i, reg);
        register_add_scratch(3 * nwidth + 2, reg);
        state.ResumeTiming();

        modular_exponentiation(n, x, width, nwidth, reg);

        state.PauseTiming();
        benchmark::DoNotOptimize(reg.state[reg.size - 1]);
        state.counters["entries"] = static_cast<double>(reg.size);
        state.counters["objcode_MB"] = static_cast<double>(objcode_position()) / 1e6;
        register_delete(reg);
        objcode_stop();
        state.ResumeTiming();
    }
    arith_set_batching(true);
}
BENCHMARK(BM_ModularExponentiation667)
    ->ArgName("batched")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

// The Ising ring of the Ising program at g = 1: one column register per basis state.
struct IsingColumns {
    std::vector<quantum_reg_struct> columns;
    IsingColumns(int spins, double g)
    {
        const int64_t dim = int64_t{1} << spins;
        for (int64_t l = 0; l < dim; ++l) {
            quantum_reg_struct c = register_new_sparse(spins + 1, spins);
            int64_t e = 0;
            for (int i = 0; i < spins; ++i) {
                c.state[i] = static_cast<uint64_t>(l ^ (int64_t{1} << i));
                c.amplitude[i] = {static_cast<float>(g), 0};
                e += (((l >> i) ^ (l >> ((i + 1) % spins))) & 1) ? 1 : -1;
            }
            c.state[spins] = static_cast<uint64_t>(l);
            c.amplitude[spins] = {static_cast<float>(e), 0};
            columns.push_back(c);
        }
    }
    ~IsingColumns()
    {
        for (auto& c : columns)
            register_delete(c);
    }
};

void BM_LanczosIsingRing(benchmark::State& state)
{
    const int spins = static_cast<int>(state.range(0));
    IsingColumns table(spins, 1.0);
    const quantum_hamiltonian h = [&table](uint64_t i, double) { return table.columns[i]; };
    double energy = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::srand(1);
        quantum_reg_struct psi = register_new_dense(int64_t{1} << spins, spins);
        for (int64_t k = 0; k < psi.size; ++k)
            set_amplitude_real(k, psi, static_cast<double>(std::rand() % 65536));
        state.ResumeTiming();

        energy = ground_state(psi, h, SOLVER_LANCZOS, 1e-12, 0);

        state.PauseTiming();
        register_delete(psi);
        state.ResumeTiming();
    }
    state.counters["E0"] = energy;
}
BENCHMARK(BM_LanczosIsingRing)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
