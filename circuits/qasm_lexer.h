// circuits/qasm_lexer.h: the tokens of an OpenQASM 2 or 3 program, with their positions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace circuits {

enum class TokenKind : uint8_t {
    End,        // after the last token
    Identifier, // also keywords; the parser tells them apart
    Integer,    // decimal, or 0x / 0o / 0b in OpenQASM 3
    Real,       // with a point or an exponent
    String,     // "..." or '...', text without the quotes
    Symbol,     // one of the operators and punctuation, longest match
    Pragma,     // "pragma" (or "#pragma") and the rest of its line, in text
    Hardware,   // $n, a physical qubit
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view text;  // as written; for String the text between the quotes
    uint64_t integer = 0;   // Integer: the value (saturated at the top)
    bool too_large = false; // Integer: did not fit in 64 bits
    double real = 0;        // Real, and Integer as a double
    int32_t line = 1;       // from 1
    int32_t column = 1;     // from 1, in characters
};

// Where the lexer stopped, and why (German, one sentence).
struct LexError {
    std::string message;
    int32_t line = 0, column = 0;
};

// Splits source into tokens; the last one is End. False with error filled at the first
// thing that is no token (a stray character, an open comment or string, a number with a
// unit or a suffix, bytes that are no UTF-8); the tokens before it are kept, ended by an End
// at the fault. Comments and white space are dropped.
bool lex_qasm(std::string_view source, std::vector<Token>& tokens, LexError& error);

// Reads a token list front to back; the End token repeats at the end.
class TokenStream {
public:
    explicit TokenStream(const std::vector<Token>& tokens) : tokens_(tokens) {}

    const Token& peek(size_t ahead = 0) const
    {
        const size_t i = at_ + ahead;
        return i < tokens_.size() ? tokens_[i] : tokens_.back();
    }
    const Token& next()
    {
        const Token& t = peek();
        if (at_ + 1 < tokens_.size())
            ++at_;
        return t;
    }
    // Whether the next token is the symbol (or identifier) text.
    bool at(std::string_view text) const
    {
        const Token& t = peek();
        return (t.kind == TokenKind::Symbol || t.kind == TokenKind::Identifier) && t.text == text;
    }
    // Takes the next token if it is text.
    bool take(std::string_view text)
    {
        if (!at(text))
            return false;
        next();
        return true;
    }

private:
    const std::vector<Token>& tokens_;
    size_t at_ = 0;
};

// How a token is quoted in a message: its text, or the end of the file.
std::string token_shown(const Token& t);

// Whether source is meant as a program rather than a dump: its first token, after white
// space and comments, is OPENQASM, or it starts with text a program starts with.
bool looks_like_qasm(std::string_view source);

} // namespace circuits
