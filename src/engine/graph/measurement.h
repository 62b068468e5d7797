#pragma once
// The graph updates of a Pauli measurement, and the rule that says when its outcome is certain.
//
// Every random measurement ends as a Z measurement of the bare graph state: the qubit loses all its
// edges, its VOP takes H (outcome 0) or X then H (outcome 1), and for outcome 1 each former
// neighbour takes a Z. Before that, rewrites that keep the state turn the measured axis into Z:
// a Y axis by a complementation about the qubit (or, when it has a leaf, about the leaf, which
// leaves an X axis), an X axis by a pivot with the neighbour of least degree. An X measurement of
// a leaf is the pivot with its neighbour and the Z rule in one step: the neighbour loses all its
// edges.

#include <cstdint>

#include "engine/graph/graph.h"

namespace nodeweave {

// The one certain case: an isolated vertex is |+> under its VOP, so X of the bare graph state is
// certain there (with result 0) and every other measurement is random.
inline bool is_certain(const State& state, Slot s, axis_t graph_axis) noexcept {
    return graph_axis == AXIS_X && degree(state, s) == 0;
}

// The axis of an isolated qubit with VOP v whose outcome is certain: the one v turns into X.
inline axis_t certain_axis(vop_t v) noexcept { return X_PREIMAGE_AXIS[VOP_ADJOINT[v]]; }

// Projects qubit q onto the eigenstate of `axis` (0 X, 1 Y, 2 Z) with result bit `result` (0 for
// +1, 1 for -1), where the outcome is random (not `is_certain`), so that both results are possible.
// q is in graph form (not held in a tableau).
void collapse(State& state, Qubit q, axis_t axis, std::uint8_t result);

}  // namespace nodeweave
