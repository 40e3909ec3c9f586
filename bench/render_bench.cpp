// Screen image building: the whole graphic block converted on every draw of a view.
#include "platform/headless/headless.h"
#include "toolkit/render.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <benchmark/benchmark.h>

namespace {

// The main window's canvas, 1280 x 800, at the depth given; the block filled with a pattern.
void set_up_canvas(int64_t depth)
{
    toolkit::reset_video_memory();
    t_Window& w = window_table[0];
    w.Initialized = true;
    w.Visible = true;
    w.BitDepth = depth;
    w.Width = 1280;
    w.Height = 800;
    w.MemoryStart = 0x100000;
    w.MemoryEnd = w.MemoryStart + 1280 * 800 * 4 - 1;
    for (int64_t a = w.MemoryStart; a <= w.MemoryEnd; ++a)
        VideoMemory[static_cast<size_t>(a)] = static_cast<uint8_t>(a * 31);
}

void BM_WindowImage(benchmark::State& state)
{
    set_up_canvas(state.range(0));
    for (auto _ : state) {
        auto image = t_WindowImage(0);
        benchmark::DoNotOptimize(image);
    }
    state.SetItemsProcessed(state.iterations() * 1280 * 800);
}
BENCHMARK(BM_WindowImage)->Arg(1)->Arg(4)->Arg(8)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

// One pass of the auto-update thread's due test over the eight windows.
void BM_AutoUpdateDue(benchmark::State& state)
{
    toolkit::reset_video_memory();
    for (auto& w : window_table) {
        w.Initialized = true;
        w.AutoUpdate = true;
    }
    int64_t now = 1'000'000;
    for (auto _ : state) {
        int due = 0;
        for (const auto& w : window_table)
            due += toolkit::auto_update_due(w, now) ? 1 : 0;
        benchmark::DoNotOptimize(due);
        ++now;
    }
}
BENCHMARK(BM_AutoUpdateDue);

} // namespace

BENCHMARK_MAIN();
