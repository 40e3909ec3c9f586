// The terminal backend: key decoding, and the real program on a pseudo-terminal read back
// through a small screen model of the escape sequences it writes.
#include "platform/keys.h"
#include "platform/terminal/terminal.h"
#include "platform/utf8.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using platform::terminal::TerminalKey;

// Each entry: the bytes of one key, its code, characters and modifiers (Return, Escape
// and F10 are typed in the session below).
TEST(TerminalKeys, DecodesKeysIntoNamedCodes)
{
    struct Case {
        std::string bytes;
        uint16_t code;
        std::string characters;
        uint64_t modifiers;
    };
    using namespace platform::keys;
    const std::string f1 = "\xEF\x9C\x84";  // U+F704
    const Case cases[] = {
        {"a", KEY_A, "a", 0},
        {"Q", KEY_Q, "Q", MOD_SHIFT},
        {"?", KEY_SLASH, "?", MOD_SHIFT},
        {"\x7f", KEY_DELETE, "\x7f", 0},
        {"\x08", KEY_DELETE, "\x7f", 0},
        {"\x13", KEY_S, "\x13", MOD_CONTROL},
        {"\xC3\xA4", KEY_UNMAPPED, "\xC3\xA4", 0},
        {"\x1b[A", KEY_UP, "\xEF\x9C\x80", MOD_FN | MOD_NUMERIC_PAD},
        {"\x1b[1;5D", KEY_LEFT, "\xEF\x9C\x82", MOD_FN | MOD_NUMERIC_PAD | MOD_CONTROL},
        {"\x1bOH", KEY_HOME, "\xEF\x9C\xA9", MOD_FN},
        {"\x1b[4~", KEY_END, "\xEF\x9C\xAB", MOD_FN},
        {"\x1b[3~", KEY_FORWARD_DELETE, "\xEF\x9C\xA8", MOD_FN},
        {"\x1b[6~", KEY_PAGE_DOWN, "\xEF\x9C\xAD", MOD_FN},
        {"\x1bOP", KEY_F1, f1, MOD_FN},
        {"\x1b[Z", KEY_TAB, "\x19", MOD_SHIFT},
        {"\x1b[2~", KEY_UNMAPPED, "", 0}, // Insert: no key of ours
        {"\x1b[[A", KEY_F1, f1, MOD_FN},   // the Linux console's F1 to F5
        {"\x1b[[D", KEY_F4, "\xEF\x9C\x87", MOD_FN},
        {"\x1b[[E", KEY_F5, "\xEF\x9C\x88", MOD_FN},
    };
    for (const Case& c : cases) {
        std::string input = c.bytes + "x";
        TerminalKey key;
        ASSERT_TRUE(platform::terminal::take_key(input, key)) << c.bytes;
        EXPECT_EQ(key.report.key_code, c.code) << c.bytes;
        EXPECT_EQ(key.report.characters, c.characters) << c.bytes;
        EXPECT_EQ(key.report.modifiers, c.modifiers) << c.bytes;
        EXPECT_EQ(input, "x") << c.bytes;
    }

    // A sequence still on its way is left for the next read; Ctrl-C asks to leave.
    std::string input = "\x1b[2";
    TerminalKey key;
    EXPECT_FALSE(platform::terminal::take_key(input, key));
    input += "1~\x03";
    ASSERT_TRUE(platform::terminal::take_key(input, key));
    EXPECT_EQ(key.report.key_code, KEY_F10);
    ASSERT_TRUE(platform::terminal::take_key(input, key));
    EXPECT_EQ(key.kind, TerminalKey::Kind::Interrupt);

    // A bracketed paste is one text, not keys, however it arrives.
    input = "\x1b[200~D15\x1b[";
    EXPECT_FALSE(platform::terminal::take_key(input, key));
    input += "201~x";
    ASSERT_TRUE(platform::terminal::take_key(input, key));
    EXPECT_EQ(key.kind, TerminalKey::Kind::Paste);
    EXPECT_EQ(key.text, "D15");
    EXPECT_EQ(input, "x");
}

