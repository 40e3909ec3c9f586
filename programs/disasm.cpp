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

} // namespace

void disasm_command(const std::string& path)
{
    // The progress shows in the main window unless someone else listens.
    DisasmProgress listener = disasm_set_progress({});
    disasm_set_progress(listener ? listener : DisasmProgress(main_window_progress));
    // The listing goes to the printer piece by piece as it is made, so that neither it nor
    // the printer's text is ever copied whole. Without a printer it goes nowhere, reported once.
    bool printer = true;
    const int64_t size = quantum_print_to(path, [&](std::string_view piece) {
        if (printer)
            printer = printer_append(printer_text_of(piece));
    });
    disasm_set_progress(std::move(listener));
    uint8_t win = CurrentTextWindow;
    t_Cr(win);
    t_Print(win, "Größe der Ausgabe = " + NumberText(size, ' ', 1, true) + " Bytes.");
    t_Cr(win);
}

void command_disasm()
{
    command_heading("Quanten-Disassembling auf dem virtuellen Drucker ausgeben:");
    disasm_command(platform::dump_file_path());
}
