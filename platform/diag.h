// platform/diag.h: the one sink for the system's diagnostic lines ("name: message.").
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Writes "<op>: <message>\n" through the sink and flushes.
void diag_line(std::string_view op, std::string_view message);

// Writes text as it stands (no line end added), for lines printed in pieces.
void diag_write(std::string_view text);

// Receives every piece of diagnostic text; the default writes standard output.
using DiagSink = std::function<void(std::string_view)>;

// Replaces the sink (an empty function restores standard output); returns the previous one.
DiagSink diag_set_sink(DiagSink sink);

// For tests: collects everything written while it lives, and restores the old sink after.
class DiagCapture {
public:
    DiagCapture();
    ~DiagCapture();
    DiagCapture(const DiagCapture&) = delete;
    DiagCapture& operator=(const DiagCapture&) = delete;
    std::string text() const;
    void clear();

private:
    DiagSink previous_;
};
