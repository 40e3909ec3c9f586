// tests/programs/program_fixture.h: an 80 x 25 main window for calling the algorithm
// programs directly, and the end-to-end run of the real program with typed keys.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/objcode.h"
#include "platform/diag.h"
#include "platform/utf8.h"
#include "tests/support/test_support.h"
#include "tests/toolkit/text_fixture.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"
#include "toolkit/window_setup.h"

namespace program_test {

// The main window of the application: 80 columns and 25 lines, here with the tiny font.
class ProgramWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_support::fresh_toolkit();
        DiagCapture quiet;
        fresh_window();
        ASSERT_TRUE(window_table[0].Initialized) << quiet.text();
        ASSERT_EQ(window_table[0].TextWidth, 80);
        ASSERT_EQ(window_table[0].TextHeight, 25);
    }
    void TearDown() override
    {
        objcode_stop();
        toolkit::stop_auto_update();
        toolkit::shell_hooks() = toolkit::ShellHooks{};
    }

    // An empty main window again, for one more run of a program within a test.
    static void fresh_window()
    {
        toolkit::reset_video_memory();
        text_test::make_view(0);
        t_InitWindow(0, 8, false, 80 * 4, 25 * 4, 0, 0, text_test::tiny_font(), true);
    }

    // The character plane line by line, each 8-bit code as its Unicode character in UTF-8,
    // trailing blanks removed; trailing empty lines dropped.
    std::vector<std::string> rows() const
    {
        const t_Window& w = window_table[0];
        std::vector<std::string> out;
        for (int64_t line = 1; line <= w.TextHeight; ++line) {
            std::string row;
            for (int64_t column = 1; column <= w.TextWidth; ++column)
                platform::append_utf8(row, toolkit::cell_char(w, column, line));
            row.erase(row.find_last_not_of(' ') + 1);
            out.push_back(row);
        }
        while (!out.empty() && out.back().empty())
            out.pop_back();
        return out;
    }

    // The raw cells of one line, blanks kept, for field layouts.
    std::string raw_row(int64_t line) const { return test_support::char_row(0, line); }
};

// Splits a listing line into its 8-character fields.
inline std::vector<std::string> fields(const std::string& row)
{
    std::vector<std::string> out;
    for (size_t i = 0; i + 8 <= row.size(); i += 8)
        out.push_back(row.substr(i, 8));
    return out;
}

// Everything the code trace holds so far.
inline std::vector<uint8_t> recorded()
{
    const uint8_t* data = objcode_data();
    return data == nullptr ? std::vector<uint8_t>{}
                           : std::vector<uint8_t>(data, data + objcode_position());
}

using test_support::add_gate;
using test_support::HeadlessRun;
using test_support::run_headless;
using test_support::slurp;

} // namespace program_test
