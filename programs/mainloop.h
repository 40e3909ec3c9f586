// programs/mainloop.h: the command loop of the main window and what its commands share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The menu line at the top of the main window: 78 characters.
inline constexpr std::string_view MAIN_PROMPT =
    "D(isAsm  G(rover  H(elp  I(sing  O(racle  R(andom  S(hor  Q(uit     [1.1.1] ? ";
static_assert(MAIN_PROMPT.size() == 78);

// Runs start-up, then one command cycle after another; returns only if Q cannot end the
// thread (it always can).
void mainloop();

// Start-up before the first cycle: the main window, its title and font, the rule, the
// printer, the mnemonic table and the help screen.
void mainloop_start();

// One cycle: prompt, one key, echo, dispatch. False after Q (which ends the thread itself).
bool mainloop_cycle();

// Prints the help screen from row 3 of the main window.
void helpscreen();

// The command key for a key text: upper-cased with full case mapping; control keys and
// the empty text become one blank.
std::string CommandKey(std::string_view key);

// Full Unicode upper-case mapping of UTF-8 text (ß gives SS).
std::string UpperCaseText(std::string_view text);

// Shared by the rows of the command table
// The window every command prints into (the toolkit's current text window).
uint8_t command_window();
// Prints a command's heading and two carriage returns.
void command_heading(std::string_view heading);
// Asks for an integer with prompt (mode 2, at most 25 characters); Escape or no digits give 0.
int64_t command_number(std::string_view prompt);
// Removes the dump file (when quitting).
void delete_dump();
// After a program: its object code replaces the dump file in one rename, and recording
// stops. A program that recorded nothing leaves no dump; a failed write keeps the old one.
void write_dump_tail();
