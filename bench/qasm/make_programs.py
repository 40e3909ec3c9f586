#!/usr/bin/env python3
"""Writes the OpenQASM programs that bench/compare.sh runs through `qucode probs` and the dense
baseline: a GHZ state, a QFT of a superposition, a ripple-carry adder and a Grover search, each
at several widths from 8 to 24 qubits. Run it from anywhere; the files land beside it."""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, lines):
    with open(os.path.join(HERE, name), "w") as f:
        f.write("\n".join(lines) + "\n")


def ghz(n):
    lines = [f"// GHZ state on {n} qubits: (|0...0> + |1...1>) / sqrt(2).",
             "OPENQASM 2.0;", 'include "qelib1.inc";', f"qreg q[{n}];", f"creg c[{n}];",
             "h q[0];"]
    lines += [f"cx q[{i}], q[{i + 1}];" for i in range(n - 1)]
    lines.append("measure q -> c;")
    write(f"ghz_{n}.qasm", lines)


def qft(n):
    # Every qubit in (|0> + e^(i 2 pi f 2^k / 2^n) |1>) / sqrt(2): the plane wave of frequency
    # f over all 2^n values, with f between two values, so that the transform is spread over
    # all outcomes with its peak near 2^n - f.
    f = 5.3
    lines = [f"// QFT of a plane wave of frequency {f} on {n} qubits: every amplitude non-zero.",
             "OPENQASM 3.0;", 'include "stdgates.inc";', f"qubit[{n}] q;", f"bit[{n}] c;",
             f"const float f = {f};", "h q;"]
    lines += [f"p(2 * pi * f * {2 ** k} / {2 ** n}) q[{k}];" for k in range(n)]
    for j in reversed(range(n)):
        lines.append(f"h q[{j}];")
        lines += [f"cp(pi / {2 ** (j - k)}) q[{k}], q[{j}];" for k in reversed(range(j))]
    lines += [f"swap q[{i}], q[{n - 1 - i}];" for i in range(n // 2)]
    lines.append("c = measure q;")
    write(f"qft_{n}.qasm", lines)


def adder(bits):
    # Cuccaro's ripple-carry adder: b = a + b, the carry into cout. a and b each hold a
    # superposition of four values, so 16 sums are computed at once.
    n = 2 * bits + 2
    lines = [f"// Ripple-carry adder of two {bits}-bit numbers ({n} qubits), on 4 x 4 inputs.",
             "OPENQASM 2.0;", 'include "qelib1.inc";',
             "gate maj a, b, c { cx c, b; cx c, a; ccx a, b, c; }",
             "gate uma a, b, c { ccx a, b, c; cx c, a; cx a, b; }",
             "qreg cin[1];", f"qreg a[{bits}];", f"qreg b[{bits}];", "qreg cout[1];",
             f"creg sum[{bits + 1}];"]
    # a = 1 plus 0 or 2 plus 0 or 2^(bits-1); b = 4 plus 0 to 3.
    lines += ["x a[0];", "h a[1];", f"h a[{bits - 1}];", "x b[2];", "h b[0];", "h b[1];"]
    lines.append("maj cin[0], b[0], a[0];")
    lines += [f"maj a[{i - 1}], b[{i}], a[{i}];" for i in range(1, bits)]
    lines.append(f"cx a[{bits - 1}], cout[0];")
    lines += [f"uma a[{i - 1}], b[{i}], a[{i}];" for i in reversed(range(1, bits))]
    lines.append("uma cin[0], b[0], a[0];")
    lines += [f"measure b[{i}] -> sum[{i}];" for i in range(bits)]
    lines.append(f"measure cout[0] -> sum[{bits}];")
    write(f"adder_{n}.qasm", lines)


def grover(n):
    # n search qubits and n - 3 work qubits for the Toffoli ladder of the (n-1)-controlled X
    # in the phase flips: 2n - 3 qubits. The searched value is 0b1011...; the search runs
    # floor(pi/4 sqrt(2^n)) iterations.
    total = 2 * n - 3
    marked = int("10" * n, 2) & ((1 << n) - 1) | 1
    iterations = int(math.pi / 4 * math.sqrt(2 ** n))
    s = [f"s{i}" for i in range(n)]
    w = [f"w{i}" for i in range(n - 3)]

    def mcz():
        # Z where all of s are 1: H on the last, the (n-1)-controlled X onto it, H again.
        ladder = [f"ccx {s[0]}, {s[1]}, {w[0]};"]
        ladder += [f"ccx {s[i + 1]}, {w[i - 1]}, {w[i]};" for i in range(1, n - 3)]
        return ([f"h {s[n - 1]};"] + ladder + [f"ccx {s[n - 2]}, {w[n - 4]}, {s[n - 1]};"] +
                list(reversed(ladder)) + [f"h {s[n - 1]};"])

    flips = [f"x {s[i]};" for i in range(n) if not marked >> i & 1]
    body = (flips + mcz() + flips + [f"h {q};" for q in s] + [f"x {q};" for q in s] + mcz() +
            [f"x {q};" for q in s] + [f"h {q};" for q in s])
    args = ", ".join(s + w)
    lines = [f"// Grover search for {marked} among 2^{n} values: {n} search qubits, {n - 3} work "
             f"qubits ({total} in all), {iterations} iterations.",
             "OPENQASM 2.0;", 'include "qelib1.inc";',
             f"gate iteration {args} {{"] + ["  " + b for b in body] + ["}",
             f"qreg q[{n}];", f"qreg work[{n - 3}];", f"creg c[{n}];", "h q;"]
    call = ", ".join([f"q[{i}]" for i in range(n)] + [f"work[{i}]" for i in range(n - 3)])
    lines += [f"iteration {call};"] * iterations
    lines.append("measure q -> c;")
    write(f"grover_{total}.qasm", lines)


for width in (8, 16, 24):
    ghz(width)
for width in (8, 16, 20, 24):
    qft(width)
for bits in (3, 7, 11):
    adder(bits)
for n in (6, 10, 12, 13):
    grover(n)
