// Ripple-carry adder of two 7-bit numbers (16 qubits), on 4 x 4 inputs.
OPENQASM 2.0;
include "qelib1.inc";
gate maj a, b, c { cx c, b; cx c, a; ccx a, b, c; }
gate uma a, b, c { ccx a, b, c; cx c, a; cx a, b; }
qreg cin[1];
qreg a[7];
qreg b[7];
qreg cout[1];
creg sum[8];
x a[0];
h a[1];
h a[6];
x b[2];
h b[0];
h b[1];
maj cin[0], b[0], a[0];
maj a[0], b[1], a[1];
maj a[1], b[2], a[2];
maj a[2], b[3], a[3];
maj a[3], b[4], a[4];
maj a[4], b[5], a[5];
maj a[5], b[6], a[6];
cx a[6], cout[0];
uma a[5], b[6], a[6];
uma a[4], b[5], a[5];
uma a[3], b[4], a[4];
uma a[2], b[3], a[3];
uma a[1], b[2], a[2];
uma a[0], b[1], a[1];
uma cin[0], b[0], a[0];
measure b[0] -> sum[0];
measure b[1] -> sum[1];
measure b[2] -> sum[2];
measure b[3] -> sum[3];
measure b[4] -> sum[4];
measure b[5] -> sum[5];
measure b[6] -> sum[6];
measure cout[0] -> sum[7];
