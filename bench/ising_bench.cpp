// One row of the Ising program: columns built, ground state solved, moments taken, all freed.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include "engine/error.h"
#include "programs/ising.h"

namespace {

// Peak resident memory of the process so far, in MiB.
double peak_rss_mib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_IsingRow(benchmark::State& state)
{
    const int64_t spins = state.range(0);
    const std::vector<int64_t> diagonal = programs::ising_diagonal_energies(spins);
    double energy = 0;
    for (auto _ : state) {
        last_error = 0;
        programs::IsingResult row = programs::ising_solve(spins, 0.9, diagonal);
        energy = row.energy;
        benchmark::DoNotOptimize(row);
    }
    state.counters["E_0"] = energy;
    state.counters["engine_error"] = static_cast<double>(last_error);
    state.counters["peak_rss_MiB"] = peak_rss_mib();
}

BENCHMARK(BM_IsingRow)->Arg(8)->Arg(12)->Arg(16)->Arg(18)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
