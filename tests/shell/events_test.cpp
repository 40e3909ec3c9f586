// tests/shell/events_test.cpp: key translation, queue order and the three readers.
#include "shell/events.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "platform/diag.h"
#include "platform/platform.h"
#include "tests/shell/shell_test_window.h"
#include "tests/support/test_support.h"
#include "toolkit/window.h"

using namespace platform::keys;

namespace {

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override { shell_test::set_up_window(); }
    void TearDown() override { ResetEvents(); }
};

using test_support::wait_for;

TEST_F(EventsTest, PlainLetterQueuesItsCharacter)
{
    PostKeyDown(0, KEY_A, "a", 0);
    ASSERT_EQ(EventQueueLength(), 1);
    EXPECT_EQ(WaitKey(0), "a");
    const t_Event e = CurrentEvent();
    EXPECT_EQ(e.Kind, 1);
    EXPECT_EQ(e.Value, 97);
    EXPECT_EQ(e.Description, "a");
    EXPECT_GT(e.Time, 0);
}

// The key table's rows besides the one a name round-trips through (below): without the
// modifier or character a row needs, other layouts' characters, dead keys.
TEST_F(EventsTest, KeysOutsideTheirTableRowTranslateToTheCharacter)
{
    const struct {
        int64_t code;
        const char* chars;
        uint64_t mods;
        int64_t value;
    } cases[] = {
        {KEY_PAD_ENTER, "\x03", 0, 13},
        {KEY_PAD_CLEAR, "", 0, 27},
        {KEY_P, "\xE2\x88\x8F", MOD_OPTION, 208}, // Option-Shift-P
        // Another layout's Option-A falls through to the character, which is ours below 256.
        {KEY_A, "\xC3\xA6", MOD_OPTION, 0xE6},
        {KEY_EQUAL, "", 0, 180},
        {KEY_EQUAL, "=", 0, '='},
        {KEY_L, "\x0c", MOD_CONTROL, 12},
        {KEY_TAB, "\t", 0, 9},
        {KEY_PAD_1, "1", 0, '1'},
        {KEY_LEFT_BRACKET, "", 0, 0}, // dead key without a row
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.code << " mods " << c.mods);
        PostKeyDown(0, c.code, c.chars, c.mods);
        EXPECT_EQ(NextEvent(), c.value);
    }
    // Option sets its flag; characters beyond our codes (here \u0142) queue nothing.
    PostKeyDown(0, KEY_A, "\xC3\xA5", MOD_OPTION);
    EXPECT_EQ(NextEvent(), 176);
    EXPECT_TRUE(CurrentEvent().OptionPressed);
    PostKeyDown(0, KEY_L, "\xC5\x82", MOD_OPTION);
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_FALSE(EventPending);
}

TEST_F(EventsTest, ControlKeypadRedirectsOutputAndQueuesNothing)
{
    PostKeyDown(0, KEY_PAD_8, "8", MOD_CONTROL);
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_FALSE(EventPending);
    EXPECT_EQ(window_table[0].TextRedirectOutput, 2);
    PostKeyDown(0, KEY_PAD_7, "7", MOD_CONTROL);
    EXPECT_EQ(window_table[0].TextRedirectOutput, 0);
    PostKeyDown(0, KEY_PAD_9, "9", MOD_CONTROL);
    EXPECT_EQ(window_table[0].TextRedirectOutput, 1);
    EXPECT_EQ(EventQueueLength(), 0);
}

TEST_F(EventsTest, ModifierStateAndKeyIsDown)
{
    PostModifiers(MOD_SHIFT | MOD_OPTION | MOD_FN);
    EXPECT_TRUE(ShiftDown);
    EXPECT_TRUE(OptionDown);
    EXPECT_TRUE(FnDown);
    EXPECT_FALSE(ControlDown);
    EXPECT_EQ(EventQueueLength(), 0);
    PostKeyDown(0, KEY_A, "a", MOD_CONTROL | MOD_NUMERIC_PAD);
    EXPECT_TRUE(KeyIsDown);
    EXPECT_TRUE(ControlDown);
    EXPECT_FALSE(ShiftDown);
    EXPECT_EQ(NextEvent(), 'a');
    EXPECT_EQ(CurrentEvent().Mods, 0x24);
    EXPECT_TRUE(CurrentEvent().NumericPadPressed);
    PostKeyUp();
    EXPECT_FALSE(KeyIsDown);
}

