// programs/printer.cpp: the virtual printer, a scrolling text window that collects printed output.
#include "programs/printer.h"

#include <mutex>

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "shell/mttools.h"

std::atomic<uint8_t> VirtualPrinterUpdatePending{0};
std::atomic<uint8_t> VirtualPrinterAutoUpdateActive{0};
std::atomic<int64_t> VirtualPrinterLastUpdate{0};

namespace {

constexpr uint8_t PRINTER = platform::PRINTER_WINDOW;
constexpr int64_t RULER_COLUMNS = 160;
constexpr int64_t PUBLISH_INTERVAL_MS = 100; // publications are more than this apart
constexpr int64_t POLL_MS = 10;
constexpr int64_t UPDATE_THREAD_STACK_BYTES = 8 << 20;

std::mutex buffer_mutex;
std::vector<uint8_t> VirtualPrinterBuffer; // guarded by buffer_mutex

// Set by p_InitPrinter before it starts the update thread, cleared as the thread ends, so
// that two quick calls cannot start two threads before the first has raised the active flag.
std::atomic<bool> update_thread_running{false};

int64_t now_ms()
{
    return static_cast<int64_t>(platform::time_seconds() * 1000);
}

// Prints the "nil" line of op and returns false when the printer's text view is missing.
bool printer_ready(std::string_view op)
{
    if (platform::window_system().has_text_view(PRINTER))
        return true;
    diag_line(op, "Virtual printer window is nil, resource undefined.");
    return false;
}

// The view is touched on the event thread only; other callers wait until the work is done.
void on_event_thread(std::function<void()> work)
{
    platform::run_on_event_thread(std::move(work), true);
}

bool valid_utf8(const std::vector<uint8_t>& bytes)
{
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const uint8_t b = bytes[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t follow;
        uint32_t scalar;
        if (b >= 0xC2 && b <= 0xDF) {
            follow = 1;
            scalar = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            follow = 2;
            scalar = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            follow = 3;
            scalar = b & 0x07;
        } else {
            return false;
        }
        if (n - i <= follow)
            return false;
        for (size_t k = 1; k <= follow; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return false;
            scalar = scalar << 6 | (bytes[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr uint32_t MINIMUM[] = {0, 0x80, 0x800, 0x10000};
        if (scalar < MINIMUM[follow] || (scalar >= 0xD800 && scalar <= 0xDFFF) ||
            scalar > 0x10FFFF)
            return false;
        i += follow + 1;
    }
    return true;
}

} // namespace

std::string printer_text_of(const std::vector<uint8_t>& bytes)
{
    if (valid_utf8(bytes))
        return std::string(bytes.begin(), bytes.end());
    return BytesToText(bytes);
}

void printer_buffer_append(std::string_view bytes)
{
    {
        std::lock_guard lock(buffer_mutex);
        VirtualPrinterBuffer.insert(VirtualPrinterBuffer.end(), bytes.begin(), bytes.end());
    }
    VirtualPrinterUpdatePending = 1;
}

void printer_buffer_clear()
{
    std::lock_guard lock(buffer_mutex);
    VirtualPrinterBuffer.clear();
}

std::vector<uint8_t> printer_buffer_contents()
{
    std::lock_guard lock(buffer_mutex);
    return VirtualPrinterBuffer;
}

void p_InitPrinter()
{
    if (!printer_ready("p_InitPrinter"))
        return;
    on_event_thread([] {
        auto& ws = platform::window_system();
        p_SetRuler(RulerText(RULER_COLUMNS, false, true));
        ws.set_plain_text_editing(PRINTER);
        ws.set_text_font(PRINTER, "Menlo", 12);
        ws.set_text(PRINTER, "");
        ws.mark_text_for_redraw(PRINTER);
        printer_buffer_clear();
    });
    if (VirtualPrinterAutoUpdateActive == 0 && !update_thread_running.exchange(true))
        platform::start_thread(UPDATE_THREAD_STACK_BYTES, [] { p_PrinterAutoUpdateProcess(); });
}

void p_SetPrinter(const std::string& text)
{
    if (!printer_ready("p_SetPrinter"))
        return;
    on_event_thread([&text] {
        auto& ws = platform::window_system();
        ws.set_text(PRINTER, text);
        ws.mark_text_for_redraw(PRINTER);
    });
}

std::string p_GetPrinter()
{
    if (!printer_ready("p_GetPrinter"))
        return "";
    std::string text;
    on_event_thread([&text] { text = platform::window_system().text(PRINTER); });
    return text;
}

void p_SetRuler(const std::string& text)
{
    if (!printer_ready("p_SetRuler"))
        return;
    on_event_thread([&text] { platform::window_system().set_ruler_text(PRINTER, text); });
}

void p_PrinterAutoUpdateProcess()
{
    const int64_t number = platform::current_thread_number();
    diag_line("p_PrinterAutoUpdateProcess", "Start as thread #" + std::to_string(number));
    if (number > 2)
        platform::set_current_thread_name("p_PrinterAutoUpdate");
    update_thread_running = true;
    VirtualPrinterAutoUpdateActive = 1;
    do {
        if (VirtualPrinterUpdatePending == 1 && now_ms() - VirtualPrinterLastUpdate > PUBLISH_INTERVAL_MS) {
            VirtualPrinterUpdatePending = 0;
            p_SetPrinter(printer_text_of(printer_buffer_contents()));
            VirtualPrinterLastUpdate = now_ms();
        }
        platform::sleep_ms(POLL_MS);
    } while (VirtualPrinterAutoUpdateActive == 1);
    VirtualPrinterAutoUpdateActive = 0;
    diag_line("p_PrinterAutoUpdateProcess", "End.");
    update_thread_running = false;
}
