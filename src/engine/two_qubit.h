#pragma once
// The two-qubit gate family: each gate is the controlled-Z framed by single-qubit rotations of
// its operands. Each index is checked just before its first rotation; the one that is not rotated
// first is checked by the controlled-Z. Rotations made before a failing check stay made.

#include "engine/state.h"

namespace nodeweave {

void cx(State& state, Qubit control, Qubit target);
void cy(State& state, Qubit control, Qubit target);
void xcx(State& state, Qubit control, Qubit target);
void xcy(State& state, Qubit control, Qubit target);
void xcz(State& state, Qubit control, Qubit target);
void ycx(State& state, Qubit control, Qubit target);
void ycy(State& state, Qubit control, Qubit target);
void ycz(State& state, Qubit control, Qubit target);

}  // namespace nodeweave
