// platform/us_keys.cpp: key reports for typed characters.
#include "platform/us_keys.h"

#include "platform/utf8.h"

namespace platform {

KeyReport typed_key(char32_t c)
{
    KeyReport report;
    report.window = 0;
    report.key_code = KEY_UNMAPPED;
    switch (c) {
    case U'\n':
    case U'\r':
        report.key_code = KEY_RETURN;
        report.characters = "\r";
        return report;
    case U'\t':
        report.key_code = KEY_TAB;
        report.characters = "\t";
        return report;
    case 0x1B:
        report.key_code = KEY_ESCAPE;
        report.characters = "\x1b";
        return report;
    case 0x7F:
        report.key_code = KEY_DELETE;
        report.characters = "\x7f";
        return report;
    default:
        break;
    }
    append_utf8(report.characters, c);
    if (const std::optional<UsKey> key = us_key(c)) {
        report.key_code = key->code;
        report.modifiers = key->shift ? MOD_SHIFT : 0;
        return report;
    }
    // Other control characters: typed with Control on no particular key.
    if (c < 0x20)
        report.modifiers = MOD_CONTROL;
    return report;
}

} // namespace platform
