#include "measure/pauli_measurement.h"

#include "engine/complementation.h"


namespace nodeweave {

static inline void multiply_right(State& state, qubit_t x, vop_t c) {
    Node& node = state.at(x);
    node.vop = VOP_PRODUCT[node.vop][c];
}

// A complementation about q without its VOP corrections, then q loses all its edges; the
// corrections are S (g = 0) or S-dagger (g = 1) on q and on each of its neighbours.
static void measure_graph_y(State& state, qubit_t q, std::uint8_t g) {
    PlanArena arena;
    ComplementPlan plan = plan_complements(state, &q, 1, &arena.resource);
    plan.remove_everywhere(static_cast<vertex_t>(q));
    plan.clear_list(static_cast<vertex_t>(q));
    apply_lists(state, plan);
    const vop_t c = g == 0 ? VOP_S : VOP_SDAG;
    for (vertex_t x : plan.centre_list(0)) multiply_right(state, x, c);
    multiply_right(state, q, c);
}

static void measure_graph_z(State& state, qubit_t q, std::uint8_t g) {
    // The measured qubit loses all its edges; with g = 1 each former neighbour takes a Z.
    AdjacencyList& neighbours = state.at(q).adjacency;
    for (qubit_t x : neighbours) {
        erase_value(state.at(x).adjacency, q);
        state.nodes[x].adjacency.compact();
        if (g) multiply_right(state, x, VOP_Z);
    }
    neighbours.clear();
    neighbours.compact();
    if (g) multiply_right(state, q, VOP_X);
    multiply_right(state, q, VOP_H);
}

void measure_graph(State& state, qubit_t q, axis_t graph_axis, std::uint8_t g) {
    switch (graph_axis) {
        case AXIS_X: measure_graph_x(state, q, g); break;
        case AXIS_Y: measure_graph_y(state, q, g); break;
        default: measure_graph_z(state, q, g); break;
    }
}

}  // namespace nodeweave
