// tests/platform/text_lines_test.cpp: the line index of the text windows, their shown columns
// and the clipboard's form of their text.
#include "platform/text_lines.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using platform::TextLines;

std::vector<std::string> lines_of(const TextLines& text)
{
    std::vector<std::string> lines;
    for (int64_t i = 0; i < text.line_count(); ++i)
        lines.emplace_back(text.line(i));
    return lines;
}

using Lines = std::vector<std::string>;

TEST(TextLines, EachLineEndAndNoneAtTheEnd)
{
    TextLines text;
    EXPECT_EQ(text.line_count(), 0);
    text.set("eins\rzwei\nd\r\n\r\nvier");
    EXPECT_EQ(lines_of(text), (Lines{"eins", "zwei", "d", "", "vier"}));
    EXPECT_EQ(text.line_offset(4), 15u);
    EXPECT_EQ(text.line_offset(5), text.bytes().size());
    // A final line end opens no line; a lone one is one empty line.
    text.set("a\r");
    EXPECT_EQ(lines_of(text), (Lines{"a"}));
    text.set("\n");
    EXPECT_EQ(lines_of(text), (Lines{""}));
    text.set("");
    EXPECT_EQ(text.line_count(), 0);
    EXPECT_EQ(text.line(0), "");
}

TEST(TextLines, AppendsGiveTheIndexOfTheWholeText)
{
    // Every cut of the text into two appends, through a CR LF and a UTF-8 sequence too.
    const std::string whole = "$0000\x19 F0\r\n\xE2\x82\xACz\r\rc\td\n";
    TextLines once;
    once.set(whole);
    EXPECT_EQ(lines_of(once), (Lines{"$0000\x19 F0", "\xE2\x82\xACz", "", "c\td"}));
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        TextLines text;
        text.set("alt\r");
        text.clear();
        text.append(whole.substr(0, cut));
        text.append(whole.substr(cut));
        EXPECT_EQ(text.bytes(), whole);
        EXPECT_EQ(lines_of(text), lines_of(once));
        EXPECT_EQ(text.widest_columns(), once.widest_columns());
    }
}

TEST(TextLines, WidestLineInShownColumns)
{
    TextLines text;
    text.set("\xC3\xA4\xC3\xB6\rab\tc\r");
    EXPECT_EQ(text.widest_columns(), 9); // "ab", the Tab to column 8, "c"
    text.append("0123456789");           // a last line without its end counts too
    EXPECT_EQ(text.widest_columns(), 10);
    for (int64_t i = 0; i < text.line_count(); ++i)
        EXPECT_LE(static_cast<int64_t>(platform::shown_columns(text.line(i)).size()),
                  text.widest_columns());
}

TEST(ShownColumns, TabsExpandAndControlCodesAreBlanks)
{
    EXPECT_EQ(platform::shown_columns("$0\x19 F0\x7F"), U"$0  F0 ");
    EXPECT_EQ(platform::shown_columns("a\tb"), U"a       b");
    EXPECT_EQ(platform::shown_columns("\xE2\x82\xAC\xFF"), U"\u20AC\u00FF");
    // Back from columns to bytes: inside the Tab is the Tab, past the end is the end.
    EXPECT_EQ(platform::column_offset("a\tb", 3), 1u);
    EXPECT_EQ(platform::column_offset("a\tb", 8), 2u);
    EXPECT_EQ(platform::column_offset("\xE2\x82\xACx", 1), 3u);
    EXPECT_EQ(platform::column_offset("ab", 5), 2u);
}

// Other programs take a clipboard's lines at line feeds and show control bytes as junk.
TEST(ClipboardText, LineFeedsAndNoControlBytes)
{
    EXPECT_EQ(platform::clipboard_text("$00000000\x19 F0\r$00000001\x19 A1\r"),
              "$00000000  F0\n$00000001  A1\n");
    EXPECT_EQ(platform::clipboard_text("a\r\nb\nc\td\x1b\x7f\x01"), "a\nb\nc\td   ");
    EXPECT_EQ(platform::clipboard_text("\xC3\xA4\xE2\x82\xAC"), "\xC3\xA4\xE2\x82\xAC");
}

} // namespace
