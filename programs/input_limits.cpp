// programs/input_limits.cpp: the refusal checks of the S, G and O commands.
#include "programs/input_limits.h"

#include "shell/mttools.h"
#include "toolkit/cursor.h"
#include "toolkit/text_output.h"
#include "toolkit/window.h"

namespace programs {

namespace {

std::string width_refusal(int64_t widest)
{
    return "Bitte geben Sie eine Registerzahl von höchstens " + std::to_string(widest) + " ein.";
}

} // namespace

std::string shor_refusal(int64_t number)
{
    if (number < SHOR_SMALLEST || number > SHOR_LARGEST)
        return "Bitte geben Sie eine Zahl von " + std::to_string(SHOR_SMALLEST) + " bis " +
               NumberText(SHOR_LARGEST, ' ', 1, true) + " ein.";
    return "";
}

std::string grover_refusal(int64_t searched, int64_t width)
{
    // Checked before the width of searched + 1 is ever taken: that would not end.
    if (searched > GROVER_LARGEST_SEARCHED)
        return "Bitte geben Sie eine gesuchte Zahl von höchstens " +
               NumberText(GROVER_LARGEST_SEARCHED, ' ', 1, true) + " ein.";
    if (width > GROVER_WIDEST)
        return width_refusal(GROVER_WIDEST);
    return "";
}

std::string oracle_refusal(int64_t width)
{
    if (width < ORACLE_NARROWEST)
        return "Bitte geben Sie eine Registerzahl von mindestens 3 ein.";
    if (width > REGISTER_WIDEST)
        return width_refusal(REGISTER_WIDEST);
    return "";
}

void print_refusal(const std::string& line)
{
    t_Print(0, line);
    t_Cr(0);
}

} // namespace programs
