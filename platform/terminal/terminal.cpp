// platform/terminal/terminal.cpp: termios raw mode and unbuffered terminal I/O.
#include "platform/terminal/terminal.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform::terminal {

namespace {

termios saved_settings{};
std::atomic<bool> raw_active{false};
std::atomic<int> terminal_fd{STDOUT_FILENO}; // stays on the terminal when stdout is redirected

constexpr std::string_view ENTER_SCREEN = "\x1b[?1049h\x1b[?25l\x1b[2J";
constexpr std::string_view LEAVE_SCREEN = "\x1b[0m\x1b[?25h\x1b[?1049l";

void restore()
{
    if (!raw_active.exchange(false))
        return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_settings);
    write_output(LEAVE_SCREEN);
}

void restore_and_reraise(int sig)
{
    restore();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

winsize window_size()
{
    winsize ws{};
    if (ioctl(terminal_fd, TIOCGWINSZ, &ws) != 0)
        ws = winsize{};
    return ws;
}

} // namespace

bool is_interactive() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

bool enter_raw_mode()
{
    if (raw_active || !is_interactive() || tcgetattr(STDIN_FILENO, &saved_settings) != 0)
        return false;
    termios raw = saved_settings;
    raw.c_iflag &= ~(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_oflag &= ~OPOST;
    raw.c_cflag |= CS8;
    raw.c_lflag &= ~(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0)
        return false;
    raw_active = true;
    static bool hooks_installed = false;
    if (!hooks_installed) {
        hooks_installed = true;
        std::atexit(restore);
        for (int sig : {SIGTERM, SIGHUP, SIGSEGV, SIGABRT, SIGBUS, SIGFPE})
            std::signal(sig, restore_and_reraise);
    }
    write_output(ENTER_SCREEN);
    return true;
}

void leave_raw_mode() { restore(); }

std::string read_input(int timeout_ms)
{
    std::string bytes;
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0)
        return bytes;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
        if (static_cast<size_t>(n) < sizeof buffer)
            break;
    }
    return bytes;
}

void write_output(std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = write(terminal_fd, text.data(), text.size());
        if (n <= 0)
            return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}

bool redirect_standard_streams(const std::string& path)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (file < 0)
        return false;
    if (terminal_fd == STDOUT_FILENO) {
        const int copy = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        if (copy < 0) {
            close(file);
            return false;
        }
        terminal_fd = copy;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(file, STDOUT_FILENO);
    dup2(file, STDERR_FILENO);
    close(file);
    return true;
}

int columns()
{
    const winsize ws = window_size();
    return ws.ws_col > 0 ? ws.ws_col : 80;
}

int lines()
{
    const winsize ws = window_size();
    return ws.ws_row > 0 ? ws.ws_row : 25;
}

} // namespace platform::terminal
