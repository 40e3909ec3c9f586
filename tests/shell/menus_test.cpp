// Menu commands and their built-in actions, the menu event list, item look-ups, the menu
// preparation, dialogs and Beep.
#include "platform/diag.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "shell/app_delegate.h"
#include "shell/events.h"
#include "shell/interface.h"
#include "shell/menus.h"
#include "tests/support/test_support.h"
#include "toolkit/geometry.h"
#include "toolkit/platform_windows.h"
#include "toolkit/render.h"
#include "toolkit/video_memory.h"
#include "toolkit/window.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

using test_support::wait_for;

using platform::headless;
using platform::MenuChoice;
using platform::MenuItem;
using platform::WindowKind;

// Long enough for a wrongly started handler thread to have run.
constexpr int64_t SETTLE_MS = 50;

MenuChoice command(int64_t tag, std::string title = "Eintrag", std::string key = "",
                   uint64_t mods = 0)
{
    return {true, "Fenster", MenuItem{std::move(title), tag, std::move(key), mods}};
}

// Sounds and alert beeps so far.
int64_t beeps()
{
    return static_cast<int64_t>(headless().sounds_played().size()) + headless().beeps();
}

class MenusTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(test_support::fresh_toolkit());
        setenv("ORBIKON_RESOURCES", ORBIKON_RESOURCE_DIR, 1);
        ResetMenus();
        menu_hooks() = {};
        BuildInterface(ApplicationInterface());
        DiagCapture quiet;
        PrepareMenus();
        // Shared, so a runner that outlives the test touches nothing freed.
        SetMenuHandler([runs = handler_runs] { ++*runs; });
    }
    void TearDown() override
    {
        ResetMenus();
        unsetenv("ORBIKON_RESOURCES");
    }

    std::shared_ptr<std::atomic<int>> handler_runs = std::make_shared<std::atomic<int>>(0);
};

// A visible text window 0 of 6 x 2 cells whose planes hold the given codes.
void text_window_with(const std::vector<uint8_t>& line1)
{
    t_Window& w = window_table[0];
    w.Initialized = true;
    w.Visible = true;
    w.BitDepth = 8;
    w.Width = 48;
    w.Height = 16;
    w.MemoryStart = 0x300000;
    w.MemoryEnd = w.MemoryStart + 48 * 16 - 1;
    w.TextWidth = 6;
    w.TextHeight = 2;
    w.TextMemoryStart = 0x200000;
    w.TextMemoryEnd = w.TextMemoryStart + 0xFFF;
    std::fill(VideoMemory.begin() + w.TextMemoryStart, VideoMemory.begin() + w.TextMemoryStart + 12,
              0x20);
    std::copy(line1.begin(), line1.end(), VideoMemory.begin() + w.TextMemoryStart);
}

} // namespace

TEST_F(MenusTest, TagZeroAndItemsOutsideMenusRunTheProgramsHandler)
{
    const int64_t before = platform::now_ms();
    t_MenuEventHandler(command(0, "Über", "u", platform::MOD_COMMAND));
    ASSERT_EQ(MenuEventCount(), 1);
    t_MenuEvent e = MenuEvents().back();
    EXPECT_EQ(e.Kind, 3);
    EXPECT_EQ(e.MenuTitle, "Fenster");
    EXPECT_EQ(e.ItemTitle, "Über");
    EXPECT_EQ(e.ItemKeyChar, "u");
    EXPECT_EQ(e.ItemKeyMods, platform::MOD_COMMAND);
    EXPECT_EQ(e.ItemKeyAsc, 'u');
    EXPECT_EQ(e.ItemAction, 0);
    EXPECT_GE(e.Time, before);
    EXPECT_TRUE(MenuPending);
    EXPECT_TRUE(wait_for([&] { return *handler_runs >= 1; }));
    // An item outside any menu is kind 0 with empty texts, and runs the handler too.
    t_MenuEventHandler({false, "Fenster", MenuItem{"x", 215, "x", 1}});
    e = MenuEvents().back();
    EXPECT_EQ(std::tuple(e.Kind, e.ItemTitle + e.MenuTitle, e.ItemAction), std::tuple(0, "", 0));
    EXPECT_TRUE(wait_for([&] { return *handler_runs >= 2; }));
}

TEST_F(MenusTest, TagWithoutBuiltInMeaningIsKeptButTagMissingFromTheTableRunsTheHandler)
{
    {
        DiagCapture out;
        t_MenuEventHandler(command(202));
        platform::sleep_ms(SETTLE_MS);
        EXPECT_EQ(MenuEvents().back().ItemAction, 202);
        EXPECT_EQ(*handler_runs, 0);
        EXPECT_EQ(out.text(), "");
    }
    t_MenuEventHandler(command(4711));
    EXPECT_EQ(MenuEvents().back().ItemAction, 4711);
    EXPECT_TRUE(wait_for([&] { return *handler_runs >= 1; }));
}