TEST_F(EventsTest, UninitialisedOrIgnoringWindowQueuesNothing)
{
    DiagCapture capture;
    PostKeyDown(3, KEY_A, "a", 0);
    EXPECT_EQ(capture.text(), "viewKeyDown: Graphic window (3) not initialized.\n");
    EXPECT_EQ(EventQueueLength(), 0);
    window_table[0].IgnoreEvents = true;
    PostKeyDown(0, KEY_A, "a", 0);
    EXPECT_EQ(EventQueueLength(), 0);
    window_table[0].IgnoreEvents = false;
    EXPECT_TRUE(KeyIsDown);
    PostKeyUp();
    MemoryReady = false; // keys before the memory is ready are dropped silently
    PostKeyDown(0, KEY_A, "a", MOD_SHIFT);
    MemoryReady = true;
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_TRUE(ShiftDown);
    EXPECT_TRUE(KeyIsDown);
    EXPECT_EQ(capture.text(), "viewKeyDown: Graphic window (3) not initialized.\n");
}

TEST_F(EventsTest, QueueKeepsTypingOrder)
{
    PostKeyDown(0, KEY_A, "a", 0);
    PostKeyDown(0, KEY_B, "b", 0);
    PostText("c\xE2\x82\xAC");
    EXPECT_EQ(EventQueueLength(), 4);
    EXPECT_EQ(WaitKey(0), "a");
    EXPECT_EQ(WaitKey(0), "b");
    EXPECT_EQ(WaitKey(0), "c");
    EXPECT_EQ(WaitKey(0), "\xE2\x82\xAC");
    t_Event e = CurrentEvent();
    EXPECT_EQ(e.Index, 0);
    EXPECT_EQ(e.Window, 1);
    EXPECT_EQ(e.Value, 0x20AC);
    EXPECT_FALSE(EventPending);
}

TEST_F(EventsTest, NextEventOnEmptyQueueLeavesCurrentEvent)
{
    PostKeyDown(0, KEY_A, "a", 0);
    EXPECT_EQ(NextEvent(), 'a');
    EXPECT_EQ(NextEvent(), -1);
    EXPECT_EQ(CurrentEvent().Value, 'a');
    // A stale flag with an empty queue is cleared by the reader.
    EventPending = true;
    EXPECT_EQ(NextEvent(), -1);
    EXPECT_FALSE(EventPending);
}

TEST_F(EventsTest, WaitKeyShowsTheCursorOnlyWhileWaiting)
{
    PostKeyDown(0, KEY_A, "a", 0);
    PostKeyDown(0, KEY_B, "b", 0);
    EXPECT_EQ(WaitKey(0), "a");
    EXPECT_EQ(window_table[0].TextCursorLevel, 0);

    auto reader = std::async(std::launch::async, [] { return WaitKey(0); });
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(reader.get(), "b");

    auto waiter = std::async(std::launch::async, [] { return WaitKey(0); });
    ASSERT_TRUE(wait_for([] { return WaitingForKey(); }));
    EXPECT_EQ(window_table[0].TextCursorLevel, 1);
    PostKeyDown(0, KEY_C, "c", 0);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), "c");
    EXPECT_EQ(window_table[0].TextCursorLevel, 0);
    EXPECT_FALSE(WaitingForKey());
}

TEST_F(EventsTest, WaitKeyGivesNulForASurrogateValue)
{
    // U+1CE83 lies beyond F1 by 0xD800 - 129, so its value is a surrogate code point.
    PostKeyDown(0, KEY_UNMAPPED, "\xF0\x9C\xBA\x83", 0);
    ASSERT_EQ(NextEvent(), 0xD800);
    PostKeyDown(0, KEY_UNMAPPED, "\xF0\x9C\xBA\x83", 0);
    EXPECT_EQ(WaitKey(0), std::string(1, '\0'));
}

TEST_F(EventsTest, PauseOnKeyIgnoresOtherLastKeys)
{
    PostText("\x13x");
    auto result = PauseOnKey(19, true);
    EXPECT_FALSE(result.first);
    EXPECT_EQ(EventQueueLength(), 2);
    ResetEvents();
    EXPECT_EQ(PauseOnKey(19, true), std::make_pair(false, int64_t{0}));
    // Without waiting the queue is flushed and the flag left for the reader.
    PostText("ab\x13");
    EXPECT_EQ(PauseOnKey(19, false), std::make_pair(true, int64_t{0}));
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_TRUE(EventPending);
    EXPECT_EQ(NextEvent(), -1);
    EXPECT_FALSE(EventPending);
}

