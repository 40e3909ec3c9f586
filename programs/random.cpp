// programs/random.cpp: the random bit, oracle data and code test programs.
#include "programs/random.h"

#include <string>

#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/register.h"
#include "programs/grover.h"
#include "programs/input_limits.h"
#include "programs/pictures.h"
#include "shell/mttools.h"
#include "toolkit/cursor.h"
#include "toolkit/text_output.h"
#include "toolkit/window.h"

namespace {

using programs::MAIN_WINDOW;

constexpr int64_t CODE_TEST_WIDTH = 8;

std::string entry_count_line(const char* lead, const quantum_reg_struct& reg)
{
    return std::string(lead) + NumberText(reg.size, ' ', 1, true) + " Elementen:";
}

} // namespace

void randomprogram()
{
    quantum_reg_struct reg = register_new(0, 1);
    apply_hadamard(0, reg);
    const programs::RegisterBars bars = programs::register_bars(reg);
    const int64_t bit = measure_qubit(0, reg);
    register_delete(reg);
    programs::draw_register_picture(bars, bit, "gemessen");
    t_Print(MAIN_WINDOW, "Der Quanten-Zufallsgenerator hat eine " + std::to_string(bit) +
                             " ergeben.");
    t_Cr(MAIN_WINDOW);
}

void oracleprogram(int64_t width)
{
    // The main loop refuses these first; the circuits need three qubits, and more than 24
    // would not fit in memory.
    if (!programs::oracle_refusal(width).empty()) {
        programs::print_refusal(programs::oracle_refusal(width));
        return;
    }
    quantum_reg_struct reg = register_new(0, width);
    // The marked pattern is the width itself; the point is only the order of the entries.
    oraclecircuit(static_cast<uint64_t>(width), reg);
    apply_walsh(width, reg);
    t_Print(MAIN_WINDOW, entry_count_line("Sortierte Datenmenge mit ", reg));
    t_Cr(MAIN_WINDOW);
    programs::print_value_listing(reg);

    inversioncircuit(reg);
    apply_walsh(width, reg);
    t_Print(MAIN_WINDOW, entry_count_line("Unsortierte Datenmenge mit ", reg));
    t_Cr(MAIN_WINDOW);
    programs::print_value_fields(reg);

    programs::draw_register_picture(programs::register_bars(reg), -1, "");
    register_delete(reg);
}

void codetestprogram()
{
    quantum_reg_struct reg = register_new(0, CODE_TEST_WIDTH);
    inversioncircuit(reg);
    programs::draw_register_picture(programs::register_bars(reg), -1, "");
    register_delete(reg);
}
