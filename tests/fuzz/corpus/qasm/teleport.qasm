OPENQASM 3;
include "stdgates.inc";
qubit[3] q;
bit[1] a;
bit[1] b;
bit[1] r;
ry(1.2) q[0];
h q[1];
cx q[1], q[2];
cx q[0], q[1];
h q[0];
a[0] = measure q[0];
b[0] = measure q[1];
if (b[0]) { x q[2]; }
if (a[0]) { z q[2]; }
r[0] = measure q[2];
