// platform/keys.h: our names for the key codes and modifier bits of a key report.
#pragma once

// The shell's key table is written in these codes: each names a physical key by its
// position, called after the key at that place on a US layout. A backend translates its
// native key identifiers into these names at its edge; no other file writes a key code as a
// number.

#include <cstdint>

// The names sit in an inline namespace, so a translating file can take all of them with
// `using namespace platform::keys;` and nothing else of the platform.
namespace platform {
inline namespace keys {

// Modifier word bits, in the layout the key table of the shell is written for.
constexpr uint64_t MOD_CAPS_LOCK = 1ull << 16;
constexpr uint64_t MOD_SHIFT = 1ull << 17;
constexpr uint64_t MOD_CONTROL = 1ull << 18;
constexpr uint64_t MOD_OPTION = 1ull << 19;
constexpr uint64_t MOD_COMMAND = 1ull << 20;
constexpr uint64_t MOD_NUMERIC_PAD = 1ull << 21;
constexpr uint64_t MOD_HELP = 1ull << 22;
constexpr uint64_t MOD_FN = 1ull << 23;

// Letters by position.
constexpr uint16_t KEY_A = 0;
constexpr uint16_t KEY_S = 1;
constexpr uint16_t KEY_D = 2;
constexpr uint16_t KEY_F = 3;
constexpr uint16_t KEY_H = 4;
constexpr uint16_t KEY_G = 5;
constexpr uint16_t KEY_Z = 6;
constexpr uint16_t KEY_X = 7;
constexpr uint16_t KEY_C = 8;
constexpr uint16_t KEY_V = 9;
constexpr uint16_t KEY_B = 11;
constexpr uint16_t KEY_Q = 12;
constexpr uint16_t KEY_W = 13;
constexpr uint16_t KEY_E = 14;
constexpr uint16_t KEY_R = 15;
constexpr uint16_t KEY_Y = 16;
constexpr uint16_t KEY_T = 17;
constexpr uint16_t KEY_O = 31;
constexpr uint16_t KEY_U = 32;
constexpr uint16_t KEY_I = 34;
constexpr uint16_t KEY_P = 35;
constexpr uint16_t KEY_L = 37;
constexpr uint16_t KEY_J = 38;
constexpr uint16_t KEY_K = 40;
constexpr uint16_t KEY_N = 45;
constexpr uint16_t KEY_M = 46;

// Digits of the main block.
constexpr uint16_t KEY_1 = 18;
constexpr uint16_t KEY_2 = 19;
constexpr uint16_t KEY_3 = 20;
constexpr uint16_t KEY_4 = 21;
constexpr uint16_t KEY_6 = 22;
constexpr uint16_t KEY_5 = 23;
constexpr uint16_t KEY_9 = 25;
constexpr uint16_t KEY_7 = 26;
constexpr uint16_t KEY_8 = 28;
constexpr uint16_t KEY_0 = 29;

// Signs of the main block.
constexpr uint16_t KEY_ISO_SECTION = 10; // the extra key left of 1 on ISO keyboards
constexpr uint16_t KEY_EQUAL = 24;
constexpr uint16_t KEY_MINUS = 27;
constexpr uint16_t KEY_RIGHT_BRACKET = 30;
constexpr uint16_t KEY_LEFT_BRACKET = 33;
constexpr uint16_t KEY_QUOTE = 39;
constexpr uint16_t KEY_SEMICOLON = 41;
constexpr uint16_t KEY_BACKSLASH = 42;
constexpr uint16_t KEY_COMMA = 43;
constexpr uint16_t KEY_SLASH = 44;
constexpr uint16_t KEY_PERIOD = 47;
constexpr uint16_t KEY_SPACE = 49;
constexpr uint16_t KEY_GRAVE = 50; // beside the left Shift on ISO keyboards

// Editing and control keys.
constexpr uint16_t KEY_RETURN = 36;
constexpr uint16_t KEY_TAB = 48;
constexpr uint16_t KEY_DELETE = 51; // backspace
constexpr uint16_t KEY_ESCAPE = 53;
constexpr uint16_t KEY_FORWARD_DELETE = 117;

// Cursor block.
constexpr uint16_t KEY_HOME = 115;
constexpr uint16_t KEY_PAGE_UP = 116;
constexpr uint16_t KEY_END = 119;
constexpr uint16_t KEY_PAGE_DOWN = 121;
constexpr uint16_t KEY_LEFT = 123;
constexpr uint16_t KEY_RIGHT = 124;
constexpr uint16_t KEY_DOWN = 125;
constexpr uint16_t KEY_UP = 126;

// Keypad.
constexpr uint16_t KEY_PAD_DECIMAL = 65;
constexpr uint16_t KEY_PAD_MULTIPLY = 67;
constexpr uint16_t KEY_PAD_PLUS = 69;
constexpr uint16_t KEY_PAD_CLEAR = 71;
constexpr uint16_t KEY_PAD_DIVIDE = 75;
constexpr uint16_t KEY_PAD_ENTER = 76;
constexpr uint16_t KEY_PAD_MINUS = 78;
constexpr uint16_t KEY_PAD_EQUALS = 81;
constexpr uint16_t KEY_PAD_0 = 82;
constexpr uint16_t KEY_PAD_1 = 83;
constexpr uint16_t KEY_PAD_2 = 84;
constexpr uint16_t KEY_PAD_3 = 85;
constexpr uint16_t KEY_PAD_4 = 86;
constexpr uint16_t KEY_PAD_5 = 87;
constexpr uint16_t KEY_PAD_6 = 88;
constexpr uint16_t KEY_PAD_7 = 89;
constexpr uint16_t KEY_PAD_8 = 91;
constexpr uint16_t KEY_PAD_9 = 92;

// Function keys. Their codes are scattered; the shell tells them apart by their character
// (function_key_character), so a backend must report both.
constexpr uint16_t KEY_F1 = 122;
constexpr uint16_t KEY_F2 = 120;
constexpr uint16_t KEY_F3 = 99;
constexpr uint16_t KEY_F4 = 118;
constexpr uint16_t KEY_F5 = 96;
constexpr uint16_t KEY_F6 = 97;
constexpr uint16_t KEY_F7 = 98;
constexpr uint16_t KEY_F8 = 100;
constexpr uint16_t KEY_F9 = 101;
constexpr uint16_t KEY_F10 = 109;
constexpr uint16_t KEY_F11 = 103;
constexpr uint16_t KEY_F12 = 111;
constexpr uint16_t KEY_F13 = 105;
constexpr uint16_t KEY_F14 = 107;
constexpr uint16_t KEY_F15 = 113;

// A report for a character that no key of a US layout types (most above U+007F).
constexpr uint16_t KEY_UNMAPPED = 0xFFFF;

// Characters that the cursor and function keys report, from the private-use area.
constexpr char32_t CHAR_UP = 0xF700;
constexpr char32_t CHAR_DOWN = 0xF701;
constexpr char32_t CHAR_LEFT = 0xF702;
constexpr char32_t CHAR_RIGHT = 0xF703;
constexpr char32_t CHAR_F1 = 0xF704;
constexpr char32_t CHAR_FORWARD_DELETE = 0xF728;
constexpr char32_t CHAR_HOME = 0xF729;
constexpr char32_t CHAR_END = 0xF72B;
constexpr char32_t CHAR_PAGE_UP = 0xF72C;
constexpr char32_t CHAR_PAGE_DOWN = 0xF72D;

// The character of function key `number` (1 for F1).
constexpr char32_t function_key_character(int number)
{
    return CHAR_F1 + static_cast<char32_t>(number - 1);
}

// Every code named above with its name, for backends that list or log keys.
struct NamedKey {
    const char* name;
    uint16_t code;
};
constexpr NamedKey NAMED_KEYS[] = {
    {"A", KEY_A},
    {"S", KEY_S},
    {"D", KEY_D},
    {"F", KEY_F},
    {"H", KEY_H},
    {"G", KEY_G},
    {"Z", KEY_Z},
    {"X", KEY_X},
    {"C", KEY_C},
    {"V", KEY_V},
    {"B", KEY_B},
    {"Q", KEY_Q},
    {"W", KEY_W},
    {"E", KEY_E},
    {"R", KEY_R},
    {"Y", KEY_Y},
    {"T", KEY_T},
    {"O", KEY_O},
    {"U", KEY_U},
    {"I", KEY_I},
    {"P", KEY_P},
    {"L", KEY_L},
    {"J", KEY_J},
    {"K", KEY_K},
    {"N", KEY_N},
    {"M", KEY_M},
    {"1", KEY_1},
    {"2", KEY_2},
    {"3", KEY_3},
    {"4", KEY_4},
    {"5", KEY_5},
    {"6", KEY_6},
    {"7", KEY_7},
    {"8", KEY_8},
    {"9", KEY_9},
    {"0", KEY_0},
    {"ISO section", KEY_ISO_SECTION},
    {"=", KEY_EQUAL},
    {"-", KEY_MINUS},
    {"]", KEY_RIGHT_BRACKET},
    {"[", KEY_LEFT_BRACKET},
    {"'", KEY_QUOTE},
    {";", KEY_SEMICOLON},
    {"\\", KEY_BACKSLASH},
    {",", KEY_COMMA},
    {"/", KEY_SLASH},
    {".", KEY_PERIOD},
    {"Space", KEY_SPACE},
    {"`", KEY_GRAVE},
    {"Return", KEY_RETURN},
    {"Tab", KEY_TAB},
    {"Delete", KEY_DELETE},
    {"Escape", KEY_ESCAPE},
    {"Forward Delete", KEY_FORWARD_DELETE},
    {"Home", KEY_HOME},
    {"Page Up", KEY_PAGE_UP},
    {"End", KEY_END},
    {"Page Down", KEY_PAGE_DOWN},
    {"Left", KEY_LEFT},
    {"Right", KEY_RIGHT},
    {"Down", KEY_DOWN},
    {"Up", KEY_UP},
    {"Keypad .", KEY_PAD_DECIMAL},
    {"Keypad *", KEY_PAD_MULTIPLY},
    {"Keypad +", KEY_PAD_PLUS},
    {"Keypad Clear", KEY_PAD_CLEAR},
    {"Keypad /", KEY_PAD_DIVIDE},
    {"Keypad Enter", KEY_PAD_ENTER},
    {"Keypad -", KEY_PAD_MINUS},
    {"Keypad =", KEY_PAD_EQUALS},
    {"Keypad 0", KEY_PAD_0},
    {"Keypad 1", KEY_PAD_1},
    {"Keypad 2", KEY_PAD_2},
    {"Keypad 3", KEY_PAD_3},
    {"Keypad 4", KEY_PAD_4},
    {"Keypad 5", KEY_PAD_5},
    {"Keypad 6", KEY_PAD_6},
    {"Keypad 7", KEY_PAD_7},
    {"Keypad 8", KEY_PAD_8},
    {"Keypad 9", KEY_PAD_9},
    {"F1", KEY_F1},
    {"F2", KEY_F2},
    {"F3", KEY_F3},
    {"F4", KEY_F4},
    {"F5", KEY_F5},
    {"F6", KEY_F6},
    {"F7", KEY_F7},
    {"F8", KEY_F8},
    {"F9", KEY_F9},
    {"F10", KEY_F10},
    {"F11", KEY_F11},
    {"F12", KEY_F12},
    {"F13", KEY_F13},
    {"F14", KEY_F14},
    {"F15", KEY_F15},
};

} // namespace keys
} // namespace platform
