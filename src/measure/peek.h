#pragma once
// Trial measurement of a set of qubits on a private copy of the state.

#include <cstdint>
#include <vector>

#include "engine/deferral/deferral.h"
#include "engine/core/state.h"
#include "measure/pauli_measurement.h"

namespace nodeweave {

struct PeekRecord {
    Qubit qubit;
    std::uint8_t result;
    axis_t axis;
};

// An axis drawn uniformly from X, Y, Z: the high word of 3·x, plus a carry from a second word in
// the rare case that the low word of 3·x leaves room for one.
template <class Draw>
axis_t draw_axis(Draw&& draw) {
    const std::uint64_t m = 3 * static_cast<std::uint64_t>(static_cast<std::uint32_t>(draw()));
    axis_t axis = static_cast<axis_t>(m >> 32);
    const std::uint32_t low = static_cast<std::uint32_t>(m);
    if (low > 0xFFFFFFFFu - 2) {
        const std::uint64_t m2 = 3 * static_cast<std::uint64_t>(static_cast<std::uint32_t>(draw()));
        if (static_cast<std::uint64_t>(low) + (m2 >> 32) > 0xFFFFFFFFu) ++axis;
    }
    return axis;
}

// Measures `qubits` one after another, in the given order, on a copy of `state`. A qubit that is
// isolated at its turn is measured along its certain axis; any other along a random axis.
template <class Draw>
std::vector<PeekRecord> peek_measure(const State& state, const std::vector<Qubit>& qubits,
                                     Draw&& draw) {
    std::vector<PeekRecord> records;
    records.reserve(qubits.size());
    State copy = copy_state(state);
    settle_for_reading(copy);  // so that "isolated" below means unentangled
    for (Qubit q : qubits) {
        const Slot s = copy.slot(q);
        ensure_graph_form(copy, s);
        const axis_t axis = degree(copy, s) == 0 ? certain_axis(copy.nodes[s].vop) : draw_axis(draw);
        records.push_back(PeekRecord{q, measure(copy, q, axis, draw), axis});
    }
    return records;
}

}  // namespace nodeweave
