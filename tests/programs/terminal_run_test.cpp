// Key decoding of the terminal front end.
#include <gtest/gtest.h>

#include "programs/terminal_run.h"
#include "shell/events.h"

namespace {

std::vector<platform::KeyReport> take_all(std::string& input)
{
    std::vector<platform::KeyReport> keys;
    platform::KeyReport report;
    while (TakeTerminalKey(input, report))
        keys.push_back(report);
    return keys;
}

TEST(TerminalKeys, CursorAndEditingSequences)
{
    std::string input = "\x1b[A\x1b[B\x1b[C\x1b[D\x1bOH\x1b[4~\x1b[3~\x1b[5~\x1b[6~";
    const std::vector<platform::KeyReport> keys = take_all(input);
    using namespace platform::keys;
    const std::vector<uint16_t> expected = {KEY_UP,       KEY_DOWN, KEY_RIGHT,          KEY_LEFT,
                                            KEY_HOME,     KEY_END,  KEY_FORWARD_DELETE, KEY_PAGE_UP,
                                            KEY_PAGE_DOWN};
    ASSERT_EQ(keys.size(), expected.size());
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i].key_code, expected[i]) << "key " << i;
    EXPECT_TRUE(input.empty());
}

TEST(TerminalKeys, PlainCharactersReturnEscapeAndBackspace)
{
    std::string input = "a\r\x1b\x7f\x08\xC3\xA4";
    const std::vector<platform::KeyReport> keys = take_all(input);
    ASSERT_EQ(keys.size(), 6u);
    EXPECT_EQ(keys[0].characters, "a");
    EXPECT_EQ(keys[1].key_code, platform::KEY_RETURN);
    EXPECT_EQ(keys[2].key_code, platform::KEY_ESCAPE);
    EXPECT_EQ(keys[3].key_code, platform::KEY_DELETE);
    EXPECT_EQ(keys[4].key_code, platform::KEY_DELETE);
    EXPECT_EQ(keys[5].characters, "\xC3\xA4");
}

TEST(TerminalKeys, IncompleteInputWaitsForTheRest)
{
    std::string input = "\x1b[3";
    platform::KeyReport report;
    EXPECT_FALSE(TakeTerminalKey(input, report));
    EXPECT_EQ(input, "\x1b[3");
    input += "~";
    ASSERT_TRUE(TakeTerminalKey(input, report));
    EXPECT_EQ(report.key_code, platform::KEY_FORWARD_DELETE);

    input = "\xC3";
    EXPECT_FALSE(TakeTerminalKey(input, report));
    input += "\xB6";
    ASSERT_TRUE(TakeTerminalKey(input, report));
    EXPECT_EQ(report.characters, "\xC3\xB6");
}

} // namespace
