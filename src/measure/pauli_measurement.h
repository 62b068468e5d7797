#pragma once
// Projective measurement of one qubit in the X, Y or Z basis.
//
// The requested axis is translated through the qubit's VOP into an axis of the bare graph state;
// the graph-level outcome g is certain only for X on an isolated vertex, and is otherwise the top
// bit of one 32-bit word drawn from `draw`. After the update the measured qubit has no edges.

#include <cstdint>

#include "engine/state.h"

namespace nodeweave {

// The graph-state update for outcome bit g of a measurement of the graph-level axis (0 X, 1 Y,
// 2 Z) on qubit q. For X, q must have at least one neighbour.
void measure_graph(State& state, qubit_t q, axis_t graph_axis, std::uint8_t g);

// The X part of it (q has at least one neighbour).
void measure_graph_x(State& state, qubit_t q, std::uint8_t g);

// What measuring `axis` on qubit q means for the bare graph state: the graph-level axis, whether
// the observed result is the graph-level one negated, and whether the outcome is certain.
struct GraphMeasurement {
    axis_t graph_axis;
    std::uint8_t sign;
    bool certain;
};

inline GraphMeasurement translate_measurement(const State& state, qubit_t q, axis_t axis) {
    const Node& node = state.at(q);
    const vop_t w = VOP_ADJOINT[node.vop];
    const axis_t graph_axis = CONJUGATED_AXIS[axis][w];
    // An isolated vertex is in |+>: its X outcome is certain.
    return {graph_axis, CONJUGATED_SIGN[axis][w], graph_axis == AXIS_X && node.adjacency.empty()};
}

// Measures `axis` (0 X, 1 Y, 2 Z) on qubit q; returns the result bit (0 for +1, 1 for -1).
// `draw` is called at most once, before anything changes, and only when the outcome is random.
// `update` is the graph update (the test-support module passes its step-by-step reference).
template <class Draw>
std::uint8_t measure(State& state, qubit_t q, axis_t axis, Draw&& draw,
                     void (*update)(State&, qubit_t, axis_t, std::uint8_t) = measure_graph) {
    const GraphMeasurement m = translate_measurement(state, q, axis);
    if (m.certain) return m.sign;
    const std::uint8_t g = static_cast<std::uint8_t>(static_cast<std::uint32_t>(draw()) >> 31);
    update(state, q, m.graph_axis, g);
    return m.sign ^ g;
}

}  // namespace nodeweave
