// circuits/qasm_gates.cpp: gate definitions and calls of OpenQASM programs, their modifiers,
// and their expansion into engine gates.
#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

#include "circuits/qasm_parser.h"

namespace circuits::reading {

// ctrl @, ctrl(n) @, negctrl @, inv @, pow(k) @ in front of a gate (OpenQASM 3).
bool Reader::modifiers(std::vector<Modifier>& out, const NameResolver& names)
{
    for (;;) {
        const Token& t = in_.peek();
        const Token& after = in_.peek(1);
        if (t.kind != TokenKind::Identifier || after.kind != TokenKind::Symbol ||
            (after.text != "@" && after.text != "("))
            return true;
        Modifier m;
        m.line = t.line;
        m.column = t.column;
        if (t.text == "inv") {
            m.kind = ModifierKind::Inv;
        } else if (t.text == "ctrl" || t.text == "negctrl") {
            m.kind = t.text == "ctrl" ? ModifierKind::Ctrl : ModifierKind::NegCtrl;
        } else if (t.text == "pow") {
            m.kind = ModifierKind::Pow;
        } else {
            return true;
        }
        in_.next();
        if (m.kind != ModifierKind::Inv && in_.take("(")) {
            const Token& at = in_.peek();
            const int32_t e = exprs_.parse(in_, c_.version, names, error_);
            if (e < 0 || !expect(")"))
                return false;
            if (m.kind == ModifierKind::Pow) {
                m.exponent = e;
                const double k = exprs_.constant(e) ? exprs_.evaluate(e, nullptr) : 0;
                if (exprs_.constant(e) && !(std::isfinite(k) && std::floor(k) == k))
                    return fail(
                        t, "\"pow @\" mit nicht ganzzahligem Exponenten wird nicht unterstützt.");
            } else {
                const double n = exprs_.constant(e) ? exprs_.evaluate(e, nullptr) : 0;
                if (!is_whole(n, limits_.max_qubits + 1.0) || n < 1)
                    return fail(at, "Die Zahl der Steuerqubits muss eine ganze Zahl von 1 bis " +
                                        std::to_string(limits_.max_qubits) + " sein.");
                m.count = static_cast<int32_t>(n);
            }
        } else if (m.kind == ModifierKind::Pow) {
            return fail(in_.peek(), "Nach \"pow\" wird der Exponent in Klammern erwartet.");
        }
        if (!expect("@"))
            return false;
        out.push_back(m);
    }
}

bool Reader::call_parameters(GateCall& call, const NameResolver& names)
{
    if (in_.take("(") && !in_.take(")")) {
        do {
            const int32_t e = exprs_.parse(in_, c_.version, names, error_);
            if (e < 0)
                return false;
            call.params.push_back(e);
        } while (in_.take(","));
        if (!expect(")"))
            return false;
    }
    const int32_t wanted = call.library ? call.library->params : call.user->params;
    if (static_cast<int32_t>(call.params.size()) != wanted)
        return fail_at(call.line, call.column,
                       "Das Gatter " + quoted(call.name) + " braucht " + std::to_string(wanted) +
                           (wanted == 1 ? " Parameter" : " Parameter") + ", nicht " +
                           std::to_string(call.params.size()) + ".");
    return true;
}

bool Reader::resolve_gate(const Token& at, GateCall& call)
{
    const auto user = gates_.find(std::string(call.name));
    if (user != gates_.end()) {
        call.user = &user->second;
        return true;
    }
    call.library = find_library_gate(c_.version, call.name, true);
    if (!call.library && included_)
        call.library = find_library_gate(c_.version, call.name, false);
    if (call.library)
        return true;
    if (find_library_gate(c_.version, call.name, false))
        return fail(at, "Das Gatter " + quoted(call.name) + " steht in " +
                            (c_.version == 2 ? "\"qelib1.inc\"" : "\"stdgates.inc\"") +
                            ", das nicht eingebunden ist.");
    return fail(at, "Unbekanntes Gatter " + quoted(call.name) + ".");
}

int32_t Reader::arity(const GateCall& call) const
{
    int32_t n = call.library ? call.library->qubits : call.user->qubits;
    for (const Modifier& m : call.modifiers)
        if (m.kind == ModifierKind::Ctrl || m.kind == ModifierKind::NegCtrl)
            n += m.count;
    return n;
}

bool Reader::gate_statement(const Token& first)
{
    GateCall call;
    call.line = first.line;
    call.column = first.column;
    if (c_.version == 3 && !modifiers(call.modifiers, constants()))
        return false;
    const Token& name = in_.peek();
    if (!expect_identifier(call.name) || !resolve_gate(name, call))
        return false;
    call.line = name.line;
    call.column = name.column;
    if (!call_parameters(call, constants()))
        return false;
    std::vector<Operand> args;
    if (!(arity(call) == 0 && in_.at(";")) && !operands(Variable::Kind::Qubits, args))
        return false;
    if (!expect(";"))
        return false;
    if (static_cast<int32_t>(args.size()) != arity(call))
        return fail(name, "Das Gatter " + quoted(call.name) + " braucht " +
                              std::to_string(arity(call)) + " Qubits, nicht " +
                              std::to_string(args.size()) + ".");
    return emit(call, args, first);
}

// The call once per qubit of its register arguments, which must be equally long.
bool Reader::emit(const GateCall& call, const std::vector<Operand>& args, const Token& first)
{
    int32_t n = 1;
    bool broadcast = false;
    for (const Operand& a : args) {
        if (!a.whole)
            continue;
        if (broadcast && a.size != n)
            return fail(first, "Die Register in diesem Aufruf sind verschieden groß (" +
                                   std::to_string(n) + " und " + std::to_string(a.size) + ").");
        n = a.size;
        broadcast = true;
    }
    std::vector<int32_t> qubits(args.size());
    for (int32_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < args.size(); ++j)
            qubits[j] = args[j].first + (args[j].whole ? i : 0);
        for (size_t j = 0; j < qubits.size(); ++j)
            if (std::find(qubits.begin(), qubits.begin() + static_cast<std::ptrdiff_t>(j),
                          qubits[j]) != qubits.begin() + static_cast<std::ptrdiff_t>(j))
                return fail(first, "Ein Qubit kommt in diesem Aufruf mehrfach vor.");
        const size_t before = c_.ops.size();
        GateSink sink(c_.ops, budget_);
        if (!expand(call, nullptr, qubits.data(), sink))
            return false;
        if (sink.exhausted())
            return too_large(first);
        for (size_t k = before; k < c_.ops.size(); ++k) {
            c_.ops[k].condition = condition_;
            c_.ops[k].line = first.line;
            c_.ops[k].column = first.column;
        }
    }
    return true;
}

