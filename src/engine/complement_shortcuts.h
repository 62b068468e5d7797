#pragma once
// Exact shortcuts for two common shapes of complementation sequences, each done in place in time
// linear in the lists it reads, with the same lists, orders and VOPs as the general rule:
//
// - An even run about one centre v (two or four complementations): every edge comes back, and in
//   each neighbour's list the entries that are neighbours of v move to the end, in v's order.
//   (A hub with VOP 0 reduced before a controlled-Z.)
// - A pivot from a leaf: a has the single neighbour c, and the runs are [a...] c^odd a^odd. Then
//   a takes c's place: a's list becomes c followed by c's other neighbours, c's list becomes [a],
//   and in the list of each other neighbour x of c, c leaves, a is appended, and the entries that
//   were neighbours of c move behind it in c's order. (Growing a GHZ state by a CX chain.)

#include <cstddef>

#include "engine/complementation.h"
#include "engine/state.h"

namespace nodeweave {

// Each returns false, having changed nothing, when the sequence is not of its shape.
bool complement_even_run(State& state, vertex_t v, unsigned length);
bool complement_leaf_pivot(State& state, const Runs& runs);

}  // namespace nodeweave
