// programs/printer.cpp: the virtual printer, a scrolling text window that collects printed output.
#include "programs/printer.h"

#include <mutex>

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "platform/window_system.h"
#include "shell/menus.h"
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

// Prints the "nil" line of op and returns false when the printer's text view is missing.
bool printer_ready(std::string_view op)
{
    if (platform::window_system().has_text_view(PRINTER))
        return true;
    diag_line(op, "Virtual printer window is nil, resource undefined.");
    return false;
}

} // namespace

std::string printer_text_of(const std::vector<uint8_t>& bytes)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (platform::valid_utf8(text))
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
    // The menu's "clear printer" empties the buffer too; the shell cannot see it.
    menu_hooks().clear_printer_buffer = [] { printer_buffer_clear(); };
    if (!printer_ready("p_InitPrinter"))
        return;
    platform::on_event_thread([] {
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
    platform::on_event_thread([&text] {
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
    platform::on_event_thread([&text] { text = platform::window_system().text(PRINTER); });
    return text;
}

void p_SetRuler(const std::string& text)
{
    if (!printer_ready("p_SetRuler"))
        return;
    platform::on_event_thread([&text] { platform::window_system().set_ruler_text(PRINTER, text); });
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
        if (VirtualPrinterUpdatePending == 1 &&
            platform::now_ms() - VirtualPrinterLastUpdate > PUBLISH_INTERVAL_MS) {
            VirtualPrinterUpdatePending = 0;
            p_SetPrinter(printer_text_of(printer_buffer_contents()));
            VirtualPrinterLastUpdate = platform::now_ms();
        }
        platform::sleep_ms(POLL_MS);
    } while (VirtualPrinterAutoUpdateActive == 1);
    VirtualPrinterAutoUpdateActive = 0;
    diag_line("p_PrinterAutoUpdateProcess", "End.");
    update_thread_running = false;
}
