// circuits/qasm_lexer.cpp: tokens of OpenQASM programs.
#include "circuits/qasm_lexer.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "platform/utf8.h"

namespace circuits {

namespace {

// Longest first, so that "**=" wins over "**" and "*".
constexpr std::array<std::string_view, 24> MULTI_SYMBOLS = {
    "**=", "<<=", ">>=", "==", "!=", "<=", ">=", "&&", "||", "**", "->", "<<",
    ">>",  "++",  "+=",  "-=", "*=", "/=", "%=", "^=", "&=", "|=", "~=", "::"};
constexpr std::string_view SINGLE_SYMBOLS = "()[]{};,:=<>+-*/%^!~&|@.?";

// How much of a file decides whether text without a header is meant as a program.
constexpr size_t TEXT_PROBE_BYTES = 4096;

bool is_identifier_start(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}

bool is_digit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool is_identifier_char(unsigned char c)
{
    return is_identifier_start(c) || is_digit(c);
}

// Walks the source keeping the line and the column (in characters) of the next byte.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool done() const { return at_ >= text_.size(); }
    unsigned char peek(size_t ahead = 0) const
    {
        return at_ + ahead < text_.size() ? static_cast<unsigned char>(text_[at_ + ahead]) : 0;
    }
    size_t at() const { return at_; }
    int32_t line() const { return line_; }
    int32_t column() const { return column_; }
    std::string_view since(size_t start) const { return text_.substr(start, at_ - start); }

    void advance()
    {
        const unsigned char c = peek();
        ++at_;
        if (c == '\n') {
            ++line_;
            column_ = 1;
        } else if ((c & 0xC0) != 0x80) {
            // Continuation bytes of a character add no column.
            ++column_;
        }
    }

private:
    std::string_view text_;
    size_t at_ = 0;
    int32_t line_ = 1;
    int32_t column_ = 1;
};

class Lexer {
public:
    Lexer(std::string_view source, std::vector<Token>& tokens, LexError& error)
        : in_(source), tokens_(tokens), error_(error)
    {
    }

    bool run();

private:
    // Ends the tokens with an End at the fault, so that what comes before can still be read.
    bool fail(int32_t line, int32_t column, std::string message)
    {
        error_ = {std::move(message), line, column};
        Token end;
        end.line = line;
        end.column = column;
        tokens_.push_back(end);
        return false;
    }
    bool skip_space_and_comments();
    bool number(Token& t);
    bool string(Token& t);
    bool symbol(Token& t);
    void rest_of_line(Token& t);

    Cursor in_;
    std::vector<Token>& tokens_;
    LexError& error_;
};

bool Lexer::skip_space_and_comments()
{
    for (;;) {
        const unsigned char c = in_.peek();
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            in_.advance();
        } else if (c == '/' && in_.peek(1) == '/') {
            while (!in_.done() && in_.peek() != '\n')
                in_.advance();
        } else if (c == '/' && in_.peek(1) == '*') {
            const int32_t line = in_.line(), column = in_.column();
            in_.advance();
            in_.advance();
            while (!in_.done() && !(in_.peek() == '*' && in_.peek(1) == '/'))
                in_.advance();
            if (in_.done())
                return fail(line, column, "Der Kommentar \"/*\" wird nicht geschlossen.");
            in_.advance();
            in_.advance();
        } else {
            return true;
        }
    }
}

// Digits with the underscores OpenQASM 3 allows between them.
void take_digits(Cursor& in, bool (*digit)(unsigned char))
{
    while (digit(in.peek()) || (in.peek() == '_' && digit(in.peek(1))))
        in.advance();
}

