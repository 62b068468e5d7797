#pragma once
// The graph updates of a Pauli measurement whose outcome is random.
//
// Every measurement ends as a Z measurement of the bare graph state: the qubit loses all its
// edges, its VOP takes H (outcome 0) or X then H (outcome 1), and for outcome 1 each former
// neighbour takes a Z. Before that, rewrites that keep the state turn the measured axis into Z:
// a Y axis by a complementation about the qubit (or, when it has a leaf, about the leaf, which
// leaves an X axis), an X axis by a pivot with the neighbour of least degree. An X measurement of
// a leaf is the pivot with its neighbour and the Z rule in one step: the neighbour loses all its
// edges.

#include <cstdint>

#include "engine/state.h"

namespace nodeweave {

// Projects qubit q onto the eigenstate of `axis` (0 X, 1 Y, 2 Z) with result bit `result` (0 for
// +1, 1 for -1), where the outcome is random (anything but X through the VOP of an isolated
// qubit), so that both results are possible.
void collapse(State& state, qubit_t q, axis_t axis, std::uint8_t result);

}  // namespace nodeweave
