// circuits/qasm_expression.cpp: parameter expressions: + - * / and the power, unary minus,
// the built-in constants and functions.
#include "circuits/qasm_expression.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace circuits {

namespace {

// Deeper nesting than any real program has; it keeps hostile input off the stack's end.
constexpr int MAX_DEPTH = 200;

struct NamedFunction {
    std::string_view name;
    MathFunction function;
    int since_version;
};

constexpr NamedFunction FUNCTIONS[] = {
    {"sin", MathFunction::Sin, 2},       {"cos", MathFunction::Cos, 2},
    {"tan", MathFunction::Tan, 2},       {"exp", MathFunction::Exp, 2},
    {"ln", MathFunction::Ln, 2},         {"sqrt", MathFunction::Sqrt, 2},
    {"arcsin", MathFunction::Arcsin, 3}, {"arccos", MathFunction::Arccos, 3},
    {"arctan", MathFunction::Arctan, 3},
};

struct NamedConstant {
    std::string_view name;
    double value;
    int since_version;
};

constexpr NamedConstant CONSTANTS[] = {
    {"pi", std::numbers::pi, 2},      {"\u03C0", std::numbers::pi, 3},
    {"tau", 2 * std::numbers::pi, 3}, {"\u03C4", 2 * std::numbers::pi, 3},
    {"euler", std::numbers::e, 3},    {"\u2107", std::numbers::e, 3},
};

double apply(MathFunction f, double x)
{
    switch (f) {
    case MathFunction::Sin:
        return std::sin(x);
    case MathFunction::Cos:
        return std::cos(x);
    case MathFunction::Tan:
        return std::tan(x);
    case MathFunction::Exp:
        return std::exp(x);
    case MathFunction::Ln:
        return std::log(x);
    case MathFunction::Sqrt:
        return std::sqrt(x);
    case MathFunction::Arcsin:
        return std::asin(x);
    case MathFunction::Arccos:
        return std::acos(x);
    case MathFunction::Arctan:
        return std::atan(x);
    }
    return 0;
}

} // namespace

int32_t ExprArena::add(Expr e, const Token& at)
{
    for (int32_t operand : {e.a, e.b})
        if (operand >= 0)
            e.height = std::max(e.height, nodes_[static_cast<size_t>(operand)].height + 1);
    if (e.height > MAX_DEPTH)
        return fail(at, "Der Ausdruck ist zu tief geschachtelt.");
    nodes_.push_back(e);
    return static_cast<int32_t>(nodes_.size() - 1);
}

int32_t ExprArena::fail(const Token& at, std::string message)
{
    if (error_->message.empty())
        *error_ = {std::move(message), at.line, at.column};
    return -1;
}

int32_t ExprArena::parse(TokenStream& in, int version, const NameResolver& resolve,
                         ReadError& error)
{
    version_ = version;
    resolve_ = &resolve;
    error_ = &error;
    depth_ = 0;
    return sum(in);
}

int32_t ExprArena::sum(TokenStream& in)
{
    int32_t left = product(in);
    while (left >= 0 && (in.at("+") || in.at("-"))) {
        const Token& op = in.next();
        const ExprKind kind = op.text == "+" ? ExprKind::Add : ExprKind::Subtract;
        const int32_t right = product(in);
        if (right < 0)
            return -1;
        left = add({kind, MathFunction::Sin, -1, left, right, 0}, op);
    }
    return left;
}

int32_t ExprArena::product(TokenStream& in)
{
    int32_t left = unary(in);
    while (left >= 0 && (in.at("*") || in.at("/"))) {
        const Token& op = in.next();
        const ExprKind kind = op.text == "*" ? ExprKind::Multiply : ExprKind::Divide;
        const int32_t right = unary(in);
        if (right < 0)
            return -1;
        left = add({kind, MathFunction::Sin, -1, left, right, 0}, op);
    }
    return left;
}

int32_t ExprArena::unary(TokenStream& in)
{
    if (++depth_ > MAX_DEPTH)
        return fail(in.peek(), "Der Ausdruck ist zu tief geschachtelt.");
    int32_t result;
    const Token& sign = in.peek();
    if (in.take("-")) {
        const int32_t operand = unary(in);
        result =
            operand < 0 ? -1 : add({ExprKind::Negate, MathFunction::Sin, -1, operand, -1, 0}, sign);
    } else if (in.take("+")) {
        result = unary(in);
    } else {
        result = power(in);
    }
    --depth_;
    return result;
}