// TERM decides whether the terminal can be used and how richly it is drawn.
TEST(TerminalKinds, TermNamesWhatTheTerminalCan)
{
    const char* saved = std::getenv("TERM");
    const std::string before = saved ? saved : "";
    struct Case {
        const char* term; // nullptr: unset
        bool refused;
        bool limited;
    } cases[] = {{nullptr, true, false},  {"dumb", true, false},  {"", true, false},
                 {"linux", false, true},  {"vt100", false, true}, {"xterm-256color", false, false},
                 {"tmux-256color", false, false}};
    for (const Case& c : cases) {
        if (c.term)
            setenv("TERM", c.term, 1);
        else
            unsetenv("TERM");
        EXPECT_EQ(!platform::terminal::unsuitable_terminal().empty(), c.refused) << c.term;
        EXPECT_EQ(platform::terminal::limited_terminal(), c.limited) << c.term;
    }
    if (saved)
        setenv("TERM", before.c_str(), 1);
    else
        unsetenv("TERM");
}

// What a terminal shows of the sequences the backend writes: cursor moves and printed cells
// (no line wrap), full clears, the OSC 52 payloads, leaving the alternate screen; any other
// control character but the bell (counted apart) would scroll or move the cursor, so it is
// only counted.
class ScreenModel {
  public:
    void resize(int columns, int lines)
    {
        columns_ = columns;
        lines_ = lines;
        cells_.assign(static_cast<size_t>(lines), std::u32string(size_t(columns), U' '));
        colours_.assign(static_cast<size_t>(lines * columns), {0, 0});
        row_ = col_ = 0;
    }

    void feed(const std::string& bytes)
    {
        pending_ += bytes;
        size_t i = 0;
        while (i < pending_.size()) {
            const size_t used = step(i);
            if (used == 0)
                break; // an incomplete sequence waits for more bytes
            i += used;
        }
        pending_.erase(0, i);
    }

    std::string line(int n) const // from 1, UTF-8, trailing blanks removed
    {
        std::string out = platform::encode_utf8(cells_.at(static_cast<size_t>(n - 1)));
        return out.erase(out.find_last_not_of(' ') + 1);
    }
    std::string text() const
    {
        std::string out;
        for (int n = 1; n <= lines_; ++n)
            out += line(n) + "\n";
        return out;
    }

    // Half and full block cells of lines first_line to last_line (from 1) that show rgb
    // (0xRRGGBB, as 24-bit colour) in either half.
    int blocks_coloured(uint32_t rgb, int first_line, int last_line) const
    {
        int count = 0;
        for (int line = first_line; line <= last_line; ++line)
            for (int column = 0; column < columns_; ++column) {
                const char32_t ch = cells_[size_t(line - 1)][size_t(column)];
                const auto& c = colours_[static_cast<size_t>((line - 1) * columns_ + column)];
                const bool block = ch == U'\u2580' || ch == U'\u2584' || ch == U'\u2588';
                count += block && (c.first == rgb || (ch == U'\u2584' && c.second == rgb));
            }
        return count;
    }

    std::vector<std::string> clipboard;
    int stray_controls = 0;
    int bells = 0;
    bool left_screen = false;

  private:
    // Handles the sequence or character at i; the bytes used, 0 when incomplete.
    size_t step(size_t i)
    {
        const std::string& s = pending_;
        if (s[i] == '\x1b' && s.compare(i, 2, "\x1b]") == 0) { // OSC ... BEL
            const size_t end = s.find('\a', i);
            if (end == std::string::npos)
                return 0;
            if (s.compare(i + 2, 5, "52;c;") == 0)
                clipboard.push_back(unbase64(s.substr(i + 7, end - i - 7)));
            return end - i + 1;
        }
        if (s[i] == '\x1b') { // CSI parameters final
            const size_t end = s.find_first_not_of("[0123456789;?", i + 1);
            if (end == std::string::npos)
                return 0;
            csi(s.substr(i + 2, end - i - 2), s[end]);
            return end - i + 1;
        }
        if (static_cast<unsigned char>(s[i]) < 0x20) {
            stray_controls += s[i] != '\a'; // a bell moves nothing
            bells += s[i] == '\a';
            return 1;
        }
        size_t next = i;
        const std::optional<char32_t> c = platform::next_utf8(s, next);
        if (!c && s.size() - i < 4)
            return 0;
        if (row_ < lines_ && col_ < columns_) {
            cells_[size_t(row_)][size_t(col_)] = c.value_or(U'?');
            colours_[size_t(row_ * columns_ + col_)] = {foreground_, background_};
        }
        col_ = std::min(col_ + 1, columns_ - 1); // the last column is written over
        return next - i;
    }

