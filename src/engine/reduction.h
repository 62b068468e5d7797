#pragma once
// Local complementation and the reduction of a vertex operator to the identity.
// Both keep the represented quantum state: every complementation comes with its VOP corrections.

#include "engine/state.h"

namespace nodeweave {

// Complements the neighbourhood of v: every pair of v's neighbours has its edge toggled, pair by
// pair in list order; each neighbour's VOP is multiplied on the right by S, v's by sqrt(iX).
void local_complement(State& state, qubit_t v);

// Turns a's VOP into the identity (when a has a neighbour) by the complementations of its
// reduction word, about a itself or about a partner: a's first neighbour that is not b.
void remove_vop(State& state, qubit_t a, qubit_t b);

// The partner of that reduction: a's first neighbour that is not b, else b itself.
qubit_t reduction_partner(const State& state, qubit_t a, qubit_t b);

}  // namespace nodeweave