TEST_F(MenusTest, GraphicWindowActionsShowAndHideOrBeepWhenUninitialised)
{
    {
        DiagCapture out;
        t_MenuEventHandler(command(215));
        EXPECT_EQ(out.text(), "t_MenuEventHandler: Window #1 not initialized.\n");
        EXPECT_EQ(beeps(), 1);
        EXPECT_FALSE(headless().window(1).state.visible);
        EXPECT_EQ(MenuEventCount(), 1);
    }
    window_table[1].Initialized = true;
    DiagCapture out;
    t_MenuEventHandler(command(215));
    EXPECT_TRUE(window_table[1].Visible);
    EXPECT_TRUE(headless().window(1).state.visible);
    EXPECT_FALSE(headless().window(0).state.visible); // 215 shows window 1 and hides nothing
    t_MenuEventHandler(command(216));
    EXPECT_FALSE(window_table[1].Visible);
    EXPECT_FALSE(headless().window(1).state.visible);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(beeps(), 1);
}

TEST_F(MenusTest, ShellWindowActions)
{
    t_MenuEventHandler(command(209));
    EXPECT_TRUE(headless().window(9).state.visible);
    t_MenuEventHandler(command(229));
    EXPECT_TRUE(headless().window(10).state.visible);
    EXPECT_EQ(MainWindowNumber(), 10);
    t_MenuEventHandler(command(201)); // hides the main window: the console
    EXPECT_FALSE(headless().window(10).state.visible);
    EXPECT_EQ(MainWindowNumber(), 9); // the key passes to the printer, shown before it
    t_MenuEventHandler(command(211));
    t_MenuEventHandler(command(207));
    EXPECT_TRUE(headless().window(8).state.visible);
    EXPECT_TRUE(headless().window(11).state.visible);
    DiagCapture quiet;
    t_MenuEventHandler(command(200));
    for (uint8_t n = 0; n <= 12; ++n)
        EXPECT_FALSE(headless().window(n).state.visible) << int(n);
    EXPECT_EQ(MainWindowNumber(), platform::NO_WINDOW);
}

TEST_F(MenusTest, CopyTextConvertsTheSpecialCodes)
{
    text_window_with({'a', 140, 160, 127, 0xE4, 0x20});
    t_WindowFront(0);
    t_MenuEventHandler(command(ACTION_COPY_TEXT));
    EXPECT_EQ(headless().pasteboard_text(), "a-\u02FD#\u00E4");
    EXPECT_EQ(beeps(), 0);
    toolkit::set_window_text(platform::PRINTER_WINDOW, "Liste\r");
    t_WindowFront(platform::PRINTER_WINDOW);
    t_MenuEventHandler(command(ACTION_COPY_TEXT));
    EXPECT_EQ(headless().pasteboard_text(), "Liste\n");
    t_WindowFront(platform::PREFERENCES_WINDOW); // no text to copy
    t_MenuEventHandler(command(ACTION_COPY_TEXT));
    EXPECT_EQ(beeps(), 1);
}

// Ablage's save items write the whole text as other programs read it; a path that cannot
// be written beeps with one line, a cancelled dialog writes nothing.
TEST_F(MenusTest, SavingThePrinterWritesItsWholeTextWithLineFeeds)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orbikon_save_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "Drucker.txt").string();
    toolkit::set_window_text(platform::PRINTER_WINDOW, "$00000000\x19 F0\r$00000005\x19 00\r");
    headless().answer_next_save_dialog(path);
    t_MenuEventHandler(command(SAVE_PRINTER_TAG));
    EXPECT_EQ(headless().last_save_dialog()->proposed_name, "Drucker.txt");
    const auto written = platform::read_file(path);
    ASSERT_TRUE(written);
    EXPECT_EQ(std::string(written->begin(), written->end()), "$00000000  F0\n$00000005  00\n");

    std::filesystem::remove(path);
    t_MenuEventHandler(command(SAVE_CONSOLE_TAG)); // cancelled
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(beeps(), 0);

    DiagCapture line;
    headless().answer_next_save_dialog((folder / "fehlt" / "x.txt").string());
    t_MenuEventHandler(command(SAVE_PRINTER_TAG));
    EXPECT_NE(line.text().find("l\xC3\xA4sst sich nicht schreiben"), std::string::npos);
    EXPECT_EQ(beeps(), 1);
    std::filesystem::remove_all(folder);
}

