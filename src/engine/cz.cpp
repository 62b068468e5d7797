#include "engine/cz.h"

#include <cstddef>
#include <memory_resource>
#include <utility>

#include "engine/cz_lookup.h"
#include "engine/journal.h"
#include "engine/reduction.h"

namespace nodeweave {

void cz(State& state, qubit_t a, qubit_t b) {
    state.check(a);
    state.check(b);
    // With both operands entangled, two or three reductions may run; should a later one run out
    // of memory, the journal puts back what the earlier ones changed. With either operand
    // isolated, at most one runs, and each is whole or nothing on its own.
    if (!state.nodes[a].adjacency.empty() && !state.nodes[b].adjacency.empty()) {
        std::byte buffer[2048];
        std::pmr::monotonic_buffer_resource arena(buffer, sizeof buffer);
        Journal journal(&arena);
        state.journal = &journal;
        try {
            reduce_and_look_up(state, a, b);
        } catch (...) {
            state.journal = nullptr;
            journal.restore(state);
            throw;
        }
        state.journal = nullptr;
        return;
    }
    // Otherwise only the entangled operand x can be reduced, and its list then gains members only
    // from its partner's. Room for those and for the new edge is made first, so that the look-up
    // cannot run out of memory after the reduction has changed the graph.
    for (const auto& [x, other] : {std::pair{a, b}, std::pair{b, a}}) {
        if (has_neighbour_besides(state, x, other)) {
            const qubit_t partner = reduction_partner(state, x, other);
            state.nodes[x].adjacency.reserve(static_cast<std::size_t>(state.nodes[x].adjacency.size()) +
                                             state.nodes[partner].adjacency.size() + 1);
        }
    }
    reduce_and_look_up(state, a, b);
}

void reduce_and_look_up(State& state, qubit_t a, qubit_t b) {
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
    apply_cz_lookup(state, a, b);
}

void apply_cz_lookup(State& state, qubit_t a, qubit_t b) {
    Node& na = state.nodes[a];
    Node& nb = state.nodes[b];
    const bool edge = contains(na.adjacency, b);
    const CzEntry entry = CZ_LOOKUP[edge][na.vop][nb.vop];
    if (entry.edge && !edge) {
        add_edge(state, a, b);
    } else if (!entry.edge) {
        erase_value(na.adjacency, b);
        erase_value(nb.adjacency, a);
        compact_list(state, static_cast<vertex_t>(a));
        compact_list(state, static_cast<vertex_t>(b));
    }
    na.vop = entry.first;
    nb.vop = entry.second;
}

}  // namespace nodeweave