// The call's parameters and exponents in the caller's parameters env (none at the top),
// then the gate.
bool Reader::expand(const GateCall& call, const double* env, const int32_t* qubits, GateSink& sink)
{
    std::vector<double> values;
    for (int32_t e : call.params) {
        values.push_back(exprs_.evaluate(e, env));
        if (!std::isfinite(values.back()))
            return fail_at(call.line, call.column,
                           "Ein Parameter von " + quoted(call.name) + " ist keine endliche Zahl.");
    }
    std::vector<int64_t> powers(call.modifiers.size(), 1);
    for (size_t k = 0; k < call.modifiers.size(); ++k) {
        const Modifier& m = call.modifiers[k];
        if (m.kind != ModifierKind::Pow)
            continue;
        const double p = exprs_.evaluate(m.exponent, env);
        if (!std::isfinite(p) || std::floor(p) != p || std::fabs(p) > 9.0e18)
            return fail_at(m.line, m.column,
                           "\"pow @\" mit nicht ganzzahligem Exponenten wird nicht unterstützt.");
        powers[k] = static_cast<int64_t>(p);
    }
    return modified(call, 0, values, powers, qubits, sink);
}

// Modifier k and the ones inside it; the outermost takes the first qubits as controls.
bool Reader::modified(const GateCall& call, size_t k, const std::vector<double>& values,
                      const std::vector<int64_t>& powers, const int32_t* qubits, GateSink& sink)
{
    if (k == call.modifiers.size()) {
        if (call.library) {
            call.library->lower(values.data(), qubits, sink);
            return true;
        }
        std::vector<int32_t> inner;
        for (const GateCall& step : call.user->body) {
            inner.clear();
            for (int32_t index : step.qubits)
                inner.push_back(qubits[index]);
            if (!expand(step, values.data(), inner.data(), sink))
                return false;
            if (sink.exhausted())
                return true;
        }
        return true;
    }
    const Modifier& m = call.modifiers[k];
    const bool control = m.kind == ModifierKind::Ctrl || m.kind == ModifierKind::NegCtrl;
    std::vector<Op> body;
    GateSink inner(body, sink.budget());
    if (!modified(call, k + 1, values, powers, qubits + (control ? m.count : 0), inner))
        return false;
    const std::span<const int32_t> controls(qubits, control ? static_cast<size_t>(m.count) : 0);
    switch (m.kind) {
    case ModifierKind::NegCtrl:
        for (int32_t q : controls)
            sink.add(OpKind::X, q);
        add_controlled(body, controls, sink);
        for (int32_t q : controls)
            sink.add(OpKind::X, q);
        break;
    case ModifierKind::Ctrl:
        add_controlled(body, controls, sink);
        break;
    case ModifierKind::Inv:
        invert(body);
        sink.append(body);
        break;
    case ModifierKind::Pow:
        if (powers[k] < 0)
            invert(body);
        for (int64_t i = 0; i < std::abs(powers[k]) && !body.empty() && !sink.exhausted(); ++i)
            sink.append(body);
        break;
    }
    // The list in between was counted while it was built; only what it became remains
    // (unless the budget is spent, which must stay seen).
    if (!sink.exhausted())
        sink.budget() += static_cast<int64_t>(body.size());
    return true;
}

