// platform/us_keys.h: which key of a US keyboard types a character, for backends and
// drivers that start from characters (terminals, typed key files).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/keys.h"
#include "platform/window_system.h"

namespace platform {

struct UsKey {
    uint16_t code = KEY_UNMAPPED;
    bool shift = false;
};

// The key that types the printable ASCII character c, and whether Shift is held (an
// upper-case letter or a shifted sign shares its key); nullopt for any other character.
constexpr std::optional<UsKey> us_key(char32_t c)
{
    struct Key {
        char plain;
        char shifted;
        uint16_t code;
    };
    constexpr Key KEYS[] = {
        {'a', 'A', KEY_A},         {'s', 'S', KEY_S},          {'d', 'D', KEY_D},
        {'f', 'F', KEY_F},         {'h', 'H', KEY_H},          {'g', 'G', KEY_G},
        {'z', 'Z', KEY_Z},         {'x', 'X', KEY_X},          {'c', 'C', KEY_C},
        {'v', 'V', KEY_V},         {'b', 'B', KEY_B},          {'q', 'Q', KEY_Q},
        {'w', 'W', KEY_W},         {'e', 'E', KEY_E},          {'r', 'R', KEY_R},
        {'y', 'Y', KEY_Y},         {'t', 'T', KEY_T},          {'1', '!', KEY_1},
        {'2', '@', KEY_2},         {'3', '#', KEY_3},          {'4', '$', KEY_4},
        {'6', '^', KEY_6},         {'5', '%', KEY_5},          {'=', '+', KEY_EQUAL},
        {'9', '(', KEY_9},         {'7', '&', KEY_7},          {'-', '_', KEY_MINUS},
        {'8', '*', KEY_8},         {'0', ')', KEY_0},          {']', '}', KEY_RIGHT_BRACKET},
        {'o', 'O', KEY_O},         {'u', 'U', KEY_U},          {'[', '{', KEY_LEFT_BRACKET},
        {'i', 'I', KEY_I},         {'p', 'P', KEY_P},          {'l', 'L', KEY_L},
        {'j', 'J', KEY_J},         {'\'', '"', KEY_QUOTE},     {'k', 'K', KEY_K},
        {';', ':', KEY_SEMICOLON}, {'\\', '|', KEY_BACKSLASH}, {',', '<', KEY_COMMA},
        {'/', '?', KEY_SLASH},     {'n', 'N', KEY_N},          {'m', 'M', KEY_M},
        {'.', '>', KEY_PERIOD},    {' ', ' ', KEY_SPACE},      {'`', '~', KEY_GRAVE},
    };
    for (const Key& key : KEYS) {
        if (static_cast<char32_t>(key.plain) == c)
            return UsKey{key.code, false};
        if (static_cast<char32_t>(key.shifted) == c)
            return UsKey{key.code, true};
    }
    return std::nullopt;
}

// The report of typing c on a US keyboard into window 0: Return, Tab, Escape and Delete by
// their keys, a printable ASCII character by its key (Shift where it takes it), any other
// character with no key of its own; a control character other than those four is typed
// with Control.
KeyReport typed_key(char32_t c);

} // namespace platform
