// platform/terminal/terminal.h: the text terminal as a front end: raw key input and
// full-screen output through escape sequences.
#pragma once

#include <string>
#include <string_view>

namespace platform::terminal {

// Standard input and output are both terminals.
bool is_interactive();

// Switches standard input to raw mode (no echo, no line buffering, no signals from keys)
// and the screen to the alternate buffer with the cursor hidden; false when it cannot.
// The old settings come back at leave_raw_mode(), at exit and on a fatal signal.
bool enter_raw_mode();
void leave_raw_mode();

// The bytes typed so far, waiting at most timeout_ms for the first; empty when none came.
std::string read_input(int timeout_ms);

// Writes all of text to the terminal, even after redirect_standard_streams().
void write_output(std::string_view text);

// Points standard output and standard error at the file (appending), so that lines the
// program prints do not run across the drawn screen; false when it cannot be opened.
bool redirect_standard_streams(const std::string& path);

// Columns and lines of the terminal; 80 x 25 when it does not say.
int columns();
int lines();

} // namespace platform::terminal