    void csi(const std::string& params, char final)
    {
        if (params == "?1049" && final == 'l')
            left_screen = true;
        if (final == 'H') {
            row_ = std::atoi(params.c_str()) - 1;
            col_ = std::atoi(params.c_str() + params.find(';') + 1) - 1;
        } else if (final == 'J') {
            resize(columns_, lines_);
        } else if (final == 'm') {
            // Only the 24-bit colours: "38;2;r;g;b" and "48;2;r;g;b".
            std::vector<int> n;
            for (size_t at = 0; at <= params.size();) {
                const size_t end = std::min(params.find(';', at), params.size());
                n.push_back(std::atoi(params.substr(at, end - at).c_str()));
                at = end + 1;
            }
            for (size_t i = 0; i + 4 < n.size(); ++i)
                if ((n[i] == 38 || n[i] == 48) && n[i + 1] == 2) {
                    const uint32_t rgb = uint32_t(n[i + 2]) << 16 | uint32_t(n[i + 3]) << 8 |
                                         uint32_t(n[i + 4]);
                    (n[i] == 38 ? foreground_ : background_) = rgb;
                    i += 4;
                }
        }
    }

    static std::string unbase64(const std::string& text)
    {
        const std::string digits =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        uint32_t group = 0;
        int bits = 0;
        for (char c : text) {
            const size_t d = digits.find(c);
            if (d == std::string::npos)
                break; // the padding
            group = (group << 6) | static_cast<uint32_t>(d);
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                out.push_back(static_cast<char>((group >> bits) & 0xFF));
            }
        }
        return out;
    }

    int columns_ = 0;
    int lines_ = 0;
    int row_ = 0;
    int col_ = 0;
    std::vector<std::u32string> cells_;
    std::vector<std::pair<uint32_t, uint32_t>> colours_; // foreground, background per cell
    uint32_t foreground_ = 0;
    uint32_t background_ = 0;
    std::string pending_;
};

constexpr int WAIT_LIMIT_MS = 60000;
constexpr int POLL_MS = 50;

