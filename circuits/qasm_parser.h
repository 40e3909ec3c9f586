// circuits/qasm_parser.h: the reader's state and grammar, shared by its two halves:
// circuits/qasm_reader.cpp (statements, declarations, measurements, conditions) and
// circuits/qasm_gates.cpp (gate definitions, calls, modifiers and their expansion). Only
// those two include it; circuits/qasm_reader.h is the interface.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "circuits/circuit.h"
#include "circuits/gate_library.h"
#include "circuits/qasm_expression.h"
#include "circuits/qasm_lexer.h"
#include "circuits/qasm_reader.h"

namespace circuits::reading {

// Nesting of gate definitions (each calling the one before) that expansion recurses through.
constexpr int MAX_DEFINITION_DEPTH = 1000;
constexpr int MAX_BLOCK_DEPTH = 100;
// Register sizes are checked against the qubit and bit limits as they add up; this only
// keeps the sum from overflowing.
constexpr int64_t REGISTER_SIZE_MAX = int64_t{1} << 30;

// Constructs that are recognised and refused, each with the sentence that names it.
struct Refusal {
    std::string_view keyword;
    std::string_view message;
};

inline constexpr Refusal REFUSALS[] = {
    {"opaque", "Undurchsichtige Gatter (\"opaque\") werden nicht unterstützt."},
    {"for", "Schleifen (\"for\") werden nicht unterstützt."},
    {"while", "Schleifen (\"while\") werden nicht unterstützt."},
    {"break", "Schleifen (\"break\") werden nicht unterstützt."},
    {"continue", "Schleifen (\"continue\") werden nicht unterstützt."},
    {"def", "Unterprogramme (\"def\") werden nicht unterstützt."},
    {"return", "Unterprogramme (\"return\") werden nicht unterstützt."},
    {"extern", "Externe Funktionen (\"extern\") werden nicht unterstützt."},
    {"defcal", "Kalibrierungen (\"defcal\") werden nicht unterstützt."},
    {"cal", "Kalibrierungen (\"cal\") werden nicht unterstützt."},
    {"defcalgrammar", "Kalibrierungen (\"defcalgrammar\") werden nicht unterstützt."},
    {"delay", "Zeitangaben (\"delay\") werden nicht unterstützt."},
    {"box", "Zeitangaben (\"box\") werden nicht unterstützt."},
    {"duration", "Zeitangaben (\"duration\") werden nicht unterstützt."},
    {"stretch", "Zeitangaben (\"stretch\") werden nicht unterstützt."},
    {"durationof", "Zeitangaben (\"durationof\") werden nicht unterstützt."},
    {"input", "Ein- und Ausgabevariablen (\"input\") werden nicht unterstützt."},
    {"output", "Ein- und Ausgabevariablen (\"output\") werden nicht unterstützt."},
    {"let", "Aliase (\"let\") werden nicht unterstützt."},
    {"switch", "Verzweigungen mit \"switch\" werden nicht unterstützt."},
    {"end", "Das Programmende mit \"end\" wird nicht unterstützt."},
    {"complex", "Der Typ \"complex\" wird nicht unterstützt."},
    {"array", "Felder (\"array\") werden nicht unterstützt."},
};

enum class ModifierKind : uint8_t { Ctrl, NegCtrl, Inv, Pow };

struct Modifier {
    ModifierKind kind = ModifierKind::Inv;
    int32_t count = 1;     // controls of ctrl and negctrl
    int32_t exponent = -1; // pow: an expression
    int32_t line = 0, column = 0;
};

struct GateDef;

// One gate call, at the top level (qubits absolute) or in a definition (qubits as indices of
// the definition's qubit arguments).
struct GateCall {
    std::string_view name;
    const LibraryGate* library = nullptr;
    const GateDef* user = nullptr;
    std::vector<Modifier> modifiers;
    std::vector<int32_t> params; // expressions
    std::vector<int32_t> qubits;
    int32_t line = 0, column = 0;
};

struct GateDef {
    std::string name;
    int32_t params = 0;
    int32_t qubits = 0;
    int depth = 1; // of definitions below and including this one
    std::vector<GateCall> body;
};

// A name at the top level: a register or a classical number.
struct Variable {
    enum class Kind : uint8_t { Qubits, Bits, Number } kind = Kind::Number;
    int32_t reg = 0;     // index into the circuit's qregs or cregs
    bool scalar = false; // declared without a size: named alone, never indexed
    double value = 0;    // Number
};

// A qubit or bit operand: one, or a whole register that a statement is broadcast over.
struct Operand {
    int32_t first = 0;
    int32_t size = 1;
    bool whole = false;
};

inline int64_t whole_number(double v)
{
    return static_cast<int64_t>(v);
}

inline bool is_whole(double v, double below)
{
    return std::isfinite(v) && v >= 0 && v < below && std::floor(v) == v;
}

inline std::string quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

class Reader {
public:
    Reader(const std::vector<Token>& tokens, Circuit& circuit, ReadError& error,
           const ReadLimits& limits)
        : in_(tokens), c_(circuit), error_(error), limits_(limits), budget_(limits.max_ops)
    {
    }

