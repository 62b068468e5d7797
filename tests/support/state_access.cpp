// Reading and writing simulator states for the tests: the graph as qubit-level lists, a state
// built from such lists, the engine's internal layout, and a check of every internal invariant.

#include "state_access.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "engine/graph.h"

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

std::string broken_invariant(State& state) {
    const std::size_t n = state.size();
    auto fail = [](const std::string& what, std::size_t where) {
        return what + " (slot " + std::to_string(where) + ")";
    };
    if (state.slot_of.size() != state.qubit_of.size()) return "slot_of and qubit_of differ in size";
    if (!state.slot_of.empty()) {
        if (state.slot_of.size() != n) return "the permutation does not cover every qubit";
        for (std::size_t q = 0; q < n; ++q) {
            if (index_of(state.slot_of[q]) >= n || state.qubit_of[state.slot_of[q]] != q) {
                return fail("slot_of and qubit_of are not inverse", q);
            }
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const Slot s{static_cast<std::uint32_t>(i)};
        Node& node = state.nodes[s];
        if (node.vop >= 24) return fail("VOP out of range", i);
        if (node.mark != 0) return fail("scratch mark left set", i);
        std::unordered_set<Slot> seen;
        for (std::uint32_t j = 0; j < node.list.size(); ++j) {
            const Slot t = node.list[j];
            if (index_of(t) >= n) return fail("list entry out of range", i);
            if (t == s) return fail("vertex lists itself", i);
            if (!seen.insert(t).second) return fail("list entry twice", i);
            if (same_block(state, s, t)) return fail("list entry within the block", i);
            if (!state.nodes[t].list.contains(s)) return fail("list edge not symmetric", i);
            if (list_position(node, t) != j) return fail("position index disagrees with the list", i);
        }
        if (node.member != 0) {
            if (node.block >= state.blocks.size()) return fail("block id out of range", i);
            const Block& block = state.blocks[node.block];
            const std::uint32_t local = node.member - 1;
            if (local >= block.issued || block.slot_at[local] != s) return fail("block does not know its member", i);
            if (block.test(local, local)) return fail("row holds the vertex itself", i);
            std::uint32_t count = 0;
            bool bad = false;
            for (std::uint32_t other : set_bits(block.row(local), block.words)) {
                ++count;
                if (other >= block.issued || block.slot_at[other] == NO_SLOT || !block.test(other, local)) bad = true;
            }
            if (bad) return fail("row edge to a free index or not symmetric", i);
            if (count != block.row_count[local]) return fail("row count disagrees with the row", i);
            if (count == 0) return fail("block member without an edge in its block", i);
        } else if (node.block != NO_BLOCK) {
            return fail("block id without membership", i);
        }
    }
    if (state.free_blocks.capacity() < state.blocks.size()) return "no room to free every block";
    for (std::size_t id = 0; id < state.blocks.size(); ++id) {
        const Block& block = state.blocks[id];
        const bool listed_free =
            std::find(state.free_blocks.begin(), state.free_blocks.end(), id) != state.free_blocks.end();
        if (block.members == 0) {
            if (!listed_free || block.words != 0) return fail("empty block not freed", id);
            continue;
        }
        if (listed_free) return fail("block with members listed free", id);
        if (block.free_locals.capacity() < block.capacity()) return fail("no room to free every member", id);
        std::uint32_t members = 0;
        for (std::uint32_t local = 0; local < block.issued; ++local) {
            const Slot s = block.slot_at[local];
            if (s == NO_SLOT) {
                if (block.row_count[local] != 0) return fail("free index with edges", id);
                continue;
            }
            ++members;
            if (index_of(s) >= n || state.nodes[s].member != local + 1 || state.nodes[s].block != id) {
                return fail("member does not know its block", id);
            }
        }
        if (members != block.members || members + block.free_locals.size() != block.issued) {
            return fail("member count disagrees", id);
        }
    }
    return "";
}

}  // namespace nodeweave
