// The text windows' text as the window system receives it: long texts in pieces, each piece
// a visit of its own to the event thread, and clears that start again.
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "tests/support/test_support.h"
#include "toolkit/platform_windows.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::headless;
using platform::PRINTER_WINDOW;

// Forwards everything to the headless backend and keeps every text call in order. The first
// append also queues a marker task, which shows whether the event thread served it before
// the next piece.
class TextCallRecorder final : public platform::WindowSystem {
  public:
    struct Call {
        char kind; // 'S' set, 'A' append, 'C' clear, 'M' the marker task
        std::string text;
    };

    std::vector<Call> calls()
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void forget()
    {
        std::lock_guard lock(mutex_);
        calls_.clear();
        marked_ = false;
    }

    void run_event_loop() override { headless().run_event_loop(); }
    void quit_event_loop() override { headless().quit_event_loop(); }
    void post_to_event_thread(std::function<void()> work) override
    {
        headless().post_to_event_thread(std::move(work));
    }
    void build_interface(const std::vector<platform::WindowSpec>& windows) override
    {
        headless().build_interface(windows);
    }
    void set_menu_bar(const std::vector<platform::Menu>& menus) override
    {
        headless().set_menu_bar(menus);
    }
    void set_window_state(uint8_t window, const platform::WindowState& state) override
    {
        headless().set_window_state(window, state);
    }
    void bring_to_front(uint8_t window) override { headless().bring_to_front(window); }
    void present_frame(uint8_t window, const platform::Frame& frame) override
    {
        headless().present_frame(window, frame);
    }
    void set_text(uint8_t window, std::string_view text) override
    {
        record('S', text);
        headless().set_text(window, text);
    }
    void append_text(uint8_t window, std::string_view text) override
    {
        record('A', text);
        bool first = false;
        {
            std::lock_guard lock(mutex_);
            first = !std::exchange(marked_, true);
        }
        if (first)
            post_to_event_thread([this] { record('M', {}); });
        headless().append_text(window, text);
    }
    void clear_text(uint8_t window) override
    {
        record('C', {});
        headless().clear_text(window);
    }
    void set_pasteboard_text(const std::string& text) override
    {
        headless().set_pasteboard_text(text);
    }
    void set_pasteboard_image(std::shared_ptr<const platform::ArgbImage> image) override
    {
        headless().set_pasteboard_image(std::move(image));
    }
    std::optional<std::string> pasteboard_text() override { return headless().pasteboard_text(); }
    std::string open_file_dialog(const platform::OpenDialogOptions& options) override
    {
        return headless().open_file_dialog(options);
    }
    std::string save_file_dialog(const platform::SaveDialogOptions& options) override
    {
        return headless().save_file_dialog(options);
    }
    void show_message(const std::string& title, const std::string& text) override
    {
        headless().show_message(title, text);
    }
    std::optional<double> play_sound(const std::string& path) override
    {
        return headless().play_sound(path);
    }
    void alert_beep() override { headless().alert_beep(); }

  private:
    void record(char kind, std::string_view text)
    {
        std::lock_guard lock(mutex_);
        calls_.push_back({kind, std::string(text)});
    }

    std::mutex mutex_;
    std::vector<Call> calls_; // guarded by mutex_
    bool marked_ = false;     // guarded by mutex_
};

// Lines of a listing with a two-byte character wherever a piece would end, so a cut in the
// middle of a sequence shows.
std::string long_text(size_t bytes)
{
    std::string text;
    while (text.size() < bytes) {
        const size_t piece = toolkit::TEXT_PIECE_BYTES;
        const size_t to_boundary = piece - text.size() % piece;
        text += to_boundary <= 80 ? std::string(to_boundary - 1, 'x') + "\xC3\xA4\r"
                                  : "$00000000\x19 F0 00000003   qbits 3\r";
    }
    return text;
}

class TextPiecesTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(test_support::fresh_toolkit());
        platform::set_window_system(&recorder_);
        test_support::build_window(PRINTER_WINDOW, platform::WindowKind::Text, {0, 0, 800, 600},
                                   true);
        recorder_.forget();
    }
    void TearDown() override
    {
        // A marker task still queued must run before the recorder goes.
        platform::run_on_event_thread([] {}, true);
        platform::set_window_system(nullptr);
    }

    // The text the backend shows after the calls recorded so far.
    static std::string shown() { return headless().window(PRINTER_WINDOW).text; }

    TextCallRecorder recorder_;
};