// The terminal's pasteboard page used to keep the text it was shown with after a later copy.
TEST_F(MenusTest, ACopyReachesTheShownPasteboardWindow)
{
    toolkit::set_window_text(platform::PRINTER_WINDOW, "erste\r");
    t_WindowFront(platform::PRINTER_WINDOW);
    t_MenuEventHandler(command(ACTION_COPY_TEXT));
    EXPECT_EQ(headless().window(platform::PASTEBOARD_WINDOW).text, ""); // hidden: untouched
    t_WindowFront(platform::PASTEBOARD_WINDOW);
    EXPECT_EQ(headless().window(platform::PASTEBOARD_WINDOW).text, "erste\n");
    toolkit::set_window_text(platform::PRINTER_WINDOW, "zweite\r");
    t_WindowFront(platform::PRINTER_WINDOW);
    t_MenuEventHandler(command(ACTION_COPY_TEXT));
    EXPECT_EQ(headless().window(platform::PASTEBOARD_WINDOW).text, "zweite\n");
}

TEST(CopyTable, EveryCodeFrom127To160)
{
    std::string screen;
    screen += '\x7F';
    for (char32_t c = 128; c <= 160; ++c) {
        screen += static_cast<char>(0xC0 | (c >> 6));
        screen += static_cast<char>(0x80 | (c & 0x3F));
    }
    EXPECT_EQ(CopyTableText(screen), "#*#<=>O++++||--++++++++++++--||+=\u02FD");
    EXPECT_EQ(CopyTableText("Hallo \u00FF\r~"), "Hallo \u00FF\r~");
}

TEST_F(MenusTest, CopyPictureOfTheMainGraphicWindow)
{
    text_window_with({'x'});
    headless().set_pasteboard_text("vorher");
    t_WindowFront(0);
    t_MenuEventHandler(command(ACTION_COPY_PICTURE));
    auto image = headless().pasteboard_image();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 48);
    EXPECT_EQ(image->height, 16);
    EXPECT_FALSE(headless().pasteboard_text()); // the picture replaced the text
    EXPECT_EQ(beeps(), 0);
    t_WindowFront(platform::CONSOLE_WINDOW); // no picture there
    t_MenuEventHandler(command(ACTION_COPY_PICTURE));
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(headless().pasteboard_image(), image);
}

TEST_F(MenusTest, ClearingThePrinterEmptiesBufferAndView)
{
    int cleared = 0;
    menu_hooks().clear_printer_buffer = [&] { ++cleared; };
    toolkit::set_window_text(platform::PRINTER_WINDOW, "alt");
    t_MenuEventHandler(command(ACTION_CLEAR_PRINTER));
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(headless().window(9).text, "");
    EXPECT_EQ(toolkit::window_text(9), "");
}

// Without a program's own paste, "Einsetzen" types Ctrl+V, the field's paste key.
TEST_F(MenusTest, EinsetzenWithoutAHandlerTypesThePasteKey)
{
    ResetEvents();
    t_WindowFront(9);
    t_MenuEventHandler(command(ACTION_PASTE));
    ASSERT_EQ(EventQueueLength(), 1);
    EXPECT_EQ(NextEvent(), 22);
    EXPECT_EQ(beeps(), 0);
}

TEST_F(MenusTest, PasteRunsThePasteHandlerOnlyInGraphicWindows)
{
    int pasted = 0;
    SetPasteHandler([&] { ++pasted; });
    t_WindowFront(2);
    t_MenuEventHandler(command(ACTION_PASTE));
    EXPECT_EQ(pasted, 1);
    t_WindowFront(9);
    t_MenuEventHandler(command(ACTION_PASTE));
    EXPECT_EQ(pasted, 1);
    EXPECT_EQ(beeps(), 1);
}

// No program adds a dialog action yet: one open dialog keeps path and name, one cancelled
// save dialog leaves them empty.
TEST_F(MenusTest, DialogActionsKeepTheChosenPath)
{
    AddMenuAction({300, ACTION_OPEN_DIALOG, "Laden", "Datei wählen", "", "qucode,txt", ""});
    headless().answer_next_open_dialog("file:///tmp/listen/dump.qucode");
    t_MenuEventHandler(command(300));
    EXPECT_EQ(MenuActionForTag(300)->FilePath, "/tmp/listen/dump.qucode");
    EXPECT_EQ(MenuActionForTag(300)->FileName, "dump.qucode");
    EXPECT_EQ(headless().last_open_dialog()->file_types,
              (std::vector<std::string>{"qucode", "txt"}));
    AddMenuAction({301, ACTION_SAVE_DIALOG, "Sichern", "", "liste.txt", "", "alt"});
    t_MenuEventHandler(command(301));
    EXPECT_EQ(MenuActionForTag(301)->FilePath + MenuActionForTag(301)->FileName, "");
    EXPECT_EQ(headless().last_save_dialog()->proposed_name, "liste.txt");
}

