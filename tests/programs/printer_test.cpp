// The virtual printer: its view work on the event thread, the update thread, missing views.
#include "programs/printer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/window_system.h"
#include "shell/mttools.h"
#include "tests/support/test_support.h"

namespace {

using test_support::wait_for;

using platform::headless;

void stop_update_thread()
{
    VirtualPrinterAutoUpdateActive = 0;
    // The thread clears the flag again as it ends, after at most one 10 ms sleep.
    platform::sleep_ms(40);
}

class PrinterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_support::fresh_toolkit();
        test_support::build_window(platform::PRINTER_WINDOW, platform::WindowKind::Text,
                                   {0, 0, 800, 600}, true);
        VirtualPrinterUpdatePending = 0;
        printer_buffer_clear();
    }
    void TearDown() override { stop_update_thread(); }

    std::string view_text() { return headless().window(platform::PRINTER_WINDOW).text; }
};

TEST_F(PrinterTest, SetPrinterFromAnotherThreadReturnsAfterTheViewChanged)
{
    ASSERT_FALSE(platform::is_event_thread());
    p_SetPrinter("Zeile 1\r");
    // No drain: the caller waited for the event thread already.
    EXPECT_EQ(view_text(), "Zeile 1\r");
    EXPECT_EQ(p_GetPrinter(), "Zeile 1\r");
    const int64_t pushes = headless().window(platform::PRINTER_WINDOW).text_pushes;
    p_SetPrinter(p_GetPrinter() + "neu\r"); // get, then set, appends
    EXPECT_EQ(p_GetPrinter(), "Zeile 1\rneu\r");
    EXPECT_EQ(view_text(), "Zeile 1\rneu\r");
    EXPECT_EQ(headless().window(platform::PRINTER_WINDOW).text_pushes, pushes + 1);
    p_SetPrinter("anders"); // a text that does not extend the last replaces it
    EXPECT_EQ(view_text(), "anders");
}

TEST_F(PrinterTest, OperationsWorkOnTheEventThreadItself)
{
    std::string seen;
    platform::run_on_event_thread(
        [&seen] {
            p_SetPrinter("direkt");
            p_SetRuler("L....R");
            seen = p_GetPrinter();
        },
        true);
    EXPECT_EQ(seen, "direkt");
    EXPECT_EQ(headless().window(platform::PRINTER_WINDOW).state.ruler, "L....R");
}

TEST_F(PrinterTest, CallersOnManyThreadsAllGetTheirWorkDone)
{
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&done, i] {
            for (int k = 0; k < 25; ++k)
                p_SetPrinter(p_GetPrinter() + static_cast<char>('a' + i));
            ++done;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(done, 4);
    // Interleaved read-modify-write may lose letters, but every call completed with a view.
    EXPECT_FALSE(p_GetPrinter().empty());
}

TEST_F(PrinterTest, InitSetsRulerFontEmptiesPrinterAndBufferAndStartsOneThread)
{
    p_SetPrinter("vorher");
    printer_buffer_append("wartet");
    VirtualPrinterUpdatePending = 0;
    DiagCapture capture;
    p_InitPrinter();
    p_InitPrinter(); // before the first thread can have raised its flag
    platform::RecordedWindow w = headless().window(platform::PRINTER_WINDOW);
    EXPECT_EQ(w.text, "");
    EXPECT_EQ(w.state.ruler, RulerText(160, false, true));
    EXPECT_EQ(w.state.font_family, "Menlo");
    EXPECT_TRUE(printer_buffer_contents().empty());
    ASSERT_TRUE(wait_for([] { return VirtualPrinterAutoUpdateActive == 1; }));
    p_SetPrinter("Inhalt");
    p_InitPrinter();
    EXPECT_EQ(p_GetPrinter(), "");
    ASSERT_TRUE(wait_for([&capture] { return !capture.text().empty(); }));
    platform::sleep_ms(50);
    const std::string text = capture.text();
    const std::string start = "p_PrinterAutoUpdateProcess: Start as thread #";
    EXPECT_EQ(text.rfind(start, 0), 0u) << text;
    EXPECT_EQ(text.find(start, 1), std::string::npos) << text;
}

TEST_F(PrinterTest, UpdateThreadPublishesTheWholeBufferAndEndsWhenCleared)
{
    DiagCapture capture;
    p_InitPrinter();
    ASSERT_TRUE(wait_for([] { return VirtualPrinterAutoUpdateActive == 1; }));
    p_SetPrinter("wird ersetzt");
    printer_buffer_append("Seite 1\r");
    printer_buffer_append("Seite 2\r");
    ASSERT_TRUE(wait_for([this] { return view_text() == "Seite 1\rSeite 2\r"; })) << view_text();
    // The time is stored just after the view changed.
    EXPECT_TRUE(wait_for([] { return VirtualPrinterLastUpdate.load() > 0; }));
    EXPECT_EQ(VirtualPrinterUpdatePending, 0);

    VirtualPrinterAutoUpdateActive = 0;
    ASSERT_TRUE(wait_for([&capture] {
        return capture.text().find("p_PrinterAutoUpdateProcess: End.\n") != std::string::npos;
    }));
}

TEST_F(PrinterTest, PublicationsAreAtLeastHundredMillisecondsApartAndDecodeCodeByCode)
{
    p_InitPrinter();
    ASSERT_TRUE(wait_for([] { return VirtualPrinterAutoUpdateActive == 1; }));
    // Each publication stores its time just after the view changed: wait for both.
    auto published = [this](const std::string& text, int64_t after) {
        return wait_for([&] { return view_text() == text && VirtualPrinterLastUpdate != after; });
    };
    const int64_t before = VirtualPrinterLastUpdate;
    printer_buffer_append("a");
    ASSERT_TRUE(published("a", before));
    const int64_t first = VirtualPrinterLastUpdate;
    printer_buffer_append("b");
    ASSERT_TRUE(published("ab", first));
    EXPECT_GT(VirtualPrinterLastUpdate - first, 100);
    printer_buffer_append("Gr\xF6\xDF" "e"); // not UTF-8: each byte is its own code
    ASSERT_TRUE(wait_for([this] { return view_text() == "abGröße"; })) << view_text();
}

TEST(PrinterText, ValidUtf8PassesAndOtherBytesBecomeTheirCodes)
{
    std::string valid = "Größe \xE2\x82\xAC";
    EXPECT_EQ(printer_text_of(std::vector<uint8_t>(valid.begin(), valid.end())), valid);
    EXPECT_EQ(printer_text_of({0xC0, 0x80}), "\xC3\x80\xC2\x80");     // overlong form
    EXPECT_EQ(printer_text_of({0x41, 0xE2, 0x82}), "A\xC3\xA2\xC2\x82"); // cut sequence
    EXPECT_EQ(printer_text_of({0xED, 0xA0, 0x80}), "\xC3\xAD\xC2\xA0\xC2\x80"); // surrogate
}

} // namespace