// build/orbikon --terminal on a pseudo-terminal of its own.
class TerminalRun : public ::testing::Test {
  protected:
    void SetUp() override
    {
        // A folder per test: ctest runs them side by side.
        const std::filesystem::path cache =
            std::filesystem::path(ORBIKON_BUILD_DIR) / "test-terminal" /
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(cache);
        std::filesystem::create_directories(cache);
        dump_ = cache / "orbikon" / "dump.qucode";
        winsize size{};
        size.ws_col = 80;
        size.ws_row = static_cast<unsigned short>(lines());
        screen.resize(80, lines());
        child_ = forkpty(&master_, nullptr, nullptr, &size);
        ASSERT_GE(child_, 0) << "forkpty failed";
        if (child_ == 0) {
            setenv("XDG_CACHE_HOME", cache.c_str(), 1);
            setenv("COLORTERM", "truecolor", 1);
            if (term())
                setenv("TERM", term(), 1);
            else
                unsetenv("TERM");
            const std::string program = std::string(ORBIKON_BUILD_DIR) + "/orbikon";
            execl(program.c_str(), program.c_str(), "--terminal", static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    void TearDown() override
    {
        // What the program wrote to standard error (a sanitizer's report) went to its log.
        if (HasFailure()) {
            std::ifstream log(dump_.parent_path() / "console.log");
            std::cout << "console.log:\n" << log.rdbuf() << "\n";
        }
        if (child_ > 0 && !exited_) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
    }

    // Reads what the program wrote until pred holds; false after the limit.
    template <typename Pred> bool wait_for(Pred pred)
    {
        for (int waited = 0; waited <= WAIT_LIMIT_MS; waited += POLL_MS) {
            if (pred())
                return true;
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, POLL_MS) > 0) {
                char buffer[4096];
                const ssize_t n = read(master_, buffer, sizeof buffer);
                if (n > 0)
                    screen.feed(std::string(buffer, static_cast<size_t>(n)));
                else if (exited())
                    return pred();
                else
                    usleep(POLL_MS * 1000); // the other side is closed: poll no longer waits
            }
        }
        return pred();
    }
    bool shows(const std::string& text)
    {
        return wait_for([&] { return screen.text().find(text) != std::string::npos; });
    }

    void type(const std::string& bytes)
    {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    void resize(int columns, int lines)
    {
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = static_cast<unsigned short>(lines);
        ioctl(master_, TIOCSWINSZ, &size);
        screen.resize(columns, lines);
    }

    void signal_program(int sig) { kill(child_, sig); }

    bool exited()
    {
        if (!exited_ && waitpid(child_, &status_, WNOHANG) == child_)
            exited_ = true;
        return exited_;
    }

    // The terminal the program is started in.
    virtual const char* term() const { return "xterm-256color"; }
    virtual int lines() const { return 25; }

    ScreenModel screen;
    int status_ = 0;
    std::filesystem::path dump_;

  private:
    int master_ = -1;
    pid_t child_ = -1;
    bool exited_ = false;
};

const std::string PROMPT = "D(isAsm  G(rover  H(elp  I(sing";
const std::string FULL_PROMPT =
    "D(isAsm  G(rover  H(elp  I(sing  O(racle  R(andom  S(hor  Q(uit     [1.1.1] ?";
const std::string F2 = "\x1bOQ";
const std::string F10 = "\x1b[21~";
const std::string RIGHT = "\x1b[C";

// One session, as a user would go through it: each step starts where the last one ended.
TEST_F(TerminalRun, WindowPagesMenusResizeAndLeaving)
{
    // At exactly 80 x 25 window 0 fills the screen: the prompt stands on line 1.
    ASSERT_TRUE(shows(PROMPT)) << screen.text();
    EXPECT_EQ(screen.line(1).rfind(PROMPT, 0), 0u) << screen.text();

    // The code test, its listing, and the printer page.
    type("t");
    ASSERT_TRUE(shows("Quanten-Code Test")) << screen.text();
    type("d");
    ASSERT_TRUE(shows("Ausgabe erzeugen: 100%")) << screen.text();
    // D ends by showing the printer anew, which says so; F2 before that would be undone.
    ASSERT_TRUE(shows("F2 zeigt den Drucker.")) << screen.text();
    type(F2);
    ASSERT_TRUE(shows("Virtueller Drucker")) << screen.text();
    // The page follows new text to its end; the listing's last record must be in first.
    ASSERT_TRUE(shows("$00000122")) << screen.text();
    type("\x1b[H"); // Home: the top of the listing
    ASSERT_TRUE(wait_for([&] {
        return screen.line(1).rfind("$00000000", 0) == 0 &&
               screen.line(1).find("qbits") != std::string::npos;
    })) << screen.text();

    // Escape returns to window 0; F10, Bearbeiten, "Text kopieren" reaches the clipboard,
    // once the program has written its next prompt over the line that still ends in "? D".
    type("\x1b");
    ASSERT_TRUE(wait_for([&] { return screen.line(1) == FULL_PROMPT; })) << screen.text();
    type(F10);
    ASSERT_TRUE(shows("Bearbeiten")) << screen.text();
    type(RIGHT);
    ASSERT_TRUE(shows("Text kopieren")) << screen.text();
    type("\r");
    ASSERT_TRUE(wait_for([&] { return !screen.clipboard.empty(); })) << "no OSC 52 written";
    EXPECT_EQ(screen.clipboard.back().rfind(PROMPT, 0), 0u) << screen.clipboard.back();
    EXPECT_NE(screen.clipboard.back().find("\nAusgabe erzeugen: 100%"), std::string::npos);

    // Hilfe, "Über Orbikon" shows version, licence and libraries until a key, which the
    // program never gets.
    type(F10);
    type(RIGHT + RIGHT + RIGHT);
    ASSERT_TRUE(shows("ber Orbikon")) << screen.text();
    type("\r");
    ASSERT_TRUE(shows("Lizenz: MIT")) << screen.text();
    EXPECT_TRUE(shows("Bibliotheken: LAPACK")) << screen.text();
    type("h");
    ASSERT_TRUE(wait_for([&] { return screen.text().find("Lizenz") == std::string::npos; }))
        << screen.text();
    EXPECT_EQ(screen.line(1), FULL_PROMPT);

    // Too small: the line that says so; back at 80 x 25 the screen comes back.
    resize(60, 20);
    ASSERT_TRUE(shows("Orbikon braucht 80 x 25 Zeichen; das Terminal hat 60 x 20."))
        << screen.text();
    resize(80, 25);
    ASSERT_TRUE(wait_for([&] { return screen.line(1).rfind(PROMPT, 0) == 0; })) << screen.text();
    EXPECT_EQ(screen.stray_controls, 0);

    // Ctrl-C leaves and gives the terminal back.
    type("\x03");
    ASSERT_TRUE(wait_for([&] { return exited(); })) << "still running after Ctrl-C";
    EXPECT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 0);
    wait_for([&] { return screen.left_screen; });
    EXPECT_TRUE(screen.left_screen);
}

// G 8 draws its search into window 2; F6 shows it in half blocks, Escape returns.
TEST_F(TerminalRun, GroverPictureOnItsPage)
{
    const std::string F6 = "\x1b[17~";
    ASSERT_TRUE(shows(PROMPT)) << screen.text();
    type("g8\r");
    ASSERT_TRUE(shows("Anzahl der Qubits")) << screen.text();
    type("0\r");
    ASSERT_TRUE(shows("Die Wahrscheinlichkeit")) << screen.text();
    EXPECT_EQ(screen.blocks_coloured(0x00FF00, 1, 24), 0) << "window 0 shows no curve";
    type(F6);
    ASSERT_TRUE(wait_for([&] { return screen.line(25).rfind(" Grover  F5 Register", 0) == 0; }))
        << screen.text();
    // The curve (green) and its points (yellow) lie inside the plot, not on the status line.
    ASSERT_TRUE(wait_for([&] { return screen.blocks_coloured(0x00FF00, 1, 24) >= 10; }))
        << screen.text();
    EXPECT_GE(screen.blocks_coloured(0xFFFF00, 1, 24), 4) << "the points of 0 to 3 iterations";
    type("\x1b");
    EXPECT_TRUE(wait_for([&] {
        return screen.line(1) == FULL_PROMPT && screen.blocks_coloured(0x00FF00, 1, 24) == 0;
    })) << screen.text();
}

TEST_F(TerminalRun, ACrashSignalStillGivesTheTerminalBack)
{
    ASSERT_TRUE(shows(PROMPT)) << screen.text();
    // Abort, as a failed check would; the sanitizers keep the segmentation fault for themselves.
    signal_program(SIGABRT);
    ASSERT_TRUE(wait_for([&] { return exited(); })) << "still running after SIGABRT";
    EXPECT_TRUE(WIFSIGNALED(status_) && WTERMSIG(status_) == SIGABRT);
    wait_for([&] { return screen.left_screen; });
    EXPECT_TRUE(screen.left_screen);
}

// TERM=dumb cannot draw a page: one German line and status 2, before the screen is touched.
class DumbTerminalRun : public TerminalRun {
  protected:
    const char* term() const override { return "dumb"; }
};

TEST_F(DumbTerminalRun, RefusesWithOneLine)
{
    ASSERT_TRUE(shows("(TERM=dumb) kann keine Bildschirmseiten zeichnen")) << screen.text();
    ASSERT_TRUE(wait_for([&] { return exited(); })) << "still running with TERM=dumb";
    EXPECT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 2);
}

