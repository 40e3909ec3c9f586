// dump.qucode: object code as OpenQASM 3 (qucode qasm)
// 26 records: init 1, cnot 1, toffoli 7, sigma_x 8, hadamard 8, qbits 1
// q[i] is the engine's qubit i until a measurement removes one; c is filled in record order.
OPENQASM 3.0;
pragma qucode width 12
include "stdgates.inc";
qubit[7] q;
// width 3
// init 0
x q[2];
ccx q[0], q[1], q[4];
ccx q[1], q[4], q[5];
ccx q[2], q[5], q[6];
cx q[6], q[3];
ccx q[2], q[5], q[6];
ccx q[1], q[4], q[5];
ccx q[0], q[1], q[4];
x q[2];
h q[0];
h q[1];
h q[2];
x q[0];
x q[1];
x q[2];
h q[2];
ccx q[0], q[1], q[2];
h q[2];
x q[0];
x q[1];
x q[2];
h q[0];
h q[1];
h q[2];
