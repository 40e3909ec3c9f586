// tests/programs/pictures_test.cpp: the pictures of windows 1 to 4: what they read from a
// register, and whole runs whose window images are compared with PNGs checked by eye.
#include "programs/pictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "engine/gates.h"
#include "engine/measure.h"
#include "platform/png_writer.h"
#include "programs/grover.h"
#include "programs/shor.h"
#include "toolkit/font.h"
#include "toolkit/render.h"
#include "tests/programs/program_fixture.h"

namespace {

using program_test::run_headless;
using namespace programs;

const std::filesystem::path GOLDEN = std::filesystem::path(ORBIKON_TESTS_DIR) / "programs" / "pictures";

// Entries given by hand: value v with amplitude a (probability a squared).
quantum_reg_struct register_of(int64_t width, const std::vector<std::pair<uint64_t, float>>& entries)
{
    quantum_reg_struct reg = register_new_sparse(static_cast<int64_t>(entries.size()), width);
    for (size_t i = 0; i < entries.size(); ++i) {
        reg.state[i] = entries[i].first;
        reg.amplitude[i] = quantum_amplitude(entries[i].second, 0.0f);
    }
    return reg;
}

TEST(RegisterBars, SmallRegisterHasEveryValueAndSumsDuplicates)
{
    quantum_reg_struct reg = register_of(2, {{3, 0.6f}, {1, 0.8f}, {3, 0.0f}});
    const RegisterBars bars = register_bars(reg);
    EXPECT_TRUE(bars.all_values);
    ASSERT_EQ(bars.bars.size(), 4u);
    EXPECT_EQ(bars.bars[0].second, 0.0);
    EXPECT_NEAR(bars.bars[1].second, 0.64, 1e-6);
    EXPECT_NEAR(bars.bars[3].second, 0.36, 1e-6);
    register_delete(reg);
}

TEST(RegisterBars, WideRegisterKeepsTheMostProbableInValueOrder)
{
    // 300 entries of a 12-qubit register, values 3701 to 4000 with amplitudes growing with
    // the value, so the 256 most probable are the values 3745 to 4000.
    std::vector<std::pair<uint64_t, float>> entries;
    for (int k = 0; k < 300; ++k)
        entries.emplace_back(4000 - 299 + k, 0.001f * static_cast<float>(k + 1));
    quantum_reg_struct reg = register_of(12, entries);
    ShorSpectrum spectrum = shor_spectrum(4096);
    const RegisterBars bars = register_bars(reg, &spectrum);
    EXPECT_FALSE(bars.all_values);
    ASSERT_EQ(bars.bars.size(), REGISTER_BARS);
    EXPECT_EQ(bars.bars.front().first, 3745u);
    EXPECT_EQ(bars.bars.back().first, 4000u);
    EXPECT_NEAR(bars.bars.back().second, 0.09, 1e-6);
    // The same pass binned every entry: nothing lost, all in the top bins.
    double total = 0, entries_total = 0;
    for (double b : spectrum.bins)
        total += b;
    for (int64_t i = 0; i < reg.size; ++i)
        entries_total += get_probability(i, reg);
    EXPECT_NEAR(total, entries_total, 1e-9);
    EXPECT_EQ(spectrum.bins.front(), 0.0);
    EXPECT_GT(spectrum.bins[spectrum.bins.size() * 3900 / 4096], 0.0);
    register_delete(reg);
}

TEST(GroverOptimum, MatchesTheIterationWithTheHighestProbability)
{
    for (int64_t width : {2, 3, 5, 8, 11}) {
        const double theta = std::asin(std::pow(2.0, -static_cast<double>(width) / 2.0));
        // The first peak only: the probability comes round again after pi / theta.
        int64_t best = 0;
        for (int64_t k = 1; (2 * k + 1) * theta <= std::acos(-1.0); ++k)
            if (std::sin((2 * k + 1) * theta) * std::sin((2 * k + 1) * theta) >
                std::sin((2 * best + 1) * theta) * std::sin((2 * best + 1) * theta))
                best = k;
        EXPECT_EQ(grover_optimum(width), best) << width;
    }
}

// Keys typed into the real program; window win's PNG against one committed (looked at when
// it was made). choose_golden picks the file by the run's screen, for programs that draw.
void expect_window_like_golden(const std::string& name, const std::string& keys, uint8_t win,
                               const std::function<std::string(const program_test::HeadlessRun&)>& choose_golden)
{
    const std::filesystem::path image =
        std::filesystem::path(ORBIKON_BUILD_DIR) / "test-programs" / (name + ".png");
    const auto run = run_headless(name, keys, "--image '" + image.string() + "' --window " + std::to_string(win));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string golden = choose_golden(run);
    const test_support::Picture got = test_support::read_png(image);
    const test_support::Picture want = test_support::read_png(GOLDEN / golden);
    ASSERT_TRUE(got.ok);
    ASSERT_TRUE(want.ok) << golden;
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    size_t differing = 0;
    for (size_t i = 0; i < got.rgb.size(); ++i)
        differing += got.rgb[i] != want.rgb[i];
    EXPECT_EQ(differing, 0u) << "bytes differ from " << golden;
}

std::string always(const program_test::HeadlessRun&, const std::string& file) { return file; }

TEST(Pictures, GroverCurveOfG3MatchesItsPng)
{
    expect_window_like_golden("pictures-g3-window2", "g5\r3\r", 2,
                              [](const auto& run) { return always(run, "grover_g3_window2.png"); });
}

TEST(Pictures, RegisterBarsOfG3MatchTheirPng)
{
    expect_window_like_golden("pictures-g3-window1", "g5\r3\r", 1,
                              [](const auto& run) { return always(run, "grover_g3_window1.png"); });
}

TEST(Pictures, RandomBitMarksTheMeasuredBar)
{
    expect_window_like_golden("pictures-r-window1", "r", 1, [](const auto& run) {
        const bool zero = run.screen.find("hat eine 0 ergeben.") != std::string::npos;
        return std::string(zero ? "random_bit0_window1.png" : "random_bit1_window1.png");
    });
}

TEST(Pictures, TwoIsingRowsMatchTheirPng)
{
    expect_window_like_golden("pictures-i-window3", "i ", 3,
                              [](const auto& run) { return always(run, "ising_two_rows_window3.png"); });
}

// S 15 with the base 7 (drawn until it comes) and a seeded measurement, in this process: the
// spectrum's four peaks at the multiples of 256 / 4 and the measured one in red.
class ShorPictureTest : public program_test::ProgramWindowTest {};

TEST_F(ShorPictureTest, FifteenWithBaseSevenMatchesItsPng)
{
    toolkit::set_font_folder(ORBIKON_RESOURCE_DIR "/");
    for (uint8_t n = 1; n <= 4; ++n)
        text_test::make_view(n);
    bool drawn = false;
    DiagCapture quiet;
    for (int attempt = 0; attempt < 200 && !drawn; ++attempt) {
        fresh_window(); // every window's record anew, under the auto-update's lock
        srand(3);
        shorprogram(15);
        drawn = rows().size() > 4 && rows()[4] == "Zufallszahl = 7";
    }
    ASSERT_TRUE(drawn) << "the base 7 never came";
    const auto image = toolkit::canvas_image(SHOR_WINDOW);
    ASSERT_TRUE(image);
    const std::filesystem::path made =
        std::filesystem::path(ORBIKON_BUILD_DIR) / "test-programs" / "shor_15_base7_window4.png";
    std::filesystem::create_directories(made.parent_path());
    ASSERT_TRUE(platform::write_png(made.string(), *image));
    const test_support::Picture got = test_support::read_png(made);
    const test_support::Picture want = test_support::read_png(GOLDEN / "shor_15_base7_window4.png");
    ASSERT_TRUE(got.ok && want.ok);
    EXPECT_EQ(got.rgb, want.rgb) << "compare " << made << " with the committed PNG";
}

TEST(Pictures, WindowNeverDrawnOrOutOfRangeEndsWithStatusTwo)
{
    const std::string image =
        (std::filesystem::path(ORBIKON_BUILD_DIR) / "test-programs" / "never.png").string();
    auto run = run_headless("pictures-never", "g5\r3\r", "--image '" + image + "' --window 3");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("orbikon: In Fenster 3 wurde nichts gezeichnet, es gibt kein Bild."),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.row(run.rows.size()).rfind("Die Wahrscheinlichkeit", 0), 0u) << "the screen is still written";
    EXPECT_FALSE(std::filesystem::exists(image));
    for (const char* bad : {"8", "-1", "zwei", "12"}) {
        run = run_headless("pictures-bad", "", "--image '" + image + "' --window " + bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_NE(run.output.find(std::string("orbikon: Ung\xC3\xBCltiges Fenster: ") + bad +
                                  " (erlaubt sind 0 bis 7)."),
                  std::string::npos)
            << run.output;
    }
}

} // namespace
