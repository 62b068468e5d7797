#include "engine/graph/complementation.h"

#include <cstddef>
#include <memory_resource>
#include <vector>

#include "engine/graph/graph.h"
#include "engine/core/verify.h"

namespace nodeweave {

namespace {

using Slots = std::pmr::vector<Slot>;

// Small neighbourhoods are worked out on the stack.
struct Arena {
    std::byte buffer[2048];
    std::pmr::monotonic_buffer_resource resource{buffer, sizeof buffer};
};

void gather_neighbours(const State& state, Slot s, Slots& out, std::size_t spare = 0) {
    out.reserve(degree(state, s) + spare);
    for_each_neighbour(state, s, [&](Slot y) { out.push_back(y); });
}

// Sorts the neighbours of the ends u, v of an edge: A, those of u only; B, those of v only; C, those
// of both. The scratch marks are cleared on every path.
void split_neighbourhoods(State& state, Slot u, Slot v, Slots& only_u, Slots& only_v, Slots& common) {
    Arena arena;
    Slots around_u(&arena.resource);
    gather_neighbours(state, u, around_u);
    struct ClearMarks {
        State& state;
        const Slots& marked;
        ~ClearMarks() {
            for (Slot y : marked) state.nodes[y].mark = 0;
        }
    } clear{state, around_u};
    only_u.reserve(around_u.size());
    only_v.reserve(degree(state, v));
    common.reserve(around_u.size());
    for (Slot y : around_u) state.nodes[y].mark = 1;
    for_each_neighbour(state, v, [&](Slot y) {
        if (y == u) return;
        if (state.nodes[y].mark == 1) {
            state.nodes[y].mark = 2;
            common.push_back(y);
        } else {
            only_v.push_back(y);
        }
    });
    for (Slot y : around_u) {
        if (y != v && state.nodes[y].mark == 1) only_u.push_back(y);
    }
}

// Toggles every pair between different groups, in the rows of one block holding them all: each
// group's rows take the members of every other group.
void toggle_between_in_rows(State& state, std::uint16_t id, const Slots* const* groups, std::size_t count) {
    Block& block = state.blocks[id];
    const std::uint32_t words = block.words;
    Arena arena;
    // members[i]: group i; masks[i]: every group but i.
    std::pmr::vector<row_word> members(count * words, 0, &arena.resource);
    std::pmr::vector<row_word> masks(count * words, 0, &arena.resource);
    for (std::size_t i = 0; i < count; ++i) {
        for (Slot s : *groups[i]) set_bit(&members[i * words], state.nodes[s].local());
    }
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t j = 0; j < count; ++j) {
            if (j == i) continue;
            for (std::uint32_t w = 0; w < words; ++w) masks[i * words + w] |= members[j * words + w];
        }
    }
    for (std::size_t i = 0; i < count; ++i) xor_rows(block, &members[i * words], &masks[i * words]);
}

// Whether at least half the vertices of the groups are members of one block (the block of the
// first member met).
bool share_a_block(const State& state, const Slots* const* groups, std::size_t count) noexcept {
    std::uint16_t id = NO_BLOCK;
    std::size_t total = 0, members = 0;
    for (std::size_t i = 0; i < count; ++i) {
        for (Slot s : *groups[i]) {
            const Node& node = state.nodes[s];
            ++total;
            if (!node.in_block()) continue;
            if (id == NO_BLOCK) id = node.block;
            members += node.block == id;
        }
    }
    return 2 * members >= total;
}

// Toggles every pair of vertices from two different groups (disjoint sets): in rows when there
// are many dense pairs, otherwise edge by edge. Each vertex of the groups also gets list room for
// `later_appends` more entries, which the caller may use afterwards; nothing is compacted. Returns
// the block whose rows did the work, or NO_BLOCK.
std::uint16_t toggle_between(State& state, const Slots* const* groups, std::size_t count, std::size_t later_appends) {
    std::uint64_t total = 0, pairs = 0;
    for (std::size_t i = 0; i < count; ++i) {
        pairs += total * groups[i]->size();
        total += groups[i]->size();
    }
    bool rows = use_rows(pairs, total, [&] { return share_a_block(state, groups, count); });
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t room = later_appends + (rows ? 0 : total - groups[i]->size());
        if (room == 0) continue;
        for (Slot s : *groups[i]) reserve_list_room(state, s, room);
    }
    if (pairs == 0) return NO_BLOCK;
    if (rows) {
        Arena arena;
        Slots all(&arena.resource);
        all.reserve(total);
        for (std::size_t i = 0; i < count; ++i) all.insert(all.end(), groups[i]->begin(), groups[i]->end());
        const std::uint16_t id = absorb(state, all);
        if (id != NO_BLOCK) {
            toggle_between_in_rows(state, id, groups, count);
            return id;
        }
        // No block to be had: edge by edge after all.
        for (std::size_t i = 0; i < count; ++i) {
            for (Slot s : *groups[i]) reserve_list_room(state, s, later_appends + total - groups[i]->size());
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t j = i + 1; j < count; ++j) {
            for (Slot s : *groups[i]) {
                for (Slot t : *groups[j]) toggle_edge_reserved(state, s, t);
            }
        }
    }
    return NO_BLOCK;
}

