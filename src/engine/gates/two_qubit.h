#pragma once
// The two-qubit gate family: each gate is the controlled-Z framed by single-qubit rotations of
// its operands. The gate P-controlled-Q rotates its operands so that P on the control and Q on
// the target become Z (H for an X basis, S† then H for a Y basis), applies the controlled-Z and
// rotates back, undoing the same rotations in the reverse order.
//
// Each index is checked by its first rotation; an operand that is not rotated is checked by the
// controlled-Z. Rotations made before a failing check stay made. Should the controlled-Z run out
// of memory, the rotations are taken back, so that the gate changes nothing (the controlled-Z
// itself keeps the state when it fails).
//
// The frame is a template argument, so each gate compiles to its own fixed run of table look-ups
// around the controlled-Z, with nothing read from the frame at run time.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <utility>

#include "engine/gates/cz.h"
#include "engine/core/state.h"

namespace nodeweave {

enum Operand : std::uint8_t { CONTROL = 0, TARGET = 1 };

// One single-qubit gate on one operand: its VOP multiplies in from the left.
struct Rotation {
    Operand qubit;
    vop_t gate;
};

// What makes a gate of the family from the controlled-Z: the rotations before it, in the order
// they are made, and which operand the controlled-Z takes first (the row of its look-up table,
// which decides the resulting graph, though not the state).
struct Frame {
    Rotation before[4] = {};
    std::size_t count = 0;
    Operand cz_first = CONTROL;

    constexpr Frame() = default;
    // More than four rotations is not a constant expression, so a longer frame does not compile.
    constexpr Frame(std::initializer_list<Rotation> rotations, Operand first) : cz_first(first) {
        for (const Rotation& rotation : rotations) before[count++] = rotation;
    }
};

namespace frame_steps {

template <Frame FRAME, std::size_t... I>
void rotate(State& state, const Qubit (&qubits)[2], std::index_sequence<I...>) {
    (apply_gate(state, qubits[FRAME.before[I].qubit], FRAME.before[I].gate), ...);
}

template <Frame FRAME, std::size_t... I>
void rotate_back(State& state, const Qubit (&qubits)[2], std::index_sequence<I...>) {
    (apply_gate(state, qubits[FRAME.before[FRAME.count - 1 - I].qubit],
                VOP_ADJOINT[FRAME.before[FRAME.count - 1 - I].gate]),
     ...);
}

}  // namespace frame_steps

template <Frame FRAME>
void apply_two_qubit_gate(State& state, Qubit control, Qubit target) {
    const Qubit qubits[2] = {control, target};
    constexpr auto steps = std::make_index_sequence<FRAME.count>{};
    frame_steps::rotate<FRAME>(state, qubits, steps);
    try {
        cz(state, qubits[FRAME.cz_first], qubits[1 - FRAME.cz_first]);
    } catch (const std::bad_alloc&) {
        frame_steps::rotate_back<FRAME>(state, qubits, steps);
        throw;
    }
    frame_steps::rotate_back<FRAME>(state, qubits, steps);
}

}  // namespace nodeweave