bool Reader::gate_definition()
{
    const Token& at = in_.peek();
    GateDef def;
    std::string_view name;
    if (!expect_identifier(name))
        return false;
    def.name = name;
    if (gates_.count(def.name) || find_library_gate(c_.version, name, true) ||
        (included_ && find_library_gate(c_.version, name, false)))
        return fail(at, "Das Gatter " + quoted(name) + " ist schon definiert.");
    std::vector<std::string_view> params, qubits;
    // Names separated by commas into list; none may stand in either list twice.
    const auto names_into = [&](std::vector<std::string_view>& list) {
        do {
            const Token& at = in_.peek();
            std::string_view n;
            if (!expect_identifier(n))
                return false;
            if (std::find(params.begin(), params.end(), n) != params.end() ||
                std::find(qubits.begin(), qubits.end(), n) != qubits.end())
                return fail(at, "Der Name " + quoted(n) + " steht zweimal in der Definition.");
            list.push_back(n);
        } while (in_.take(","));
        return true;
    };
    if (in_.take("(") && !in_.take(")") && !(names_into(params) && expect(")")))
        return false;
    if (!names_into(qubits))
        return false;
    def.params = static_cast<int32_t>(params.size());
    def.qubits = static_cast<int32_t>(qubits.size());
    if (!expect("{"))
        return false;
    const NameResolver names = [&](std::string_view n, int32_t& param, double& value) {
        const auto p = std::find(params.begin(), params.end(), n);
        if (p != params.end()) {
            param = static_cast<int32_t>(p - params.begin());
            return true;
        }
        return constants()(n, param, value);
    };
    while (!in_.take("}")) {
        const Token& t = in_.peek();
        if (t.kind == TokenKind::End)
            return fail(at, "Die Definition von " + quoted(name) +
                                " wird nicht mit \"}\" geschlossen.");
        if (t.kind == TokenKind::Identifier && t.text == "barrier") {
            in_.next();
            while (!in_.take(";"))
                if (in_.next().kind == TokenKind::End)
                    return expect(";");
            continue;
        }
        for (const Refusal& r : REFUSALS)
            if (t.kind == TokenKind::Identifier && t.text == r.keyword)
                return fail(t, std::string(r.message));
        GateCall call;
        call.line = t.line;
        call.column = t.column;
        if (c_.version == 3 && !modifiers(call.modifiers, names))
            return false;
        const Token& callee = in_.peek();
        if (!expect_identifier(call.name))
            return false;
        if (call.name == "measure" || call.name == "reset" || call.name == "if")
            return fail(callee, "In einer Gatterdefinition stehen nur Gatteraufrufe, kein " +
                                    quoted(call.name) + ".");
        if (call.name == name)
            return fail(callee, "Das Gatter " + quoted(name) + " kann sich nicht selbst aufrufen.");
        if (!resolve_gate(callee, call))
            return false;
        call.line = callee.line;
        call.column = callee.column;
        if (!call_parameters(call, names))
            return false;
        if (arity(call) > 0 || !in_.at(";")) {
            do {
                const Token& q = in_.peek();
                std::string_view n;
                if (!expect_identifier(n))
                    return false;
                const auto found = std::find(qubits.begin(), qubits.end(), n);
                if (found == qubits.end())
                    return fail(q,
                                quoted(n) + " ist kein Qubit-Argument von " + quoted(name) + ".");
                if (in_.at("["))
                    return fail(
                        in_.peek(),
                        "In einer Gatterdefinition werden Qubits nur mit Namen angesprochen.");
                const auto index = static_cast<int32_t>(found - qubits.begin());
                if (std::find(call.qubits.begin(), call.qubits.end(), index) != call.qubits.end())
                    return fail(q, "Ein Qubit kommt in diesem Aufruf mehrfach vor.");
                call.qubits.push_back(index);
            } while (in_.take(","));
        }
        if (!expect(";"))
            return false;
        if (static_cast<int32_t>(call.qubits.size()) != arity(call))
            return fail(callee, "Das Gatter " + quoted(call.name) + " braucht " +
                                    std::to_string(arity(call)) + " Qubits, nicht " +
                                    std::to_string(call.qubits.size()) + ".");
        if (call.user)
            def.depth = std::max(def.depth, call.user->depth + 1);
        if (def.depth > MAX_DEFINITION_DEPTH)
            return fail(callee, "Die Gatterdefinitionen sind zu tief verschachtelt.");
        def.body.push_back(std::move(call));
    }
    gates_.emplace(def.name, std::move(def));
    return true;
}

} // namespace circuits::reading
