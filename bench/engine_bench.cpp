// bench/engine_bench.cpp: the engine's hot gates as the programs run them, recording on.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/objcode.h"
#include "engine/register.h"
#include "programs/grover.h"

namespace {

// A register of width bits holding every basis value 0 .. 2^bits - 1, with unequal amplitudes
// so no Hadamard pair cancels and the size stays put from call to call.
quantum_reg_struct full_register(int64_t bits)
{
    quantum_reg_struct reg = register_new(0, bits);
    register_delete_keep_hash(reg);
    const int64_t n = int64_t{1} << bits;
    quantum_reg_struct entries = register_new_sparse(n, bits);
    entries.hashw = reg.hashw;
    entries.hash = reg.hash;
    for (int64_t i = 0; i < n; i++) {
        entries.state[i] = static_cast<uint64_t>(i);
        entries.amplitude[i] = quantum_amplitude(1.0f + 0.001f * static_cast<float>(i % 977),
                                                 0.0005f * static_cast<float>(i % 13));
    }
    return entries;
}

// The same bit test and flip as the permutation gate, over a plain array.
void bare_flip(std::vector<uint64_t>& values, uint64_t mask, uint64_t flip)
{
    for (uint64_t& v : values)
        v ^= ((v & mask) == mask) ? flip : 0;
}

// CPU time of this thread: the machine is shared, and wall time counts the others' work.
double thread_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<uint64_t> plain_values(int64_t bits)
{
    std::vector<uint64_t> values(size_t{1} << bits);
    for (size_t i = 0; i < values.size(); i++)
        values[i] = i;
    return values;
}

constexpr int64_t PERMUTATION_BITS = 19;

void BM_BareLoop(benchmark::State& state)
{
    std::vector<uint64_t> values = plain_values(PERMUTATION_BITS);
    for (auto _ : state) {
        bare_flip(values, (1u << 3) | (1u << 7), 1u << 11);
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(values.size()));
}

void BM_ApplyToffoli(benchmark::State& state)
{
    quantum_reg_struct reg = full_register(PERMUTATION_BITS);
    for (auto _ : state) {
        apply_toffoli(3, 7, 11, reg);
        benchmark::DoNotOptimize(reg.state);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * reg.size);
    register_delete(reg);
    objcode_stop();
}

void BM_ApplyCnot(benchmark::State& state)
{
    quantum_reg_struct reg = full_register(PERMUTATION_BITS);
    for (auto _ : state) {
        apply_cnot(3, 11, reg);
        benchmark::DoNotOptimize(reg.state);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * reg.size);
    register_delete(reg);
    objcode_stop();
}

// Gate and bare loop timed alternately in one run, so both see the same machine state.
void ratio_against_bare(benchmark::State& state, bool toffoli)
{
    quantum_reg_struct reg = full_register(PERMUTATION_BITS);
    std::vector<uint64_t> values = plain_values(PERMUTATION_BITS);
    const uint64_t mask = toffoli ? (1u << 3) | (1u << 7) : (1u << 3);
    double gate_seconds = 0, bare_seconds = 0;
    for (auto _ : state) {
        const double t0 = thread_seconds();
        if (toffoli)
            apply_toffoli(3, 7, 11, reg);
        else
            apply_cnot(3, 11, reg);
        benchmark::ClobberMemory();
        const double t1 = thread_seconds();
        bare_flip(values, mask, 1u << 11);
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
        const double t2 = thread_seconds();
        gate_seconds += t1 - t0;
        bare_seconds += t2 - t1;
    }
    const double entries = double(state.iterations()) * double(reg.size);
    state.counters["gate_ns_per_entry"] = gate_seconds * 1e9 / entries;
    state.counters["bare_ns_per_entry"] = bare_seconds * 1e9 / entries;
    state.counters["ratio"] = gate_seconds / bare_seconds;
    register_delete(reg);
    objcode_stop();
}

void BM_ToffoliVsBare(benchmark::State& state)
{
    ratio_against_bare(state, true);
}

void BM_CnotVsBare(benchmark::State& state)
{
    ratio_against_bare(state, false);
}

// Hadamard on qubit 0 of a register of 2^bits entries; the table is rebuilt every call.
void BM_ApplyHadamard(benchmark::State& state)
{
    quantum_reg_struct reg = full_register(state.range(0));
    // The table has four slots per entry here, so the load warning stays quiet.
    for (auto _ : state) {
        apply_hadamard(0, reg);
        benchmark::DoNotOptimize(reg.amplitude);
    }
    state.SetItemsProcessed(state.iterations() * reg.size);
    state.counters["entries"] = double(reg.size);
    register_delete(reg);
    objcode_stop();
}

// The engine's part of the G command searching 0 on width qubits: the register prepared,
// all its iterations (oracle, Walsh layer, inversion, Walsh layer) inside the program's
// run, where it is held by value and its entry order is replayed once its cycle is found,
// and the phase qubit measured.
void BM_GroverSearch(benchmark::State& state)
{
    const int64_t width = state.range(0);
    const auto iterations = static_cast<int64_t>(
        std::sqrt(static_cast<double>(int64_t{1} << width)) * 0.7853981633974483);
    for (auto _ : state) {
        quantum_reg_struct reg = register_new(0, width);
        apply_sigma_x(width, reg);
        apply_walsh(width, reg);
        apply_hadamard(width, reg);
        permutation_run_open(reg);
        for (int64_t k = 0; k < iterations; k++) {
            oraclecircuit(0, reg);
            apply_walsh(width, reg);
            inversioncircuit(reg);
            apply_walsh(width, reg);
        }
        apply_hadamard(width, reg);
        permutation_run_close();
        reg.width = width + 1;
        measure_qubit(width, reg);
        benchmark::DoNotOptimize(reg.amplitude);
        register_delete(reg);
    }
    state.counters["iterations"] = double(iterations);
    objcode_stop();
}

void BM_ObjcodeRecord(benchmark::State& state)
{
    quantum_objcode_start();
    int64_t records = 0;
    for (auto _ : state) {
        objcode_record(OBJCODE_TOFFOLI, 3, 7, 11);
        // Start afresh now and then so the buffer stays a few megabytes.
        if (++records == (int64_t{1} << 20)) {
            quantum_objcode_start();
            records = 0;
        }
    }
    state.SetItemsProcessed(state.iterations());
    objcode_stop();
}

} // namespace

BENCHMARK(BM_BareLoop);
BENCHMARK(BM_ApplyToffoli);
BENCHMARK(BM_ApplyCnot);
BENCHMARK(BM_ToffoliVsBare);
BENCHMARK(BM_CnotVsBare);
BENCHMARK(BM_ApplyHadamard)->Arg(12)->Arg(16);
BENCHMARK(BM_GroverSearch)->Arg(12)->Arg(16)->Arg(18)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjcodeRecord);

BENCHMARK_MAIN();
