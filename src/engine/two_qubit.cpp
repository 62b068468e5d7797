#include "engine/two_qubit.h"

#include "engine/cz.h"

namespace nodeweave {

// Each rotation is one table look-up (apply_gate checks the index first).
static void h(State& s, qubit_t q) { apply_gate(s, q, VOP_H); }
static void sdag_h(State& s, qubit_t q) {
    apply_gate(s, q, VOP_SDAG);
    apply_gate(s, q, VOP_H);
}
static void h_s(State& s, qubit_t q) {
    apply_gate(s, q, VOP_H);
    apply_gate(s, q, VOP_S);
}

void cx(State& s, qubit_t c, qubit_t t) {
    h(s, t);
    cz(s, c, t);
    h(s, t);
}

void cy(State& s, qubit_t c, qubit_t t) {
    sdag_h(s, t);
    cz(s, c, t);
    h_s(s, t);
}

void xcx(State& s, qubit_t c, qubit_t t) {
    h(s, c);
    h(s, t);
    cz(s, c, t);
    h(s, t);
    h(s, c);
}

// The mirror of ycx with the operands exchanged.
void xcy(State& s, qubit_t c, qubit_t t) { ycx(s, t, c); }

// The mirror of cx with the operands exchanged.
void xcz(State& s, qubit_t c, qubit_t t) { cx(s, t, c); }

void ycx(State& s, qubit_t c, qubit_t t) {
    sdag_h(s, c);
    h(s, t);
    cz(s, c, t);
    h(s, t);
    h_s(s, c);
}

void ycy(State& s, qubit_t c, qubit_t t) {
    apply_gate(s, t, VOP_SDAG);
    sdag_h(s, c);
    h(s, t);
    cz(s, c, t);
    h(s, t);
    h_s(s, c);
    apply_gate(s, t, VOP_S);
}

// The mirror of cy with the operands exchanged.
void ycz(State& s, qubit_t c, qubit_t t) { cy(s, t, c); }

}  // namespace nodeweave