// Local complementation about a vertex whose neighbours all share its block: each neighbour's row
// takes x's row (which holds the neighbour itself, hence the flip back).
void complement_in_block(State& state, Slot x) {
    const std::uint16_t id = state.nodes[x].block;
    Block& block = state.blocks[id];
    const row_word* mask = block.row(state.nodes[x].local());
    const std::uint64_t work = std::uint64_t{block.row_count[state.nodes[x].local()] + 1} * block.words;
    xor_rows(block, mask, mask);
    for (std::uint32_t local : set_bits(mask, block.words)) {
        block.flip(local, local);
        --block.row_count[local];
        multiply_right(state.nodes[block.slot_at[local]], VOP_S);
    }
    multiply_right(state.nodes[x], VOP_SQRT_IX);
    release_if_thin(state, id, work);
}

}  // namespace

void local_complement(State& state, Slot x) {
    if (state.nodes[x].in_block() && state.nodes[x].list.empty()) {
        complement_in_block(state, x);
        verify(state);
        return;
    }
    Arena arena;
    Slots neighbours(&arena.resource);
    gather_neighbours(state, x, neighbours, 1);
    const std::size_t d = neighbours.size();
    if (d >= 2 && use_rows(std::uint64_t{d} * (d - 1) / 2, d, [] { return true; })) {
        neighbours.push_back(x);
        const std::uint16_t id = absorb(state, neighbours);
        neighbours.pop_back();
        if (id != NO_BLOCK) {
            for (Slot y : neighbours) compact(state.nodes[y]);
            compact(state.nodes[x]);
            complement_in_block(state, x);
            verify(state);
            return;
        }
    }
    if (d >= 2) {
        for (Slot y : neighbours) reserve_list_room(state, y, d - 1);
        for (std::size_t i = 0; i < d; ++i) {
            for (std::size_t j = i + 1; j < d; ++j) toggle_edge_reserved(state, neighbours[i], neighbours[j]);
        }
        for (Slot y : neighbours) compact(state.nodes[y]);
    }
    for (Slot y : neighbours) multiply_right(state.nodes[y], VOP_S);
    multiply_right(state.nodes[x], VOP_SQRT_IX);
    verify(state);
}

void multiply_pivot_ends(Node& p, Node& r, bool z_on_a) noexcept {
    multiply_right(p, PIVOT_FIRST);
    multiply_right(r, PIVOT_SECOND);
    multiply_right(p, z_on_a ? VOP_X : VOP_Z);
    multiply_right(r, z_on_a ? VOP_Z : VOP_X);
}

