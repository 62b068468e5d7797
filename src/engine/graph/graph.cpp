#include "engine/graph/graph.h"

#include <algorithm>
#include <memory_resource>
#include <new>
#include <utility>
#include <vector>

#include "engine/core/id_pool.h"
#include "engine/policy/policy.h"

namespace nodeweave {

bool has_edge(State& state, Slot a, Slot b) noexcept {
    Node& x = state.nodes[a];
    Node& y = state.nodes[b];
    if (same_block(state, a, b)) return state.blocks[x.block].test(x.local(), y.local());
    // The shorter list answers; a long one answers through its index.
    return x.list.size() <= y.list.size() ? list_position(x, b) != NO_POSITION
                                          : list_position(y, a) != NO_POSITION;
}

void add_edge(State& state, Slot a, Slot b) noexcept {
    Node& x = state.nodes[a];
    Node& y = state.nodes[b];
    if (same_block(state, a, b)) {
        state.blocks[x.block].change_edge(x.local(), y.local(), +1);
        return;
    }
    x.list.append(b);
    y.list.append(a);
}

void remove_edge(State& state, Slot a, Slot b) noexcept {
    Node& x = state.nodes[a];
    Node& y = state.nodes[b];
    if (same_block(state, a, b)) {
        state.blocks[x.block].change_edge(x.local(), y.local(), -1);
        return;
    }
    list_erase(x, b);
    list_erase(y, a);
}

void leave_block_if_unlinked(State& state, Slot s) noexcept {
    Node& node = state.nodes[s];
    if (!node.in_block()) return;
    const std::uint16_t id = node.block;
    Block& block = state.blocks[id];
    const std::uint32_t local = node.local();
    if (block.row_count[local] != 0) return;
    block.slot_at[local] = NO_SLOT;
    block.free_locals.push_back(local);  // room is kept for every local index
    node.member = 0;
    node.block = NO_BLOCK;
    if (--block.members == 0) free_id(state.blocks, state.free_blocks, id);
}

void release_block(State& state, std::uint16_t id) {
    Block& block = state.blocks[id];
    for (std::uint32_t local = 0; local < block.issued; ++local) {
        if (block.slot_at[local] != NO_SLOT) reserve_list_room(state, block.slot_at[local], block.row_count[local]);
    }
    for (std::uint32_t local = 0; local < block.issued; ++local) {
        const Slot s = block.slot_at[local];
        if (s == NO_SLOT) continue;
        for (std::uint32_t other : set_bits(block.row(local), block.words)) {
            if (other < local) continue;  // each edge once
            state.nodes[s].list.append(block.slot_at[other]);
            state.nodes[block.slot_at[other]].list.append(s);
        }
        state.nodes[s].member = 0;
        state.nodes[s].block = NO_BLOCK;
    }
    free_id(state.blocks, state.free_blocks, id);
}

void release_if_thin(State& state, std::uint16_t id, std::uint64_t work) noexcept {
    if (id == NO_BLOCK || state.blocks[id].members == 0) return;
    Block& block = state.blocks[id];
    block.work += work;
    if (block.work < RELEASE_COUNT_EVERY * block.issued) return;
    block.work = 0;
    std::uint64_t ends = 0;
    for (std::uint32_t local = 0; local < block.issued; ++local) {
        if (block.slot_at[local] != NO_SLOT) ends += block.row_count[local];
    }
    if (!release_rows(ends, block.capacity(), block.words)) return;
    try {
        release_block(state, id);
    } catch (const std::bad_alloc&) {
        // The block holds the same edges: it stays until the next count.
    }
}

std::uint16_t open_block(State& state, std::uint64_t capacity) {
    if (next_free_id(state.blocks, state.free_blocks, NO_BLOCK) == NO_BLOCK) return NO_BLOCK;
    if (capacity > UINT32_MAX / 2) throw std::bad_alloc();
    Block fresh = Block::with_capacity(static_cast<std::uint32_t>(capacity));
    const std::uint16_t id = take_id(state.free_blocks);
    state.blocks[id] = std::move(fresh);
    return id;
}

// ---- absorb, step by step ---------------------------------------------------------------------

namespace {

using Ids = std::pmr::vector<std::uint16_t>;

// Which blocks the vertices already belong to, which of them is the target (the largest: its
// members keep their places), and how many vertices must join it.
struct Merger {
    Ids ids;
    std::uint16_t target = NO_BLOCK;
    std::uint64_t joining = 0;
};

Merger plan_merger(const State& state, std::span<const Slot> vertices, std::pmr::memory_resource* arena) {
    Merger plan{Ids(arena)};
    for (Slot s : vertices) {
        const Node& node = state.nodes[s];
        if (!node.in_block()) {
            ++plan.joining;
        } else if (std::find(plan.ids.begin(), plan.ids.end(), node.block) == plan.ids.end()) {
            plan.ids.push_back(node.block);
        }
    }
    for (std::uint16_t id : plan.ids) {
        if (plan.target == NO_BLOCK || state.blocks[id].members > state.blocks[plan.target].members) {
            plan.target = id;
        }
    }
    for (std::uint16_t id : plan.ids) {
        if (id != plan.target) plan.joining += state.blocks[id].members;
    }
    return plan;
}

// Room for the merger in the target block, made first when there is none. Returns false when no
// block id is left; throws std::bad_alloc. Nothing observable changes: a new block has no members.
bool make_room(State& state, Merger& plan) {
    if (plan.target != NO_BLOCK) {
        const std::uint64_t wanted = state.blocks[plan.target].members + plan.joining;
        if (wanted > UINT32_MAX / 2) throw std::bad_alloc();
        state.blocks[plan.target].reserve(static_cast<std::uint32_t>(wanted));
        return true;
    }
    plan.target = open_block(state, std::max<std::uint64_t>(plan.joining, 64ull * thresholds.initial_row_words));
    return plan.target != NO_BLOCK;
}

// Moves every member of block `id` into the target under a new local index, rows renumbered, and
// frees the old block. `map` has room for the old block's issued indices.
void merge_block(State& state, std::uint16_t id, std::uint16_t target, std::pmr::vector<std::uint32_t>& map,
                 std::pmr::vector<Slot>& joined) {
    Block& block = state.blocks[target];
    Block& old = state.blocks[id];
    for (std::uint32_t local = 0; local < old.issued; ++local) {
        const Slot s = old.slot_at[local];
        if (s == NO_SLOT) continue;
        map[local] = block.take_local();
        block.slot_at[map[local]] = s;
        state.nodes[s].member = map[local] + 1;
        state.nodes[s].block = target;
        joined.push_back(s);
    }
    for (std::uint32_t local = 0; local < old.issued; ++local) {
        if (map[local] == NO_POSITION) continue;
        row_word* row = block.row(map[local]);
        for (std::uint32_t other : set_bits(old.row(local), old.words)) set_bit(row, map[other]);
        block.row_count[map[local]] = old.row_count[local];
    }
    block.members += old.members;
    free_id(state.blocks, state.free_blocks, id);
}

// Gives every vertex outside any block a local index in the target.
void enrol_outsiders(State& state, std::span<const Slot> vertices, std::uint16_t target,
                     std::pmr::vector<Slot>& joined) {
    Block& block = state.blocks[target];
    for (Slot s : vertices) {
        Node& node = state.nodes[s];
        if (node.in_block()) continue;
        const std::uint32_t local = block.take_local();
        block.slot_at[local] = s;
        block.row_count[local] = 0;
        node.member = local + 1;
        node.block = target;
        ++block.members;
        joined.push_back(s);
    }
}

// Edges between fellow members, still in the lists of the vertices that just joined, move into rows.
void move_edges_into_rows(State& state, std::span<const Slot> joined, std::uint16_t target) {
    Block& block = state.blocks[target];
    for (Slot s : joined) {
        Node& node = state.nodes[s];
        for (std::uint32_t i = 0; i < node.list.size();) {
            const Slot other = node.list[i];
            Node& peer = state.nodes[other];
            if (!peer.in_block() || peer.block != target) {
                ++i;
                continue;
            }
            node.list.erase_at(i);
            list_erase(peer, s);
            block.change_edge(node.local(), peer.local(), +1);
        }
    }
}

}  // namespace

std::uint16_t absorb(State& state, std::span<const Slot> vertices) {
    std::byte buffer[1024];
    std::pmr::monotonic_buffer_resource arena(buffer, sizeof buffer);
    Merger plan = plan_merger(state, vertices, &arena);
    if (plan.joining == 0) return plan.target;

    // Room first: nothing after make_room allocates.
    std::pmr::vector<Slot> joined(&arena);
    joined.reserve(plan.joining);
    std::pmr::vector<std::pmr::vector<std::uint32_t>> maps(&arena);
    maps.reserve(plan.ids.size());
    for (std::uint16_t id : plan.ids) {
        maps.emplace_back(id == plan.target ? 0 : state.blocks[id].issued, NO_POSITION);
    }
    if (!make_room(state, plan)) return NO_BLOCK;

    for (std::size_t k = 0; k < plan.ids.size(); ++k) {
        if (plan.ids[k] != plan.target) merge_block(state, plan.ids[k], plan.target, maps[k], joined);
    }
    enrol_outsiders(state, vertices, plan.target, joined);
    move_edges_into_rows(state, joined, plan.target);
    return plan.target;
}

}  // namespace nodeweave
