#pragma once
// Controlled-Zs held back from the graph as deferrals (engine/deferral/deferral_store.h says what one
// stands for), and their settling into the graph.
//
// A controlled-Z that would toggle a large neighbourhood to a control with few edges of its own
// makes that control a deferral instead; later controlled-Zs on it only extend its R. The
// deferral settles, joining the graph with exactly the edges its R implies, when its control is
// measured or leaves the Z axis, when a measurement on one of R's qubits does not commute with
// R, and before any query that reads the graph.

#include "engine/graph/graph.h"
#include "engine/core/state.h"

namespace nodeweave {

// The most edges a control may have when it becomes a deferral (its edges move into its R).
inline constexpr std::uint32_t DEFER_CONTROL_EDGES = 4;
// An R growing beyond this many qubits settles: a stabiliser being gathered stays small, while an
// R that random gates spread would only grow.
inline constexpr std::size_t DEFER_MAX_TERMS = 12;

// Whether CZ on the slots sa, sb is one to hold back: exactly one operand keeps the Z axis (the
// control), has at most DEFER_CONTROL_EDGES edges and none in a block or tableau, and the other
// (the target, in graph form) has at least `defer_min` neighbours, which the gate would toggle.
// Not while a tableau holds a dense component: an R reaching into it would send it back to graph
// form when settling.
inline bool worth_deferring(const State& state, Slot sa, Slot sb) noexcept {
    const Node& na = state.nodes[sa];
    const Node& nb = state.nodes[sb];
    const bool a_on_z = keeps_z_axis(na.vop);
    if (a_on_z == keeps_z_axis(nb.vop)) return false;
    const Node& control = a_on_z ? na : nb;
    const Node& target = a_on_z ? nb : na;
    return control.member == 0 && control.list.size() <= DEFER_CONTROL_EDGES && !target.in_tableau() &&
           degree(state, a_on_z ? sb : sa) >= thresholds.defer_min &&
           state.free_tableaux.size() == state.tableaux.size();
}

// CZ on qubits a and b (distinct, checked) when deferrals exist or the gate is worth deferring.
// Throws std::bad_alloc with the state unchanged.
void cz_with_deferrals(State& state, Qubit a, Qubit b);

// Before measuring `axis` on q: settles the deferral q controls and those whose R does not commute
// with the measurement. Throws std::bad_alloc with the quantum state unchanged.
void settle_for_measurement(State& state, Qubit q, axis_t axis);

// Settles every deferral, leaving the state in plain graph (or tableau) form. Throws
// std::bad_alloc with the quantum state unchanged (some deferrals may have settled).
void settle_all(State& state);

// The invariants of the deferrals; an empty string when they hold.
std::string check_deferrals(const State& state);

}  // namespace nodeweave
