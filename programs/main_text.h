// programs/main_text.h: the few text helpers the programs print their results with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace programs {

// Text at the cursor of the main window.
void print(std::string_view text);
// A line break in the main window.
void cr();
// A whole number with its digits grouped by three, as the results show counts.
std::string grouped(int64_t value);

} // namespace programs
