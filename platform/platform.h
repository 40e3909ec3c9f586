// platform/platform.h: the one interface through which the layers above reach the
// operating system (threads, time, files, randomness, folders) and the window system.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Threads
// Starts a detached thread running body with the given stack size in bytes; it takes the next
// thread number as it starts.
void start_thread(int64_t stack_bytes, std::function<void()> body);
// Starts a detached thread for the platform's or a backend's own work (reading keys, the
// console's pipes, playing a sound) under `name`. It takes a thread number only if it asks,
// so the program's threads keep the numbers they print.
void start_named_thread(std::string name, std::function<void()> body);
// Runs `beside` on a thread of its own named `name` while the caller runs `here`; returns
// when both are done. For work split over two cores.
void run_beside(std::string name, const std::function<void()>& beside,
                const std::function<void()>& here);
// Ends the calling thread at once (its stack is unwound); never returns.
[[noreturn]] void exit_current_thread();
// Names the calling thread; the full name is kept even where the OS truncates it.
void set_current_thread_name(std::string_view name);
std::string current_thread_name();
// 1 for the event thread; the others numbered from 2 in the order they first run or ask.
int64_t current_thread_number();
bool is_event_thread();
// Runs work on the event thread; with wait, returns only after it has run.
// Called on the event thread itself, it runs the work at once.
void run_on_event_thread(std::function<void()> work, bool wait);
// Runs work on some other thread and returns at once, never blocking the caller.
void run_async(std::function<void()> work);
// Names a helper thread; the event thread (1) and the program thread (2) keep their names
// when a helper body happens to run on them.
void name_helper_thread(std::string_view name);

// Time and randomness
void sleep_ms(int64_t ms);
// Absolute time in seconds, with sub-second resolution.
double time_seconds();
// The same time in whole milliseconds.
int64_t now_ms();
// 32 random bits from the operating system.
uint32_t random32();

// Memory
// Keeps freed memory of up to some hundred megabytes in the process rather than handing it
// back to the system at once: the simulator shrinks and regrows registers of megabytes in
// every gate, and each round trip through the system faults all their pages in again.
void keep_freed_memory();
// Hands the freed memory kept so far back to the system, for the end of a command: what a
// command kept for its own gates must not pile up command after command.
void hand_back_freed_memory();

// Files
enum class FileKind { Missing, File, Directory, Other };
FileKind file_kind(const std::string& path);
// Whole-file read; nullopt when the file cannot be opened or read.
std::optional<std::vector<uint8_t>> read_file(const std::string& path);
// Writes all bytes, replacing the file; false when anything could not be written.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
// false when the file did not exist or could not be removed.
bool remove_file(const std::string& path);
// The operating system's number and text for the calling thread's last failed file
// operation, as "2: No such file or directory".
std::string last_error_text();
// The same wording for an error number the caller kept.
std::string error_text(int error);

// Folders
// The folder with the fonts and sounds, ending in '/'.
std::string resource_folder();
// $XDG_CACHE_HOME/orbikon/ (default ~/.cache/orbikon/), created on demand, ending in '/'.
std::string cache_folder();
// The one place that names the dump file: cache_folder() + "dump.qucode".
std::string dump_file_path();

} // namespace platform
