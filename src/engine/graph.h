#pragma once
// Edges of the graph, wherever they are stored (lists or block rows), and the moves of vertices
// into and out of dense blocks. Everything here takes slots.

#include <cstdint>
#include <span>

#include "engine/state.h"

namespace nodeweave {

inline bool same_block(const State& state, slot_t a, slot_t b) noexcept {
    const Node& x = state.nodes[a];
    const Node& y = state.nodes[b];
    return x.member != 0 && y.member != 0 && x.block == y.block;
}

inline std::uint32_t degree(const State& state, slot_t s) noexcept {
    const Node& node = state.nodes[s];
    return node.list_size() + (node.member != 0 ? state.blocks[node.block].row_count[node.member - 1] : 0);
}

// Calls f(neighbour slot) for every neighbour of s.
template <class F>
void for_each_neighbour(const State& state, slot_t s, F&& f) {
    const Node& node = state.nodes[s];
    for (const slot_t* p = node.list_begin(); p != node.list_end(); ++p) f(*p);
    if (node.member != 0) {
        const Block& block = state.blocks[node.block];
        for_each_bit(block.row(node.member - 1), block.words,
                     [&](std::uint32_t local) { f(block.slot_at[local]); });
    }
}

// The first neighbour of s for which pred(neighbour) holds, or NO_SLOT.
template <class Pred>
slot_t find_neighbour(const State& state, slot_t s, Pred&& pred) {
    const Node& node = state.nodes[s];
    for (const slot_t* p = node.list_begin(); p != node.list_end(); ++p) {
        if (pred(*p)) return *p;
    }
    if (node.member != 0) {
        const Block& block = state.blocks[node.block];
        const row_word* row = block.row(node.member - 1);
        for (std::uint32_t w = 0; w < block.words; ++w) {
            for (row_word bits = row[w]; bits != 0; bits &= bits - 1) {
                const slot_t other = block.slot_at[w * 64 + static_cast<std::uint32_t>(__builtin_ctzll(bits))];
                if (pred(other)) return other;
            }
        }
    }
    return NO_SLOT;
}

bool has_edge(State& state, slot_t a, slot_t b) noexcept;

// A neighbour of s other than `avoid`, chosen to make a pivot cheap: the one of least degree among
// the first few looked at, or the first leaf met. NO_SLOT when s has no other neighbour. The scan
// is bounded so that choosing stays O(1) at a hub.
inline constexpr int PARTNER_SCAN = 16;
inline slot_t light_neighbour(const State& state, slot_t s, slot_t avoid = NO_SLOT) {
    slot_t best = NO_SLOT;
    std::uint32_t best_degree = UINT32_MAX;
    int looked = 0;
    find_neighbour(state, s, [&](slot_t y) {
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
inline bool has_neighbour_besides(State& state, slot_t s, slot_t other) noexcept {
    const std::uint32_t d = degree(state, s);
    return d >= 2 || (d == 1 && !has_edge(state, s, other));
}

// Room for `extra` more list entries at s. Throws std::bad_alloc with nothing changed.
inline void reserve_list_room(State& state, slot_t s, std::size_t extra) {
    Node& node = state.nodes[s];
    node.reserve_list(std::size_t{node.list_size()} + extra);
}

// Room for the edge a-b should it have to be added. Throws std::bad_alloc with nothing changed.
inline void reserve_edge(State& state, slot_t a, slot_t b) {
    if (same_block(state, a, b)) return;
    reserve_list_room(state, a, 1);
    reserve_list_room(state, b, 1);
}

// Adds the absent edge a-b; list room has been reserved.
void add_edge(State& state, slot_t a, slot_t b) noexcept;
// Removes the present edge a-b.
void remove_edge(State& state, slot_t a, slot_t b) noexcept;
// Adds or removes a-b; list room has been reserved.
inline void toggle_edge_reserved(State& state, slot_t a, slot_t b) noexcept {
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
void isolate(State& state, slot_t s, F&& f);

// Makes every vertex of `vertices` (distinct slots) a member of one dense block, moving its edges
// to fellow members from lists into rows; whole blocks that some of them belong to are merged into
// it. Returns the block id, or NO_BLOCK when no block can be had (too many blocks): then nothing
// changed. Throws std::bad_alloc with nothing changed. The quantum state is the same afterwards.
// Lists only lose entries and keep their room (the caller compacts them when it is done).
std::uint16_t absorb(State& state, std::span<const slot_t> vertices);

// Takes s out of its block if it has no edges in it; a block left without members frees its memory.
void leave_block_if_unlinked(State& state, slot_t s) noexcept;

// After edges of s were toggled: gives back list memory, and s leaves its block if no edge of it
// is left there (else the block would keep its rows for good).
inline void settle(State& state, slot_t s) noexcept {
    state.nodes[s].compact_list();
    leave_block_if_unlinked(state, s);
}

// ---- implementation of the template ---------------------------------------------------------

template <class F>
void isolate(State& state, slot_t s, F&& f) {
    Node& node = state.nodes[s];
    for (const slot_t* p = node.list_begin(); p != node.list_end(); ++p) {
        Node& other = state.nodes[*p];
        other.erase(s);
        other.compact_list();
        f(*p);
    }
    node.clear_list();
    node.compact_list();
    if (node.member != 0) {
        Block& block = state.blocks[node.block];
        const std::uint32_t local = node.member - 1;
        row_word* row = block.row(local);
        for_each_bit(row, block.words, [&](std::uint32_t other) {
            const slot_t t = block.slot_at[other];
            block.flip(other, local);
            --block.row_count[other];
            f(t);
            leave_block_if_unlinked(state, t);  // s is still a member: the block stays
        });
        for (std::uint32_t w = 0; w < block.words; ++w) row[w] = 0;
        block.row_count[local] = 0;
        leave_block_if_unlinked(state, s);
    }
}

}  // namespace nodeweave
