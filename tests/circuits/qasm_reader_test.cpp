// tests/circuits/qasm_reader_test.cpp: what the reader makes of programs (registers, broadcast,
// conditions, definitions) and every refusal, with its line and column.
#include "circuits/qasm_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "circuits/qasm_lexer.h"
#include "tests/circuits/read_fixture.h"

namespace {

using circuits::Circuit;
using circuits::Op;
using circuits::OpKind;
using circuits_test::read;

// "LINE:COLUMN: message" of a program the reader refuses.
std::string refusal(const std::string& program, circuits::ReadLimits limits = {})
{
    Circuit c;
    circuits::ReadError error;
    if (circuits::read_qasm(program, "p.qasm", c, error, limits))
        return "(read)";
    return std::to_string(error.line) + ":" + std::to_string(error.column) + ": " + error.message;
}

// Kind and qubits of each op, as "cx 0 1".
std::vector<std::string> listing(const Circuit& c)
{
    static const char* NAMES[] = {"x",  "y",  "z", "h",  "cx",     "ccx",     "rx",
                                  "ry", "rz", "p", "cp", "gphase", "measure", "reset"};
    std::vector<std::string> out;
    for (const Op& op : c.ops) {
        std::string line = NAMES[static_cast<int>(op.kind)];
        const int n = op.kind == OpKind::MEASURE || op.kind == OpKind::RESET
                          ? 1
                          : circuits::op_qubit_count(op.kind);
        for (int k = 0; k < n; ++k)
            line += " " + std::to_string(op.qubit[k]);
        if (op.kind == OpKind::MEASURE)
            line += " -> " + std::to_string(op.bit);
        if (op.condition >= 0)
            line += " if " + std::to_string(op.condition);
        out.push_back(line);
    }
    return out;
}

const std::string V2 = "OPENQASM 2.0;\ninclude \"qelib1.inc\";\n";
const std::string V3 = "OPENQASM 3.0;\ninclude \"stdgates.inc\";\n";

} // namespace

TEST(QasmReader, RegistersNumberQubitsInDeclarationOrderAndStatementsBroadcast)
{
    const Circuit c = read(V2 + "qreg a[2];\nqreg b[3];\ncreg m[2];\ncreg n[3];\n"
                                "h a;\ncx a[1], b[0];\ncx a, b[2];\nbarrier a, b;\n"
                                "measure b[1] -> n[2];\nmeasure a -> m;\nreset b;\n");
    EXPECT_EQ(c.version, 2);
    EXPECT_EQ(c.qubits, 5);
    EXPECT_EQ(c.bits, 5);
    EXPECT_EQ(c.engine_width, 5);
    ASSERT_EQ(c.qregs.size(), 2u);
    EXPECT_EQ(c.qregs[1].first, 2);
    EXPECT_EQ(c.cregs[1].first, 2);
    EXPECT_EQ(listing(c),
              (std::vector<std::string>{"h 0", "h 1", "cx 1 2", "cx 0 4", "cx 1 4",
                                        "measure 3 -> 4", "measure 0 -> 0", "measure 1 -> 1",
                                        "reset 2", "reset 3", "reset 4"}));
    EXPECT_EQ(c.ops[2].line, 8);
    EXPECT_EQ(c.ops[2].column, 1);
}

TEST(QasmReader, OpenQasm3DeclarationsConstantsAndMeasurements)
{
    const Circuit c =
        read(V3 + "qubit[2] q;\nqubit r;\nbit[2] c;\nbit d = measure r;\n"
                  "const float half = pi / 2;\nangle[4] a = 3 * pi / 8;\nint[8] k = 1;\n"
                  "rx(half + a) q[k];\nc = measure q;\nc[0] = measure q[1];\nmeasure r;\n");
    EXPECT_EQ(listing(c),
              (std::vector<std::string>{"measure 2 -> 2", "rx 1", "measure 0 -> 0",
                                        "measure 1 -> 1", "measure 1 -> 0", "measure 2 -> -1"}));
    // angle[4] rounds 3 pi / 8 to the grid of 2 pi / 16: it is on it.
    EXPECT_DOUBLE_EQ(c.ops[1].angle, 3.14159265358979323846 / 2 + 3 * 3.14159265358979323846 / 8);
}

