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

// Measures `axis` (0 X, 1 Y, 2 Z) on qubit q with graph-level outcome bit g, where the outcome is
// random (not X through the VOP on an isolated qubit). Returns the result bit (0 for +1).
std::uint8_t collapse(State& state, qubit_t q, axis_t axis, std::uint8_t g);

}  // namespace nodeweave