TEST_F(MenusTest, ItemLookUps)
{
    DiagCapture out;
    EXPECT_EQ(t_MenuItemIndex("Nirgends", "x"), -2);
    EXPECT_EQ(t_MenuItemIndex("Bearbeiten", "Gibt es nicht"), -1);
    EXPECT_EQ(t_MenuItemIndex("Bearbeiten", "Einsetzen"), 2);
    EXPECT_EQ(t_MenuItemTitle("Bearbeiten", 65535), "Einsetzen"); // the last item
    EXPECT_EQ(t_MenuItemTitle("Bearbeiten", 0), "Text kopieren");
    EXPECT_EQ(out.text(), "t_MenuItemIndex: Menu not found.\n");
    t_MenuItemDelete("Bearbeiten", 65535);
    EXPECT_EQ(headless().menu_bar()[1].items.size(), 2u); // the window system shows it
    EXPECT_EQ(t_MenuItemIndex("Bearbeiten", "Einsetzen"), -1);
    t_MenuItemDelete("Bearbeiten", 2);
    EXPECT_EQ(out.text(), "t_MenuItemIndex: Menu not found.\n"
                          "t_MenuItemDelete: Item position out of range\n");
}

// The menu bar is the one the interface describes; no item is added to be removed again,
// so the preparation prints nothing (it used to print nine "Menu not found." lines).
TEST_F(MenusTest, PreparationSetsTheDescribedMenuBarSilently)
{
    ResetMenus();
    headless().set_menu_bar({});
    DiagCapture out;
    PrepareMenus();
    EXPECT_EQ(out.text(), "");
    // Only a graphic window initialised by then is offered.
    std::vector<platform::Menu> described = ApplicationInterface().menus;
    int graphic_items = 0;
    for (platform::Menu& menu : described) {
        for (MenuItem& item : menu.items) {
            if (item.tag >= ACTION_SHOW_GRAPHIC_0 && item.tag <= ACTION_HIDE_GRAPHIC_7) {
                item.enabled = false;
                ++graphic_items;
            }
        }
    }
    EXPECT_EQ(graphic_items, 16);
    EXPECT_EQ(MenuBar(), described);
    EXPECT_EQ(headless().menu_bar(), described);
    EXPECT_EQ(MenuActions().size(), 39u);

    text_window_with({'x'}); // initialises window 0
    UpdateGraphicWindowItems();
    const std::vector<platform::Menu> bar = headless().menu_bar();
    for (const MenuItem& item : bar[2].items) {
        if (item.tag >= ACTION_SHOW_GRAPHIC_0 && item.tag <= ACTION_HIDE_GRAPHIC_7) {
            EXPECT_EQ(item.enabled, item.tag <= ACTION_SHOW_GRAPHIC_0 + 1) << item.title;
        }
    }
    // Chosen by its key all the same, an item of a window not there beeps with its line.
    DiagCapture line;
    t_MenuEventHandler(command(ACTION_SHOW_GRAPHIC_0 + 2));
    EXPECT_EQ(line.text(), "t_MenuEventHandler: Window #1 not initialized.\n");
    EXPECT_EQ(beeps(), 1);
}

TEST_F(MenusTest, TwoQuickBeepsPlayOnce)
{
    Beep();
    Beep();
    auto played = headless().sounds_played();
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(std::filesystem::path(played[0]).filename(), "sysbeep.aif");
    EXPECT_EQ(headless().beeps(), 0);
}

TEST_F(MenusTest, BeepFallsBackToTheAlertWithoutTheSound)
{
    const auto empty = std::filesystem::temp_directory_path() / "orbikon-no-sounds";
    std::filesystem::create_directories(empty);
    setenv("ORBIKON_RESOURCES", empty.c_str(), 1);
    Beep();
    EXPECT_EQ(headless().beeps(), 1);
    EXPECT_TRUE(headless().sounds_played().empty());
}

TEST_F(MenusTest, GeneratedSoundIsAnAiffFile)
{
    auto bytes = platform::read_file(std::string(ORBIKON_RESOURCE_DIR) + "/sysbeep.aif");
    ASSERT_TRUE(bytes);
    ASSERT_GT(bytes->size(), 54u);
    EXPECT_EQ(std::string(bytes->begin(), bytes->begin() + 4), "FORM");
    EXPECT_EQ(std::string(bytes->begin() + 8, bytes->begin() + 16), "AIFFCOMM");
    const uint32_t form_size = (uint32_t((*bytes)[4]) << 24) | (uint32_t((*bytes)[5]) << 16) |
                               (uint32_t((*bytes)[6]) << 8) | (*bytes)[7];
    EXPECT_EQ(form_size + 8, bytes->size());
}
