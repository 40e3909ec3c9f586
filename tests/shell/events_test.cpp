// tests/shell/events_test.cpp: key translation, queue order and the three readers.
#include "shell/events.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/diag.h"
#include "platform/platform.h"
#include "tests/shell/shell_test_window.h"
#include "toolkit/window.h"

using platform::MOD_CONTROL;
using platform::MOD_OPTION;
using platform::MOD_SHIFT;

namespace {

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override { shell_test::set_up_window(); }
    void TearDown() override { ResetEvents(); }
};

// Waits at most two seconds for a condition polled by another thread.
template <typename F>
bool eventually(F condition)
{
    for (int i = 0; i < 200; ++i) {
        if (condition())
            return true;
        platform::sleep_ms(10);
    }
    return condition();
}

TEST_F(EventsTest, PlainLetterQueuesItsCharacter)
{
    PostKeyDown(0, 0, "a", 0);
    ASSERT_EQ(EventQueueLength(), 1);
    EXPECT_EQ(WaitKey(0), "a");
    t_Event e = CurrentEvent();
    EXPECT_EQ(e.Kind, 1);
    EXPECT_EQ(e.Index, 0);
    EXPECT_EQ(e.Value, 97);
    EXPECT_EQ(e.Description, "a");
    EXPECT_FALSE(e.CursorKeyPressed);
    EXPECT_FALSE(e.FunctionKeyPressed);
    EXPECT_EQ(e.Window, 0);
    EXPECT_GT(e.Time, 0);
}

TEST_F(EventsTest, KeysTranslateToTheirValuesAndFlags)
{
    enum Flag { ANY, CURSOR, NOT_CURSOR, FUNCTION, OPTION };
    struct Case {
        int64_t code;
        const char* chars;
        uint64_t mods;
        int64_t value;
        Flag flag;
    } cases[] = {
        {123, "\xEF\x9C\x82", 0, 8, CURSOR}, // Left arrow reports U+F702
        {126, "\xEF\x9C\x80", 0, 11, ANY},
        {115, "", 0, 2, CURSOR},
        {51, "\x7f", 0, 127, NOT_CURSOR},
        {117, "\xEF\x9C\xA8", 0, 7, NOT_CURSOR}, // Forward Delete
        {76, "\x03", 0, 13, ANY},                 // keypad Enter
        {71, "", 0, 27, ANY},                      // keypad Clear
        {122, "\xEF\x9C\x84", 0, 129, FUNCTION}, // F1: U+F704
        {120, "\xEF\x9C\x85", 0, 130, ANY},      // F2
        // Option characters of the German layout: å, π, ∏, €.
        {0, "\xC3\xA5", MOD_OPTION, 176, OPTION},
        {35, "\xCF\x80", MOD_OPTION, 240, ANY},
        {35, "\xE2\x88\x8F", MOD_OPTION, 208, ANY},
        {14, "\xE2\x82\xAC", MOD_OPTION, 164, ANY},
        // Another layout's Option-A falls through to the character, which is ours below 256.
        {0, "\xC3\xA6", MOD_OPTION, 0xE6, ANY},
        // Rows that need no character or a modifier.
        {24, "", 0, 180, ANY},
        {24, "", MOD_SHIFT, 96, ANY},
        {24, "=", 0, '=', ANY},
        {45, "", MOD_OPTION, 126, ANY},
        {37, "\x0c", MOD_OPTION | MOD_CONTROL, 0, ANY},
        {37, "\x0c", MOD_CONTROL, 12, ANY},
        {48, "\x19", MOD_SHIFT, 20, ANY}, // Shift-Tab
        {48, "\t", 0, 9, ANY},
        {83, "1", MOD_OPTION, 185, ANY}, // keypad 1
        {83, "1", 0, '1', ANY},
        {92, "9", MOD_OPTION, 188, ANY},
        {91, "8", 0, '8', ANY},
        {33, "", 0, 0, ANY}, // dead key without a row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.code << " mods " << c.mods);
        PostKeyDown(0, c.code, c.chars, c.mods);
        EXPECT_EQ(NextEvent(), c.value);
        const t_Event e = CurrentEvent();
        if (c.flag == CURSOR || c.flag == NOT_CURSOR) {
            EXPECT_EQ(e.CursorKeyPressed, c.flag == CURSOR);
        } else if (c.flag == FUNCTION) {
            EXPECT_TRUE(e.FunctionKeyPressed && !e.CursorKeyPressed);
        } else if (c.flag == OPTION) {
            EXPECT_TRUE(e.OptionPressed);
        }
    }
}

TEST_F(EventsTest, ControlKeypadRedirectsOutputAndQueuesNothing)
{
    PostKeyDown(0, 91, "8", MOD_CONTROL);
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_FALSE(EventPending);
    EXPECT_EQ(window_table[0].TextRedirectOutput, 2);
    PostKeyDown(0, 89, "7", MOD_CONTROL);
    EXPECT_EQ(window_table[0].TextRedirectOutput, 0);
    PostKeyDown(0, 92, "9", MOD_CONTROL);
    EXPECT_EQ(window_table[0].TextRedirectOutput, 1);
    EXPECT_EQ(EventQueueLength(), 0);
}

