// platform/console_capture.cpp: the console's feed. A reader thread passes every byte of the
// two pipes on at once and collects the text for the consumer, to whom one hand-over at a
// time travels to the event thread, so a flood of output costs one queued task, not one per
// read.
#include "platform/console_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr size_t READ_BYTES = 64 * 1024;
constexpr int POLL_MS = 50;
constexpr int64_t STOP_WAIT_MS = 3000;

struct Capture {
    int destination[2] = {-1, -1}; // where stdout's and stderr's bytes go on to
    int read_end[2] = {-1, -1};
    std::atomic<bool> running{false};
    std::mutex mutex;
    std::condition_variable reader_done_cv;
    bool reader_done = true;                       // guarded by mutex
    std::string pending;                           // guarded by mutex
    bool handover_queued = false;                  // guarded by mutex
    std::function<void(std::string)> consumer;     // guarded by mutex
};

Capture capture;

void write_all(int fd, const char* data, size_t bytes)
{
    while (bytes > 0) {
        const ssize_t n = ::write(fd, data, bytes);
        if (n <= 0)
            return;
        data += n;
        bytes -= static_cast<size_t>(n);
    }
}

// On the event thread: everything collected so far goes to the consumer.
void hand_over()
{
    std::string text;
    std::function<void(std::string)> consumer;
    {
        std::lock_guard lock(capture.mutex);
        capture.handover_queued = false;
        if (!capture.consumer)
            return; // kept for the consumer to come
        text.swap(capture.pending);
        consumer = capture.consumer;
    }
    if (!text.empty())
        consumer(std::move(text));
}

// Queues a hand-over unless one is on its way. Expects capture.mutex held.
void queue_hand_over()
{
    if (capture.handover_queued || !capture.consumer || capture.pending.empty())
        return;
    capture.handover_queued = true;
    run_on_event_thread(hand_over, false);
}

void collect(const char* data, size_t bytes)
{
    std::lock_guard lock(capture.mutex);
    capture.pending.append(data, bytes);
    queue_hand_over();
}

// Reads both pipes until both are closed, which stop_console_capture brings about.
void read_loop()
{
    std::string buffer(READ_BYTES, '\0');
    for (;;) {
        // A closed pipe has fd -1, which poll skips.
        pollfd fds[2] = {{capture.read_end[0], POLLIN, 0}, {capture.read_end[1], POLLIN, 0}};
        if (fds[0].fd < 0 && fds[1].fd < 0)
            break;
        if (::poll(fds, 2, POLL_MS) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            const ssize_t n = ::read(capture.read_end[i], buffer.data(), buffer.size());
            if (n <= 0) {
                ::close(capture.read_end[i]);
                capture.read_end[i] = -1;
                continue;
            }
            write_all(capture.destination[i], buffer.data(), static_cast<size_t>(n));
            collect(buffer.data(), static_cast<size_t>(n));
        }
    }
    std::lock_guard lock(capture.mutex);
    capture.reader_done = true;
    capture.reader_done_cv.notify_all();
}

} // namespace

bool start_console_capture(int destination_fd)
{
    if (capture.running)
        return true;
    std::fflush(stdout);
    std::fflush(stderr);
    const int streams[2] = {STDOUT_FILENO, STDERR_FILENO};
    int ends[2][2] = {{-1, -1}, {-1, -1}};
    for (int i = 0; i < 2; ++i) {
        if (::pipe2(ends[i], O_CLOEXEC) != 0) {
            for (int j = 0; j < i; ++j) {
                ::close(ends[j][0]);
                ::close(ends[j][1]);
            }
            return false;
        }
    }
    for (int i = 0; i < 2; ++i) {
        capture.destination[i] = ::fcntl(destination_fd >= 0 ? destination_fd : streams[i],
                                         F_DUPFD_CLOEXEC, 3);
        ::dup2(ends[i][1], streams[i]);
        ::close(ends[i][1]);
        capture.read_end[i] = ends[i][0];
    }
    {
        std::lock_guard lock(capture.mutex);
        capture.reader_done = false;
    }
    capture.running = true;
    start_named_thread("console capture", read_loop);
    return true;
}

void set_console_consumer(std::function<void(std::string)> consumer)
{
    std::lock_guard lock(capture.mutex);
    capture.consumer = std::move(consumer);
    queue_hand_over();
}

void discard_console_pending()
{
    std::lock_guard lock(capture.mutex);
    capture.pending.clear();
}

void stop_console_capture()
{
    if (!capture.running.exchange(false))
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    // Putting the destinations back closes the pipes' last write ends: the reader passes
    // on what is left and finds them closed.
    ::dup2(capture.destination[0], STDOUT_FILENO);
    ::dup2(capture.destination[1], STDERR_FILENO);
    std::unique_lock lock(capture.mutex);
    capture.reader_done_cv.wait_for(lock, std::chrono::milliseconds(STOP_WAIT_MS),
                                    [] { return capture.reader_done; });
}

} // namespace platform
