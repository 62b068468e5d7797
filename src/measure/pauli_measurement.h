#pragma once
// Projective measurement of one qubit in the X, Y or Z basis.
//
// The requested axis is translated through the qubit's VOP into an axis of the bare graph state;
// the graph-level outcome g is certain only for X on an isolated vertex, and is otherwise the top
// bit of one 32-bit word drawn from `draw`. After the update the measured qubit has no edges.

#include <cstdint>

#include "engine/state.h"

namespace nodeweave {

// The graph-state updates for an outcome bit g of a measurement of the graph-level axis.
void measure_graph_x(State& state, qubit_t q, std::uint8_t g);  // q has at least one neighbour
void measure_graph_y(State& state, qubit_t q, std::uint8_t g);
void measure_graph_z(State& state, qubit_t q, std::uint8_t g);

// Measures `axis` (0 X, 1 Y, 2 Z) on qubit q; returns the result bit (0 for +1, 1 for -1).
// `draw` is called at most once, before anything changes, and only when the outcome is random.
template <class Draw>
std::uint8_t measure(State& state, qubit_t q, axis_t axis, Draw&& draw) {
    const Node& node = state.at(q);
    const vop_t w = VOP_ADJOINT[node.vop];
    const axis_t graph_axis = CONJUGATED_AXIS[axis][w];
    const std::uint8_t sign = CONJUGATED_SIGN[axis][w];
    if (graph_axis == AXIS_X && node.adjacency.empty()) {
        return sign;  // an isolated vertex is in |+>: certain, nothing to change
    }
    const std::uint8_t g = static_cast<std::uint8_t>(static_cast<std::uint32_t>(draw()) >> 31);
    switch (graph_axis) {
        case AXIS_X: measure_graph_x(state, q, g); break;
        case AXIS_Y: measure_graph_y(state, q, g); break;
        default: measure_graph_z(state, q, g); break;
    }
    return sign ^ g;
}

}  // namespace nodeweave