TEST_F(TextPiecesTest, LongAppendArrivesInWholeSequencePiecesThatAddUpToTheText)
{
    const std::string text = long_text(toolkit::TEXT_PIECE_BYTES * 5 / 2);
    toolkit::append_window_text(PRINTER_WINDOW, text);
    std::string joined;
    int pieces = 0;
    for (const auto& call : recorder_.calls()) {
        if (call.kind == 'M')
            continue;
        ASSERT_EQ(call.kind, 'A');
        EXPECT_LE(call.text.size(), toolkit::TEXT_PIECE_BYTES);
        EXPECT_TRUE(platform::valid_utf8(call.text)) << "piece " << pieces;
        joined += call.text;
        ++pieces;
    }
    EXPECT_EQ(pieces, 3);
    EXPECT_EQ(joined, text);
    EXPECT_EQ(shown(), text);
    EXPECT_EQ(toolkit::window_text(PRINTER_WINDOW), text);
}

TEST_F(TextPiecesTest, EventThreadServesOtherWorkBetweenPieces)
{
    toolkit::append_window_text(PRINTER_WINDOW, long_text(toolkit::TEXT_PIECE_BYTES * 3));
    const auto calls = recorder_.calls();
    ASSERT_GE(calls.size(), 4u);
    // Queued during the first piece, the marker runs before the second.
    EXPECT_EQ(calls[0].kind, 'A');
    EXPECT_EQ(calls[1].kind, 'M');
}

TEST_F(TextPiecesTest, SetAppendsWhatExtendsAndReplacesOtherwise)
{
    const std::string listing = long_text(toolkit::TEXT_PIECE_BYTES * 3 / 2);
    toolkit::set_window_text(PRINTER_WINDOW, "alt\r");
    toolkit::set_window_text(PRINTER_WINDOW, "alt\r" + listing);
    auto calls = recorder_.calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, 'S');
    EXPECT_EQ(calls[1].kind, 'A'); // only the new end, in two pieces
    EXPECT_EQ(calls[1].text + calls.back().text, listing);
    EXPECT_EQ(shown(), "alt\r" + listing);

    // A text that does not extend the kept one replaces it.
    recorder_.forget();
    toolkit::set_window_text(PRINTER_WINDOW, listing);
    calls = recorder_.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, 'S');
    EXPECT_EQ(shown(), listing);
    EXPECT_EQ(toolkit::window_text(PRINTER_WINDOW), listing);

    toolkit::clear_window_text(PRINTER_WINDOW);
    toolkit::append_window_text(PRINTER_WINDOW, "neu\r");
    EXPECT_EQ(shown(), "neu\r");
    EXPECT_EQ(toolkit::window_text(PRINTER_WINDOW), "neu\r");
}

TEST_F(TextPiecesTest, TextOverSeveralStoreBlocksReadsBackAndExtendsOnlyWhenAllMatch)
{
    // 20 MB: more than one of the blocks a text window keeps its text in.
    const std::string text = long_text(20 << 20);
    toolkit::append_window_text(PRINTER_WINDOW, text);
    EXPECT_TRUE(toolkit::window_text(PRINTER_WINDOW) == text);

    recorder_.forget();
    toolkit::set_window_text(PRINTER_WINDOW, text + "Ende\r");
    auto calls = recorder_.calls();
    ASSERT_EQ(calls.size(), 2u); // the append and its marker
    EXPECT_EQ(calls[0].text, "Ende\r");

    // One byte changed far into the text: not an extension.
    std::string changed = text + "Ende\r";
    changed[18 << 20] = '#';
    recorder_.forget();
    toolkit::set_window_text(PRINTER_WINDOW, changed);
    calls = recorder_.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, 'S');
    EXPECT_TRUE(shown() == changed);
    EXPECT_TRUE(toolkit::window_text(PRINTER_WINDOW) == changed);
}

TEST_F(TextPiecesTest, ClearWhilePiecesArriveKeepsKeptAndShownTextEqual)
{
    const std::string text = long_text(toolkit::TEXT_PIECE_BYTES * 8);
    std::thread appender([&] { toolkit::append_window_text(PRINTER_WINDOW, text); });
    // Clear as soon as the first piece is shown, from another thread.
    ASSERT_TRUE(test_support::wait_for([] { return !shown().empty(); }));
    toolkit::clear_window_text(PRINTER_WINDOW);
    appender.join();
    const std::string kept = toolkit::window_text(PRINTER_WINDOW);
    EXPECT_EQ(kept, shown());
    // What follows the clear is the text's end, from a piece boundary on.
    ASSERT_LT(kept.size(), text.size());
    EXPECT_EQ(text.compare(text.size() - kept.size(), kept.size(), kept), 0);
}

} // namespace
