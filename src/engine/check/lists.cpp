#include "engine/check/forms.h"

#include <unordered_set>

#include "engine/graph/graph.h"

namespace nodeweave {

namespace {

// Every list edge as (from << 32 | to), for the checks that need the other direction.
using EdgeSet = std::unordered_set<std::uint64_t>;
std::uint64_t edge_key(Slot from, Slot to) { return std::uint64_t{index_of(from)} << 32 | index_of(to); }

// The list's storage: its size, inline or heap capacity, and position index.
std::string check_list_storage(const Node& node, Slot s) {
    // Appends write below the capacity only.
    if (node.list.size() > node.list.capacity()) return at_slot("list longer than its room", s);
    // A heap block is only ever taken for more entries than fit inline.
    if (node.list.on_heap() && node.list.capacity() <= NeighbourList::INLINE_CAPACITY) {
        return at_slot("heap list no larger than the inline room", s);
    }
    const HubIndex* index = node.list.index();
    if (index == nullptr) return "";
    // The index holds exactly the list's entries, each at its position...
    if (index->size() != node.list.size()) return at_slot("position index and list differ in size", s);
    for (std::uint32_t i = 0; i < node.list.size(); ++i) {
        if (index->find(node.list.begin(), node.list[i]) != i) {
            return at_slot("position index disagrees with the list", s);
        }
    }
    // ...and keeps room, so that every probe run ends at an empty entry.
    if (!HubIndex::fits(index->size(), index->capacity())) return at_slot("position index too full", s);
    return "";
}

// The list entries of s: real, distinct neighbours kept outside s's block.
std::string check_list_entries(const State& state, Slot s, EdgeSet& edges) {
    const Node& node = state.nodes[s];
    for (const Slot t : node.list) {
        if (index_of(t) >= state.size()) return at_slot("list entry out of range", s);
        if (t == s) return at_slot("vertex lists itself", s);
        if (!edges.insert(edge_key(s, t)).second) return at_slot("list entry twice", s);
        // An edge between two members of one block is a row bit, never a list entry.
        if (same_block(state, s, t)) return at_slot("list entry within the block", s);
    }
    return "";
}
}  // namespace

std::string check_vertices(const State& state) {
    EdgeSet edges;
    for (std::uint32_t i = 0; i < state.size(); ++i) {
        const Slot s{i};
        const Node& node = state.nodes[s];
        if (node.vop >= 24) return at_slot("VOP out of range", s);
        // Operations that mark vertices clear the marks before they return.
        if (node.mark != 0) return at_slot("scratch mark left set", s);
        std::string broken = check_list_storage(node, s);
        if (broken.empty()) broken = check_list_entries(state, s, edges);
        if (broken.empty()) broken = check_row(state, s);
        if (!broken.empty()) return broken;
    }
    for (const std::uint64_t edge : edges) {
        // Every list edge is listed at both ends.
        if (edges.count(edge << 32 | edge >> 32) == 0) {
            return at_slot("list edge not symmetric", Slot(static_cast<std::uint32_t>(edge >> 32)));
        }
    }
    return "";
}

}  // namespace nodeweave