bool Lexer::number(Token& t)
{
    const size_t start = in_.at();
    std::string digits;
    const auto keep = [&](size_t from) {
        for (char ch : in_.since(from))
            if (ch != '_')
                digits += ch;
    };
    const unsigned char prefix = in_.peek(1);
    if (in_.peek() == '0' && (prefix == 'x' || prefix == 'X' || prefix == 'o' || prefix == 'O' ||
                              prefix == 'b' || prefix == 'B')) {
        const int base = (prefix == 'x' || prefix == 'X')   ? 16
                         : (prefix == 'o' || prefix == 'O') ? 8
                                                            : 2;
        in_.advance();
        in_.advance();
        const size_t from = in_.at();
        static bool (*const DIGIT[3])(unsigned char) = {
            [](unsigned char c) { return c == '0' || c == '1'; },
            [](unsigned char c) { return c >= '0' && c <= '7'; },
            [](unsigned char c) { return std::isxdigit(c) != 0; }};
        take_digits(in_, DIGIT[base == 2 ? 0 : base == 8 ? 1 : 2]);
        keep(from);
        if (digits.empty())
            return fail(t.line, t.column,
                        "Die Zahl \"" + std::string(in_.since(start)) + "\" hat keine Ziffern.");
        t.kind = TokenKind::Integer;
        for (char ch : digits) {
            const uint64_t d = static_cast<uint64_t>(
                std::isdigit(static_cast<unsigned char>(ch))
                    ? ch - '0'
                    : (std::tolower(static_cast<unsigned char>(ch)) - 'a' + 10));
            if (t.integer > (UINT64_MAX - d) / static_cast<uint64_t>(base))
                t.too_large = true;
            t.integer = t.too_large ? UINT64_MAX : t.integer * static_cast<uint64_t>(base) + d;
        }
        t.real = static_cast<double>(t.integer);
    } else {
        take_digits(in_, is_digit);
        bool real = false;
        if (in_.peek() == '.') {
            real = true;
            in_.advance();
            take_digits(in_, is_digit);
        }
        const unsigned char e = in_.peek();
        if ((e == 'e' || e == 'E') &&
            (is_digit(in_.peek(1)) ||
             ((in_.peek(1) == '+' || in_.peek(1) == '-') && is_digit(in_.peek(2))))) {
            real = true;
            in_.advance();
            if (in_.peek() == '+' || in_.peek() == '-')
                in_.advance();
            take_digits(in_, is_digit);
        }
        keep(start);
        t.kind = real ? TokenKind::Real : TokenKind::Integer;
        t.real = std::strtod(digits.c_str(), nullptr);
        if (!real) {
            for (char ch : digits) {
                const auto d = static_cast<uint64_t>(ch - '0');
                if (t.integer > (UINT64_MAX - d) / 10)
                    t.too_large = true;
                t.integer = t.too_large ? UINT64_MAX : t.integer * 10 + d;
            }
        }
    }
    // A unit or a suffix glued to the number: durations and imaginary numbers.
    if (is_identifier_start(in_.peek())) {
        const size_t from = in_.at();
        while (is_identifier_char(in_.peek()))
            in_.advance();
        const std::string_view suffix = in_.since(from);
        if (suffix == "im")
            return fail(t.line, t.column, "Komplexe Zahlen werden nicht unterstützt.");
        if (suffix == "dt" || suffix == "ns" || suffix == "us" || suffix == "\u00B5s" ||
            suffix == "ms" || suffix == "s")
            return fail(t.line, t.column,
                        "Zeitangaben (\"" + std::string(in_.since(start)) +
                            "\") werden nicht unterstützt.");
        return fail(t.line, t.column,
                    "\"" + std::string(in_.since(start)) + "\" ist keine gültige Zahl.");
    }
    t.text = in_.since(start);
    return true;
}

bool Lexer::string(Token& t)
{
    const unsigned char quote = in_.peek();
    in_.advance();
    const size_t from = in_.at();
    while (!in_.done() && in_.peek() != quote && in_.peek() != '\n')
        in_.advance();
    if (in_.peek() != quote)
        return fail(t.line, t.column, "Die Zeichenkette wird in dieser Zeile nicht geschlossen.");
    t.kind = TokenKind::String;
    t.text = in_.since(from);
    in_.advance();
    return true;
}

bool Lexer::symbol(Token& t)
{
    const size_t start = in_.at();
    for (std::string_view s : MULTI_SYMBOLS) {
        bool match = true;
        for (size_t i = 0; i < s.size() && match; ++i)
            match = in_.peek(i) == static_cast<unsigned char>(s[i]);
        if (match) {
            for (size_t i = 0; i < s.size(); ++i)
                in_.advance();
            t.kind = TokenKind::Symbol;
            t.text = in_.since(start);
            return true;
        }
    }
    if (SINGLE_SYMBOLS.find(static_cast<char>(in_.peek())) == std::string_view::npos) {
        const unsigned char c = in_.peek();
        std::string shown =
            c >= 0x20 && c < 0x7F
                ? std::string(1, static_cast<char>(c))
                : "\\x" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15];
        return fail(t.line, t.column,
                    "Das Zeichen \"" + shown + "\" gehört nicht in ein Programm.");
    }
    in_.advance();
    t.kind = TokenKind::Symbol;
    t.text = in_.since(start);
    return true;
}

