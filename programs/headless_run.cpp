// programs/headless_run.cpp: the headless run. Keys are typed one at a time, each only when
// the program thread waits for a key with an empty queue, so a run is reproducible however
// fast or slow the programs are.
#include "programs/headless_run.h"

#include <cstdio>
#include <vector>

#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/png_writer.h"
#include "platform/window_system.h"
#include "programs/printer.h"
#include "shell/app_delegate.h"
#include "shell/events.h"
#include "shell/menus.h"
#include "shell/mttools.h"
#include "shell/startup.h"
#include "shell/views.h"
#include "toolkit/render.h"

namespace {

constexpr int64_t DRIVER_POLL_MS = 1;

bool write_text(const std::string& path, const std::string& text)
{
    return platform::write_file(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Types one key through the window system's key report, as a keyboard would.
void type_key(char32_t c)
{
    const platform::KeyReport report = KeyReportFor(c);
    platform::headless().report_key(report, true);
    platform::headless().report_key(report, false);
}

bool program_wants_key() { return ProgramEnded || (WaitingForKey() && EventQueueLength() == 0); }

} // namespace

std::optional<std::u32string> read_key_file(const std::string& path)
{
    std::optional<std::vector<uint8_t>> bytes = platform::read_file(path);
    if (!bytes)
        return std::nullopt;
    return platform::decode_utf8(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

std::string ScreenText(const platform::Frame& frame)
{
    if (!frame.text)
        return "";
    const platform::TextGrid& grid = *frame.text;
    std::vector<std::string> lines;
    for (int64_t line = 1; line <= grid.lines; ++line) {
        std::string text;
        for (int64_t column = 1; column <= grid.columns; ++column)
            platform::append_utf8(text, grid.at(column, line)->code);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        lines.push_back(std::move(text));
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out.push_back('\n');
        out += lines[i];
    }
    return out;
}

std::string PrinterFileText(const std::string& printer_text)
{
    std::string out = printer_text;
    for (char& c : out) {
        if (c == '\r')
            c = '\n';
    }
    return out;
}

void start_headless_driver(std::u32string keys, HeadlessOptions options)
{
    platform::start_named_thread("headless driver", [keys = std::move(keys),
                                                     options = std::move(options)] {
        const double deadline = platform::time_seconds() + options.timeout_seconds;
        auto finish = [&](int status) {
            // Window 0 drawn now, so the frame the backend holds is the final screen.
            t_WindowUpdate(0, false);
            const platform::Frame frame = platform::headless().window(0).last_frame;
            write_text(options.screen_path, ScreenText(frame));
            if (!options.image_path.empty()) {
                // The other windows need not be shown to have a picture.
                const uint8_t n = options.image_window;
                const auto image = n == 0 ? frame.image : toolkit::canvas_image(n);
                if (!image && n != 0) {
                    std::fprintf(stderr,
                                 "orbikon: In Fenster %d wurde nichts gezeichnet, es gibt "
                                 "kein Bild.\n",
                                 n);
                    if (status == 0)
                        status = HEADLESS_NO_IMAGE_STATUS;
                } else if (!(image && platform::write_png(options.image_path, *image))) {
                    std::fprintf(stderr,
                                 "orbikon: Das Bild %s l\xC3\xA4sst sich nicht schreiben.\n",
                                 options.image_path.c_str());
                }
            }
            if (!options.printer_path.empty())
                write_text(options.printer_path, PrinterFileText(p_GetPrinter()));
            std::fflush(stdout);
            std::fflush(stderr);
            // The program thread may sit in WaitKey for ever; end without unwinding it.
            std::_Exit(status);
        };
        auto wait_for_program = [&] {
            while (!program_wants_key()) {
                if (platform::time_seconds() > deadline)
                    finish(HEADLESS_TIMEOUT_STATUS);
                platform::sleep_ms(DRIVER_POLL_MS);
            }
        };
        for (char32_t c : keys) {
            wait_for_program();
            if (ProgramEnded)
                break;
            type_key(c);
        }
        wait_for_program();
        finish(0);
    });
}
