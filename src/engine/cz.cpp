#include "engine/cz.h"

#include "engine/cz_lookup.h"
#include "engine/reduction.h"

namespace nodeweave {

// Whether x has a neighbour other than y.
static bool has_neighbour_besides(const State& state, qubit_t x, qubit_t y) {
    const AdjacencyList& list = state.nodes[x].adjacency;
    return list.size() >= 2 || (list.size() == 1 && list[0] != y);
}

void cz(State& state, qubit_t a, qubit_t b) {
    state.check(a);
    state.check(b);

    // The look-up is exact only when each operand is adjacent to nothing but the other or carries
    // a diagonal VOP. Each test reads the graph as the reductions before it left it.
    if (has_neighbour_besides(state, a, b)) {
        remove_vop(state, a, b);
    }
    if (has_neighbour_besides(state, b, a)) {
        remove_vop(state, b, a);
    }
    if (has_neighbour_besides(state, a, b) && !is_diagonal(state.nodes[a].vop)) {
        remove_vop(state, a, b);
    }

    Node& na = state.nodes[a];
    Node& nb = state.nodes[b];
    const bool edge = contains(na.adjacency, b);
    const CzEntry entry = CZ_LOOKUP[edge][na.vop][nb.vop];
    if (entry.edge && !edge) {
        add_edge(state, a, b);
    } else if (!entry.edge) {
        erase_value(na.adjacency, b);
        erase_value(nb.adjacency, a);
    }
    na.vop = entry.first;
    nb.vop = entry.second;
}

}  // namespace nodeweave
