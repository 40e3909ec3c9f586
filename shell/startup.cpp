// shell/startup.cpp: launch sequence and program thread. Thread objects are made on the
// event thread only, as the window system requires of its own threads.
#include "shell/startup.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "shell/events.h"
#include "shell/mttools.h"
#include "toolkit/cursor.h"
#include "toolkit/display.h"
#include "toolkit/geometry.h"
#include "toolkit/platform_windows.h"
#include "toolkit/render.h"
#include "toolkit/text_output.h"
#include "toolkit/window.h"

#include <mutex>
#include <string>

std::atomic<bool> LaunchFinished{false};
std::atomic<bool> ThreadStarting{false};
std::atomic<bool> ProgramEnded{false};

namespace {

constexpr int64_t START_POLL_MS = 1;
// Lets the previous starter's thread get going before the next one is made.
constexpr int64_t START_SETTLE_MS = 10;
// Time for the closing message to reach the screen before the thread ends.
constexpr int64_t QUIT_SETTLE_MS = 100;

// Handed from startprocess to the new thread; written only while ThreadStarting is ours.
std::function<void()> pending_body;
int64_t pending_stack_bytes = 0;

void startprogramthread()
{
    std::function<void()> body = std::move(pending_body);
    pending_body = nullptr;
    ThreadStarting = false;
    if (body)
        body();
}

// Marks the launch program as ended however its thread finishes.
struct ProgramEndGuard {
    ~ProgramEndGuard() { ProgramEnded = true; }
};

} // namespace

void applicationWillFinishLaunching()
{
    diag_line("applicationWillFinishLaunching", "Called.");
    if (CurrentThreadNumber() == 1)
        platform::set_current_thread_name("AppDelegate");
}

void applicationDidFinishLaunching(std::function<void()> program)
{
    diag_line("applicationDidFinishLaunching", "Start.");
    initmttools();

    const toolkit::PlatformWindow pasteboard =
        toolkit::platform_window(platform::PASTEBOARD_WINDOW);
    if (pasteboard.kind == platform::WindowKind::Text) {
        const double frame = pasteboard.state.frame.height;
        const double scroll = pasteboard.scroll_view_frame.height;
        TitleBarHeight = static_cast<int64_t>(frame - scroll - 20);
    }

    diag_line("Program", "Start.");
    ProgramEnded = false;
    startprocess(
        [program = std::move(program)] {
            ProgramEndGuard guard;
            if (program)
                program();
        },
        PROGRAM_STACK_BYTES);
    diag_line("applicationDidFinishLaunching", "End.");
    LaunchFinished = true;
}

void startprocess(std::function<void()> body, int64_t stack_bytes)
{
    bool expected = false;
    while (!ThreadStarting.compare_exchange_weak(expected, true)) {
        expected = false;
        platform::sleep_ms(START_POLL_MS);
    }
    pending_stack_bytes = stack_bytes;
    pending_body = std::move(body);
    platform::sleep_ms(START_SETTLE_MS);
    platform::run_on_event_thread(
        [] { platform::start_thread(pending_stack_bytes, startprogramthread); }, true);
}

void RunAsync(std::function<void()> body) { platform::run_async(std::move(body)); }

int64_t CurrentThreadNumber() { return platform::current_thread_number(); }

void t_QuitProgram(uint8_t window)
{
    diag_write("t_QuitProgram: Quitting current thread");
    if (window < WINDOW_COUNT && MemoryReady && window_table[window].Window >= 0) {
        t_FullArea(window);
        t_CursorEnd(window);
        t_Htab(window, 1);
        t_DisplayMode(window, 0);
        t_Normal(window);
        t_Color(window, 1);
        t_Print(window, "(Programm Ende)");
        t_WindowUpdate(window, false);
        platform::sleep_ms(QUIT_SETTLE_MS);
        diag_write(" with message in window #" + std::to_string(window));
    }
    diag_write(".\n");
    ProgramEnded = true;
    platform::exit_current_thread();
}
