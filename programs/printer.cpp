// programs/printer.cpp: the virtual printer, a scrolling text window that collects printed output.
#include "programs/printer.h"

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "platform/window_system.h"
#include "shell/menus.h"
#include "shell/mttools.h"
#include "toolkit/platform_windows.h"

#include <mutex>

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
    if (toolkit::platform_window(PRINTER).kind == platform::WindowKind::Text)
        return true;
    diag_line(op, "Virtual printer window is nil, resource undefined.");
    return false;
}

} // namespace

std::string printer_text_of(std::string_view bytes)
{
    if (platform::valid_utf8(bytes))
        return std::string(bytes);
    return BytesToText(Bytes(bytes.begin(), bytes.end()));
}

std::string printer_text_of(const std::vector<uint8_t>& bytes)
{
    return printer_text_of(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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
    // Our text views substitute nothing, so plain editing needs no step of its own.
    const std::string ruler = RulerText(RULER_COLUMNS, false, true);
    toolkit::change_platform_window(PRINTER, [&](toolkit::PlatformWindow& w) {
        w.state.ruler = ruler;
        w.state.font_family = "Menlo";
        w.state.font_points = 12;
    });
    toolkit::clear_window_text(PRINTER);
    printer_buffer_clear();
    if (VirtualPrinterAutoUpdateActive == 0 && !update_thread_running.exchange(true))
        platform::start_thread(UPDATE_THREAD_STACK_BYTES, [] { p_PrinterAutoUpdateProcess(); });
}

void p_SetPrinter(const std::string& text)
{
    if (!printer_ready("p_SetPrinter"))
        return;
    toolkit::set_window_text(PRINTER, text);
}

bool printer_append(std::string_view text)
{
    if (!printer_ready("p_SetPrinter"))
        return false;
    toolkit::append_window_text(PRINTER, text);
    return true;
}

std::string p_GetPrinter()
{
    if (!printer_ready("p_GetPrinter"))
        return "";
    return toolkit::window_text(PRINTER);
}

void p_SetRuler(const std::string& text)
{
    if (!printer_ready("p_SetRuler"))
        return;
    toolkit::change_platform_window(PRINTER,
                                    [&](toolkit::PlatformWindow& w) { w.state.ruler = text; });
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
