#include "engine/check/forms.h"

#include <algorithm>

#include "engine/graph/graph.h"

namespace nodeweave {

namespace {

bool row_is_empty(const Block& block, std::uint32_t local) {
    const row_word* row = block.row(local);
    return std::all_of(row, row + block.words, [](row_word w) { return w == 0; });
}

// A block with members: its arrays, its local indices and its free list.
std::string check_live_block(const State& state, const Block& block, std::size_t id) {
    const std::uint32_t capacity = block.capacity();
    if (block.words == 0 || block.bits.size() != std::size_t{capacity} * block.words ||
        block.slot_at.size() != capacity || block.row_count.size() != capacity ||
        block.issued > capacity) {
        return at_block("block arrays do not match its capacity", id);
    }
    // Releasing a member appends to free_locals without allocating, which must not fail.
    if (block.free_locals.capacity() < capacity) return at_block("no room to free every member", id);
    std::uint32_t members = 0;
    for (std::uint32_t local = 0; local < capacity; ++local) {
        const Slot s = block.slot_at[local];
        // Indices are handed out in order: none beyond `issued` is in use yet.
        if (local >= block.issued && s != NO_SLOT) {
            return at_block("index beyond those issued in use", id);
        }
        if (s == NO_SLOT) {
            // A free index has no edges: taking it again starts from an empty row.
            if (block.row_count[local] != 0 || !row_is_empty(block, local)) {
                return at_block("free index with edges", id);
            }
            continue;
        }
        ++members;
        if (index_of(s) >= state.size() || state.nodes[s].member != local + 1 || state.nodes[s].block != id) {
            return at_block("member does not know its block", id);
        }
    }
    if (members != block.members) return at_block("member count disagrees", id);
    // The free list names each free issued index once.
    if (members + block.free_locals.size() != block.issued) {
        return at_block("free list has the wrong length", id);
    }
    std::vector<bool> listed(block.issued, false);
    for (const std::uint32_t local : block.free_locals) {
        if (local >= block.issued || block.slot_at[local] != NO_SLOT || listed[local]) {
            return at_block("free list names an index that is not free", id);
        }
        listed[local] = true;
    }
    return "";
}
}  // namespace

// s's membership and row in its block.
std::string check_row(const State& state, Slot s) {
    const Node& node = state.nodes[s];
    // Membership is stated twice (local index and block id); they agree.
    if (node.in_tableau()) return check_tableau_member(state, s);
    if (!node.in_block()) return node.block == NO_BLOCK ? "" : at_slot("block id without membership", s);
    if (node.block >= state.blocks.size()) return at_slot("block id out of range", s);
    const Block& block = state.blocks[node.block];
    const std::uint32_t local = node.local();
    if (local >= block.issued || block.slot_at[local] != s) {
        return at_slot("block does not know its member", s);
    }
    if (block.test(local, local)) return at_slot("row holds the vertex itself", s);
    std::uint32_t count = 0;
    bool bad = false;
    for (const std::uint32_t other : set_bits(block.row(local), block.words)) {
        ++count;
        // Row edges join occupied local indices, both ways.
        bad |= other >= block.issued || block.slot_at[other] == NO_SLOT || !block.test(other, local);
    }
    if (bad) return at_slot("row edge to a free index or not symmetric", s);
    if (count != block.row_count[local]) return at_slot("row count disagrees with the row", s);
    // A vertex left without any edge leaves its block, so that a block whose members are all
    // measured frees its rows. (A member whose only edges are in lists may stay: every vertex a
    // complementation or pivot touches keeps an edge, and it leaves once it has none.)
    if (count == 0 && node.list.empty()) return at_slot("block member without any edge", s);
    return "";
}

std::string check_blocks(const State& state) {
    return check_id_pool(
        state.blocks, state.free_blocks, "block", [](const Block& block) { return block.members != 0; },
        [&](const Block& block, std::size_t id) { return check_live_block(state, block, id); },
        [](const Block& block) {
            return block.words != 0 || block.issued != 0 || block.bits.capacity() != 0 ||
                   block.slot_at.capacity() != 0 || block.row_count.capacity() != 0 ||
                   block.free_locals.capacity() != 0;
        });
}

}  // namespace nodeweave
