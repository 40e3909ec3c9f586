// programs/disasm.cpp: the D command and qucode's list: the lister on a dump file, its
// listing on the virtual printer or standard output.
#include "programs/disasm.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/objcode.h"
#include "platform/diag.h"
#include "platform/platform.h"
#include "programs/mainloop.h"
#include "programs/printer.h"
#include "shell/mttools.h"
#include "toolkit/cursor.h"
#include "toolkit/window.h"
#include "toolkit/text_output.h"

namespace {

// The D command's progress line, in the current text window.
void main_window_progress(std::string_view text, bool done)
{
    uint8_t win = CurrentTextWindow;
    t_Print(win, std::string(text));
    if (done) {
        t_ClearEndOfLine(win);
        t_Cr(win);
    } else {
        t_Htab(win, 1);
    }
}

std::string decimal(size_t value)
{
    return std::to_string(value);
}

} // namespace

std::vector<uint8_t> quantum_print(const std::string& path)
{
    std::vector<uint8_t> data = gettextfromfile(path);
    diag_line("quantum_print", "File size = " + decimal(data.size()) + " Bytes");
    return disassemble(data);
}

void disasm_command(const std::string& path)
{
    // The progress shows in the main window unless someone else listens.
    DisasmProgress listener = disasm_set_progress({});
    disasm_set_progress(listener ? listener : DisasmProgress(main_window_progress));
    std::vector<uint8_t> listing = quantum_print(path);
    disasm_set_progress(std::move(listener));
    uint8_t win = CurrentTextWindow;
    t_Cr(win);
    t_Print(win, "Größe der Ausgabe = " +
                     NumberText(static_cast<int64_t>(listing.size()), ' ', 1, true) + " Bytes.");
    t_Cr(win);
    p_SetPrinter(p_GetPrinter() + printer_text_of(listing));
}

void command_disasm()
{
    command_heading("Quanten-Disassembling auf dem virtuellen Drucker ausgeben:");
    disasm_command(platform::dump_file_path());
}

bool qucode_can_read(const std::string& path)
{
    // A folder opens like a file; only reading shows it is none.
    FILE* probe = std::fopen(path.c_str(), "rb");
    const bool readable = probe && (std::fgetc(probe) != EOF || !std::ferror(probe));
    const int reason = errno;
    if (probe)
        std::fclose(probe);
    if (!readable)
        std::fprintf(stderr, "qucode: cannot read %s: %s\n", path.c_str(), std::strerror(reason));
    return readable;
}

int disasm_list_to_stdout(const std::string& path)
{
    if (!qucode_can_read(path))
        return 1;

    // Standard output carries the listing alone; every other line goes to standard error.
    DiagSink previous_diag = diag_set_sink([](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), stderr);
    });
    DisasmProgress previous_progress = disasm_set_progress([](std::string_view text, bool done) {
        std::fprintf(stderr, "%.*s%s", static_cast<int>(text.size()), text.data(), done ? "\n" : "\r");
    });
    if (opcode_name(OBJCODE_INIT).empty())
        initopcodenames();
    std::vector<uint8_t> listing = quantum_print(path);
    for (uint8_t& b : listing)
        if (b == LISTING_LINE_END)
            b = '\n';
    // An empty listing has no data pointer, which fwrite must not be given.
    const bool written = (listing.empty() || std::fwrite(listing.data(), 1, listing.size(),
                                                         stdout) == listing.size()) &&
                         std::fflush(stdout) == 0;
    disasm_set_progress(std::move(previous_progress));
    diag_set_sink(std::move(previous_diag));
    if (!written) {
        std::fprintf(stderr, "qucode: cannot write the listing: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
