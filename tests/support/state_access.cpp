// Reading and writing simulator states for the tests: the graph as qubit-level lists and a state
// built from such lists.

#include "state_access.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "engine/graph/graph.h"

namespace nodeweave {

literal::Graph graph_of(const State& state) {
    literal::Graph graph;
    const std::size_t n = state.size();
    graph.vop.resize(n);
    graph.adjacency.resize(n);
    for (std::size_t q = 0; q < n; ++q) {
        const Slot s = state.slot(Qubit(q));
        graph.vop[q] = state.nodes[s].vop;
        for_each_neighbour(state, s, [&](Slot t) { graph.adjacency[q].push_back(index_of(state.qubit(t))); });
    }
    // A component held in a tableau appears in its graph form.
    for (const Tableau& tableau : state.tableaux) {
        if (tableau.qubits == 0) continue;
        const GraphForm form = graph_form(tableau);
        for (std::uint32_t c = 0; c < form.qubits; ++c) {
            const std::size_t q = index_of(state.qubit(tableau.slot_at[c]));
            graph.vop[q] = VOP_PRODUCT[graph.vop[q]][form.local[c]];
            for (std::uint32_t other : set_bits(form.row(c), form.words)) {
                graph.adjacency[q].push_back(index_of(state.qubit(tableau.slot_at[other])));
            }
        }
    }
    return graph;
}

std::string malformation(const literal::Graph& graph, std::size_t n) {
    if (graph.vop.size() != n || graph.adjacency.size() != n) {
        return "vops and adjacency must have one entry per qubit";
    }
    for (std::size_t q = 0; q < n; ++q) {
        if (graph.vop[q] >= 24) return "a VOP must be below 24";
        std::unordered_set<std::size_t> seen;
        for (std::size_t t : graph.adjacency[q]) {
            if (t >= n) return "a neighbour index is out of range";
            if (t == q) return "a vertex lists itself";
            if (!seen.insert(t).second) return "a neighbour is listed twice";
        }
    }
    for (std::size_t q = 0; q < n; ++q) {
        for (std::size_t t : graph.adjacency[q]) {
            const auto& back = graph.adjacency[t];
            if (std::find(back.begin(), back.end(), q) == back.end()) return "the lists are not symmetric";
        }
    }
    return "";
}

State state_of_graph(const literal::Graph& graph) {
    State state = make_state(graph.vop.size());
    for (std::size_t q = 0; q < graph.vop.size(); ++q) {
        Node& node = state.nodes[Slot(q)];
        node.vop = graph.vop[q];
        node.list.reserve(graph.adjacency[q].size());
        for (std::size_t t : graph.adjacency[q]) node.list.append(Slot(t));
    }
    return state;
}

}  // namespace nodeweave
