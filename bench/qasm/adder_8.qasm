// Ripple-carry adder of two 3-bit numbers (8 qubits), on 4 x 4 inputs.
OPENQASM 2.0;
include "qelib1.inc";
gate maj a, b, c { cx c, b; cx c, a; ccx a, b, c; }
gate uma a, b, c { ccx a, b, c; cx c, a; cx a, b; }
qreg cin[1];
qreg a[3];
qreg b[3];
qreg cout[1];
creg sum[4];
x a[0];
h a[1];
h a[2];
x b[2];
h b[0];
h b[1];
maj cin[0], b[0], a[0];
maj a[0], b[1], a[1];
maj a[1], b[2], a[2];
cx a[2], cout[0];
uma a[1], b[2], a[2];
uma a[0], b[1], a[1];
uma cin[0], b[0], a[0];
measure b[0] -> sum[0];
measure b[1] -> sum[1];
measure b[2] -> sum[2];
measure cout[0] -> sum[3];
