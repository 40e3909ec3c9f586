// The pictures' own work on the program thread: the one pass over Shor's register, the
// drawing of each picture, a Grover point and an Ising row with every earlier chain drawn.
#include "engine/register.h"
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "programs/pictures.h"
#include "toolkit/font.h"
#include "toolkit/platform_windows.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

using namespace programs;

// Shor 667's register after the Fourier transform: 2^19 values, peaks every 2^19 / 154.
quantum_reg_struct shor_like_register()
{
    constexpr int64_t values = int64_t{1} << 19;
    quantum_reg_struct reg = register_new_sparse(values, 19);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(0.0f, 1e-4f);
    for (int64_t v = 0; v < values; ++v) {
        reg.state[v] = static_cast<uint64_t>(v);
        const double phase = std::fmod(static_cast<double>(v) * 154.0 / values, 1.0);
        const bool peak = phase < 0.002 || phase > 0.998;
        reg.amplitude[v] = quantum_amplitude(peak ? 0.08f : noise(random), 0.0f);
    }
    return reg;
}

// The toolkit ready and the label font found, set up once; diagnostics kept quiet.
void set_up_toolkit()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    platform::headless_reset();
    toolkit::set_font_folder(ORBIKON_RESOURCE_DIR "/");
    t_InitMemory();
    // The windows' views, as the shell's interface builds them.
    std::vector<platform::WindowSpec> views;
    for (uint8_t n = 1; n <= 4; ++n) {
        platform::WindowSpec plan;
        plan.number = n;
        plan.kind = platform::WindowKind::Graphic;
        plan.state.frame = {0, 0, 700, 450};
        views.push_back(plan);
    }
    toolkit::build_platform_windows(views);
}

void BM_ShorRegisterRead(benchmark::State& state)
{
    quantum_reg_struct reg = shor_like_register();
    for (auto _ : state) {
        ShorSpectrum spectrum = shor_spectrum(reg.size);
        RegisterBars bars = register_bars(reg, &spectrum);
        benchmark::DoNotOptimize(bars);
    }
    state.SetItemsProcessed(state.iterations() * reg.size);
    register_delete(reg);
}
BENCHMARK(BM_ShorRegisterRead)->Unit(benchmark::kMillisecond);

void BM_ShorPictures(benchmark::State& state)
{
    set_up_toolkit();
    DiagCapture quiet;
    quantum_reg_struct reg = shor_like_register();
    ShorSpectrum spectrum = shor_spectrum(reg.size);
    const RegisterBars bars = register_bars(reg, &spectrum);
    for (auto _ : state) {
        draw_register_picture(bars, 44258, "gemessen");
        draw_shor_picture(spectrum, 44258);
        mark_shor_period(spectrum, 154);
    }
    if (!window_table[SHOR_WINDOW].Initialized)
        state.SkipWithError("window 4 was not set up");
    register_delete(reg);
}
BENCHMARK(BM_ShorPictures)->Unit(benchmark::kMillisecond);

void BM_GroverPoint(benchmark::State& state)
{
    set_up_toolkit();
    DiagCapture quiet;
    grover_picture_start(201, 201);
    int64_t k = 0;
    for (auto _ : state) {
        grover_picture_point(k % 202, 0.5 + 0.5 * std::sin(static_cast<double>(k) / 30.0));
        ++k;
    }
    if (!window_table[GROVER_WINDOW].Initialized)
        state.SkipWithError("window 2 was not set up");
}
BENCHMARK(BM_GroverPoint)->Unit(benchmark::kMicrosecond);

// The last row of N = 18: five earlier chains of 20 rows each, nineteen rows of its own.
void BM_IsingRow(benchmark::State& state)
{
    set_up_toolkit();
    DiagCapture quiet;
    for (int64_t n = 8; n <= 18; n += 2) {
        ising_picture_chain(n, 0.90, 1.09);
        for (int row = 0; row < (n < 18 ? 20 : 19); ++row) {
            const double g = 0.90 + 0.01 * row;
            ising_picture_row(g, -1.2 - 0.1 * g, 0.8 - 0.1 * g * n / 18, 6.0 - g);
        }
    }
    for (auto _ : state)
        ising_picture_row(1.09, -1.31, 0.7, 4.9);
    if (!window_table[ISING_WINDOW].Initialized)
        state.SkipWithError("window 3 was not set up");
}
BENCHMARK(BM_IsingRow)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
