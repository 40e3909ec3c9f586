// platform/qt/qt_keys.cpp: Qt key events as the seam's key reports, and menu key equivalents.
#include "platform/qt/qt_backend.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <array>
#include <optional>

namespace platform::qt {

namespace {

// The key codes name physical positions, so letters are found by where the key sits (the
// X server's keycode), whatever the layout prints on it; the character comes from the
// layout. Platforms without keycodes (offscreen) fall back to Qt's key name.
struct PositionKey {
    uint32_t x11_keycode;
    uint16_t key_code;
};

// X11 (evdev) keycodes of the alphanumeric block and the keypad, by US position.
constexpr std::array<PositionKey, 63> POSITION_KEYS{{
    {10, 18}, {11, 19}, {12, 20}, {13, 21}, {14, 23}, {15, 22}, {16, 26}, {17, 28}, {18, 25},
    {19, 29}, {20, 27}, {21, 24}, {24, 12}, {25, 13}, {26, 14}, {27, 15}, {28, 17}, {29, 16},
    {30, 32}, {31, 34}, {32, 31}, {33, 35}, {34, 33}, {35, 30}, {38, 0},  {39, 1},  {40, 2},
    {41, 3},  {42, 5},  {43, 4},  {44, 38}, {45, 40}, {46, 37}, {47, 41}, {48, 39}, {49, 10},
    {51, 42}, {52, 6},  {53, 7},  {54, 8},  {55, 9},  {56, 11}, {57, 45}, {58, 46}, {59, 43},
    {60, 47}, {61, 44}, {65, 49}, {94, 50}, {63, 67}, {79, 89}, {80, 91}, {81, 92}, {82, 78},
    {83, 86}, {84, 87}, {85, 88}, {86, 69}, {87, 83}, {88, 84}, {89, 85}, {90, 82}, {91, 65},
}};

// Keys found by Qt's name: (Qt key, key code, the character the platform reports).
struct NamedKey {
    int qt_key;
    uint16_t key_code;
    char32_t character;
};

constexpr std::array<NamedKey, 31> NAMED_KEYS{{
    {Qt::Key_Return, 36, U'\r'},   {Qt::Key_Enter, 76, 0x03},     {Qt::Key_Tab, 48, U'\t'},
    {Qt::Key_Backtab, 48, 25},     {Qt::Key_Backspace, 51, 0x7F}, {Qt::Key_Escape, 53, 0x1B},
    {Qt::Key_Space, 49, U' '},     {Qt::Key_Up, 126, 0xF700},     {Qt::Key_Down, 125, 0xF701},
    {Qt::Key_Left, 123, 0xF702},   {Qt::Key_Right, 124, 0xF703},  {Qt::Key_Home, 115, 0xF729},
    {Qt::Key_End, 119, 0xF72B},    {Qt::Key_PageUp, 116, 0xF72C}, {Qt::Key_PageDown, 121, 0xF72D},
    {Qt::Key_Delete, 117, 0xF728}, {Qt::Key_Clear, 71, 0xF739},   {Qt::Key_Insert, 114, 0xF746},
    {Qt::Key_F1, 122, 0xF704},     {Qt::Key_F2, 120, 0xF705},     {Qt::Key_F3, 99, 0xF706},
    {Qt::Key_F4, 118, 0xF707},     {Qt::Key_F5, 96, 0xF708},      {Qt::Key_F6, 97, 0xF709},
    {Qt::Key_F7, 98, 0xF70A},      {Qt::Key_F8, 100, 0xF70B},     {Qt::Key_F9, 101, 0xF70C},
    {Qt::Key_F10, 109, 0xF70D},    {Qt::Key_F11, 103, 0xF70E},    {Qt::Key_F12, 111, 0xF70F},
    {Qt::Key_NumLock, 71, 0xF739},
}};

// Keypad keys by Qt's name when the event carries the keypad modifier.
constexpr std::array<std::pair<int, uint16_t>, 16> KEYPAD_KEYS{{
    {Qt::Key_0, 82},
    {Qt::Key_1, 83},
    {Qt::Key_2, 84},
    {Qt::Key_3, 85},
    {Qt::Key_4, 86},
    {Qt::Key_5, 87},
    {Qt::Key_6, 88},
    {Qt::Key_7, 89},
    {Qt::Key_8, 91},
    {Qt::Key_9, 92},
    {Qt::Key_Period, 65},
    {Qt::Key_Comma, 65},
    {Qt::Key_Asterisk, 67},
    {Qt::Key_Plus, 69},
    {Qt::Key_Minus, 78},
    {Qt::Key_Slash, 75},
}};

// Letters and digits by Qt's name where no keycode says the position; the dead keys of a
// German layout sit where the table expects them (^ left of 1, ´ and ` on the = key).
constexpr std::array<std::pair<int, uint16_t>, 39> NAME_POSITIONS{{
    {Qt::Key_A, 0},
    {Qt::Key_S, 1},
    {Qt::Key_D, 2},
    {Qt::Key_F, 3},
    {Qt::Key_H, 4},
    {Qt::Key_G, 5},
    {Qt::Key_Z, 6},
    {Qt::Key_X, 7},
    {Qt::Key_C, 8},
    {Qt::Key_V, 9},
    {Qt::Key_B, 11},
    {Qt::Key_Q, 12},
    {Qt::Key_W, 13},
    {Qt::Key_E, 14},
    {Qt::Key_R, 15},
    {Qt::Key_Y, 16},
    {Qt::Key_T, 17},
    {Qt::Key_1, 18},
    {Qt::Key_2, 19},
    {Qt::Key_3, 20},
    {Qt::Key_4, 21},
    {Qt::Key_6, 22},
    {Qt::Key_5, 23},
    {Qt::Key_9, 25},
    {Qt::Key_7, 26},
    {Qt::Key_8, 28},
    {Qt::Key_0, 29},
    {Qt::Key_O, 31},
    {Qt::Key_U, 32},
    {Qt::Key_I, 34},
    {Qt::Key_P, 35},
    {Qt::Key_L, 37},
    {Qt::Key_J, 38},
    {Qt::Key_K, 40},
    {Qt::Key_N, 45},
    {Qt::Key_M, 46},
    {Qt::Key_Dead_Circumflex, 10},
    {Qt::Key_Dead_Acute, 24},
    {Qt::Key_Dead_Grave, 24},
}};

// Characters no key of the table types report this code.
constexpr uint16_t UNMAPPED_KEY = 0xFFFF;

std::string utf8(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return out;
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
std::optional<uint16_t> lookup(const std::array<std::pair<int, uint16_t>, N>& table, int qt_key)
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
    report.key_code = UNMAPPED_KEY;
    const int key = event.key();
    const bool keypad = event.modifiers() & Qt::KeypadModifier;

    // Pass: keys with a name of their own bring their platform character.
    for (const NamedKey& k : NAMED_KEYS) {
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
