// The desktop's response: from a key press in view 0 to the first changed frame the view
// was given. Runs the real application on Qt's offscreen platform.
#include "platform/platform.h"
#include "platform/qt/desktop.h"
#include "platform/qt/qt_backend.h"
#include "programs/headless_run.h"
#include "programs/mainloop.h"
#include "shell/app_delegate.h"
#include "shell/events.h"

#include <QApplication>
#include <QKeyEvent>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>

namespace {

constexpr int WAIT_LIMIT_MS = 20000;
constexpr int SETTLE_MS = 200;

int app_argc = 1;
char app_name[] = "bench_desktop";
char* app_argv[] = {app_name, nullptr};

template <typename Pred> bool pump_until(Pred pred)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_LIMIT_MS);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void pump_for(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

bool at_prompt()
{
    return WaitingForKey() && EventQueueLength() == 0;
}

platform::qt::QtWindowSystem* launch()
{
    static platform::qt::QtWindowSystem* backend = [] {
        auto* ws = static_cast<platform::qt::QtWindowSystem*>(
            platform::qt::start_desktop(app_argc, app_argv));
        platform::set_window_system(ws);
        connect_shell(mainloop);
        const platform::WindowEvents e = ws->events();
        e.display_changed(ws->current_display());
        e.will_finish_launching();
        e.did_finish_launching();
        return ws;
    }();
    return backend;
}

// H reprints the help screen: the program clears the window and writes it anew.
void BM_KeyToFrame(benchmark::State& state)
{
    platform::qt::QtWindowSystem* ws = launch();
    for (auto _ : state) {
        if (!pump_until(at_prompt)) {
            state.SkipWithError("the program never waited for a key");
            return;
        }
        // Let the frames of the previous key settle, so the next one counts from zero.
        pump_for(SETTLE_MS);
        const int64_t shown = ws->state(0)->images_presented;
        const auto start = std::chrono::steady_clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_H, Qt::NoModifier, QStringLiteral("h"));
        QApplication::sendEvent(ws->state(0)->canvas, &press);
        if (!pump_until([&] { return ws->state(0)->images_presented > shown; })) {
            state.SkipWithError("no new frame");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_KeyToFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char** argv)
{
    // Without a display of its own the benchmark draws offscreen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    platform::qt::finish_desktop();
    std::_Exit(0);
}
