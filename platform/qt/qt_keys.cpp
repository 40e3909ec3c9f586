// platform/qt/qt_keys.cpp: Qt key events as the seam's key reports, and menu key equivalents.
#include "platform/keys.h"
#include "platform/qt/qt_backend.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <array>
#include <optional>

namespace platform::qt {

namespace {

using namespace platform::keys;

// The key codes name physical positions, so letters are found by where the key sits (the
// X server's keycode), whatever the layout prints on it; the character comes from the
// layout. Platforms without keycodes (offscreen) fall back to Qt's key name.
struct PositionKey {
    uint32_t x11_keycode;
    uint16_t key_code;
};

// X11 (evdev) keycodes of the alphanumeric block and the keypad, by US position.
constexpr PositionKey POSITION_KEYS[] = {
    {10, KEY_1},
    {11, KEY_2},
    {12, KEY_3},
    {13, KEY_4},
    {14, KEY_5},
    {15, KEY_6},
    {16, KEY_7},
    {17, KEY_8},
    {18, KEY_9},
    {19, KEY_0},
    {20, KEY_MINUS},
    {21, KEY_EQUAL},
    {24, KEY_Q},
    {25, KEY_W},
    {26, KEY_E},
    {27, KEY_R},
    {28, KEY_T},
    {29, KEY_Y},
    {30, KEY_U},
    {31, KEY_I},
    {32, KEY_O},
    {33, KEY_P},
    {34, KEY_LEFT_BRACKET},
    {35, KEY_RIGHT_BRACKET},
    {38, KEY_A},
    {39, KEY_S},
    {40, KEY_D},
    {41, KEY_F},
    {42, KEY_G},
    {43, KEY_H},
    {44, KEY_J},
    {45, KEY_K},
    {46, KEY_L},
    {47, KEY_SEMICOLON},
    {48, KEY_QUOTE},
    {49, KEY_ISO_SECTION},
    {51, KEY_BACKSLASH},
    {52, KEY_Z},
    {53, KEY_X},
    {54, KEY_C},
    {55, KEY_V},
    {56, KEY_B},
    {57, KEY_N},
    {58, KEY_M},
    {59, KEY_COMMA},
    {60, KEY_PERIOD},
    {61, KEY_SLASH},
    {65, KEY_SPACE},
    {94, KEY_GRAVE},
    {63, KEY_PAD_MULTIPLY},
    {79, KEY_PAD_7},
    {80, KEY_PAD_8},
    {81, KEY_PAD_9},
    {82, KEY_PAD_MINUS},
    {83, KEY_PAD_4},
    {84, KEY_PAD_5},
    {85, KEY_PAD_6},
    {86, KEY_PAD_PLUS},
    {87, KEY_PAD_1},
    {88, KEY_PAD_2},
    {89, KEY_PAD_3},
    {90, KEY_PAD_0},
    {91, KEY_PAD_DECIMAL},
    {106, KEY_PAD_DIVIDE},
    {125, KEY_PAD_EQUALS},
};

// Keys found by Qt's name, with the character the platform reports for them.
struct QtKey {
    int qt_key;
    uint16_t key_code;
    char32_t character;
};

constexpr QtKey QT_KEYS[] = {
    {Qt::Key_Return, KEY_RETURN, U'\r'},
    {Qt::Key_Enter, KEY_PAD_ENTER, 0x03},
    {Qt::Key_Tab, KEY_TAB, U'\t'},
    {Qt::Key_Backtab, KEY_TAB, 0x19},
    {Qt::Key_Backspace, KEY_DELETE, 0x7F},
    {Qt::Key_Escape, KEY_ESCAPE, 0x1B},
    {Qt::Key_Space, KEY_SPACE, U' '},
    {Qt::Key_Up, KEY_UP, CHAR_UP},
    {Qt::Key_Down, KEY_DOWN, CHAR_DOWN},
    {Qt::Key_Left, KEY_LEFT, CHAR_LEFT},
    {Qt::Key_Right, KEY_RIGHT, CHAR_RIGHT},
    {Qt::Key_Home, KEY_HOME, CHAR_HOME},
    {Qt::Key_End, KEY_END, CHAR_END},
    {Qt::Key_PageUp, KEY_PAGE_UP, CHAR_PAGE_UP},
    {Qt::Key_PageDown, KEY_PAGE_DOWN, CHAR_PAGE_DOWN},
    {Qt::Key_Delete, KEY_FORWARD_DELETE, CHAR_FORWARD_DELETE},
    {Qt::Key_Clear, KEY_PAD_CLEAR, 0xF739},
    {Qt::Key_NumLock, KEY_PAD_CLEAR, 0xF739},
    {Qt::Key_F1, KEY_F1, function_key_character(1)},
    {Qt::Key_F2, KEY_F2, function_key_character(2)},
    {Qt::Key_F3, KEY_F3, function_key_character(3)},
    {Qt::Key_F4, KEY_F4, function_key_character(4)},
    {Qt::Key_F5, KEY_F5, function_key_character(5)},
    {Qt::Key_F6, KEY_F6, function_key_character(6)},
    {Qt::Key_F7, KEY_F7, function_key_character(7)},
    {Qt::Key_F8, KEY_F8, function_key_character(8)},
    {Qt::Key_F9, KEY_F9, function_key_character(9)},
    {Qt::Key_F10, KEY_F10, function_key_character(10)},
    {Qt::Key_F11, KEY_F11, function_key_character(11)},
    {Qt::Key_F12, KEY_F12, function_key_character(12)},
    {Qt::Key_F13, KEY_F13, function_key_character(13)},
    {Qt::Key_F14, KEY_F14, function_key_character(14)},
    {Qt::Key_F15, KEY_F15, function_key_character(15)},
};

// Keypad keys by Qt's name when the event carries the keypad modifier.
constexpr std::pair<int, uint16_t> KEYPAD_KEYS[] = {
    {Qt::Key_0, KEY_PAD_0},
    {Qt::Key_1, KEY_PAD_1},
    {Qt::Key_2, KEY_PAD_2},
    {Qt::Key_3, KEY_PAD_3},
    {Qt::Key_4, KEY_PAD_4},
    {Qt::Key_5, KEY_PAD_5},
    {Qt::Key_6, KEY_PAD_6},
    {Qt::Key_7, KEY_PAD_7},
    {Qt::Key_8, KEY_PAD_8},
    {Qt::Key_9, KEY_PAD_9},
    {Qt::Key_Period, KEY_PAD_DECIMAL},
    {Qt::Key_Comma, KEY_PAD_DECIMAL},
    {Qt::Key_Asterisk, KEY_PAD_MULTIPLY},
    {Qt::Key_Plus, KEY_PAD_PLUS},
    {Qt::Key_Minus, KEY_PAD_MINUS},
    {Qt::Key_Slash, KEY_PAD_DIVIDE},
    {Qt::Key_Equal, KEY_PAD_EQUALS},
};

// Letters and digits by Qt's name where no keycode says the position; the dead keys of a
// German layout sit where the table expects them (^ left of 1, ´ and ` on the = key).
constexpr std::pair<int, uint16_t> NAME_POSITIONS[] = {
    {Qt::Key_A, KEY_A},
    {Qt::Key_B, KEY_B},
    {Qt::Key_C, KEY_C},
    {Qt::Key_D, KEY_D},
    {Qt::Key_E, KEY_E},
    {Qt::Key_F, KEY_F},
    {Qt::Key_G, KEY_G},
    {Qt::Key_H, KEY_H},
    {Qt::Key_I, KEY_I},
    {Qt::Key_J, KEY_J},
    {Qt::Key_K, KEY_K},
    {Qt::Key_L, KEY_L},
    {Qt::Key_M, KEY_M},
    {Qt::Key_N, KEY_N},
    {Qt::Key_O, KEY_O},
    {Qt::Key_P, KEY_P},
    {Qt::Key_Q, KEY_Q},
    {Qt::Key_R, KEY_R},
    {Qt::Key_S, KEY_S},
    {Qt::Key_T, KEY_T},
    {Qt::Key_U, KEY_U},
    {Qt::Key_V, KEY_V},
    {Qt::Key_W, KEY_W},
    {Qt::Key_X, KEY_X},
    {Qt::Key_Y, KEY_Y},
    {Qt::Key_Z, KEY_Z},
    {Qt::Key_0, KEY_0},
    {Qt::Key_1, KEY_1},
    {Qt::Key_2, KEY_2},
    {Qt::Key_3, KEY_3},
    {Qt::Key_4, KEY_4},
    {Qt::Key_5, KEY_5},
    {Qt::Key_6, KEY_6},
    {Qt::Key_7, KEY_7},
    {Qt::Key_8, KEY_8},
    {Qt::Key_9, KEY_9},
    {Qt::Key_Dead_Circumflex, KEY_ISO_SECTION},
    {Qt::Key_Dead_Acute, KEY_EQUAL},
    {Qt::Key_Dead_Grave, KEY_EQUAL},
};

std::string utf8(char32_t c)
{
    return QString::fromUcs4(&c, 1).toStdString();
}

std::optional<uint16_t> position_code(uint32_t keycode)
{
    for (const PositionKey& k : POSITION_KEYS) {
        if (k.x11_keycode == keycode)
            return k.key_code;
    }
    return std::nullopt;
}

template <size_t N>
std::optional<uint16_t> lookup(const std::pair<int, uint16_t> (&table)[N], int qt_key)
{
    for (const auto& [key, code] : table) {
        if (key == qt_key)
            return code;
    }
    return std::nullopt;
}

} // namespace

uint64_t translate_modifiers(Qt::KeyboardModifiers modifiers)
{
    uint64_t word = 0;
    if (modifiers & Qt::ShiftModifier)
        word |= MOD_SHIFT;
    if (modifiers & Qt::ControlModifier)
        word |= MOD_CONTROL;
    // Alt and AltGr both choose a key's third level, as Option does.
    if (modifiers & (Qt::AltModifier | Qt::GroupSwitchModifier))
        word |= MOD_OPTION;
    if (modifiers & Qt::MetaModifier)
        word |= MOD_COMMAND;
    if (modifiers & Qt::KeypadModifier)
        word |= MOD_NUMERIC_PAD;
    return word;
}

uint64_t modifier_key_bit(int qt_key)
{
    switch (qt_key) {
    case Qt::Key_Shift:
        return MOD_SHIFT;
    case Qt::Key_Control:
        return MOD_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return MOD_OPTION;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return MOD_COMMAND;
    case Qt::Key_CapsLock:
        return MOD_CAPS_LOCK;
    default:
        return 0;
    }
}

KeyReport translate_key(const QKeyEvent& event, uint8_t window, uint64_t caps_lock)
{
    KeyReport report;
    report.window = window;
    report.modifiers = translate_modifiers(event.modifiers()) | caps_lock;
    report.key_code = KEY_UNMAPPED;
    const int key = event.key();
    const bool keypad = event.modifiers() & Qt::KeypadModifier;

    // Pass: keys with a name of their own bring their platform character.
    for (const QtKey& k : QT_KEYS) {
        if (k.qt_key == key && !(keypad && key == Qt::Key_Space)) {
            report.key_code = k.key_code;
            report.characters = utf8(k.character);
            // Function keys and arrows count as keypad keys on the platform the table is
            // written for; the key table does not look at it.
            return report;
        }
    }

    // Pass: the position of any other key, the character as the layout typed it.
    const QString text = event.text();
    report.characters = text.toStdString();
    if (keypad) {
        if (auto code = lookup(KEYPAD_KEYS, key))
            report.key_code = *code;
        return report;
    }
    if (auto code = position_code(event.nativeScanCode())) {
        report.key_code = *code;
        return report;
    }
    if (auto code = lookup(NAME_POSITIONS, key))
        report.key_code = *code;
    return report;
}

QKeySequence menu_shortcut(const MenuItem& item)
{
    if (item.key_char.empty() || !(item.key_mods & MOD_COMMAND))
        return {};
    const QString key = QString::fromUtf8(item.key_char.c_str()).toUpper();
    if (key == QLatin1String("Q") && item.key_mods == MOD_COMMAND)
        return QKeySequence(QStringLiteral("Ctrl+Q"));
    QString mods = QStringLiteral("Ctrl+");
    if (item.key_mods & MOD_OPTION)
        mods += QStringLiteral("Alt+");
    else
        mods += QStringLiteral("Shift+");
    if ((item.key_mods & MOD_SHIFT) && !(item.key_mods & MOD_OPTION))
        mods += QStringLiteral("Alt+");
    return QKeySequence(mods + key);
}

} // namespace platform::qt
