// shell/startup.h: the launch sequence, the program thread and its end.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

// The program thread's stack: the engine recurses deeply and keeps big frames.
constexpr int64_t PROGRAM_STACK_BYTES = 0x40000000;
// Stack of a handler thread where no work queue is available.
constexpr int64_t HANDLER_STACK_BYTES = 0x80000;

// Set at the end of applicationDidFinishLaunching.
extern std::atomic<bool> LaunchFinished;
// True from step 2 of startprocess until the new thread has taken its body.
extern std::atomic<bool> ThreadStarting;
// Set when the program started at launch has ended (returned or t_QuitProgram).
extern std::atomic<bool> ProgramEnded;

// Launch sequence (event thread)
// Prints its line and names the event thread "AppDelegate".
void applicationWillFinishLaunching();
// Prints its lines, initialises mttools, measures the title bar and starts program on the
// program thread with its 1 GiB stack.
void applicationDidFinishLaunching(std::function<void()> program);

// Threads
// Runs body on a new thread with the given stack; one start at a time, never fails.
void startprocess(std::function<void()> body, int64_t stack_bytes);
// Runs body on another thread and returns at once.
void RunAsync(std::function<void()> body);
// 1 for the event thread, 0 when the platform gives the thread no number.
int64_t CurrentThreadNumber();

// Ends the calling program thread, leaving "(Programm Ende)" in red in the window's last
// line when it has a platform window. Does not return.
[[noreturn]] void t_QuitProgram(uint8_t window);