TEST_F(EventsTest, CharactersBeyondOurCodesQueueNothing)
{
    PostKeyDown(0, 37, "\xC5\x82", MOD_OPTION); // ł
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_FALSE(EventPending);
}

TEST_F(EventsTest, ModifierStateAndKeyIsDown)
{
    PostModifiers(MOD_SHIFT | MOD_OPTION | platform::MOD_FN);
    EXPECT_TRUE(ShiftDown);
    EXPECT_TRUE(OptionDown);
    EXPECT_TRUE(FnDown);
    EXPECT_FALSE(ControlDown);
    EXPECT_EQ(EventQueueLength(), 0);
    PostKeyDown(0, 0, "a", MOD_CONTROL | (1ull << 21));
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
    PostKeyDown(3, 0, "a", 0);
    EXPECT_EQ(capture.text(), "viewKeyDown: Graphic window (3) not initialized.\n");
    EXPECT_EQ(EventQueueLength(), 0);
    window_table[0].IgnoreEvents = true;
    PostKeyDown(0, 0, "a", 0);
    EXPECT_EQ(EventQueueLength(), 0);
    window_table[0].IgnoreEvents = false;
    EXPECT_TRUE(KeyIsDown);
    PostKeyUp();
    MemoryReady = false; // keys before the memory is ready are dropped silently
    PostKeyDown(0, 0, "a", MOD_SHIFT);
    MemoryReady = true;
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_TRUE(ShiftDown);
    EXPECT_TRUE(KeyIsDown);
    EXPECT_EQ(capture.text(), "viewKeyDown: Graphic window (3) not initialized.\n");
}

TEST_F(EventsTest, QueueKeepsTypingOrder)
{
    PostKeyDown(0, 0, "a", 0);
    PostKeyDown(0, 11, "b", 0);
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
    PostKeyDown(0, 0, "a", 0);
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
    PostKeyDown(0, 0, "a", 0);
    PostKeyDown(0, 11, "b", 0);
    EXPECT_EQ(WaitKey(0), "a");
    EXPECT_EQ(window_table[0].TextCursorLevel, 0);

    auto reader = std::async(std::launch::async, [] { return WaitKey(0); });
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(reader.get(), "b");

    auto waiter = std::async(std::launch::async, [] { return WaitKey(0); });
    ASSERT_TRUE(eventually([] { return WaitingForKey(); }));
    EXPECT_EQ(window_table[0].TextCursorLevel, 1);
    PostKeyDown(0, 8, "c", 0);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), "c");
    EXPECT_EQ(window_table[0].TextCursorLevel, 0);
    EXPECT_FALSE(WaitingForKey());
}

TEST_F(EventsTest, WaitKeyGivesNulForASurrogateValue)
{
    // U+1CE83 lies beyond F1 by 0xD800 - 129, so its value is a surrogate code point.
    PostKeyDown(0, 127, "\xF0\x9C\xBA\x83", 0);
    ASSERT_EQ(NextEvent(), 0xD800);
    PostKeyDown(0, 127, "\xF0\x9C\xBA\x83", 0);
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
    ASSERT_TRUE(eventually([] { return WaitingForKey(); }));
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_EQ(pause.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    PostKeyDown(0, 7, "x", 0);
    ASSERT_EQ(pause.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(pause.get(), std::make_pair(true, int64_t{'x'}));
    EXPECT_EQ(EventQueueLength(), 0);
    EXPECT_FALSE(EventPending);
}

TEST(KeyReportFor, CharactersBecomeTheirKeys)
{
    platform::KeyReport a = KeyReportFor(U'a');
    EXPECT_EQ(a.key_code, 0);
    EXPECT_EQ(a.characters, "a");
    EXPECT_EQ(a.modifiers, 0u);
    platform::KeyReport big_q = KeyReportFor(U'Q');
    EXPECT_EQ(big_q.key_code, 12);
    EXPECT_EQ(big_q.modifiers, MOD_SHIFT);
    EXPECT_EQ(KeyReportFor(U'\n').key_code, KEY_CODE_RETURN);
    EXPECT_EQ(KeyReportFor(U'\r').characters, "\r");
    EXPECT_EQ(KeyReportFor(0x1B).key_code, KEY_CODE_ESCAPE);
    EXPECT_EQ(KeyReportFor(U'\t').key_code, KEY_CODE_TAB);
    EXPECT_EQ(KeyReportFor(0x7F).key_code, KEY_CODE_DELETE);
    EXPECT_EQ(KeyReportFor(U'5').key_code, 23);
    platform::KeyReport umlaut = KeyReportFor(U'ä');
    EXPECT_EQ(umlaut.key_code, KEY_CODE_UNMAPPED);
    EXPECT_EQ(umlaut.characters, "\xC3\xA4");
}

TEST_F(EventsTest, ReportsOfTheDriverTranslateLikeAKeyboard)
{
    const char32_t typed[] = {U'x', U'H', U'\n', 0x1B, U'\t', 0x7F, U'ö', U'='};
    const int64_t expected[] = {'x', 'H', 13, 27, 9, 127, 0xF6, '='};
    for (char32_t c : typed) {
        platform::KeyReport r = KeyReportFor(c);
        PostKeyDown(0, r.key_code, r.characters, r.modifiers);
    }
    for (int64_t value : expected)
        EXPECT_EQ(NextEvent(), value);
}

} // namespace
