#pragma once
// The two-qubit gate family: each gate is the controlled-Z framed by single-qubit rotations of
// its operands. Each index is checked just before its first rotation; the one that is not rotated
// first is checked by the controlled-Z. Rotations made before a failing check stay made.

#include "engine/state.h"

namespace nodeweave {

void cx(State& state, qubit_t control, qubit_t target);
void cy(State& state, qubit_t control, qubit_t target);
void xcx(State& state, qubit_t control, qubit_t target);
void xcy(State& state, qubit_t control, qubit_t target);
void xcz(State& state, qubit_t control, qubit_t target);
void ycx(State& state, qubit_t control, qubit_t target);
void ycy(State& state, qubit_t control, qubit_t target);
void ycz(State& state, qubit_t control, qubit_t target);

}  // namespace nodeweave
