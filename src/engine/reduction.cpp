#include "engine/reduction.h"

namespace nodeweave {

void local_complement(State& state, qubit_t v) {
    // v's own list never changes here: every toggle joins two of v's neighbours.
    const AdjacencyList& neighbours = state.at(v).adjacency;
    const std::size_t d = neighbours.size();
    for (std::size_t i = 0; i < d; ++i) {
        for (std::size_t j = i + 1; j < d; ++j) {
            toggle_edge(state, neighbours[i], neighbours[j]);
        }
        Node& node = state.at(neighbours[i]);
        node.vop = VOP_PRODUCT[node.vop][VOP_S];
    }
    Node& centre = state.nodes[v];
    centre.vop = VOP_PRODUCT[centre.vop][VOP_SQRT_IX];
}

void remove_vop(State& state, qubit_t a, qubit_t b) {
    qubit_t partner = b;
    for (qubit_t c : state.at(a).adjacency) {
        if (c != b) {
            partner = c;
            break;
        }
    }
    const vop_t vop = state.nodes[a].vop;
    for (std::uint8_t i = 0; i < REDUCTION_WORD_LENGTH[vop]; ++i) {
        local_complement(state, REDUCTION_WORDS[vop][i] == 0 ? a : partner);
    }
}

}  // namespace nodeweave
