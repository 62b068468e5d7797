#pragma once
// Local complementations computed list by list.
//
// Done one edge toggle at a time, a complementation about a vertex of degree d costs about d^2
// toggles of d each, and a reduction word of up to five complementations can pass through a dense
// intermediate graph although its net effect is small. Here each affected adjacency list is
// computed once, directly in its final order, for a whole sequence of complementations:
//
//   Let N_i be the list of the i-th centre when its complementation runs. Every other vertex x
//   only changes where x is in some N_i; the pair {x, y} is toggled once for each step i at which
//   both lie in N_i (a "joint" step). Then x's final list is
//     - the entries of x's list with no joint step, in their old order, followed by
//     - for each step i in turn, the members y of N_i (in N_i's order) whose last joint step with
//       x is i and whose edge with x is present at the end.
//   The centres' own lists are followed step by step. Work is linear in the lists read plus the
//   entries written, however dense the intermediate graphs would have been.
//
// All new lists are built before anything is changed, so a failed allocation leaves the state whole.

#include <cstddef>
#include <utility>
#include <vector>

#include "engine/state.h"

namespace nodeweave {

// The edge changes of a sequence of complementations, computed but not yet applied.
struct ComplementPlan {
    std::vector<AdjacencyList> centre_lists;           // N_i, one per step
    std::vector<std::pair<qubit_t, AdjacencyList>> new_lists;  // every list that changes
};

// Computes the lists after complementing about centres[0], ..., centres[k-1] in turn (k <= 8).
ComplementPlan plan_complements(const State& state, const qubit_t* centres, std::size_t k);

// Swaps the planned lists into the state; cannot fail.
void apply_lists(State& state, ComplementPlan& plan) noexcept;

// Complements about each centre in turn, with the VOP corrections: each neighbour of the centre
// times S on the right, the centre times sqrt(iX) on the right.
void complement_sequence(State& state, const qubit_t* centres, std::size_t k);

}  // namespace nodeweave
