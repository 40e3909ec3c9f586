// programs/terminal_run.h: the application in a text terminal: keys from the keyboard,
// the main window's character cells drawn in colour.
#pragma once

#include <string>

#include "platform/window_system.h"

// The key report for the bytes at the front of input (one character, or one escape
// sequence of a cursor or editing key); removes them. False when input holds no whole key.
bool TakeTerminalKey(std::string& input, platform::KeyReport& report);

// The escape sequences that draw window 0's character cells with their colours, from the
// top-left corner of the terminal; empty when the window has no text yet.
std::string TerminalFrame();

// Runs the application in the terminal until the user quits it (Ctrl-C, or any key after
// the program has ended); the program's own lines go to the log file. Returns the exit status.
int RunInTerminal(const std::string& log_path);
