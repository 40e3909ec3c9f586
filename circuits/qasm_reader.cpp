// circuits/qasm_reader.cpp: statements, declarations, measurements and conditions of OpenQASM
// 2 and 3 programs.
#include "circuits/qasm_reader.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "circuits/qasm_parser.h"

namespace circuits::reading {

namespace {

// Classical types whose constants and variables may stand in parameters.
constexpr std::string_view NUMBER_TYPES[] = {"int", "uint", "float", "angle", "bool"};

} // namespace

bool Reader::expect(std::string_view symbol)
{
    if (in_.take(symbol))
        return true;
    return fail(in_.peek(), "Hier wird " + quoted(symbol) + " erwartet, nicht " +
                                token_shown(in_.peek()) + ".");
}

bool Reader::expect_identifier(std::string_view& name)
{
    const Token& t = in_.peek();
    if (t.kind != TokenKind::Identifier)
        return fail(t, "Hier wird ein Name erwartet, nicht " + token_shown(t) + ".");
    name = in_.next().text;
    return true;
}

NameResolver Reader::constants() const
{
    return [this](std::string_view name, int32_t&, double& value) {
        const auto found = names_.find(std::string(name));
        if (found == names_.end() || found->second.kind != Variable::Kind::Number)
            return false;
        value = found->second.value;
        return true;
    };
}

bool Reader::constant_expression(double& value, const Token*& at)
{
    at = &in_.peek();
    const int32_t e = exprs_.parse(in_, c_.version, constants(), error_);
    if (e < 0)
        return false;
    value = exprs_.evaluate(e, nullptr);
    return true;
}

// "[n]" after a register keyword or a type: the size, 1 to most.
bool Reader::size_designator(int64_t& size, int64_t most)
{
    if (!expect("["))
        return false;
    double v = 0;
    const Token* at = nullptr;
    if (!constant_expression(v, at))
        return false;
    if (!is_whole(v, 9.0e18) || v < 1)
        return fail(*at, "Die Größe muss eine ganze Zahl von mindestens 1 sein.");
    if (v > static_cast<double>(most))
        return fail(*at, "Die Größe " + grouped(whole_number(v)) + " ist größer als erlaubt (" +
                             grouped(most) + ").");
    size = whole_number(v);
    return expect("]");
}

bool Reader::header()
{
    const Token& t = in_.peek();
    if (!(t.kind == TokenKind::Identifier && t.text == "OPENQASM"))
        return fail(t,
                    "Ein OpenQASM-Programm beginnt mit \"OPENQASM 2.0;\" oder \"OPENQASM 3.0;\".");
    in_.next();
    const Token& v = in_.next();
    if (v.kind == TokenKind::Real && (v.text == "2.0" || v.text == "2.00")) {
        c_.version = 2;
    } else if ((v.kind == TokenKind::Integer && v.text == "3") ||
               (v.kind == TokenKind::Real && v.real >= 3 && v.real < 4 && v.text[0] == '3')) {
        c_.version = 3;
    } else {
        return fail(v, "Die OpenQASM-Version " + token_shown(v) +
                           " wird nicht unterstützt (nur 2.0 und 3).");
    }
    return expect(";");
}

bool Reader::run()
{
    if (!header())
        return false;
    while (in_.peek().kind != TokenKind::End)
        if (!statement(0))
            return false;
    if (c_.engine_width < 0)
        c_.engine_width = c_.qubits;
    return true;
}

bool Reader::statement(int depth)
{
    const Token& t = in_.peek();
    if (t.kind == TokenKind::Pragma) {
        in_.next();
        return pragma(t);
    }
    if (t.kind == TokenKind::Hardware)
        return fail(t, "Physische Qubits (" + quoted(t.text) + ") werden nicht unterstützt.");
    if (t.kind != TokenKind::Identifier)
        return fail(t, "Hier beginnt keine Anweisung: " + token_shown(t) + ".");
    for (const Refusal& r : REFUSALS)
        if (t.text == r.keyword)
            return fail(t, std::string(r.message));
    const bool top = depth == 0;
    const std::string_view word = t.text;
    const bool v3 = c_.version == 3;
    // Declarations and definitions belong to the top level.
    if (word == "OPENQASM")
        return fail(t, "Die Versionsangabe darf nur am Anfang stehen.");
    if (word == "include" || word == "qreg" || word == "creg" || word == "gate" ||
        (v3 && (word == "qubit" || word == "bit" || word == "const" ||
                std::find(std::begin(NUMBER_TYPES), std::end(NUMBER_TYPES), word) !=
                    std::end(NUMBER_TYPES)))) {
        if (!top)
            return fail(t, "In einem if-Block stehen nur Gatter, Messungen und \"reset\"; " +
                               quoted(word) + " gehört auf die oberste Ebene.");
        in_.next();
        if (word == "include")
            return include();
        if (word == "qreg" || word == "creg")
            return old_register(word == "qreg");
        if (word == "gate")
            return gate_definition();
        if (word == "qubit" || word == "bit")
            return new_register(word == "qubit");
        if (word == "const")
            return number_declaration(in_.next(), true);
        return number_declaration(t, false);
    }
    if (word == "measure")
        return measure_arrow(in_.next());
    if (word == "reset" || word == "barrier")
        return reset_or_barrier(in_.next());
    if (word == "if") {
        in_.next();
        return if_statement(depth);
    }
    if (word == "else")
        return fail(t, "Zu diesem \"else\" gehört kein \"if\".");
    if (v3) {
        const auto found = names_.find(std::string(word));
        if (found != names_.end())
            return assignment(t, found->second);
    }
    return gate_statement(t);
}

bool Reader::include()
{
    const Token& name = in_.next();
    if (name.kind != TokenKind::String)
        return fail(name, "Nach \"include\" wird ein Dateiname in Anführungszeichen erwartet.");
    const std::string_view library = c_.version == 2 ? "qelib1.inc" : "stdgates.inc";
    if (name.text != library)
        return fail(name, "Eingebaut ist nur " + quoted(library) + "; " + quoted(name.text) +
                              " wird nicht eingebunden.");
    if (!expect(";"))
        return false;
    for (std::string_view g : library_gate_names(c_.version))
        if (gates_.count(std::string(g)))
            return fail(name, "Das Gatter " + quoted(g) + " ist schon definiert.");
    included_ = true;
    return true;
}

// "pragma qucode width N" gives the engine register its width; other pragmas are for
// other programs and are passed over, as the language asks.
bool Reader::pragma(const Token& t)
{
    std::string_view text = t.text;
    const auto skip_space = [&text] {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
    };
    skip_space();
    if (text.substr(0, 7) != "qucode ")
        return true;
    text.remove_prefix(7);
    skip_space();
    if (text.substr(0, 6) == "width ") {
        text.remove_prefix(6);
        skip_space();
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
            text.remove_suffix(1);
        // At most three digits: no width is longer, and no sum of them overflows.
        bool digits = !text.empty() && text.size() <= 3;
        int64_t width = 0;
        for (size_t i = 0; digits && i < text.size(); ++i) {
            digits = text[i] >= '0' && text[i] <= '9';
            width = width * 10 + (text[i] - '0');
        }
        if (digits && width >= 1 && width <= limits_.max_qubits) {
            c_.engine_width = width;
            return true;
        }
    }
    return fail(t, "Das Pragma \"qucode\" kennt nur \"qucode width N\" mit N von 1 bis " +
                       std::to_string(limits_.max_qubits) + ".");
}

bool Reader::add_register(const Token& at, std::string_view name, bool qubits, int64_t size,
                          bool scalar)
{
    int32_t& total = qubits ? c_.qubits : c_.bits;
    const int64_t most = qubits ? limits_.max_qubits : limits_.max_bits;
    if (total + size > most) {
        if (qubits)
            return fail(at, "Das Programm braucht " + grouped(total + size) +
                                " Qubits; qucode rechnet mit höchstens " + grouped(most) + ".");
        return fail(at, "Das Programm braucht " + grouped(total + size) +
                            " klassische Bits; erlaubt sind höchstens " + grouped(most) + ".");
    }
    std::vector<Register>& regs = qubits ? c_.qregs : c_.cregs;
    Variable v;
    v.kind = qubits ? Variable::Kind::Qubits : Variable::Kind::Bits;
    v.reg = static_cast<int32_t>(regs.size());
    v.scalar = scalar;
    if (!declare(at, name, v))
        return false;
    regs.push_back({std::string(name), total, static_cast<int32_t>(size)});
    total += static_cast<int32_t>(size);
    return true;
}

bool Reader::declare(const Token& at, std::string_view name, Variable v)
{
    if (!names_.emplace(std::string(name), v).second)
        return fail(at, "Der Name " + quoted(name) + " ist schon vergeben.");
    return true;
}

// qreg name[n]; and creg name[n];
bool Reader::old_register(bool qubits)
{
    std::string_view name;
    const Token& at = in_.peek();
    if (!expect_identifier(name))
        return false;
    int64_t size = 0;
    if (!size_designator(size, REGISTER_SIZE_MAX))
        return false;
    return expect(";") && add_register(at, name, qubits, size, false);
}

// qubit[n] name; qubit name; bit[n] name; bit name; and bits that take a measurement.
bool Reader::new_register(bool qubits)
{
    int64_t size = 1;
    const bool scalar = !in_.at("[");
    if (!scalar && !size_designator(size, REGISTER_SIZE_MAX))
        return false;
    std::string_view name;
    const Token& at = in_.peek();
    if (!expect_identifier(name) || !add_register(at, name, qubits, size, scalar))
        return false;
    if (!qubits && in_.take("=")) {
        const Token& m = in_.peek();
        if (!in_.take("measure"))
            return fail(m, "Bits bekommen hier nur ein Messergebnis (\"= measure ...\").");
        const Register& r = c_.cregs.back();
        return measure_into({r.first, r.size, !scalar}, m);
    }
    return expect(";");
}

// const float x = ...; float x = ...; angle[20] a = ...; int n = ...;
bool Reader::number_declaration(const Token& type, bool constant)
{
    if (type.kind != TokenKind::Identifier ||
        std::find(std::begin(NUMBER_TYPES), std::end(NUMBER_TYPES), type.text) ==
            std::end(NUMBER_TYPES))
        return fail(type,
                    "Konstanten gibt es hier nur als int, uint, float, angle oder bool, nicht " +
                        token_shown(type) + ".");
    int64_t bits = 0;
    if (in_.at("[") && !size_designator(bits, 64))
        return false;
    std::string_view name;
    const Token& at = in_.peek();
    if (!expect_identifier(name))
        return false;
    double value = 0;
    if (in_.take("=")) {
        const Token* where = nullptr;
        if (in_.at("measure"))
            return fail(in_.peek(),
                        "Ein Messergebnis gehört in ein Bit, nicht in " + quoted(type.text) + ".");
        if (!constant_expression(value, where))
            return false;
        if (!std::isfinite(value))
            return fail(*where, "Der Wert von " + quoted(name) + " ist keine endliche Zahl.");
    } else if (constant) {
        return fail(in_.peek(), "Eine Konstante braucht einen Wert (\"= ...\").");
    }
    // Casts as the language makes them: whole numbers toward zero, angles to their grid.
    if (type.text == "int" || type.text == "uint") {
        value = std::trunc(value);
    } else if (type.text == "bool") {
        value = value != 0 ? 1 : 0;
    } else if (type.text == "angle" && bits > 0) {
        const double steps = std::ldexp(1.0, static_cast<int>(bits));
        double k = std::round(value / (2 * std::numbers::pi) * steps);
        k -= steps * std::floor(k / steps);
        value = k * 2 * std::numbers::pi / steps;
    }
    Variable v;
    v.kind = Variable::Kind::Number;
    v.value = value;
    return expect(";") && declare(at, name, v);
}

// A name that is already declared starts a statement only as an assignment; of those only
// a measurement into bits is a quantum statement.
bool Reader::assignment(const Token& first, const Variable& v)
{
    if (v.kind == Variable::Kind::Qubits)
        return fail(first, quoted(first.text) + " ist ein Qubit-Register, kein Gatter.");
    if (v.kind == Variable::Kind::Number)
        return fail(first, "Klassische Rechnungen (Zuweisung an " + quoted(first.text) +
                               ") werden nicht unterstützt.");
    Operand bits;
    if (!operand(Variable::Kind::Bits, bits))
        return false;
    const Token& op = in_.peek();
    if (!in_.take("="))
        return fail(op, "Klassische Rechnungen (" + token_shown(op) + " auf " + quoted(first.text) +
                            ") werden nicht unterstützt.");
    const Token& m = in_.peek();
    if (!in_.take("measure"))
        return fail(m, "Klassische Rechnungen (Zuweisung an " + quoted(first.text) +
                           ") werden nicht unterstützt; Bits bekommen nur Messergebnisse.");
    return measure_into(bits, m);
}

// The qubits after "measure" into bits, then ";".
bool Reader::measure_into(const Operand& bits, const Token& at)
{
    Operand qubits;
    return operand(Variable::Kind::Qubits, qubits) && expect(";") &&
           add_measurements(qubits, &bits, at);
}

// measure q -> c; (and measure q; in OpenQASM 3, the result unused)
bool Reader::measure_arrow(const Token& at)
{
    Operand qubits;
    if (!operand(Variable::Kind::Qubits, qubits))
        return false;
    if (c_.version == 3 && in_.take(";"))
        return add_measurements(qubits, nullptr, at);
    Operand bits;
    return expect("->") && operand(Variable::Kind::Bits, bits) && expect(";") &&
           add_measurements(qubits, &bits, at);
}

// One measurement per qubit, into the matching bit (or none).
bool Reader::add_measurements(const Operand& qubits, const Operand* bits, const Token& at)
{
    if (bits && qubits.size != bits->size)
        return fail(at, "Die Messung braucht gleich viele Qubits und Bits (" +
                            std::to_string(qubits.size) + " und " + std::to_string(bits->size) +
                            ").");
    for (int32_t i = 0; i < qubits.size; ++i) {
        Op op;
        op.kind = OpKind::MEASURE;
        op.qubit[0] = qubits.first + i;
        op.bit = bits ? bits->first + i : -1;
        op.line = at.line;
        op.column = at.column;
        if (!emit_one(op))
            return too_large(at);
    }
    return true;
}

bool Reader::reset_or_barrier(const Token& at)
{
    const bool reset = at.text == "reset";
    std::vector<Operand> args;
    if (!(c_.version == 3 && !reset && in_.at(";")) && !operands(Variable::Kind::Qubits, args))
        return false;
    if (!expect(";"))
        return false;
    if (!reset)
        return true;
    for (const Operand& a : args) {
        for (int32_t i = 0; i < a.size; ++i) {
            Op op;
            op.kind = OpKind::RESET;
            op.qubit[0] = a.first + i;
            op.line = at.line;
            op.column = at.column;
            if (!emit_one(op))
                return too_large(at);
        }
    }
    return true;
}

bool Reader::operand(Variable::Kind kind, Operand& out)
{
    const Token& t = in_.peek();
    if (t.kind == TokenKind::Hardware)
        return fail(t, "Physische Qubits (" + quoted(t.text) + ") werden nicht unterstützt.");
    std::string_view name;
    if (!expect_identifier(name))
        return false;
    const bool qubits = kind == Variable::Kind::Qubits;
    const char* what = qubits ? "Qubit" : "Bit";
    const auto found = names_.find(std::string(name));
    if (found == names_.end() || found->second.kind != kind)
        return fail(t, "Es gibt kein " + std::string(what) + "-Register " + quoted(name) + ".");
    const Variable& v = found->second;
    const Register& r = (qubits ? c_.qregs : c_.cregs)[static_cast<size_t>(v.reg)];
    out = {r.first, r.size, !v.scalar};
    if (!in_.at("["))
        return true;
    if (v.scalar)
        return fail(in_.peek(),
                    quoted(name) + " ist ein einzelnes " + what + " und hat keinen Index.");
    in_.next();
    double index = 0;
    const Token* at = nullptr;
    if (!constant_expression(index, at))
        return false;
    if (in_.at(":"))
        return fail(in_.peek(), "Registerbereiche (\"" + std::string(name) +
                                    "[a:b]\") werden nicht unterstützt.");
    if (!is_whole(index, r.size))
        return fail(*at, "Der Index " + token_shown(*at) + " liegt außerhalb des Registers " +
                             quoted(r.name) + " (Größe " + std::to_string(r.size) + ").");
    out = {r.first + static_cast<int32_t>(index), 1, false};
    return expect("]");
}

bool Reader::operands(Variable::Kind kind, std::vector<Operand>& out)
{
    do {
        Operand o;
        if (!operand(kind, o))
            return false;
        out.push_back(o);
    } while (in_.take(","));
    return true;
}

bool Reader::emit_one(const Op& op)
{
    if (--budget_ < 0)
        return false;
    c_.ops.push_back(op);
    c_.ops.back().condition = condition_;
    return true;
}

bool Reader::too_large(const Token& at)
{
    return fail(at, "Das Programm ist zu groß: mehr als " + grouped(limits_.max_ops) + " Gatter.");
}

bool Reader::block_or_statement(int depth)
{
    if (!in_.at("{"))
        return statement(depth);
    const Token& open = in_.next();
    while (!in_.take("}")) {
        if (in_.peek().kind == TokenKind::End)
            return fail(open, "Der Block wird nicht mit \"}\" geschlossen.");
        if (!statement(depth))
            return false;
    }
    return true;
}

// if (c == n) op; in OpenQASM 2; in 3 also if (c[k]), if (!c[k]), !=, blocks and else.
bool Reader::if_statement(int depth)
{
    const Token& at = in_.peek();
    if (depth >= MAX_BLOCK_DEPTH)
        return fail(at, "Die if-Anweisungen sind zu tief verschachtelt.");
    if (!expect("("))
        return false;
    Condition cond;
    cond.parent = condition_;
    const bool negated = c_.version == 3 && in_.take("!");
    Operand bits;
    const Token& subject = in_.peek();
    if (!operand(Variable::Kind::Bits, bits))
        return false;
    if (c_.version == 2 && !bits.whole)
        return fail(subject,
                    "In OpenQASM 2 vergleicht \"if\" ein ganzes Bit-Register mit einer Zahl.");
    const Token& op = in_.peek();
    if (!negated && (in_.take("==") || (c_.version == 3 && in_.take("!=")))) {
        const Token& v = in_.peek();
        double value = 0;
        if (v.kind == TokenKind::Identifier && (v.text == "true" || v.text == "false")) {
            in_.next();
            value = v.text == "true" ? 1 : 0;
        } else {
            const Token* where = nullptr;
            if (!constant_expression(value, where))
                return false;
            if (!is_whole(value, 18446744073709551616.0))
                return fail(*where, "Verglichen wird mit einer ganzen Zahl von mindestens 0.");
        }
        cond.value = static_cast<uint64_t>(value);
        cond.equal = op.text == "==";
    } else if (c_.version == 2) {
        return fail(op, "Hier wird \"==\" erwartet, nicht " + token_shown(op) + ".");
    } else {
        // A bit alone is true when it is 1, a register when it is not 0.
        cond.value = bits.size == 1 ? 1 : 0;
        cond.equal = (bits.size == 1) != negated;
    }
    if (!expect(")"))
        return false;
    for (int32_t i = 0; i < bits.size; ++i)
        cond.bits.push_back(bits.first + i);
    const int32_t outer = condition_;
    c_.conditions.push_back(cond);
    condition_ = static_cast<int32_t>(c_.conditions.size() - 1);
    if (c_.version == 2 && in_.at("if"))
        return fail(in_.peek(), "In OpenQASM 2 folgt auf \"if\" genau eine Operation.");
    const bool ok = c_.version == 2 ? statement(depth + 1) : block_or_statement(depth + 1);
    condition_ = outer;
    if (!ok)
        return false;
    if (c_.version == 3 && in_.take("else")) {
        cond.equal = !cond.equal;
        c_.conditions.push_back(cond);
        condition_ = static_cast<int32_t>(c_.conditions.size() - 1);
        const bool done = block_or_statement(depth + 1);
        condition_ = outer;
        return done;
    }
    return true;
}

} // namespace circuits::reading

namespace circuits {

bool read_qasm(std::string_view source, const std::string& file, Circuit& circuit, ReadError& error,
               const ReadLimits& limits)
{
    circuit = Circuit{};
    circuit.file = file;
    circuit.engine_width = -1;
    error = ReadError{};
    std::vector<Token> tokens;
    LexError lexed;
    if (lex_qasm(source, tokens, lexed)) {
        reading::Reader reader(tokens, circuit, error, limits);
        return reader.run();
    }
    // The tokens before a lexical fault are read all the same, so that an earlier fault is
    // the one reported, and the fault itself otherwise.
    reading::Reader reader(tokens, circuit, error, limits);
    if (reader.run() || error.line > lexed.line ||
        (error.line == lexed.line && error.column >= lexed.column))
        error = {lexed.message, lexed.line, lexed.column};
    return false;
}

std::string located(const std::string& file, const ReadError& error)
{
    return file + ":" + std::to_string(error.line) + ":" + std::to_string(error.column) + ": " +
           error.message;
}

} // namespace circuits
