// bench/toolkit_bench.cpp: text output into the main window as the programs do it.
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "toolkit/cursor.h"
#include "toolkit/font.h"
#include "toolkit/render.h"
#include "toolkit/text_output.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"
#include "toolkit/window_setup.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

// Window 0 as the main program sets it up: 80 x 25 cells of the shipped 16 x 32 font.
void main_window(int64_t depth)
{
    toolkit::stop_auto_update();
    toolkit::reset_video_memory();
    platform::WindowSpec layout;
    layout.kind = platform::WindowKind::Graphic;
    layout.frame = {0, 0, 1312, 860};
    platform::headless().create_window(0, layout);
    DiagCapture quiet;
    t_InitWindow(0, depth, 80, 25, 16, "MenloBold 16x32.font");
    toolkit::stop_auto_update();
}

// One full line of 80 characters, ending in a carriage return (one scroll at the bottom).
void BM_PrintLine(benchmark::State& state)
{
    main_window(state.range(0));
    const std::string line(79, 'x');
    window_table[0].TextVpos = 25;
    for (auto _ : state) {
        t_Print(0, line);
        t_Print(0, "\r");
        benchmark::DoNotOptimize(VideoMemory[static_cast<size_t>(window_table[0].MemoryStart)]);
    }
    state.SetItemsProcessed(state.iterations() * 80);
}
BENCHMARK(BM_PrintLine)->Arg(8)->Arg(24)->Arg(32);

// Full-width scroll: three block moves of the video memory.
void BM_ScrollFullWidth(benchmark::State& state)
{
    main_window(24);
    for (auto _ : state) {
        t_ScrollUp(0);
        benchmark::DoNotOptimize(VideoMemory[static_cast<size_t>(window_table[0].MemoryStart)]);
    }
}
BENCHMARK(BM_ScrollFullWidth);

// A text area one column narrower than the window is redrawn cell by cell.
void BM_ScrollNarrow(benchmark::State& state)
{
    main_window(24);
    window_table[0].TextLastColumn = 79;
    for (auto _ : state) {
        t_ScrollUp(0);
        benchmark::DoNotOptimize(VideoMemory[static_cast<size_t>(window_table[0].MemoryStart)]);
    }
}
BENCHMARK(BM_ScrollNarrow);

void BM_LoadFont(benchmark::State& state)
{
    DiagCapture quiet;
    for (auto _ : state) {
        t_Font font = t_LoadFontResource("MenloBold 16x32.font");
        benchmark::DoNotOptimize(font.Data.data());
    }
}
BENCHMARK(BM_LoadFont);

} // namespace

BENCHMARK_MAIN();
