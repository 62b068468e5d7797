#pragma once
// Controlled-Zs held back from the graph as deferrals (engine/deferral/deferral_store.h says what one
// stands for), and their settling into the graph.
//
// A controlled-Z that would toggle a large neighbourhood to a control with few edges of its own
// makes that control a deferral instead (engine/policy/policy.h says when); later controlled-Zs on it only extend its R. The
// deferral settles, joining the graph with exactly the edges its R implies, when its control is
// measured or leaves the Z axis, when a measurement on one of R's qubits does not commute with
// R, and before any query that reads the graph.

#include "engine/graph/graph.h"
#include "engine/policy/policy.h"
#include "engine/core/state.h"

namespace nodeweave {

// Whether CZ on the slots sa, sb is one to hold back: exactly one operand keeps the Z axis (the
// control) and the pair qualifies (defer_candidate in engine/policy/policy.h).
inline bool worth_deferring(const State& state, Slot sa, Slot sb) noexcept {
    const Node& na = state.nodes[sa];
    const Node& nb = state.nodes[sb];
    const bool a_on_z = keeps_z_axis(na.vop);
    if (a_on_z == keeps_z_axis(nb.vop)) return false;
    return defer_candidate(state, a_on_z ? na : nb, a_on_z ? nb : na, [&] { return degree(state, a_on_z ? sb : sa); });
}

// How a CZ goes while deferrals live or one may begin: into the R of a deferral (`id`, or a new
// one of `control` when `begins`), or through the graph or tableau form and then past the Rs that
// hold an operand.
struct CzPlan {
    enum class Route { into_r, past_rs } route = Route::past_rs;
    bool begins = false;
    std::uint32_t id = 0;
    Qubit control{}, other{};
};

// Plans CZ on qubits a and b (distinct, checked), settling first the deferrals that the gate would
// otherwise break (two controls meeting, a control off the Z axis, an R that would reach into a
// tableau). Throws std::bad_alloc with the quantum state unchanged.
CzPlan plan_cz(State& state, Qubit a, Qubit b);

// Makes a CZ planned into an R. Throws std::bad_alloc with nothing changed.
void cz_into_r(State& state, const CzPlan& plan);

// A CZ planned past the Rs: before the graph-form gate, `reserve_passing` notes the deferrals
// holding a or b and makes room for their terms (throws std::bad_alloc with nothing changed);
// after it, `pass_cz` conjugates those terms, and deferrals that a dense component waits for
// settle.
void reserve_passing(State& state, Qubit a, Qubit b);
void pass_cz(State& state, Qubit a, Qubit b);

// Before measuring `axis` on q: settles the deferral q controls and those whose R does not commute
// with the measurement. Throws std::bad_alloc with the quantum state unchanged.
void settle_for_measurement(State& state, Qubit q, axis_t axis);

// Settles every deferral, leaving the state in plain graph (or tableau) form: what every reader
// of the graph calls first. Throws std::bad_alloc with the quantum state unchanged (some deferrals
// may have settled).
void settle_for_reading(State& state);


}  // namespace nodeweave