int32_t ExprArena::power(TokenStream& in)
{
    const int32_t base = primary(in);
    if (base < 0)
        return -1;
    const Token& op = in.peek();
    if (version_ == 3 && op.kind == TokenKind::Symbol && op.text == "^")
        return fail(op, "Bit-Operatoren wie \"^\" werden nicht unterstützt; die Potenz "
                        "schreibt OpenQASM 3 als \"**\".");
    if (!in.take(version_ == 2 ? "^" : "**"))
        return base;
    // Right-associative, and the exponent may carry its own sign: 2^-1.
    const int32_t exponent = unary(in);
    if (exponent < 0)
        return -1;
    return add({ExprKind::Power, MathFunction::Sin, -1, base, exponent, 0}, op);
}

int32_t ExprArena::primary(TokenStream& in)
{
    const Token& t = in.next();
    switch (t.kind) {
    case TokenKind::Integer:
    case TokenKind::Real:
        return add({ExprKind::Number, MathFunction::Sin, -1, -1, -1, t.real}, t);
    case TokenKind::Identifier: {
        for (const NamedFunction& f : FUNCTIONS) {
            if (f.name != t.text || version_ < f.since_version)
                continue;
            if (!in.take("("))
                return fail(in.peek(), "Nach \"" + std::string(t.text) + "\" wird \"(\" erwartet.");
            const int32_t argument = sum(in);
            if (argument < 0)
                return -1;
            if (!in.take(")"))
                return fail(in.peek(),
                            "Hier wird \")\" erwartet, nicht " + token_shown(in.peek()) + ".");
            return add({ExprKind::Function, f.function, -1, argument, -1, 0}, t);
        }
        for (const NamedConstant& c : CONSTANTS)
            if (c.name == t.text && version_ >= c.since_version)
                return add({ExprKind::Number, MathFunction::Sin, -1, -1, -1, c.value}, t);
        int32_t param = -1;
        double value = 0;
        if (!(*resolve_)(t.text, param, value))
            return fail(t, "Der Name \"" + std::string(t.text) + "\" ist hier unbekannt.");
        if (param >= 0)
            return add({ExprKind::Param, MathFunction::Sin, param, -1, -1, 0}, t);
        return add({ExprKind::Number, MathFunction::Sin, -1, -1, -1, value}, t);
    }
    case TokenKind::Symbol:
        if (t.text == "(") {
            const int32_t inner = sum(in);
            if (inner < 0)
                return -1;
            if (!in.take(")"))
                return fail(in.peek(),
                            "Hier wird \")\" erwartet, nicht " + token_shown(in.peek()) + ".");
            return inner;
        }
        [[fallthrough]];
    default:
        return fail(t, "Hier wird ein Ausdruck erwartet, nicht " + token_shown(t) + ".");
    }
}

double ExprArena::evaluate(int32_t expr, const double* params) const
{
    const Expr& e = nodes_[static_cast<size_t>(expr)];
    switch (e.kind) {
    case ExprKind::Number:
        return e.value;
    case ExprKind::Param:
        return params[e.param];
    case ExprKind::Negate:
        return -evaluate(e.a, params);
    case ExprKind::Add:
        return evaluate(e.a, params) + evaluate(e.b, params);
    case ExprKind::Subtract:
        return evaluate(e.a, params) - evaluate(e.b, params);
    case ExprKind::Multiply:
        return evaluate(e.a, params) * evaluate(e.b, params);
    case ExprKind::Divide:
        return evaluate(e.a, params) / evaluate(e.b, params);
    case ExprKind::Power:
        return std::pow(evaluate(e.a, params), evaluate(e.b, params));
    case ExprKind::Function:
        return apply(e.function, evaluate(e.a, params));
    }
    return 0;
}

bool ExprArena::constant(int32_t expr) const
{
    const Expr& e = nodes_[static_cast<size_t>(expr)];
    if (e.kind == ExprKind::Param)
        return false;
    return (e.a < 0 || constant(e.a)) && (e.b < 0 || constant(e.b));
}

} // namespace circuits
