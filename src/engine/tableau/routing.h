#pragma once
// Components held in a tableau (engine/tableau/tableau.h) instead of as a graph: when one enters, how
// gates and measurements reach it, and how it leaves.
//
// A component enters when it is dense (it lives in a dense block, and its average degree is a
// fixed fraction of its size), not too large (thresholds.tableau_max, at most TABLEAU_MAX), and
// graph-form work on it since it was found dense, with no measurement in between, would have
// paid for the trip there and back. Its qubits then lose their edges; each keeps its VOP and gets
// a column. A controlled-Z on a qubit held in a tableau takes the other operand's component in (or
// merges the two tableaux) and is a column operation there, after the operands' VOPs have been
// moved into the tableau. A measurement, or a component that would grow too large, brings the
// tableau back into graph form as one dense block; the engine then waits for graph-form work of
// order m^2 before it looks again, so that a component does not go back and forth.

#include <vector>

#include "engine/core/state.h"
#include "engine/policy/policy.h"

namespace nodeweave {

// Brings tableau `id` back into graph form: the same state, every qubit with an edge in one new
// dense block. Throws std::bad_alloc with the state unchanged.
void leave_tableau(State& state, std::uint16_t id);

// Makes sure that s is in graph form. Throws std::bad_alloc with the state unchanged.
inline void ensure_graph_form(State& state, Slot s) {
    if (state.nodes[s].in_tableau()) leave_tableau(state, state.nodes[s].tableau());
}

// Controlled-Z on two slots at least one of which is held in a tableau. Returns false, with both
// operands brought back into graph form, when the two components together would be too large for
// a tableau. Throws std::bad_alloc with the state unchanged.
bool cz_in_tableau(State& state, Slot a, Slot b);

// Called before a graph-form controlled-Z prepares a vertex of degree `degree`: counts the work,
// and when enough has passed since the last look, looks whether s's component should be held in
// a tableau and moves it there if so. Returns whether it did. Throws std::bad_alloc with the state
// unchanged.
bool look_at_component(State& state, Slot s);
inline bool consider_tableau(State& state, Slot s, std::uint32_t degree) {
    return due_for_a_look(state.watch, degree) && look_at_component(state, s);
}

// The qubits entangled with s, which is held in a tableau, in no set order.
std::vector<Qubit> tableau_group(const State& state, Slot s);

}  // namespace nodeweave
