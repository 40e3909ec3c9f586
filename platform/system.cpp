// platform/system.cpp: time, randomness, whole files and the application's folders.
#include <fcntl.h>
#include <malloc.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/platform.h"

namespace platform {

namespace {

thread_local int last_error = 0;

bool fail()
{
    last_error = errno;
    return false;
}

bool is_directory(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string with_slash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

// The folder of the running executable, ending in '/'; empty when it cannot be told.
std::string executable_folder()
{
    std::string buffer(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return {};
    buffer.resize(static_cast<size_t>(n));
    size_t slash = buffer.rfind('/');
    return slash == std::string::npos ? std::string() : buffer.substr(0, slash + 1);
}

std::string home_folder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
        return pw->pw_dir;
    return "/tmp";
}

// mkdir -p; an existing folder is success.
bool make_folders(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        std::string prefix = path.substr(0, i);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
            return fail();
    }
    return is_directory(path);
}

} // namespace

void sleep_ms(int64_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t now_ms()
{
    return static_cast<int64_t>(time_seconds() * 1000.0);
}

double time_seconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void keep_freed_memory()
{
    // Blocks up to the largest threshold the allocator takes come from its heap, and the
    // heap's free top goes back to the system only beyond the trim threshold.
    constexpr int LARGEST_HEAP_BLOCK = 32 * 1024 * 1024;
    constexpr int KEPT_FREE = 512 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, LARGEST_HEAP_BLOCK);
    mallopt(M_TRIM_THRESHOLD, KEPT_FREE);
}

void hand_back_freed_memory()
{
    malloc_trim(0);
}

// The kernel is asked for a block of numbers at a time: one call per number made a start
// vector of a quarter million amplitudes spend seconds in system calls.
uint32_t random32()
{
    constexpr size_t BLOCK = 64;
    thread_local uint32_t block[BLOCK];
    thread_local size_t next = BLOCK;
    if (next == BLOCK) {
        auto* bytes = reinterpret_cast<unsigned char*>(block);
        size_t have = 0;
        while (have < sizeof block) {
            ssize_t n = ::getrandom(bytes + have, sizeof block - have, 0);
            if (n > 0) {
                have += static_cast<size_t>(n);
            } else if (n < 0 && errno != EINTR) {
                // Without the kernel source, fall back to the clock rather than return a constant.
                timespec ts{};
                ::clock_gettime(CLOCK_MONOTONIC, &ts);
                return static_cast<uint32_t>(ts.tv_nsec) ^ static_cast<uint32_t>(ts.tv_sec * 2654435761u);
            }
        }
        next = 0;
    }
    return block[next++];
}

FileKind file_kind(const std::string& path)
{
    struct stat st{};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return FileKind::Missing;
    if (S_ISREG(st.st_mode))
        return FileKind::File;
    if (S_ISDIR(st.st_mode))
        return FileKind::Directory;
    return FileKind::Other;
}

std::optional<std::vector<uint8_t>> read_file(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail();
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<size_t>(st.st_size));
    uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            fail();
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return bytes;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail();
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            fail();
            ::close(fd);
            return false;
        }
    }
    if (::close(fd) != 0)
        return fail();
    return true;
}

bool remove_file(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        return fail();
    return true;
}

std::string last_error_text()
{
    return error_text(last_error);
}

std::string error_text(int error)
{
    return std::to_string(error) + ": " + std::strerror(error);
}

std::string resource_folder()
{
    if (const char* forced = std::getenv("ORBIKON_RESOURCES"); forced != nullptr && forced[0] != '\0')
        return with_slash(forced);
    std::string exe = executable_folder();
    if (exe.empty())
        return "resources/";
    // The build tree keeps resources/ beside the executable; an installed tree keeps them in
    // <prefix>/share/orbikon/ next to <prefix>/bin/.
    if (is_directory(exe + "resources"))
        return exe + "resources/";
    if (is_directory(exe + "../share/orbikon"))
        return exe + "../share/orbikon/";
    return exe + "resources/";
}

std::string cache_folder()
{
    std::string base;
    // Relative values are to be ignored, so a stray setting cannot scatter caches.
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/')
        base = xdg;
    else
        base = home_folder() + "/.cache";
    std::string folder = with_slash(base) + "orbikon/";
    make_folders(folder);
    return folder;
}

std::string dump_file_path() { return cache_folder() + "dump.qucode"; }

} // namespace platform
