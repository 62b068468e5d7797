#include "engine/graph/measurement.h"

#include "engine/graph/complementation.h"

namespace nodeweave {

namespace {

void measure_z_rule(State& state, Slot s, std::uint8_t g) {
    const Node& node = state.nodes[s];
    const std::uint16_t id = node.in_block() ? node.block : NO_BLOCK;
    const std::uint64_t work = id == NO_BLOCK ? 0 : state.blocks[id].words;
    isolate(state, s, [&](Slot y) {
        if (g) multiply_right(state.nodes[y], VOP_Z);
    });
    release_if_thin(state, id, work);
    if (g) multiply_right(state.nodes[s], VOP_X);
    multiply_right(state.nodes[s], VOP_H);
}

// X on a leaf q with neighbour b: the pivot about q-b makes q the hub and b its leaf, which the Z
// rule then cuts off: b loses all its edges, q and b's other neighbours keep the rest.
void measure_x_of_a_leaf(State& state, Slot sq, axis_t axis, std::uint8_t result) {
    Node& q = state.nodes[sq];
    const Slot sb = q.list.size() == 1 ? q.list[0] : light_neighbour(state, sq);
    Node& b = state.nodes[sb];
    multiply_pivot_ends(q, b, true);
    const std::uint8_t g = result ^ through_vop(axis, q.vop).negated;  // the axis is Z now
    isolate(state, sb, [&](Slot y) {
        if (g && y != sq) multiply_right(state.nodes[y], VOP_Z);
    });
    if (g) {
        multiply_right(b, VOP_Z);
        multiply_right(q, VOP_X);
    }
    multiply_right(q, VOP_H);
}

}  // namespace

void collapse(State& state, Qubit q, axis_t axis, std::uint8_t result) {
    for (;;) {
        const Slot s = state.slot(q);
        const GraphAxis m = through_vop(axis, state.nodes[s].vop);
        if (m.axis == AXIS_Z) {
            measure_z_rule(state, s, result ^ m.negated);
            verify(state);
            return;
        }
        if (m.axis == AXIS_X && degree(state, s) == 1) {
            measure_x_of_a_leaf(state, s, axis, result);
            verify(state);
            return;
        }
        const Slot partner = light_neighbour(state, s);
        if (m.axis == AXIS_Y) {
            const bool leaf = partner != NO_SLOT && degree(state, partner) == 1;
            local_complement(state, leaf ? partner : s);
            continue;
        }
        pivot(state, s, partner);
    }
}

}  // namespace nodeweave
