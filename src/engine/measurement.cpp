#include "engine/measurement.h"

#include "engine/complementation.h"
#include "engine/graph.h"

namespace nodeweave {

namespace {

void measure_z_rule(State& state, slot_t s, std::uint8_t g) {
    isolate(state, s, [&](slot_t y) {
        if (g) multiply_right(state.nodes[y], VOP_Z);
    });
    if (g) multiply_right(state.nodes[s], VOP_X);
    multiply_right(state.nodes[s], VOP_H);
}

// X on a leaf q with neighbour b: the pivot about q-b makes q the hub and b its leaf, which the Z
// rule then cuts off: b loses all its edges, q and b's other neighbours keep the rest.
std::uint8_t measure_x_of_a_leaf(State& state, slot_t sq, axis_t axis, std::uint8_t g) {
    Node& q = state.nodes[sq];
    const slot_t sb = q.list_size() == 1 ? q.list_at(0)
                                         : find_neighbour(state, sq, [](slot_t) { return true; });
    Node& b = state.nodes[sb];
    multiply_right(q, PIVOT_FIRST);
    multiply_right(q, VOP_X);
    multiply_right(b, PIVOT_SECOND);
    multiply_right(b, VOP_Z);
    const GraphAxis m = through_vop(axis, q.vop);  // now Z
    isolate(state, sb, [&](slot_t y) {
        if (g && y != sq) multiply_right(state.nodes[y], VOP_Z);
    });
    if (g) {
        multiply_right(b, VOP_Z);
        multiply_right(q, VOP_X);
    }
    multiply_right(q, VOP_H);
    return m.negated ^ g;
}

}  // namespace

std::uint8_t collapse(State& state, qubit_t q, axis_t axis, std::uint8_t g) {
    for (;;) {
        const slot_t s = state.slot(q);
        const GraphAxis m = through_vop(axis, state.nodes[s].vop);
        if (m.axis == AXIS_Z) {
            measure_z_rule(state, s, g);
            return m.negated ^ g;
        }
        if (m.axis == AXIS_Y) {
            const slot_t leaf = find_neighbour(state, s, [&](slot_t y) { return degree(state, y) == 1; });
            local_complement(state, leaf == NO_SLOT ? s : leaf);
            continue;
        }
        if (degree(state, s) == 1) return measure_x_of_a_leaf(state, s, axis, g);
        slot_t best = NO_SLOT;
        std::uint32_t best_degree = UINT32_MAX;
        find_neighbour(state, s, [&](slot_t y) {
            const std::uint32_t d = degree(state, y);
            if (d < best_degree) {
                best = y;
                best_degree = d;
            }
            return d <= 1;
        });
        pivot(state, q, state.qubit(best));
    }
}

}  // namespace nodeweave
