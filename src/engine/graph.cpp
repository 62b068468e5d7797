#include "engine/graph.h"

#include <algorithm>
#include <memory_resource>
#include <utility>
#include <vector>

namespace nodeweave {

bool has_edge(State& state, slot_t a, slot_t b) noexcept {
    if (same_block(state, a, b)) {
        const Node& x = state.nodes[a];
        return state.blocks[x.block].test(x.member - 1, state.nodes[b].member - 1);
    }
    // The shorter list answers; a long one answers through its index.
    Node& x = state.nodes[a];
    Node& y = state.nodes[b];
    return x.list_size() <= y.list_size() ? x.find(b) != NO_POSITION : y.find(a) != NO_POSITION;
}

void add_edge(State& state, slot_t a, slot_t b) noexcept {
    Node& x = state.nodes[a];
    Node& y = state.nodes[b];
    if (same_block(state, a, b)) {
        state.blocks[x.block].change_edge(x.member - 1, y.member - 1, +1);
        return;
    }
    x.append(b);
    y.append(a);
}

void remove_edge(State& state, slot_t a, slot_t b) noexcept {
    Node& x = state.nodes[a];
    Node& y = state.nodes[b];
    if (same_block(state, a, b)) {
        state.blocks[x.block].change_edge(x.member - 1, y.member - 1, -1);
        return;
    }
    x.erase(b);
    y.erase(a);
}

void leave_block_if_unlinked(State& state, slot_t s) noexcept {
    Node& node = state.nodes[s];
    if (node.member == 0) return;
    const std::uint16_t id = node.block;
    Block& block = state.blocks[id];
    const std::uint32_t local = node.member - 1;
    if (block.row_count[local] != 0) return;
    block.slot_at[local] = NO_SLOT;
    block.free_locals.push_back(local);  // room is kept for every local index
    node.member = 0;
    node.block = NO_BLOCK;
    if (--block.members == 0) {
        Block empty;
        std::swap(block, empty);
        state.free_blocks.push_back(id);  // room is kept for every block id
    }
}

std::uint16_t absorb(State& state, std::span<const slot_t> vertices) {
    // The target: the largest block among the vertices', or a new one.
    std::byte buffer[1024];
    std::pmr::monotonic_buffer_resource arena(buffer, sizeof buffer);
    std::pmr::vector<std::uint16_t> ids(&arena);
    std::uint32_t outsiders = 0;
    for (slot_t s : vertices) {
        const Node& node = state.nodes[s];
        if (node.member == 0) {
            ++outsiders;
        } else if (std::find(ids.begin(), ids.end(), node.block) == ids.end()) {
            ids.push_back(node.block);
        }
    }
    std::uint16_t target = NO_BLOCK;
    std::uint64_t joining = outsiders;
    for (std::uint16_t id : ids) {
        if (target == NO_BLOCK || state.blocks[id].members > state.blocks[target].members) target = id;
    }
    for (std::uint16_t id : ids) {
        if (id != target) joining += state.blocks[id].members;
    }
    if (joining == 0) return target;

    // Room first: nothing below the next comment allocates.
    std::pmr::vector<slot_t> joined(&arena);
    joined.reserve(joining);
    std::pmr::vector<std::pmr::vector<std::uint32_t>> renumbered(&arena);
    renumbered.reserve(ids.size());
    for (std::uint16_t id : ids) {
        renumbered.emplace_back(id == target ? 0 : state.blocks[id].issued, NO_POSITION);
    }
    if (target == NO_BLOCK) {
        if (state.free_blocks.empty() && state.blocks.size() >= NO_BLOCK) return NO_BLOCK;
        const std::uint64_t wanted = std::max<std::uint64_t>(joining, 64ull * thresholds.initial_row_words);
        if (wanted > UINT32_MAX / 2) throw std::bad_alloc();
        Block fresh = Block::with_capacity(static_cast<std::uint32_t>(wanted));
        if (state.free_blocks.empty()) {
            state.blocks.reserve(state.blocks.size() + 1);
            state.free_blocks.reserve(state.blocks.capacity());
            state.blocks.emplace_back();
            state.free_blocks.push_back(static_cast<std::uint16_t>(state.blocks.size() - 1));
        }
        target = state.free_blocks.back();
        state.free_blocks.pop_back();
        state.blocks[target] = std::move(fresh);
    } else {
        const std::uint64_t wanted = state.blocks[target].members + joining;
        if (wanted > UINT32_MAX / 2) throw std::bad_alloc();
        state.blocks[target].reserve(static_cast<std::uint32_t>(wanted));
    }

    // Members of the other blocks take new local indices in the target, rows renumbered.
    Block& block = state.blocks[target];
    for (std::size_t k = 0; k < ids.size(); ++k) {
        if (ids[k] == target) continue;
        Block& old = state.blocks[ids[k]];
        std::pmr::vector<std::uint32_t>& map = renumbered[k];
        for (std::uint32_t local = 0; local < old.issued; ++local) {
            const slot_t s = old.slot_at[local];
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
            for_each_bit(old.row(local), old.words, [&](std::uint32_t other) {
                row[map[other] >> 6] |= row_word{1} << (map[other] & 63);
            });
            block.row_count[map[local]] = old.row_count[local];
        }
        block.members += old.members;
        Block empty;
        std::swap(old, empty);
        state.free_blocks.push_back(ids[k]);
    }
    for (slot_t s : vertices) {
        Node& node = state.nodes[s];
        if (node.member != 0) continue;
        const std::uint32_t local = block.take_local();
        block.slot_at[local] = s;
        block.row_count[local] = 0;
        node.member = local + 1;
        node.block = target;
        ++block.members;
        joined.push_back(s);
    }
    // Edges between members now, still in lists, move into rows.
    for (slot_t s : joined) {
        Node& node = state.nodes[s];
        for (std::uint32_t i = 0; i < node.list_size();) {
            const slot_t other = node.list_at(i);
            Node& peer = state.nodes[other];
            if (peer.member == 0 || peer.block != target) {
                ++i;
                continue;
            }
            node.erase_at(i);
            peer.erase(s);
            block.change_edge(node.member - 1, peer.member - 1, +1);
        }
    }
    return target;
}

}  // namespace nodeweave
