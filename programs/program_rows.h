// programs/program_rows.h: the G, O, R, S and T rows of the command table: heading, number
// prompts, refusal, dump deletion, the program, and the dump tail.
#pragma once

void command_grover();
void command_oracle();
void command_random();
void command_shor();
void command_codetest();
