// platform/diag.cpp: diagnostic sink; any thread may write, so pieces are serialised.
#include "platform/diag.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex sink_mutex;
DiagSink current_sink; // guarded by sink_mutex; empty means standard output

std::mutex capture_mutex;
std::string captured; // guarded by capture_mutex

void emit(std::string_view text)
{
    std::lock_guard lock(sink_mutex);
    if (current_sink) {
        current_sink(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace

void diag_line(std::string_view op, std::string_view message)
{
    std::string line;
    line.reserve(op.size() + message.size() + 3);
    line.append(op).append(": ").append(message).append("\n");
    emit(line);
}

void diag_write(std::string_view text) { emit(text); }

DiagSink diag_set_sink(DiagSink sink)
{
    std::lock_guard lock(sink_mutex);
    DiagSink previous = std::move(current_sink);
    current_sink = std::move(sink);
    return previous;
}

DiagCapture::DiagCapture()
{
    clear();
    previous_ = diag_set_sink([](std::string_view text) {
        std::lock_guard lock(capture_mutex);
        captured.append(text);
    });
}

DiagCapture::~DiagCapture() { diag_set_sink(std::move(previous_)); }

std::string DiagCapture::text() const
{
    std::lock_guard lock(capture_mutex);
    return captured;
}

void DiagCapture::clear()
{
    std::lock_guard lock(capture_mutex);
    captured.clear();
}
