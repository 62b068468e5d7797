#pragma once
// Where a measurement of one qubit goes: the deferrals it would break settle (engine/deferral/), a
// tableau holding the qubit goes back to graph form (engine/tableau/), and what the engine learns
// from measurements is noted (engine/policy/adaptive.h). The graph update itself is in
// engine/graph/measurement.h.

#include "engine/deferral/deferral.h"
#include "engine/tableau/routing.h"

namespace nodeweave {

// Brings qubit q into plain graph form for a measurement of `axis` and returns its slot. Throws
// Panic for an index out of range and std::bad_alloc with the quantum state unchanged.
inline Slot route_measurement(State& state, Qubit q, axis_t axis) {
    const Slot s = state.slot(q);  // settling deferrals never moves a qubit to another slot
    if (state.deferrals.live != 0) [[unlikely]] settle_for_measurement(state, q, axis);
    state.deferrals.trials.note_measured(static_cast<std::uint32_t>(index_of(q)));
    ensure_graph_form(state, s);
    note_measurement(state.watch);
    return s;
}

}  // namespace nodeweave
