// programs/program_rows.cpp: the command rows of the algorithm programs.
#include "programs/program_rows.h"

#include <cstdint>
#include <string>

#include "programs/grover.h"
#include "programs/input_limits.h"
#include "programs/mainloop.h"
#include "programs/random.h"
#include "programs/shor.h"
#include "toolkit/cursor.h"
#include "toolkit/window.h"

namespace {

// A refused input prints its line and nothing else: the previous program's dump stays.
bool refused(const std::string& refusal)
{
    if (refusal.empty())
        return false;
    programs::print_refusal(refusal);
    return true;
}

} // namespace

void command_grover()
{
    command_heading("Grover Such-Algorithmus für unsortierte Daten:");
    const int64_t searched = command_number("Zahl (0-8000) eingeben, die gesucht wird : ");
    const int64_t width = command_number("Anzahl der Qubits (0 = benötigte Anzahl): ");
    t_Cr(command_window());
    if (refused(programs::grover_refusal(searched, width)))
        return;
    groverprogram(searched, width);
    write_dump_tail();
}

void command_oracle()
{
    command_heading("Oracle-Algorithmus zur Generierung von unsortierten Daten:");
    const int64_t width = command_number("Anzahl der Qubits (>=3): ");
    t_Cr(command_window());
    if (refused(programs::oracle_refusal(width)))
        return;
    oracleprogram(width);
    write_dump_tail();
}

void command_random()
{
    command_heading("Quanten-Zufallsgenerator:");
    randomprogram();
    write_dump_tail();
}

void command_shor()
{
    command_heading("Shor Faktorzerlegungs-Algorithmus für Zahlen:");
    const int64_t number = command_number("Zahl eingeben (15-1000): ");
    t_Cr(command_window());
    if (refused(programs::shor_refusal(number)))
        return;
    shorprogram(number);
    write_dump_tail();
}

void command_codetest()
{
    command_heading("Quanten-Code Test:");
    codetestprogram();
    write_dump_tail();
}
