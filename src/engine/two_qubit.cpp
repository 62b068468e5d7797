#include "engine/two_qubit.h"

#include <new>

#include "engine/cz.h"

namespace nodeweave {

namespace {

// The rotations one gate has made before its controlled-Z. Should the controlled-Z run out of
// memory, they are taken back, so that the gate changes nothing (the controlled-Z itself keeps
// the state when it fails); a failed index check keeps them.
class Frame {
public:
    explicit Frame(State& state) : state_(state) {}

    Frame& rotate(Qubit q, vop_t gate) {
        apply_gate(state_, q, gate);  // checks the index first
        qubits_[count_] = q;
        gates_[count_++] = gate;
        return *this;
    }
    Frame& h(Qubit q) { return rotate(q, VOP_H); }
    Frame& sdag_h(Qubit q) { return rotate(q, VOP_SDAG).rotate(q, VOP_H); }

    void cz(Qubit first, Qubit second) {
        try {
            nodeweave::cz(state_, first, second);
        } catch (const std::bad_alloc&) {
            while (count_ > 0) {
                --count_;
                vop_t& vop = state_.node(qubits_[count_]).vop;
                vop = VOP_PRODUCT[VOP_ADJOINT[gates_[count_]]][vop];
            }
            throw;
        }
    }

private:
    State& state_;
    Qubit qubits_[4];
    vop_t gates_[4];
    int count_ = 0;
};

// The rotations after the controlled-Z: the indices are known to be valid by then.
void h(State& s, Qubit q) { apply_gate(s, q, VOP_H); }
void h_s(State& s, Qubit q) {
    apply_gate(s, q, VOP_H);
    apply_gate(s, q, VOP_S);
}

}  // namespace

void cx(State& s, Qubit c, Qubit t) {
    Frame(s).h(t).cz(c, t);
    h(s, t);
}

void cy(State& s, Qubit c, Qubit t) {
    Frame(s).sdag_h(t).cz(c, t);
    h_s(s, t);
}

void xcx(State& s, Qubit c, Qubit t) {
    Frame(s).h(c).h(t).cz(c, t);
    h(s, t);
    h(s, c);
}

// The mirror of ycx with the operands exchanged.
void xcy(State& s, Qubit c, Qubit t) { ycx(s, t, c); }

// The mirror of cx with the operands exchanged.
void xcz(State& s, Qubit c, Qubit t) { cx(s, t, c); }

void ycx(State& s, Qubit c, Qubit t) {
    Frame(s).sdag_h(c).h(t).cz(c, t);
    h(s, t);
    h_s(s, c);
}

void ycy(State& s, Qubit c, Qubit t) {
    Frame(s).rotate(t, VOP_SDAG).sdag_h(c).h(t).cz(c, t);
    h(s, t);
    h_s(s, c);
    apply_gate(s, t, VOP_S);
}

// The mirror of cy with the operands exchanged.
void ycz(State& s, Qubit c, Qubit t) { cy(s, t, c); }

}  // namespace nodeweave
