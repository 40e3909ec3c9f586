// tests/support/test_support.h: what several test binaries share: bounded waiting, tiny
// fonts, files of their own, and runs of the real program and of qucode.
#pragma once

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "toolkit/font.h"
#include "toolkit/platform_windows.h"
#include "toolkit/render.h"
#include "toolkit/shell_hooks.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <png.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace test_support {

// Polls pred until it holds; false after the limit, so a broken thread fails instead of
// hanging the run.
template <typename Pred> bool wait_for(Pred pred, int64_t limit_ms = 5000)
{
    for (int64_t waited = 0; waited < limit_ms; waited += 2) {
        if (pred())
            return true;
        platform::sleep_ms(2);
    }
    return pred();
}

// A fresh toolkit on the in-memory backend: no auto-update thread, no shell hooks, empty
// video memory. False when the auto-update thread would not stop.
inline bool fresh_toolkit()
{
    const bool stopped = toolkit::stop_auto_update();
    platform::headless_reset();
    toolkit::reset_platform_windows();
    toolkit::shell_hooks() = {};
    toolkit::reset_video_memory();
    return stopped;
}

// Builds platform window n, in the records and on the headless backend; hidden unless asked.
inline void build_window(uint8_t n, platform::WindowKind kind, platform::Rect frame,
                         bool ruler = false, bool visible = false)
{
    platform::WindowSpec plan;
    plan.number = n;
    plan.kind = kind;
    plan.has_ruler = ruler;
    plan.state.frame = frame;
    plan.state.visible = visible;
    toolkit::build_platform_windows({plan});
}

// A grey font of width x height cells. Unless blank, every glyph but the space is the same
// pattern, so pixel tests read it back:
//   row 0: 0 255 0 255   row 1: 128 128 128 128   row 2: all 255   further rows: all 0
inline t_Font tiny_font(int64_t width = 4, int64_t height = 4, bool blank = false)
{
    t_Font font;
    font.Format = toolkit::FONT_FORMAT_GREY;
    font.Start = blank ? 0 : 0x20;
    font.End = 0xFF;
    font.Width = width;
    font.Height = height;
    std::vector<uint8_t> glyph(static_cast<size_t>(width * height), 0);
    for (int64_t i = 0; i < width && !blank; ++i) {
        glyph[static_cast<size_t>(i)] = (i % 2) ? 255 : 0;
        if (height > 1)
            glyph[static_cast<size_t>(width + i)] = 128;
        if (height > 2)
            glyph[static_cast<size_t>(2 * width + i)] = 255;
    }
    const std::vector<uint8_t> space(glyph.size(), 0);
    for (int code = 0; code < 256; ++code) {
        const auto& g = code == 0x20 ? space : glyph;
        font.Data.insert(font.Data.end(), g.begin(), g.end());
    }
    return font;
}

// The 8-bit codes of one line of a window's character plane, blanks kept.
inline std::string char_row(uint8_t win, int64_t line)
{
    std::string row;
    for (int64_t column = 1; column <= window_table[win].TextWidth; ++column)
        row += static_cast<char>(toolkit::cell_char(window_table[win], column, line));
    return row;
}

// The same without its trailing blanks.
inline std::string trimmed_row(uint8_t win, int64_t line)
{
    std::string row = char_row(win, line);
    return row.erase(row.find_last_not_of(' ') + 1);
}

inline std::string slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// ctest runs the cases as parallel processes: each needs its own files.
inline std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "orbikon_" + std::to_string(getpid()) + "_" + name;
}

// One gate record of the code trace: the opcode, then each operand as 4 big-endian bytes.
inline void add_gate(std::vector<uint8_t>& bytes, uint8_t opcode, std::vector<int64_t> operands)
{
    bytes.push_back(opcode);
    for (int64_t value : operands)
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
}

// A PNG file read back as RGB by libpng; ok is false when it cannot be read.
struct Picture {
    bool ok = false;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;
    // Red, green, blue of pixel (x, y) from the top left.
    const uint8_t* at(uint32_t x, uint32_t y) const { return rgb.data() + 3 * (y * width + x); }
};

inline Picture read_png(const std::filesystem::path& path)
{
    Picture p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return p;
    image.format = PNG_FORMAT_RGB;
    p.width = image.width;
    p.height = image.height;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    p.ok = png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr) != 0;
    return p;
}

struct ToolRun {
    std::string out, err;
    int status = -1; // the exit code; -1 when it did not exit
};

// Runs build/qucode with args (quoted by the caller), standard output and error apart.
inline ToolRun run_qucode(const std::string& args)
{
    const std::string out = temp_path("qucode.out"), err = temp_path("qucode.err");
    const std::string command = std::string("'") + ORBIKON_BUILD_DIR + "/qucode' " + args + " > '" +
                                out + "' 2> '" + err + "'";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = slurp(out);
    run.err = slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

// The result of one headless run of build/orbikon.
struct HeadlessRun {
    int status = -1; // the exit code; 0 when the program ended well, -1 when it did not exit
    std::string screen;
    std::string output;
    std::string printer;
    std::vector<std::string> rows; // screen rows from 1
    bool dump_exists = false;
    std::vector<uint8_t> dump;
    std::string row(size_t n) const { return n <= rows.size() ? rows[n - 1] : ""; }
};

// Types keys into the real program, headless, with a cache folder of its own; `extra` adds
// options to the command line.
inline HeadlessRun run_headless(const std::string& name, const std::string& keys,
                                const std::string& extra = "", int timeout = 120)
{
    HeadlessRun run;
    const std::filesystem::path program = std::filesystem::path(ORBIKON_BUILD_DIR) / "orbikon";
    const std::filesystem::path folder =
        std::filesystem::path(ORBIKON_BUILD_DIR) / "test-programs" / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "keys", std::ios::binary) << keys;
    const std::string command =
        "XDG_CACHE_HOME='" + (folder / "cache").string() + "' '" + program.string() +
        "' --headless --input '" + (folder / "keys").string() + "' --screen '" +
        (folder / "screen").string() + "' --printer '" + (folder / "printer").string() + "' " +
        extra + " --timeout " + std::to_string(timeout) + " > '" + (folder / "stdout").string() +
        "' 2>&1";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.screen = slurp(folder / "screen");
    run.output = slurp(folder / "stdout");
    run.printer = slurp(folder / "printer");
    std::stringstream lines(run.screen);
    for (std::string line; std::getline(lines, line);)
        run.rows.push_back(line);
    const std::filesystem::path dump = folder / "cache" / "orbikon" / "dump.qucode";
    run.dump_exists = std::filesystem::exists(dump);
    if (run.dump_exists) {
        const std::string bytes = slurp(dump);
        run.dump.assign(bytes.begin(), bytes.end());
    }
    return run;
}

} // namespace test_support
