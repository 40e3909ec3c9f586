// tests/programs/program_fixture.h: an 80 x 25 main window for calling the algorithm
// programs directly, and the end-to-end run of the real program with typed keys.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/objcode.h"
#include "platform/diag.h"
#include "tests/toolkit/text_fixture.h"
#include "toolkit/window.h"

namespace program_test {

// The main window of the application: 80 columns and 25 lines, here with the tiny font.
class ProgramWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        toolkit::stop_auto_update();
        platform::headless_reset();
        toolkit::shell_hooks() = toolkit::ShellHooks{};
        toolkit::reset_video_memory();
        text_test::make_view(0);
        DiagCapture quiet;
        t_InitWindow(0, 8, false, 80 * 4, 25 * 4, 0, 0, text_test::tiny_font(), true);
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

    // The character plane line by line, each 8-bit code as its Unicode character in UTF-8,
    // trailing blanks removed; trailing empty lines dropped.
    std::vector<std::string> rows() const
    {
        const t_Window& w = window_table[0];
        std::vector<std::string> out;
        for (int64_t line = 1; line <= w.TextHeight; ++line) {
            std::string row;
            for (int64_t column = 1; column <= w.TextWidth; ++column) {
                const uint8_t code = toolkit::cell_char(w, column, line);
                if (code < 0x80) {
                    row += static_cast<char>(code);
                } else {
                    row += static_cast<char>(0xC0 | (code >> 6));
                    row += static_cast<char>(0x80 | (code & 0x3F));
                }
            }
            row.erase(row.find_last_not_of(' ') + 1);
            out.push_back(row);
        }
        while (!out.empty() && out.back().empty())
            out.pop_back();
        return out;
    }

    // The raw cells of one line, blanks kept, for field layouts.
    std::string raw_row(int64_t line) const
    {
        const t_Window& w = window_table[0];
        std::string row;
        for (int64_t column = 1; column <= w.TextWidth; ++column)
            row += static_cast<char>(toolkit::cell_char(w, column, line));
        return row;
    }
};

// Splits a listing line into its 8-character fields.
inline std::vector<std::string> fields(const std::string& row)
{
    std::vector<std::string> out;
    for (size_t i = 0; i + 8 <= row.size(); i += 8)
        out.push_back(row.substr(i, 8));
    return out;
}

// The result of one headless run of build/orbikon.
struct HeadlessRun {
    bool built = false; // build/orbikon exists; without it the run is skipped
    int status = -1;    // the shell's status of the run; 0 when the program ended well
    std::string screen;
    std::string output;
    bool dump_exists = false;
    std::vector<uint8_t> dump;
};

inline std::string slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Types keys into the real program, headless, with a cache folder of its own.
inline HeadlessRun run_headless(const std::string& name, const std::string& keys)
{
    HeadlessRun run;
    const std::filesystem::path program = std::filesystem::path(ORBIKON_BUILD_DIR) / "orbikon";
    if (!std::filesystem::exists(program))
        return run;
    run.built = true;
    const std::filesystem::path folder =
        std::filesystem::path(ORBIKON_BUILD_DIR) / "test-programs" / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "keys", std::ios::binary) << keys;
    const std::string command = "XDG_CACHE_HOME='" + (folder / "cache").string() + "' '" +
                                program.string() + "' --headless --input '" +
                                (folder / "keys").string() + "' --screen '" +
                                (folder / "screen").string() + "' --timeout 120 > '" +
                                (folder / "stdout").string() + "' 2>&1";
    run.status = std::system(command.c_str());
    run.screen = slurp(folder / "screen");
    run.output = slurp(folder / "stdout");
    const std::filesystem::path dump = folder / "cache" / "orbikon" / "dump.qucode";
    run.dump_exists = std::filesystem::exists(dump);
    if (run.dump_exists) {
        const std::string bytes = slurp(dump);
        run.dump.assign(bytes.begin(), bytes.end());
    }
    return run;
}

} // namespace program_test
