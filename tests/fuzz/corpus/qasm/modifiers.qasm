OPENQASM 3.0;
include "stdgates.inc";
const float theta = pi / 3;
angle[8] phi = 0.25 * tau;
gate lift(a) x, y { ctrl @ ry(a) x, y; inv @ s y; gphase(-a / 2); }
qubit[4] q;
bit[2] c;
h q;
lift(theta) q[0], q[1];
negctrl(2) @ rx(phi ** 2) q[1], q[2], q[3];
pow(-3) @ sx q[2];
U(0.1, euler, -1e-2) q[3];
c[0] = measure q[0];
if (c[0]) { x q[1]; } else { z q[1]; }
if (c == 2) reset q[2];
c[1] = measure q[1];