// A pragma's content is the rest of its line, whatever it holds.
void Lexer::rest_of_line(Token& t)
{
    const size_t from = in_.at();
    while (!in_.done() && in_.peek() != '\n')
        in_.advance();
    t.kind = TokenKind::Pragma;
    t.text = in_.since(from);
}

bool Lexer::run()
{
    for (;;) {
        if (!skip_space_and_comments())
            return false;
        Token t;
        t.line = in_.line();
        t.column = in_.column();
        if (in_.done()) {
            tokens_.push_back(t);
            return true;
        }
        const unsigned char c = in_.peek();
        if (is_identifier_start(c)) {
            const size_t start = in_.at();
            while (is_identifier_char(in_.peek()))
                in_.advance();
            t.kind = TokenKind::Identifier;
            t.text = in_.since(start);
            if (!platform::valid_utf8(t.text))
                return fail(t.line, t.column, "Der Name enthält Bytes, die kein UTF-8 sind.");
            if (t.text == "pragma")
                rest_of_line(t);
        } else if (c == '#') {
            const size_t start = in_.at();
            in_.advance();
            while (is_identifier_char(in_.peek()))
                in_.advance();
            if (in_.since(start) != "#pragma")
                return fail(t.line, t.column, "Das Zeichen \"#\" gehört nicht in ein Programm.");
            rest_of_line(t);
        } else if (is_digit(c) || (c == '.' && is_digit(in_.peek(1)))) {
            if (!number(t))
                return false;
        } else if (c == '"' || c == '\'') {
            if (!string(t))
                return false;
        } else if (c == '$' && is_digit(in_.peek(1))) {
            const size_t start = in_.at();
            in_.advance();
            while (is_digit(in_.peek()))
                in_.advance();
            t.kind = TokenKind::Hardware;
            t.text = in_.since(start);
        } else if (!symbol(t)) {
            return false;
        }
        tokens_.push_back(t);
    }
}

} // namespace

std::string token_shown(const Token& t)
{
    switch (t.kind) {
    case TokenKind::End:
        return "das Ende der Datei";
    case TokenKind::Pragma:
        return "\"pragma\"";
    default:
        return "\"" + std::string(t.text) + "\"";
    }
}

bool lex_qasm(std::string_view source, std::vector<Token>& tokens, LexError& error)
{
    tokens.clear();
    Lexer lexer(source, tokens, error);
    return lexer.run();
}

bool looks_like_qasm(std::string_view source)
{
    size_t at = source.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    // Past white space and comments, as the lexer skips them.
    for (;;) {
        while (at < source.size() &&
               std::string_view(" \t\r\n\f\v").find(source[at]) != std::string_view::npos)
            ++at;
        if (source.substr(at, 2) == "//") {
            const size_t end = source.find('\n', at);
            at = end == std::string_view::npos ? source.size() : end;
        } else if (source.substr(at, 2) == "/*") {
            const size_t end = source.find("*/", at + 2);
            at = end == std::string_view::npos ? source.size() : end + 2;
        } else {
            break;
        }
    }
    if (source.substr(at, 8) == "OPENQASM")
        return true;
    // Text that starts like a program is one with a missing or misspelt header, which the
    // reader should name; anything with control bytes is left to the dump replay.
    if (at >= source.size())
        return at > 0;
    const unsigned char first = static_cast<unsigned char>(source[at]);
    if (!(is_identifier_start(first) && first < 0x80) && first != '/' && first != '#')
        return false;
    std::string_view head = source.substr(0, TEXT_PROBE_BYTES);
    for (unsigned char c : head)
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return false;
    // A cut prefix may end inside a character; only its complete part must be UTF-8.
    if (head.size() < source.size()) {
        size_t cut = head.size();
        while (cut > 0 && head.size() - cut < 3 &&
               (static_cast<unsigned char>(head[cut - 1]) & 0xC0) == 0x80)
            --cut;
        if (cut > 0 && static_cast<unsigned char>(head[cut - 1]) >= 0xC0)
            head = head.substr(0, cut - 1);
    }
    return platform::valid_utf8(head);
}

} // namespace circuits
