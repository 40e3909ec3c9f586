// shell/line_input.h: the one-line editor of a text window and the input form around it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Input modes: what t_InputInsert accepts besides the length limits.
constexpr int64_t INPUT_ANY = 0;          // any code but 0
constexpr int64_t INPUT_ANY_CONTROL = 1;  // as 0, and code entry may give codes 1 to 31
constexpr int64_t INPUT_INTEGER = 2;      // digits, a minus sign at position 0
constexpr int64_t INPUT_DECIMAL = 3;      // digits, one comma, one e, signs at 0 or after e
constexpr int64_t INPUT_RANGE = 4;        // digits and one minus sign not at position 0

// Prints prompt, shows the field with default (cut to max_characters) and, unless
// setup_only, edits it until Return or Escape. Returns the field: empty after Escape, or
// when the window is unusable.
std::string t_InputForm(uint8_t win, const std::string& prompt, const std::string& default_text,
                        bool setup_only, int64_t mode, int64_t max_characters);

// Applies one key code to the window's field (movement, deletion, copy, paste, code entry).
void t_InputEdit(uint8_t win, int64_t code);

// Inserts the character of code at the field's cursor if the mode and the limits allow;
// the field never reaches the window's last text column.
void t_InputInsert(uint8_t win, int64_t code);

// Makes text safe to feed back as keys: LF becomes CR, characters above U+00FF become
// escape, four upper-case hexadecimal digits, group separator.
std::string EscapeCodes(std::string_view text);

// The inverse of EscapeCodes for its escape sequences; other text passes unchanged.
std::string UnescapeCodes(std::string_view text);
