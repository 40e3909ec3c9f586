// toolkit/text_output.h: printing text at the cursor, control characters, display modes,
// clearing, tabs, rules, inverse output and redirection.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// Result of t_ApplyDisplayMode: the code to draw (-1 command, -2 refused) and the
// attributes (bit 0 inverse, bits 8 to 15 the colour byte) to restore afterwards.
struct t_MappedCode {
    int64_t Code = 0;
    uint32_t Attributes = 0;
};

// Printing
// Prints UTF-8 text at the cursor, one Unicode scalar at a time, handling control codes.
void t_Print(uint8_t win, std::string_view text);
// The same, one byte per character (the line editor's form).
void t_Print(uint8_t win, const std::vector<uint8_t>& bytes);
// Prints one code at the cursor, without control handling or pause check.
void t_PrintChar(uint8_t win, uint8_t code);
// Prints code until the cursor reaches window column `column`.
void t_PrintTab(uint8_t win, int64_t column, uint8_t code);
// Prints count blanks.
void t_PrintSpc(uint8_t win, int64_t count);
// Carries out a control character (below 32) that t_Print met.
void t_PrintControl(uint8_t win, uint8_t code);
// Translates one code by the window's display mode; may run an Escape command.
t_MappedCode t_ApplyDisplayMode(uint8_t win, int64_t code);

// Clearing and rules
// Blanks from the cursor to the area's last column; the cursor stays.
void t_ClearEndOfLine(uint8_t win);
// Blanks from the cursor to the end of the area; the cursor stays.
void t_ClearEndOfWindow(uint8_t win);
// Draws code in TextColor from from_column to to_column of line; the cursor stays.
void t_TextHline(uint8_t win, int64_t from_column, int64_t to_column, int64_t line, uint8_t code);
// Horizontal rule (glyph 0x9C) from the cursor to the area's right edge, then t_Cr.
void t_TextLine(uint8_t win);

// Inverse output and redirection
void t_Inverse(uint8_t win);
void t_Normal(uint8_t win);
void t_Reverse(uint8_t win);
// 1 this window, 2 standard output, anything else drops output.
void t_RedirectOutput(uint8_t win, int64_t mode);