    bool run();

private:
    bool fail(const Token& at, std::string message)
    {
        if (error_.message.empty())
            error_ = {std::move(message), at.line, at.column};
        return false;
    }
    bool fail_at(int32_t line, int32_t column, std::string message)
    {
        if (error_.message.empty())
            error_ = {std::move(message), line, column};
        return false;
    }
    bool expect(std::string_view symbol);
    bool expect_identifier(std::string_view& name);

    // Statements
    bool header();
    bool statement(int depth);
    bool block_or_statement(int depth);
    bool include();
    bool pragma(const Token& t);
    bool old_register(bool qubits);
    bool new_register(bool qubits);
    bool number_declaration(const Token& type, bool constant);
    bool declare(const Token& at, std::string_view name, Variable v);
    bool add_register(const Token& at, std::string_view name, bool qubits, int64_t size,
                      bool scalar);
    bool gate_definition();
    bool gate_statement(const Token& first);
    bool measure_arrow(const Token& keyword);
    bool measure_into(const Operand& bits, const Token& at);
    bool add_measurements(const Operand& qubits, const Operand* bits, const Token& at);
    bool assignment(const Token& first, const Variable& v);
    bool reset_or_barrier(const Token& keyword);
    bool if_statement(int depth);

    // Parts
    bool constant_expression(double& value, const Token*& at);
    bool size_designator(int64_t& size, int64_t most);
    bool operand(Variable::Kind kind, Operand& out);
    bool operands(Variable::Kind kind, std::vector<Operand>& out);
    bool modifiers(std::vector<Modifier>& out, const NameResolver& names);
    bool call_parameters(GateCall& call, const NameResolver& names);
    bool resolve_gate(const Token& at, GateCall& call);
    int32_t arity(const GateCall& call) const;

    // Expansion into engine gates
    bool expand(const GateCall& call, const double* env, const int32_t* qubits, GateSink& sink);
    bool modified(const GateCall& call, size_t k, const std::vector<double>& values,
                  const std::vector<int64_t>& powers, const int32_t* qubits, GateSink& sink);
    bool emit(const GateCall& call, const std::vector<Operand>& args, const Token& first);
    bool emit_one(const Op& op);
    bool too_large(const Token& at);

    NameResolver constants() const;

    TokenStream in_;
    Circuit& c_;
    ReadError& error_;
    ReadLimits limits_;
    ExprArena exprs_;
    bool included_ = false;
    std::unordered_map<std::string, GateDef> gates_;
    std::unordered_map<std::string, Variable> names_;
    int32_t condition_ = -1;
    int64_t budget_;
};

} // namespace circuits::reading