TEST(QasmReader, ConditionsNestAndElseNegates)
{
    const Circuit c = read(V3 + "qubit[2] q;\nbit[2] c;\nif (c == 2) x q[0];\n"
                                "if (c[1]) { if (!c[0]) { h q[1]; } } else { z q[0]; y q[1]; }\n");
    ASSERT_EQ(c.conditions.size(), 4u);
    EXPECT_EQ(c.conditions[0].bits, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(c.conditions[0].value, 2u);
    EXPECT_EQ(c.conditions[2].parent, 1);
    EXPECT_EQ(c.conditions[2].value, 1u);
    EXPECT_FALSE(c.conditions[2].equal);
    EXPECT_FALSE(c.conditions[3].equal);
    EXPECT_EQ(c.conditions[3].parent, -1);
    EXPECT_EQ(listing(c),
              (std::vector<std::string>{"x 0 if 0", "h 1 if 2", "z 0 if 3", "y 1 if 3"}));
    // OpenQASM 2 compares whole registers only.
    EXPECT_EQ(refusal(V2 + "qreg q[1];\ncreg c[2];\nif (c[0] == 1) x q[0];\n"),
              "5:5: In OpenQASM 2 vergleicht \"if\" ein ganzes Bit-Register mit einer Zahl.");
    const Circuit v2 = read(V2 + "qreg q[1];\ncreg c[2];\nif (c == 3) x q[0];\n");
    EXPECT_EQ(v2.conditions[0].value, 3u);
}

TEST(QasmReader, GateDefinitionsExpandWithTheirParameters)
{
    const Circuit c = read(V2 + "gate twist(a, b) x, y { rx(a / 2) x; cx x, y; rz(b ^ 2) y; }\n"
                                "gate pair(t) x, y { twist(t, -t) y, x; }\nqreg q[3];\n"
                                "pair(0.5) q[2], q[0];\n");
    EXPECT_EQ(listing(c), (std::vector<std::string>{"rx 0", "cx 0 2", "rz 2"}));
    EXPECT_DOUBLE_EQ(c.ops[0].angle, 0.25);
    EXPECT_DOUBLE_EQ(c.ops[2].angle, 0.25);
}

TEST(QasmReader, LimitsOnSizeAreRefusedNotExhausted)
{
    // Each level doubles the gates: 2^40 would never fit.
    std::string program = V3 + "gate g0 a { x a; }\n";
    for (int i = 1; i <= 40; ++i)
        program += "gate g" + std::to_string(i) + " a { g" + std::to_string(i - 1) + " a; g" +
                   std::to_string(i - 1) + " a; }\n";
    program += "qubit q;\ng40 q;\n";
    EXPECT_EQ(refusal(program, {28, 16, 100000}),
              "45:1: Das Programm ist zu groß: mehr als 100.000 Gatter.");
    EXPECT_EQ(refusal(V3 + "qubit[20] a;\nqubit[9] b;\n"),
              "4:10: Das Programm braucht 29 Qubits; qucode rechnet mit höchstens 28.");
    EXPECT_EQ(refusal(V3 + "qubit q;\npow(1000000) @ x q;\n", {28, 16, 1000}),
              "4:1: Das Programm ist zu groß: mehr als 1.000 Gatter.");
    EXPECT_EQ(refusal(V3 + "qubit q;\nrx(" + std::string(300, '(') + "1" + std::string(300, ')') +
                      ") q;\n")
                  .substr(0, 50),
              "4:204: Der Ausdruck ist zu tief geschachtelt.");
}

TEST(QasmReader, UnsupportedConstructsAreRefusedWhereTheyStand)
{
    const struct {
        std::string program;
        std::string refusal;
    } cases[] = {
        {V2 + "qreg q[1];\nopaque magic a;\n",
         "4:1: Undurchsichtige Gatter (\"opaque\") werden nicht unterstützt."},
        {V3 + "qubit q;\nfor int i in [0:3] { x q; }\n",
         "4:1: Schleifen (\"for\") werden nicht unterstützt."},
        {V3 + "qubit q;\nbit c;\nwhile (c == 0) { c = measure q; }\n",
         "5:1: Schleifen (\"while\") werden nicht unterstützt."},
        {V3 + "def f(qubit a) { x a; }\n",
         "3:1: Unterprogramme (\"def\") werden nicht unterstützt."},
        {V3 + "int n = 1;\nn = n + 1;\n",
         "4:1: Klassische Rechnungen (Zuweisung an \"n\") werden nicht unterstützt."},
        {V3 + "qubit q;\nbit c;\nc += 1;\n",
         "5:3: Klassische Rechnungen (\"+=\" auf \"c\") werden nicht unterstützt."},
        {V3 + "qubit q;\nbit c;\nc = 1;\n",
         "5:5: Klassische Rechnungen (Zuweisung an \"c\") werden nicht unterstützt; Bits bekommen "
         "nur Messergebnisse."},
        {V3 + "qubit q;\n  pow(0.5) @ x q;\n",
         "4:3: \"pow @\" mit nicht ganzzahligem Exponenten wird nicht unterstützt."},
        {V3 + "gate r(k) a { pow(k) @ x a; }\nqubit q;\nr(1.5) q;\n",
         "3:15: \"pow @\" mit nicht ganzzahligem Exponenten wird nicht unterstützt."},
        {V3 + "qubit q;\ndelay[100ns] q;\n",
         "4:1: Zeitangaben (\"delay\") werden nicht unterstützt."},
        {V3 + "qubit q;\nbox { x q; }\n", "4:1: Zeitangaben (\"box\") werden nicht unterstützt."},
        {V3 + "duration d = 10ns;\n", "3:1: Zeitangaben (\"duration\") werden nicht unterstützt."},
        {V3 + "qubit q;\nrx(10ns) q;\n", "4:4: Zeitangaben (\"10ns\") werden nicht unterstützt."},
        {V3 + "input float t;\n",
         "3:1: Ein- und Ausgabevariablen (\"input\") werden nicht unterstützt."},
        {V3 + "defcal x $0 { }\n", "3:1: Kalibrierungen (\"defcal\") werden nicht unterstützt."},
        {V3 + "x $0;\n", "3:3: Physische Qubits (\"$0\") werden nicht unterstützt."},
        {V3 + "qubit[3] q;\nh q[0:1];\n",
         "4:6: Registerbereiche (\"q[a:b]\") werden nicht unterstützt."},
        {V3 + "qubit q;\nbit c;\nswitch (c) { }\n",
         "5:1: Verzweigungen mit \"switch\" werden nicht unterstützt."},
        {V3 + "qubit q;\nrx(2 ^ 3) q;\n", "4:6: Bit-Operatoren wie \"^\" werden nicht unterstützt; "
                                          "die Potenz schreibt OpenQASM 3 als \"**\"."},
        {V3 + "qubit q;\nrx(1im) q;\n", "4:4: Komplexe Zahlen werden nicht unterstützt."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(c.program), c.refusal) << c.program;
}

TEST(QasmReader, MistakesAreNamedWhereTheyStand)
{
    const struct {
        std::string program;
        std::string refusal;
    } cases[] = {
        {"qreg q[1];\n",
         "1:1: Ein OpenQASM-Programm beginnt mit \"OPENQASM 2.0;\" oder \"OPENQASM 3.0;\"."},
        {"OPENQASM 4.0;\n",
         "1:10: Die OpenQASM-Version \"4.0\" wird nicht unterstützt (nur 2.0 und 3)."},
        {"OPENQASM 2.0;\nqreg q[1];\nh q[0];\n",
         "3:1: Das Gatter \"h\" steht in \"qelib1.inc\", das nicht eingebunden ist."},
        {"OPENQASM 2.0;\ninclude \"stdgates.inc\";\n",
         "2:9: Eingebaut ist nur \"qelib1.inc\"; \"stdgates.inc\" wird nicht eingebunden."},
        {V2 + "qreg q[2];\nfoo q[0];\n", "4:1: Unbekanntes Gatter \"foo\"."},
        {V2 + "gate g(a) b, a { x b; }\n", "3:14: Der Name \"a\" steht zweimal in der Definition."},
        {V2 + "qreg q[2];\ncx q[0];\n", "4:1: Das Gatter \"cx\" braucht 2 Qubits, nicht 1."},
        {V2 + "qreg q[2];\nrx q[0];\n", "4:1: Das Gatter \"rx\" braucht 1 Parameter, nicht 0."},
        {V2 + "qreg q[2];\ncx q[1], q[1];\n",
         "4:1: Ein Qubit kommt in diesem Aufruf mehrfach vor."},
        {V2 + "qreg q[2];\nqreg r[3];\ncx q, r;\n",
         "5:1: Die Register in diesem Aufruf sind verschieden groß (2 und 3)."},
        {V2 + "qreg q[2];\nh q[2];\n",
         "4:5: Der Index \"2\" liegt außerhalb des Registers \"q\" (Größe 2)."},
        {V2 + "qreg q[2];\nh q[0]\nh q[1];\n", "5:1: Hier wird \";\" erwartet, nicht \"h\"."},
        {V2 + "qreg q[2];\nqreg q[1];\n", "4:6: Der Name \"q\" ist schon vergeben."},
        {V2 + "qreg q[2];\ncreg c[1];\nmeasure q -> c;\n",
         "5:1: Die Messung braucht gleich viele Qubits und Bits (2 und 1)."},
        {V2 + "gate h a { x a; }\n", "3:6: Das Gatter \"h\" ist schon definiert."},
        {V2 + "gate g a { cx a, b; }\n", "3:18: \"b\" ist kein Qubit-Argument von \"g\"."},
        {V2 + "qreg q[1];\nrx(1/0) q[0];\n",
         "4:1: Ein Parameter von \"rx\" ist keine endliche Zahl."},
        {V2 + "qreg q[1];\nrx(theta) q[0];\n", "4:4: Der Name \"theta\" ist hier unbekannt."},
        {V2 + "qreg q[1];\n/* open\nh q[0];\n",
         "4:1: Der Kommentar \"/*\" wird nicht geschlossen."},
        {V2 + "qreg q[1];\nh q[0]; \x01\n",
         "4:9: Das Zeichen \"\\x01\" gehört nicht in ein Programm."},
        {V3 + "qubit q;\nif (true) { x q; }\n", "4:5: Es gibt kein Bit-Register \"true\"."},
        {V3 + "qubit q;\nbit c;\nif (c) { qubit r; }\n",
         "5:10: In einem if-Block stehen nur Gatter, Messungen und \"reset\"; \"qubit\" gehört auf "
         "die oberste Ebene."},
        {V3 + "qubit q;\nq = 1;\n", "4:1: \"q\" ist ein Qubit-Register, kein Gatter."},
        {V3 + "qubit q;\nh q[0];\n", "4:4: \"q\" ist ein einzelnes Qubit und hat keinen Index."},
        {V3 + "pragma qucode width 99\nqubit q;\n",
         "3:1: Das Pragma \"qucode\" kennt nur \"qucode width N\" mit N von 1 bis 28."},
        // Found by fuzz_qasm: the digits of a long width overflowed as they were summed.
        {V3 + "pragma qucode width 99999999999999999999\n",
         "3:1: Das Pragma \"qucode\" kennt nur \"qucode width N\" mit N von 1 bis 28."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(c.program), c.refusal) << c.program;
}

TEST(QasmReader, OtherPragmasPassAndTheWidthPragmaSetsTheEngineWidth)
{
    const Circuit c =
        read("OPENQASM 3;\npragma qucode width 12\n#pragma anything else\nqubit[3] q;\n");
    EXPECT_EQ(c.engine_width, 12);
    EXPECT_EQ(c.qubits, 3);
}

TEST(QasmReader, ProgramsAreToldFromDumps)
{
    EXPECT_TRUE(circuits::looks_like_qasm("OPENQASM 2.0;"));
    EXPECT_TRUE(circuits::looks_like_qasm("\xEF\xBB\xBF// comment\n/* more */ OPENQASM 3;"));
    // A program without its header is still text, which the reader then names.
    EXPECT_TRUE(circuits::looks_like_qasm("qreg q[2];\n"));
    EXPECT_FALSE(circuits::looks_like_qasm(""));
    EXPECT_FALSE(circuits::looks_like_qasm(std::string("\xF0\x00\x00\x00\x08", 5)));
    EXPECT_FALSE(circuits::looks_like_qasm(std::string("\x06\x00\x00\x00\x02", 5)));
    EXPECT_FALSE(circuits::looks_like_qasm("h q;\x01"));
}
