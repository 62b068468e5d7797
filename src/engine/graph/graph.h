#pragma once
// Edges of the graph, wherever they are stored (lists or block rows), and the moves of vertices
// into and out of dense blocks. Everything here takes slots.

#include <cstdint>
#include <span>

#include "engine/core/state.h"
#include "engine/policy/policy.h"

namespace nodeweave {

// ---- neighbour lists under the engine's thresholds --------------------------------------------

// The position of v in s's list, or NO_POSITION; a long list gets its position index on the way.
inline std::uint32_t list_position(Node& node, Slot v) noexcept {
    return node.list.find(v, index_lists_from());
}
inline bool list_erase(Node& node, Slot v) noexcept { return node.list.erase(v, index_lists_from()); }
// Gives back the memory of a list that has shrunk a lot.
inline void compact(Node& node) noexcept { node.list.compact(index_lists_from()); }

// ---- reading edges ---------------------------------------------------------------------------

inline bool same_block(const State& state, Slot a, Slot b) noexcept {
    const Node& x = state.nodes[a];
    const Node& y = state.nodes[b];
    return x.in_block() && y.in_block() && x.block == y.block;
}

inline std::uint32_t degree(const State& state, Slot s) noexcept {
    const Node& node = state.nodes[s];
    return node.list.size() + (node.in_block() ? state.blocks[node.block].row_count[node.local()] : 0);
}

// The first neighbour of s for which pred(neighbour) holds, or NO_SLOT.
template <class Pred>
Slot find_neighbour(const State& state, Slot s, Pred&& pred) {
    const Node& node = state.nodes[s];
    for (Slot y : node.list) {
        if (pred(y)) return y;
    }
    if (node.in_block()) {
        const Block& block = state.blocks[node.block];
        for (std::uint32_t local : set_bits(block.row(node.local()), block.words)) {
            if (pred(block.slot_at[local])) return block.slot_at[local];
        }
    }
    return NO_SLOT;
}

// Calls f(neighbour slot) for every neighbour of s.
template <class F>
void for_each_neighbour(const State& state, Slot s, F&& f) {
    find_neighbour(state, s, [&](Slot y) {
        f(y);
        return false;
    });
}

bool has_edge(State& state, Slot a, Slot b) noexcept;

// A neighbour of s other than `avoid`, chosen to make a pivot cheap: the one of least degree among
// the first few looked at, or the first leaf met. NO_SLOT when s has no other neighbour. The scan
// is bounded (PARTNER_SCAN) so that choosing stays O(1) at a hub.
inline Slot light_neighbour(const State& state, Slot s, Slot avoid = NO_SLOT) {
    Slot best = NO_SLOT;
    std::uint32_t best_degree = UINT32_MAX;
    int looked = 0;
    find_neighbour(state, s, [&](Slot y) {
        if (y == avoid) return false;
        const std::uint32_t d = degree(state, y);
        if (d < best_degree) {
            best = y;
            best_degree = d;
        }
        return d <= 1 || ++looked == PARTNER_SCAN;
    });
    return best;
}

// Whether s has a neighbour other than `other`.
inline bool has_neighbour_besides(State& state, Slot s, Slot other) noexcept {
    const std::uint32_t d = degree(state, s);
    return d >= 2 || (d == 1 && !has_edge(state, s, other));
}

// ---- writing edges ---------------------------------------------------------------------------

// Room for `extra` more list entries at s. Throws std::bad_alloc with nothing changed.
inline void reserve_list_room(State& state, Slot s, std::size_t extra) {
    Node& node = state.nodes[s];
    node.list.reserve(std::size_t{node.list.size()} + extra);
}

// Room for the edge a-b should it have to be added. Throws std::bad_alloc with nothing changed.
inline void reserve_edge(State& state, Slot a, Slot b) {
    if (same_block(state, a, b)) return;
    reserve_list_room(state, a, 1);
    reserve_list_room(state, b, 1);
}

// Adds the absent edge a-b; list room has been reserved.
void add_edge(State& state, Slot a, Slot b) noexcept;
// Removes the present edge a-b.
void remove_edge(State& state, Slot a, Slot b) noexcept;
// Adds or removes a-b; list room has been reserved.
inline void toggle_edge_reserved(State& state, Slot a, Slot b) noexcept {
    if (has_edge(state, a, b)) {
        remove_edge(state, a, b);
    } else {
        add_edge(state, a, b);
    }
}

// Removes every edge of s (in every neighbour's record and its own) and calls f(neighbour) for
// each former neighbour. Memory is given back where lists shrank; s, and any neighbour left
// without edges in the block, leave their block.
template <class F>
void isolate(State& state, Slot s, F&& f);

// ---- dense blocks ----------------------------------------------------------------------------

// Makes every vertex of `vertices` (distinct slots) a member of one dense block, moving its edges
// to fellow members from lists into rows; whole blocks that some of them belong to are merged into
// it. Returns the block id, or NO_BLOCK when no block can be had (too many blocks): then nothing
// changed. Throws std::bad_alloc with nothing changed. The quantum state is the same afterwards.
// Lists only lose entries and keep their room (the caller compacts them when it is done).
std::uint16_t absorb(State& state, std::span<const Slot> vertices);

// An empty block with room for `capacity` members, or NO_BLOCK when no block id is left. Throws
// std::bad_alloc with nothing changed. Until a member joins, nothing observable has changed.
std::uint16_t open_block(State& state, std::uint64_t capacity);

// Takes s out of its block if it has no edges in it; a block left without members frees its memory.
void leave_block_if_unlinked(State& state, Slot s) noexcept;

// Notes `work` row words done on block `id` (NO_BLOCK: none) by a rewrite that has just ended;
// once the work since the last count reaches RELEASE_COUNT_EVERY times the block's issued rows,
// counts its edges and, when they are few, moves them back into lists and frees the block
// (release_block). Counting is thus paid for many times over by the row work before it, and a
// thinned block does not outlive its density by much.
void release_if_thin(State& state, std::uint16_t id, std::uint64_t work) noexcept;

// Moves every edge of block `id` into its members' lists and frees the block. Throws
// std::bad_alloc with the state unchanged (lists may have grown room).
void release_block(State& state, std::uint16_t id);

// What a vertex no longer needs once a rewrite has changed its edges: list memory, and its block
// membership when none of its edges is in the block. Called at the end of a rewrite, never between
// edge changes that rely on list room reserved for the block as it was.
inline void tidy(State& state, Slot s) noexcept {
    compact(state.nodes[s]);
    leave_block_if_unlinked(state, s);
}

// Adds or removes the edge a-b, a rewrite of its own. Throws std::bad_alloc with nothing changed.
inline void toggle_edge(State& state, Slot a, Slot b) {
    if (has_edge(state, a, b)) {
        remove_edge(state, a, b);
        tidy(state, a);
        tidy(state, b);
    } else {
        reserve_edge(state, a, b);
        add_edge(state, a, b);
    }
}

// ---- implementation of the template ---------------------------------------------------------

template <class F>
void isolate(State& state, Slot s, F&& f) {
    Node& node = state.nodes[s];
    for (Slot y : node.list) {
        list_erase(state.nodes[y], s);
        tidy(state, y);  // a member of another block may have had no other edge
        f(y);
    }
    node.list.clear();
    compact(node);
    if (node.in_block()) {
        Block& block = state.blocks[node.block];
        const std::uint32_t local = node.local();
        row_word* row = block.row(local);
        for (std::uint32_t other : set_bits(row, block.words)) {
            const Slot t = block.slot_at[other];
            block.flip(other, local);
            --block.row_count[other];
            f(t);
            leave_block_if_unlinked(state, t);  // s is still a member: the block stays
        }
        for (std::uint32_t w = 0; w < block.words; ++w) row[w] = 0;
        block.row_count[local] = 0;
        leave_block_if_unlinked(state, s);
    }
}

}  // namespace nodeweave
