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
    EXPECT_EQ(CurrentEvent().Kind, 1);
    EXPECT_EQ(CurrentEvent().Description, "a");
    EXPECT_GT(CurrentEvent().Time, 0);
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

// Typing every printable character the drivers know gives that character back, and a
// sample of table rows (Option characters, dead keys, cursor, keypad and function keys) gives
// its program code, so a name with a wrong position code fails here.
TEST_F(EventsTest, KeyNamesRoundTripThroughTheKeyTable)
{
    std::set<uint16_t> named;
    for (const platform::NamedKey& key : platform::NAMED_KEYS)
        EXPECT_TRUE(named.insert(key.code).second) << key.name << " shares its code";
    for (char32_t c = 0x20; c < 0x7F; ++c) {
        const platform::KeyReport r = KeyReportFor(c);
        PostKeyDown(0, r.key_code, r.characters, r.modifiers);
        EXPECT_EQ(NextEvent(), static_cast<int64_t>(c)) << static_cast<char>(c);
    }
    EXPECT_EQ(KeyReportFor(U'\n').key_code, KEY_RETURN);
    EXPECT_EQ(KeyReportFor(U'\xE4').key_code, KEY_UNMAPPED);

    enum Flag { NONE, CURSOR, FUNCTION };
    const struct {
        uint16_t code;
        std::string chars;
        uint64_t mods;
        int64_t value;
        Flag flag;
    } rows[] = {
        {KEY_A, "å", MOD_OPTION, 176, NONE},
        {KEY_Y, "Ω", MOD_OPTION, 128, NONE},
        {KEY_U, "", MOD_OPTION, 175, NONE},
        {KEY_0, "≠", MOD_OPTION, 172, NONE},
        {KEY_ISO_SECTION, "", 0, 94, NONE},
        {KEY_EQUAL, "", MOD_SHIFT, 96, NONE},
        {KEY_TAB, "\x19", MOD_SHIFT, 20, NONE},
        {KEY_DELETE, "", 0, 127, NONE},
        {KEY_FORWARD_DELETE, "", 0, 7, NONE},
        {KEY_HOME, "", 0, 2, CURSOR},
        {KEY_PAGE_DOWN, "", 0, 3, CURSOR},
        {KEY_UP, "", 0, 11, CURSOR},
        {KEY_PAD_ENTER, "", MOD_NUMERIC_PAD, 13, NONE},
        {KEY_PAD_DECIMAL, ",", MOD_NUMERIC_PAD, ',', NONE},
        {KEY_PAD_7, "7", MOD_NUMERIC_PAD | MOD_OPTION, 229, NONE},
        {KEY_F1, "\xEF\x9C\x84", 0, 129, FUNCTION},
        {KEY_F15, "\xEF\x9C\x92", 0, 143, FUNCTION},
        // Without the modifier or character a row needs: the character, ours below 256.
        {KEY_PAD_ENTER, "\x03", 0, 13, NONE},
        {KEY_PAD_CLEAR, "", 0, 27, NONE},
        {KEY_P, "\xE2\x88\x8F", MOD_OPTION, 208, NONE}, // Option-Shift-P
        {KEY_A, "\xC3\xA6", MOD_OPTION, 0xE6, NONE},    // another layout's Option-A
        {KEY_EQUAL, "", 0, 180, NONE},
        {KEY_L, "\x0c", MOD_CONTROL, 12, NONE},
        {KEY_LEFT_BRACKET, "", 0, 0, NONE}, // a dead key without a row
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "key code " << row.code);
        PostKeyDown(0, row.code, row.chars, row.mods);
        ASSERT_EQ(NextEvent(), row.value);
        const t_Event e = CurrentEvent();
        EXPECT_EQ(e.Index, row.code);
        EXPECT_EQ(e.CursorKeyPressed, row.flag == CURSOR);
        EXPECT_EQ(e.FunctionKeyPressed, row.flag == FUNCTION);
        EXPECT_EQ(e.OptionPressed, (row.mods & MOD_OPTION) != 0);
    }
    // Characters beyond our codes (here \u0142) queue nothing.
    PostKeyDown(0, KEY_L, "\xC5\x82", MOD_OPTION);
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_FALSE(EventPending);
}

} // namespace