namespace {

// The pairs a pivot about u-v toggles, when both ends have all their neighbours in their common
// block: A = N(u) \ N[v] takes N(v) \ {u}, B = N(v) \ N[u] takes N(u) \ {v} and C = N(u) ∩ N(v)
// takes N(u) Δ N(v) \ {u, v}, each as one row XOR; the bits of u and v are flipped back.
// Returns |A| - |B|. Throws std::bad_alloc (for the scratch row) before any change.
std::int64_t toggle_pivot_in_block(State& state, Slot u, Slot v) {
    Block& block = state.blocks[state.nodes[u].block];
    const std::uint32_t words = block.words;
    const std::uint32_t lu = state.nodes[u].local(), lv = state.nodes[v].local();
    const row_word* ru = block.row(lu);
    const row_word* rv = block.row(lv);
    Arena arena;
    std::pmr::vector<row_word> scratch(4 * std::size_t{words}, &arena.resource);
    row_word* only_u = scratch.data();
    row_word* only_v = only_u + words;
    row_word* both = only_v + words;
    row_word* either = both + words;
    for (std::uint32_t w = 0; w < words; ++w) {
        only_u[w] = ru[w] & ~rv[w];
        only_v[w] = rv[w] & ~ru[w];
        both[w] = ru[w] & rv[w];
        either[w] = ru[w] ^ rv[w];
    }
    clear_bit(only_u, lv);
    clear_bit(only_v, lu);
    xor_rows(block, only_u, rv);
    xor_rows(block, only_v, ru);
    xor_rows(block, both, either);
    std::int64_t balance = 0;
    for (std::uint32_t k : set_bits(only_u, words)) {
        block.flip(k, lu);
        ++block.row_count[k];
        ++balance;
    }
    for (std::uint32_t k : set_bits(only_v, words)) {
        block.flip(k, lv);
        ++block.row_count[k];
        --balance;
    }
    for (std::uint32_t k : set_bits(both, words)) {
        block.flip(k, lu);
        block.flip(k, lv);
        block.row_count[k] += 2;
    }
    return balance;
}

// A pivot about u-v whose ends have all their neighbours in their common block: row XORs, then the
// two records swap. The rows of u and v themselves do not change, so A or B is read off them for
// the Zs.
void pivot_in_block(State& state, Slot u, Slot v) {
    ensure_permutation(state);
    const std::uint16_t id = state.nodes[u].block;
    const std::uint64_t work = std::uint64_t{degree(state, u) + degree(state, v)} * state.blocks[id].words;
    const bool z_on_a = toggle_pivot_in_block(state, u, v) <= 0;
    relabel(state, u, v);
    // p's record now lives in v, r's in u.
    multiply_pivot_ends(state.nodes[v], state.nodes[u], z_on_a);
    Block& block = state.blocks[state.nodes[u].block];
    const std::uint32_t lu = state.nodes[u].local(), lv = state.nodes[v].local();
    const row_word* ru = block.row(lu);
    const row_word* rv = block.row(lv);
    for (std::uint32_t w = 0; w < block.words; ++w) {
        row_word bits = z_on_a ? ru[w] & ~rv[w] : rv[w] & ~ru[w];
        const std::uint32_t end = z_on_a ? lv : lu;
        if (end >> 6 == w) bits &= ~(row_word{1} << (end & 63));
        for (std::uint32_t k : set_bits(&bits, 1)) multiply_right(state.nodes[block.slot_at[w * 64 + k]], VOP_Z);
    }
    release_if_thin(state, id, work);
}

// A pivot about u-v through the lists: A, B and C toggled pairwise, then p and r exchange roles,
// by swapping records (`swap_records`) or by handing their exclusive neighbours over. From a leaf
// with records swapped, nothing is toggled at all.
void pivot_through_lists(State& state, Slot u, Slot v, std::uint32_t du, std::uint32_t dv, bool swap_records) {
    const bool leaf = du == 1 || dv == 1;
    Arena arena;
    Slots only_u(&arena.resource), only_v(&arena.resource), common(&arena.resource);
    if (!leaf || !swap_records) split_neighbourhoods(state, u, v, only_u, only_v, common);

    // Room first: the permutation, or room in the lists for the hand-over.
    if (swap_records) {
        ensure_permutation(state);
    } else {
        reserve_list_room(state, u, only_v.size());
        reserve_list_room(state, v, only_u.size());
    }
    const Slots* groups[] = {&only_u, &only_v, &common};
    const std::uint16_t rows = toggle_between(state, groups, 3, swap_records ? 0 : 1);

    if (swap_records) {
        relabel(state, u, v);
    } else {
        for (Slot y : only_u) {
            remove_edge(state, u, y);
            add_edge(state, v, y);
        }
        for (Slot y : only_v) {
            remove_edge(state, v, y);
            add_edge(state, u, y);
        }
    }
    for (const Slots* group : groups) {
        for (Slot y : *group) compact(state.nodes[y]);
    }
    compact(state.nodes[u]);
    compact(state.nodes[v]);

    // From degrees: a leaf pivot with swapped records has not split the neighbourhoods, and then
    // the leaf's side, the empty one, takes the Zs.
    const std::size_t shared = common.size();
    const bool z_on_a = du - 1 - shared <= dv - 1 - shared;
    Node& p = state.nodes[swap_records ? v : u];
    Node& r = state.nodes[swap_records ? u : v];
    multiply_pivot_ends(p, r, z_on_a);
    for (Slot y : z_on_a ? only_u : only_v) multiply_right(state.nodes[y], VOP_Z);
    if (rows != NO_BLOCK) {
        const std::size_t touched = only_u.size() + only_v.size() + common.size();
        release_if_thin(state, rows, touched * state.blocks[rows].words);
    }
}

}  // namespace

void pivot(State& state, Slot u, Slot v) {
    const std::uint32_t du = degree(state, u), dv = degree(state, v);
    const bool leaf = du == 1 || dv == 1;
    // What the two ends hand over to each other: |A| + |B|.
    const std::size_t moving = du + dv - 2;
    const bool swap_records = nodeweave::swap_records(state, moving);
    const bool in_block = !leaf && swap_records && same_block(state, u, v) &&
                          state.nodes[u].list.empty() && state.nodes[v].list.empty();
    if (in_block) {
        pivot_in_block(state, u, v);
    } else {
        pivot_through_lists(state, u, v, du, dv, swap_records);
    }
    verify(state);
}

}  // namespace nodeweave
