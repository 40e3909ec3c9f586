// tests/toolkit/text_fixture.h: a fresh video memory and tiny text windows for the text tests.
#pragma once

#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"
#include "toolkit/font.h"
#include "toolkit/glyphs.h"
#include "toolkit/render.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/window.h"
#include "toolkit/window_setup.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace text_test {

using test_support::tiny_font;

inline void make_view(uint8_t win)
{
    test_support::build_window(win, platform::WindowKind::Graphic, {0, 0, 400, 300}, false, false);
}

class TextWindowTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        test_support::fresh_toolkit();
        toolkit::shell_hooks().pause_on_key = [this](int64_t code, bool wait) {
            if (code == 19 && wait)
                ++pause_checks;
        };
    }
    void TearDown() override
    {
        toolkit::stop_auto_update();
        toolkit::shell_hooks() = toolkit::ShellHooks{};
    }

    // Sets up window win with a 4 x 8 tiny font: width/4 columns, height/8 lines (8 x 4).
    void open(uint8_t win, int64_t depth = 8, int64_t width = 32, int64_t height = 32,
              const t_Font& font = tiny_font(4, 8))
    {
        make_view(win);
        DiagCapture quiet;
        t_InitWindow(win, depth, false, width, height, 0, 0, font, true);
        ASSERT_TRUE(window_table[win].Initialized) << quiet.text();
    }

    // Window 1 at the given depth, 32 x 32 pixels in 4 x 4 cells (8 x 8 of them).
    void make_window(int64_t depth) { open(1, depth, 32, 32, tiny_font()); }

    // The character plane, one string per line.
    std::vector<std::string> rows(uint8_t win) const
    {
        std::vector<std::string> out;
        for (int64_t line = 1; line <= window_table[win].TextHeight; ++line)
            out.push_back(test_support::char_row(win, line));
        return out;
    }

    // Writes text into line `line` from column 1 without moving the cursor or scrolling.
    void put(uint8_t n, int64_t line, const std::string& text)
    {
        for (size_t i = 0; i < text.size(); ++i)
            t_PrintSymbol(n, static_cast<uint8_t>(text[i]), window_table[n].TextColor,
                          static_cast<int64_t>(i) + 1, line);
    }

    t_Window& win(uint8_t n) { return window_table[n]; }

    int pause_checks = 0;
};

} // namespace text_test