// One row more than window 0 needs, so the status bar has a row of its own.
class TallTerminalRun : public TerminalRun {
  protected:
    int lines() const override { return 26; }
};

TEST_F(TallTerminalRun, PasteListingCopyHiddenWindowAndSigterm)
{
    ASSERT_TRUE(shows(PROMPT)) << screen.text();
    // A pasted "D" reaches the menu as the paste key, not as the disassembler's letter.
    type("\x1b[200~D\x1b[201~");
    type("s");
    ASSERT_TRUE(shows("Zahl eingeben (15-1000):")) << screen.text();
    EXPECT_EQ(screen.text().find("Ausgabe erzeugen"), std::string::npos) << screen.text();
    // The euro sign has no code of ours: dropped, the digits stay in the field.
    type("\x1b[200~15\xE2\x82\xAC\x1b[201~");
    ASSERT_TRUE(shows("Zahl eingeben (15-1000): 15")) << screen.text();
    type("\r");
    ASSERT_TRUE(wait_for([&] {
        return screen.line(1) == FULL_PROMPT && std::filesystem::exists(dump_);
    })) << screen.text();

    // D says where its listing went.
    type("d");
    ASSERT_TRUE(wait_for([&] { return screen.line(26) == " F2 zeigt den Drucker."; }))
        << screen.text();

    // The printer page's status bar fits 80 columns with whole words.
    type(F2);
    ASSERT_TRUE(shows("Virtueller Drucker")) << screen.text();
    ASSERT_TRUE(wait_for([&] {
        return screen.line(26).find("Esc zur\xC3\xBC" "ck") != std::string::npos &&
               screen.line(26).find("F10 Men\xC3\xBC") != std::string::npos;
    })) << screen.line(26);

    // The listing (about 1 MB) is copied, but not through OSC 52, which terminals drop.
    type(F10);
    type(RIGHT);
    ASSERT_TRUE(shows("Text kopieren")) << screen.text();
    type("\r");
    ASSERT_TRUE(wait_for([&] {
        return screen.line(26).find("f\xC3\xBCr die Zwischenablage des Terminals") !=
               std::string::npos;
    })) << screen.line(26);
    EXPECT_TRUE(screen.clipboard.empty());

    // Ablage, "Drucker sichern…" asks for the path on the bottom row and writes the listing.
    const std::filesystem::path saved = dump_.parent_path() / "liste.txt";
    type(F10);
    ASSERT_TRUE(shows("Drucker leeren")) << screen.text();
    type("\x1b[B\x1b[B\r"); // down twice, past the separator
    ASSERT_TRUE(shows("Drucker sichern (Esc bricht ab): Drucker.txt_")) << screen.line(26);
    type(std::string(11, '\x7f') + saved.string() + "\r");
    ASSERT_TRUE(wait_for([&] { return std::filesystem::exists(saved); })) << screen.line(26);
    usleep(300 * 1000); // the file is written after the dialog returns
    std::ifstream listing(saved);
    std::string first;
    std::getline(listing, first);
    EXPECT_EQ(first.rfind("$00000000  F0", 0), 0u) << first;

    // Window 0 hidden while the printer stays: the printer's page comes forward, and a blind
    // Q reaches no program.
    type("\x1bOP"); // F1
    ASSERT_TRUE(wait_for([&] { return screen.line(1) == FULL_PROMPT; })) << screen.text();
    type(F10);
    type(RIGHT);
    type(RIGHT);
    ASSERT_TRUE(shows("Alle Fenster ausblenden")) << screen.text();
    type("\r"); // the first item: hide the key window
    ASSERT_TRUE(wait_for([&] { return screen.line(26).rfind(" Virtueller Drucker", 0) == 0; }))
        << screen.text();
    const int bells = screen.bells;
    type("q");
    ASSERT_TRUE(wait_for([&] { return screen.bells > bells; })) << "the blind key did not beep";
    EXPECT_FALSE(exited());

    // SIGTERM leaves as Ctrl+Q does: the dump goes, the status says terminated.
    signal_program(SIGTERM);
    ASSERT_TRUE(wait_for([&] { return exited(); })) << "still running after SIGTERM";
    EXPECT_TRUE(WIFSIGNALED(status_) && WTERMSIG(status_) == SIGTERM);
    EXPECT_FALSE(std::filesystem::exists(dump_));
    wait_for([&] { return screen.left_screen; });
    EXPECT_TRUE(screen.left_screen);
}

} // namespace
