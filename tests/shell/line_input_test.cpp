// tests/shell/line_input_test.cpp: the field editor through scripted keys.
#include "shell/line_input.h"

#include <gtest/gtest.h>

#include "platform/diag.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "shell/events.h"
#include "tests/shell/shell_test_window.h"
#include "toolkit/cursor.h"
#include "toolkit/window.h"

namespace {

class LineInputTest : public ::testing::Test {
protected:
    void SetUp() override { shell_test::set_up_window(40, 10); }
    void TearDown() override { ResetEvents(); }

    // Queues keys, then runs a form with prompt "Z: " on line 1.
    std::string form(const std::string& keys, int64_t mode, int64_t max = 25,
                     const std::string& default_text = "")
    {
        PostText(keys);
        return t_InputForm(0, "Z: ", default_text, false, mode, max);
    }
    const t_Window& win() const { return window_table[0]; }
};

TEST_F(LineInputTest, EachModeTakesItsOwnKeys)
{
    struct Case {
        const char* keys;
        int64_t mode;
        const char* want;
    } cases[] = {
        {"1-2\r", INPUT_INTEGER, "12"}, // a minus only first
        {"-5x\r", INPUT_INTEGER, "-5"},
        {"3.5E-2\r", INPUT_DECIMAL, "3,5e-2"}, // a comma and a small e are stored
        {"1,2,3ee\r", INPUT_DECIMAL, "1,23e"},
        {"-1-\r", INPUT_DECIMAL, "-1"},
        {"-15-1000-\r", INPUT_RANGE, "15-1000"}, // a minus inside, once
        // Code 30 followed by 6, 5 and a letter enters A and consumes the letter.
        {"ab\x1e" "65x!\r", INPUT_ANY, "abA!"},
        {"\x1e" "066z\r", INPUT_ANY, "Bz"}, // three digits end the entry by themselves
        {"\x1eqr\r", INPUT_ANY, "r"},       // a first key that is no digit enters nothing
        {"\x1e" "7.\r", INPUT_ANY, ""},     // control codes only in mode 1
        {"\x1e" "7.\r", INPUT_ANY_CONTROL, "\x07"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(form(c.keys, c.mode), c.want) << "mode " << c.mode << ", keys " << c.keys;
}

TEST_F(LineInputTest, DefaultIsCutAndEscapeEmpties)
{
    PostText("\r");
    EXPECT_EQ(t_InputForm(0, "Z: ", "abcdef", false, INPUT_ANY, 3), "abc");
    EXPECT_EQ(form("\x1b", INPUT_ANY, 25, "42"), "");
    EXPECT_FALSE(win().InputFinished);
    EXPECT_EQ(shell_test::line_text(2), "Z:");
    EXPECT_EQ(form("xyz\r", INPUT_ANY, 0, "abc"), "");
}

TEST_F(LineInputTest, SetupOnlyLeavesTheFieldToTheCaller)
{
    EXPECT_EQ(t_InputForm(0, "Z: ", "12", true, INPUT_INTEGER, 25), "12");
    EXPECT_EQ(win().InputCursorPos, 2);
    t_InputEdit(0, '3');
    t_InputEdit(0, 1); // Ctrl-A: start
    t_InputEdit(0, '-');
    EXPECT_EQ(win().InputString, "-123");
    EXPECT_EQ(shell_test::line_text(1), "Z: -123");
}

TEST_F(LineInputTest, CursorMovementAndWords)
{
    t_InputForm(0, "Z: ", "ab cd ef", true, INPUT_ANY, 25);
    t_InputEdit(0, 2); // Home
    EXPECT_EQ(win().InputCursorPos, 0);
    t_InputEdit(0, 8); // Left at 0 stays
    EXPECT_EQ(win().InputCursorPos, 0);
    t_InputEdit(0, 4); // word right: after "ab "
    EXPECT_EQ(win().InputCursorPos, 3);
    t_InputEdit(0, 4);
    EXPECT_EQ(win().InputCursorPos, 6);
    t_InputEdit(0, 5); // End
    EXPECT_EQ(win().InputCursorPos, 8);
    t_InputEdit(0, 21); // Right at the end stays
    EXPECT_EQ(win().InputCursorPos, 8);
    t_InputEdit(0, 19); // word left
    EXPECT_EQ(win().InputCursorPos, 6);
    t_InputEdit(0, 19);
    EXPECT_EQ(win().InputCursorPos, 3);
    t_InputEdit(0, 8);
    t_InputEdit(0, 31);
    EXPECT_EQ(win().TextHpos, 4 + 2);
    t_InputEdit(0, 10); // Down arrow: end
    EXPECT_EQ(win().InputCursorPos, 8);
}

TEST_F(LineInputTest, DeletionKeys)
{
    t_InputForm(0, "Z: ", "abcd", true, INPUT_ANY, 25);
    t_InputEdit(0, 7); // Forward Delete at the end: nothing
    EXPECT_EQ(win().InputString, "abcd");
    t_InputEdit(0, 8);
    t_InputEdit(0, 127); // Backspace deletes c
    EXPECT_EQ(win().InputString, "abd");
    EXPECT_EQ(win().InputCursorPos, 2);
    EXPECT_EQ(shell_test::line_text(1), "Z: abd");
    t_InputEdit(0, 8);
    t_InputEdit(0, 7); // Forward Delete deletes b
    EXPECT_EQ(win().InputString, "ad");
    t_InputEdit(0, 2);
    t_InputEdit(0, 127); // Backspace at 0: nothing
    EXPECT_EQ(win().InputString, "ad");
    EXPECT_EQ(win().InputCursorPos, 0);
    t_InputEdit(0, 21);
    t_InputEdit(0, 24); // Ctrl-X: left of the cursor goes
    EXPECT_EQ(win().InputString, "d");
    EXPECT_EQ(win().InputCursorPos, 0);
    EXPECT_EQ(shell_test::line_text(1), "Z: d");
    t_InputEdit(0, 26); // Ctrl-Z clears
    EXPECT_EQ(win().InputString, "");
    EXPECT_EQ(shell_test::line_text(1), "Z:");
}

TEST_F(LineInputTest, FieldNeverReachesTheLastColumn)
{
    window_table[0].TextHpos = 36; // the prompt "Z: " ends at column 38
    t_InputForm(0, "Z: ", "", true, INPUT_ANY, 25);
    ASSERT_EQ(win().InputHpos, 39); // TextLastColumn is 40
    for (char c : std::string("abc"))
        t_InputEdit(0, c);
    EXPECT_EQ(win().InputString, "a");
    window_table[0].TextHpos = 1;
    window_table[0].TextVpos = 3;
    t_InputForm(0, "", "", true, INPUT_ANY, 2);
    for (char c : std::string("abc"))
        t_InputEdit(0, c);
    EXPECT_EQ(win().InputString, "ab");
}

TEST_F(LineInputTest, CopyAndPasteThroughThePasteboard)
{
    t_InputForm(0, "Z: ", "x\x1b" "20AC\x1dy", true, INPUT_ANY, 25);
    t_InputEdit(0, 12);
    std::optional<std::string> copied;
    platform::run_on_event_thread(
        [&] { copied = platform::window_system().pasteboard_text(); }, true);
    EXPECT_EQ(copied, "x\xE2\x82\xACy");

    platform::run_on_event_thread([] { platform::window_system().set_pasteboard_text("12\n34"); },
                                  true);
    // The first line goes into the field at once; the mode refuses what it does not take.
    t_InputForm(0, "Z: ", "", true, INPUT_INTEGER, 25);
    t_InputEdit(0, 22);
    EXPECT_EQ(win().InputString, "12");
    EXPECT_EQ(EventQueueLength(), 0);
    t_Cr(0);

    // A character above U+00FF is dropped with one line; nothing of the paste is left
    // queued for the menu, so a pasted letter cannot start a command.
    const char* pastes[] = {"15\xE2\x82\xAC", ("\xE2\x80\x9E" "667\xE2\x80\x9C"), "D\xC5\x82"};
    const char* fields[] = {"15", "667", "D"};
    for (size_t i = 0; i < 3; ++i) {
        platform::run_on_event_thread(
            [&] { platform::window_system().set_pasteboard_text(pastes[i]); }, true);
        DiagCapture notice;
        EXPECT_EQ(form("\x16\r", INPUT_ANY), fields[i]) << pastes[i];
        EXPECT_EQ(EventQueueLength(), 0);
        EXPECT_NE(notice.text().find("ohne Entsprechung im Zeichensatz ausgelassen"),
                  std::string::npos);
        t_Cr(0);
    }
    ResetEvents();
}

} // namespace
