// circuits/qasm_expression.h: parameter expressions of OpenQASM programs: parsed once, then
// evaluated for each call of the gate they belong to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "circuits/qasm_lexer.h"

namespace circuits {

enum class ExprKind : uint8_t {
    Number,
    Param,
    Negate,
    Add,
    Subtract,
    Multiply,
    Divide,
    Power,
    Function
};
enum class MathFunction : uint8_t { Sin, Cos, Tan, Exp, Ln, Sqrt, Arcsin, Arccos, Arctan };

struct Expr {
    ExprKind kind = ExprKind::Number;
    MathFunction function = MathFunction::Sin;
    int32_t param = -1;     // Param: index into the values given to evaluate
    int32_t a = -1, b = -1; // operands, as indices into the arena
    double value = 0;       // Number
    int32_t height = 1;     // of the tree below, which evaluation recurses through
};

// A problem found while reading, at a token (German, one sentence).
struct ReadError {
    std::string message;
    int32_t line = 0, column = 0;
};

// What a name stands for inside an expression: a parameter of the gate being defined (its
// index), a constant (its value), or neither (false).
using NameResolver = std::function<bool(std::string_view name, int32_t& param, double& value)>;

// All expressions of one program, in one array.
class ExprArena {
public:
    // Parses the expression at in (version 2: ^ is the power; 3: **); -1 with error filled.
    int32_t parse(TokenStream& in, int version, const NameResolver& resolve, ReadError& error);

    // The value with params as the gate parameters' values.
    double evaluate(int32_t expr, const double* params) const;

    // Whether the expression uses no gate parameter.
    bool constant(int32_t expr) const;

private:
    int32_t add(Expr e, const Token& at);
    int32_t sum(TokenStream& in);
    int32_t product(TokenStream& in);
    int32_t unary(TokenStream& in);
    int32_t power(TokenStream& in);
    int32_t primary(TokenStream& in);
    int32_t fail(const Token& at, std::string message);

    std::vector<Expr> nodes_;
    // Set for the duration of one parse.
    int version_ = 3;
    const NameResolver* resolve_ = nullptr;
    ReadError* error_ = nullptr;
    int depth_ = 0;
};

} // namespace circuits
