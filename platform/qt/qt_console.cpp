// platform/qt/qt_console.cpp: the system console's feed. Standard output and standard error
// go through pipes; a reader thread passes every byte on to the real streams at once and
// hands the text to the console view on the GUI thread.
#include "platform/platform.h"
#include "platform/qt/qt_backend.h"

#include <QCoreApplication>
#include <atomic>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace platform::qt {

namespace {

constexpr size_t READ_BYTES = 64 * 1024;
constexpr int POLL_MS = 50;

struct Capture {
    int original[2] = {-1, -1}; // the real stdout and stderr
    int read_end[2] = {-1, -1};
    std::thread reader;
    std::atomic<bool> running{false};
    // Text read but not yet handed over; one hand-over is in flight at a time, so a
    // flood of output costs one queued task, not one per read.
    std::mutex pending_mutex;
    std::string pending;          // guarded by pending_mutex
    bool handover_queued = false; // guarded by pending_mutex
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

void hand_over(std::string text)
{
    std::lock_guard lock(capture.pending_mutex);
    capture.pending += text;
    if (capture.handover_queued)
        return;
    capture.handover_queued = true;
    QMetaObject::invokeMethod(
        qApp,
        [] {
            std::string text;
            {
                std::lock_guard lock(capture.pending_mutex);
                text.swap(capture.pending);
                capture.handover_queued = false;
            }
            if (QtWindowSystem* system = desktop_backend())
                system->append_console(text);
        },
        Qt::QueuedConnection);
}

// Reads both pipes until stopped and both are drained.
void read_loop()
{
    std::string buffer(READ_BYTES, '\0');
    for (;;) {
        // A closed pipe has fd -1, which poll skips.
        pollfd fds[2] = {{capture.read_end[0], POLLIN, 0}, {capture.read_end[1], POLLIN, 0}};
        if (fds[0].fd < 0 && fds[1].fd < 0)
            return;
        const int ready = ::poll(fds, 2, POLL_MS);
        if (ready <= 0) {
            if (!capture.running)
                return;
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            const ssize_t n = ::read(capture.read_end[i], buffer.data(), buffer.size());
            if (n <= 0) {
                ::close(capture.read_end[i]);
                capture.read_end[i] = -1;
                continue;
            }
            write_all(capture.original[i], buffer.data(), static_cast<size_t>(n));
            hand_over(buffer.substr(0, static_cast<size_t>(n)));
        }
    }
}

} // namespace

bool start_console_capture()
{
    if (capture.running)
        return true;
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
        const int stream = i == 0 ? STDOUT_FILENO : STDERR_FILENO;
        int ends[2];
        if (::pipe(ends) != 0)
            return false;
        capture.original[i] = ::dup(stream);
        ::dup2(ends[1], stream);
        ::close(ends[1]);
        capture.read_end[i] = ends[0];
    }
    capture.running = true;
    capture.reader = std::thread(read_loop);
    return true;
}

void stop_console_capture()
{
    if (!capture.running)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    // Putting the real streams back closes the pipes' last write ends: the reader passes
    // on what is left and finds them empty.
    for (int i = 0; i < 2; ++i)
        ::dup2(capture.original[i], i == 0 ? STDOUT_FILENO : STDERR_FILENO);
    capture.running = false;
    capture.reader.join();
}

} // namespace platform::qt
