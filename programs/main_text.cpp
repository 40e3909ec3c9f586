// programs/main_text.cpp: the programs' text helpers on the main window.
#include "programs/main_text.h"

#include "programs/grover.h"
#include "shell/mttools.h"
#include "toolkit/cursor.h"
#include "toolkit/text_output.h"

namespace programs {

void print(std::string_view text)
{
    t_Print(MAIN_WINDOW, text);
}

void cr()
{
    t_Cr(MAIN_WINDOW);
}

std::string grouped(int64_t value)
{
    return NumberText(value, ' ', 1, true);
}

} // namespace programs