TEST_F(EventsTest, CtrlSPausesUntilTheNextKeyAndConsumesIt)
{
    PostText("ab\x13");
    auto pause = std::async(std::launch::async, [] { return PauseOnKey(19, true); });
    ASSERT_TRUE(wait_for([] { return WaitingForKey(); }));
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_EQ(pause.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    PostKeyDown(0, KEY_X, "x", 0);
    ASSERT_EQ(pause.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(pause.get(), std::make_pair(true, int64_t{'x'}));
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_FALSE(EventPending);
}

// Characters the drivers type become the keys a keyboard would report.
TEST_F(EventsTest, ReportsOfTheDriverTranslateLikeAKeyboard)
{
    EXPECT_EQ(KeyReportFor(U'Q').modifiers, MOD_SHIFT);
    EXPECT_EQ(KeyReportFor(U'\n').key_code, KEY_RETURN);
    EXPECT_EQ(KeyReportFor(U'\xE4').key_code, KEY_UNMAPPED);
    const char32_t typed[] = {U'x', U'H', U'\n', 0x1B, U'\t', 0x7F, U'\xF6', U'='};
    const int64_t expected[] = {'x', 'H', 13, 27, 9, 127, 0xF6, '='};
    for (char32_t c : typed) {
        platform::KeyReport r = KeyReportFor(c);
        PostKeyDown(0, r.key_code, r.characters, r.modifiers);
    }
    for (int64_t value : expected)
        EXPECT_EQ(NextEvent(), value);
}

// Every key name through the key table: the character a US layout types on it (when any)
// leads back to the name, and its report gives the program code of the table row, so a name
// with a wrong position code fails here. Rows use the Option characters or the empty
// characters of a dead key wherever the table has a row, since only those depend on the code.
TEST_F(EventsTest, EveryKeyNameRoundTripsThroughTheKeyTable)
{
    enum Flag { NONE, CURSOR, FUNCTION };
    struct Row {
        uint16_t code;
        char32_t typed; // US-layout character of the key; 0 when KeyReportFor has none
        std::string chars;
        uint64_t mods;
        int64_t value;
        Flag flag;
    };
    const uint64_t OPT = MOD_OPTION;
    const uint64_t PAD = MOD_NUMERIC_PAD;
    std::vector<Row> rows = {
        {KEY_A, U'a', "å", OPT, 176, NONE},
        {KEY_S, U's', "‚", OPT, 168, NONE},
        {KEY_D, U'd', "∂", OPT, 173, NONE},
        {KEY_F, U'f', "ƒ", OPT, 130, NONE},
        {KEY_H, U'h', "ª", OPT, 131, NONE},
        {KEY_G, U'g', "g", 0, 'g', NONE},
        {KEY_Z, U'z', "z", 0, 'z', NONE},
        {KEY_X, U'x', "≈", OPT, 132, NONE},
        {KEY_C, U'c', "c", 0, 'c', NONE},
        {KEY_V, U'v', "√", OPT, 253, NONE},
        {KEY_B, U'b', "∫", OPT, 222, NONE},
        {KEY_Q, U'q', "q", 0, 'q', NONE},
        {KEY_W, U'w', "∑", OPT, 221, NONE},
        {KEY_E, U'e', "€", OPT, 164, NONE},
        {KEY_R, U'r', "r", 0, 'r', NONE},
        {KEY_Y, U'y', "Ω", OPT, 128, NONE},
        {KEY_T, U't', "†", OPT, 189, NONE},
        {KEY_O, U'o', "o", 0, 'o', NONE},
        {KEY_U, U'u', "", OPT, 175, NONE},
        {KEY_I, U'i', "⁄", OPT, 129, NONE},
        {KEY_P, U'p', "π", OPT, 240, NONE},
        {KEY_L, U'l', "\x0c", OPT | MOD_CONTROL, 0, NONE},
        {KEY_J, U'j', "º", OPT, 183, NONE},
        {KEY_K, U'k', "∆", OPT, 254, NONE},
        {KEY_N, U'n', "", OPT, 126, NONE},
        {KEY_M, U'm', "m", 0, 'm', NONE},
        {KEY_1, U'1', "1", 0, '1', NONE},
        {KEY_2, U'2', "“", OPT, 163, NONE},
        {KEY_3, U'3', "3", 0, '3', NONE},
        {KEY_4, U'4', "4", 0, '4', NONE},
        {KEY_5, U'5', "5", 0, '5', NONE},
        {KEY_6, U'6', "6", 0, '6', NONE},
        {KEY_7, U'7', "7", 0, '7', NONE},
        {KEY_8, U'8', "8", 0, '8', NONE},
        {KEY_9, U'9', "9", 0, '9', NONE},
        {KEY_0, U'0', "≠", OPT, 172, NONE},
        {KEY_ISO_SECTION, 0, "", 0, 94, NONE},
        {KEY_EQUAL, U'=', "", MOD_SHIFT, 96, NONE},
        {KEY_MINUS, U'-', "¿", OPT, 166, NONE},
        {KEY_RIGHT_BRACKET, U']', "]", 0, ']', NONE},
        {KEY_LEFT_BRACKET, U'[', "•", OPT, 184, NONE},
        {KEY_QUOTE, U'\'', "'", 0, '\'', NONE},
        {KEY_SEMICOLON, U';', "œ", OPT, 190, NONE},
        {KEY_BACKSLASH, U'\\', "‘", OPT, 180, NONE},
        {KEY_COMMA, U',', "∞", OPT, 255, NONE},
        {KEY_SLASH, U'/', "–", OPT, 154, NONE},
        {KEY_PERIOD, U'.', "…", OPT, 191, NONE},
        {KEY_SPACE, U' ', " ", 0, ' ', NONE},
        {KEY_GRAVE, U'`', "≥", OPT, 198, NONE},
        {KEY_RETURN, U'\r', "\r", 0, 13, NONE},
        {KEY_TAB, U'\t', "\x19", MOD_SHIFT, 20, NONE},
        {KEY_DELETE, 0x7F, "", 0, 127, NONE},
        {KEY_ESCAPE, 0x1B, "\x1b", 0, 27, NONE},
        {KEY_FORWARD_DELETE, 0, "", 0, 7, NONE},
        {KEY_HOME, 0, "", 0, 2, CURSOR},
        {KEY_PAGE_UP, 0, "", 0, 18, CURSOR},
        {KEY_END, 0, "", 0, 5, CURSOR},
        {KEY_PAGE_DOWN, 0, "", 0, 3, CURSOR},
        {KEY_LEFT, 0, "", 0, 8, CURSOR},
        {KEY_RIGHT, 0, "", 0, 21, CURSOR},
        {KEY_DOWN, 0, "", 0, 10, CURSOR},
        {KEY_UP, 0, "", 0, 11, CURSOR},
        {KEY_PAD_DECIMAL, 0, ",", PAD, ',', NONE},
        {KEY_PAD_MULTIPLY, 0, "*", PAD, '*', NONE},
        {KEY_PAD_PLUS, 0, "+", PAD, '+', NONE},
        {KEY_PAD_CLEAR, 0, "", PAD, 27, NONE},
        {KEY_PAD_DIVIDE, 0, "/", PAD, '/', NONE},
        {KEY_PAD_ENTER, 0, "", PAD, 13, NONE},
        {KEY_PAD_MINUS, 0, "-", PAD, '-', NONE},
        {KEY_PAD_EQUALS, 0, "=", PAD, '=', NONE},
        {KEY_PAD_0, 0, "0", PAD | OPT, 216, NONE},
        {KEY_PAD_1, 0, "1", PAD | OPT, 185, NONE},
        {KEY_PAD_2, 0, "2", PAD | OPT, 178, NONE},
        {KEY_PAD_3, 0, "3", PAD | OPT, 179, NONE},
        {KEY_PAD_4, 0, "4", PAD | OPT, 170, NONE},
        {KEY_PAD_5, 0, "5", PAD | OPT, 215, NONE},
        {KEY_PAD_6, 0, "6", PAD | OPT, 186, NONE},
        {KEY_PAD_7, 0, "7", PAD | OPT, 229, NONE},
        {KEY_PAD_8, 0, "8", PAD | OPT, 230, NONE},
        {KEY_PAD_9, 0, "9", PAD | OPT, 188, NONE},
    };
    const uint16_t function_keys[] = {KEY_F1,  KEY_F2,  KEY_F3,  KEY_F4,  KEY_F5,
                                      KEY_F6,  KEY_F7,  KEY_F8,  KEY_F9,  KEY_F10,
                                      KEY_F11, KEY_F12, KEY_F13, KEY_F14, KEY_F15};
    for (int n = 1; n <= 15; ++n) {
        const char32_t c = platform::function_key_character(n);
        // UTF-8 of a three-byte private-use character.
        const std::string chars = {static_cast<char>(0xE0 | (c >> 12)),
                                   static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                                   static_cast<char>(0x80 | (c & 0x3F))};
        rows.push_back({function_keys[n - 1], 0, chars, 0, 128 + n, FUNCTION});
    }

    // Each name is covered once, and no two names share a code.
    std::set<uint16_t> named;
    for (const platform::NamedKey& key : platform::NAMED_KEYS)
        EXPECT_TRUE(named.insert(key.code).second) << key.name << " shares its code";
    std::set<uint16_t> covered;
    for (const Row& row : rows)
        covered.insert(row.code);
    EXPECT_EQ(covered, named);
    EXPECT_EQ(rows.size(), named.size());

    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "key code " << row.code);
        if (row.typed != 0) {
            EXPECT_EQ(KeyReportFor(row.typed).key_code, row.code);
        }
        PostKeyDown(0, row.code, row.chars, row.mods);
        ASSERT_EQ(NextEvent(), row.value);
        const t_Event e = CurrentEvent();
        EXPECT_EQ(e.Index, row.code);
        EXPECT_EQ(e.CursorKeyPressed, row.flag == CURSOR);
        EXPECT_EQ(e.FunctionKeyPressed, row.flag == FUNCTION);
    }
}

} // namespace
