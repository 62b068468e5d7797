#pragma once
// Projective measurement of one qubit in the X, Y or Z basis.
//
// The requested axis is translated through the qubit's VOP into an axis of the bare graph state;
// where the outcome is not certain there (`is_certain`), the graph-level outcome is the
// top bit of one 32-bit word drawn from `draw`, the result is that outcome seen through the VOP,
// and the state collapses onto it. After the update the measured qubit has no edges.

#include <cstdint>

#include "engine/gates/measurement_route.h"
#include "engine/graph/measurement.h"

namespace nodeweave {

// Measures `axis` (0 X, 1 Y, 2 Z) on qubit q; returns the result bit (0 for +1, 1 for -1).
// `draw` is called at most once, before anything changes, and only when the outcome is random.
template <class Draw>
std::uint8_t measure(State& state, Qubit q, axis_t axis, Draw&& draw) {
    const Slot s = route_measurement(state, q, axis);
    const GraphAxis m = through_vop(axis, state.nodes[s].vop);
    if (is_certain(state, s, m.axis)) return m.negated;
    const std::uint8_t g = static_cast<std::uint8_t>(static_cast<std::uint32_t>(draw()) >> 31);
    const std::uint8_t result = m.negated ^ g;
    collapse(state, q, axis, result);
    return result;
}

}  // namespace nodeweave
