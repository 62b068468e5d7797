#include "engine/check/check.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/deferral/deferral.h"
#include "engine/graph/graph.h"
#include "engine/core/verify.h"

namespace nodeweave {

namespace {

thread_local bool checker_running = false;

std::string at(const char* what, const char* kind, std::size_t where) {
    return std::string(what) + " (" + kind + " " + std::to_string(where) + ")";
}
std::string at_slot(const char* what, Slot s) { return at(what, "slot", index_of(s)); }
std::string at_block(const char* what, std::size_t id) { return at(what, "block", id); }

// Every list edge as (from << 32 | to), for the checks that need the other direction.
using EdgeSet = std::unordered_set<std::uint64_t>;
std::uint64_t edge_key(Slot from, Slot to) { return std::uint64_t{index_of(from)} << 32 | index_of(to); }

std::string check_permutation(const State& state) {
    const std::size_t n = state.size();
    // Either slot q holds qubit q throughout, or both directions of the permutation are kept.
    if (state.slot_of.size() != state.qubit_of.size()) return "slot_of and qubit_of differ in size";
    if (state.slot_of.empty()) return "";
    if (state.slot_of.size() != n) return "the permutation does not cover every qubit";
    for (std::size_t q = 0; q < n; ++q) {
        // qubit -> slot -> qubit is the identity, so the map is a bijection.
        if (index_of(state.slot_of[q]) >= n || state.qubit_of[state.slot_of[q]] != q) {
            return at("slot_of and qubit_of are not inverse", "qubit", q);
        }
    }
    return "";
}

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
        if (index->find(node.list[i]) != i) {
            return at_slot("position index disagrees with the list", s);
        }
    }
    // ...and stays at most half full, so that every probe run ends at an empty entry.
    if (2ull * index->size() > index->capacity()) return at_slot("position index over half full", s);
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

// A qubit held in a tableau has no edges, and its tableau knows it.
std::string check_tableau_member(const State& state, Slot s) {
    const Node& node = state.nodes[s];
    if (!node.list.empty()) return at_slot("tableau member with list edges", s);
    if (node.block >= state.tableaux.size()) return at_slot("tableau id out of range", s);
    const Tableau& tableau = state.tableaux[node.block];
    if (node.column() >= tableau.qubits || tableau.slot_at[node.column()] != s) {
        return at_slot("tableau does not know its qubit", s);
    }
    return "";
}

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

// Records kept by 16-bit id (NO_BLOCK excluded), the empty ones listed free for reuse: `in_use`
// tells the two apart, `check_live` checks one in use and `holds_memory` whether an empty one
// still holds any. Freeing appends to the free list without allocating, which must not fail.
template <class T, class InUse, class CheckLive, class HoldsMemory>
std::string check_id_pool(const std::vector<T>& records, const std::vector<std::uint16_t>& free, const std::string& kind,
                          InUse in_use, CheckLive check_live, HoldsMemory holds_memory) {
    if (records.size() > NO_BLOCK) return "more " + kind + " records than ids";
    if (free.capacity() < records.size()) return "no room to free every " + kind;
    std::vector<bool> listed(records.size(), false);
    for (const std::uint16_t id : free) {
        if (id >= records.size() || listed[id]) return at_block(("free " + kind + " id out of range or twice").c_str(), id);
        listed[id] = true;
    }
    for (std::size_t id = 0; id < records.size(); ++id) {
        if (in_use(records[id])) {
            if (listed[id]) return at_block((kind + " in use listed free").c_str(), id);
            const std::string broken = check_live(records[id], id);
            if (!broken.empty()) return broken;
            continue;
        }
        // An empty record is free for reuse and holds no memory.
        if (!listed[id]) return at_block(("empty " + kind + " not listed free").c_str(), id);
        if (holds_memory(records[id])) return at_block(("empty " + kind + " holds memory").c_str(), id);
    }
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

// The rank over GF(2) of the generators, each as its x bits then its z bits.
std::uint32_t generator_rank(const Tableau& t) {
    const std::uint32_t m = t.qubits, words = (2 * m + 63) / 64;
    std::vector<row_word> rows(std::size_t{m} * words, 0);
    for (std::uint32_t c = 0; c < m; ++c) {
        for (std::uint32_t k : set_bits(t.x(c), t.words)) set_bit(&rows[std::size_t{k} * words], c);
        for (std::uint32_t k : set_bits(t.z(c), t.words)) set_bit(&rows[std::size_t{k} * words], m + c);
    }
    std::uint32_t rank = 0;
    for (std::uint32_t bit = 0; bit < 2 * m && rank < m; ++bit) {
        std::uint32_t k = rank;
        while (k < m && !test_bit(&rows[std::size_t{k} * words], bit)) ++k;
        if (k == m) continue;
        std::swap_ranges(&rows[std::size_t{k} * words], &rows[std::size_t{k + 1} * words], &rows[std::size_t{rank} * words]);
        for (std::uint32_t i = 0; i < m; ++i) {
            if (i == rank || !test_bit(&rows[std::size_t{i} * words], bit)) continue;
            for (std::uint32_t w = 0; w < words; ++w) rows[std::size_t{i} * words + w] ^= rows[std::size_t{rank} * words + w];
        }
        ++rank;
    }
    return rank;
}

// A tableau with qubits: its arrays, its qubits' records, and generators that stabilise one state
// (m independent, pairwise commuting Paulis on m qubits).
std::string check_live_tableau(const State& state, const Tableau& t, std::size_t id) {
    if (t.qubits > t.room || t.room > 64ull * t.words || t.xs.size() != std::size_t{t.room} * t.words ||
        t.zs.size() != t.xs.size() || t.signs.size() != t.words || t.slot_at.size() != t.qubits ||
        t.slot_at.capacity() < t.room) {
        return at_block("tableau arrays do not match its size", id);
    }
    for (std::uint32_t c = 0; c < t.qubits; ++c) {
        const Slot s = t.slot_at[c];
        if (index_of(s) >= state.size() || state.nodes[s].member != (TABLEAU_MEMBER | c) ||
            state.nodes[s].block != id) {
            return at_block("tableau qubit does not know its tableau", id);
        }
    }
    // Bits beyond the generators and columns in use stay clear, so that growing needs no clearing.
    const auto clear_from = [&](const row_word* bits, std::uint32_t from) {
        for (std::uint32_t k : set_bits(bits, t.words)) {
            if (k >= from) return false;
        }
        return true;
    };
    for (std::uint32_t c = 0; c < t.room; ++c) {
        const std::uint32_t from = c < t.qubits ? t.qubits : 0;
        if (!clear_from(t.x(c), from) || !clear_from(t.z(c), from)) return at_block("tableau bit outside its generators", id);
    }
    if (!clear_from(t.signs.data(), t.qubits)) return at_block("tableau sign outside its generators", id);
    // Generator i commutes with every generator j: bit j of the sum over columns below is 0.
    std::vector<row_word> anticommuting(t.words);
    for (std::uint32_t i = 0; i < t.qubits; ++i) {
        std::fill(anticommuting.begin(), anticommuting.end(), 0);
        for (std::uint32_t c = 0; c < t.qubits; ++c) {
            for (std::uint32_t w = 0; w < t.words; ++w) {
                if (test_bit(t.x(c), i)) anticommuting[w] ^= t.z(c)[w];
                if (test_bit(t.z(c), i)) anticommuting[w] ^= t.x(c)[w];
            }
        }
        if (!clear_from(anticommuting.data(), 0)) return at_block("tableau generators anticommute", id);
    }
    if (generator_rank(t) != t.qubits) return at_block("tableau generators not independent", id);
    return "";
}

std::string check_tableaux(const State& state) {
    return check_id_pool(
        state.tableaux, state.free_tableaux, "tableau", [](const Tableau& t) { return t.qubits != 0; },
        [&](const Tableau& t, std::size_t id) { return check_live_tableau(state, t, id); },
        [](const Tableau& t) {
            return t.room != 0 || t.xs.capacity() != 0 || t.zs.capacity() != 0 || t.slot_at.capacity() != 0;
        });
}

}  // namespace

std::string check(const State& state) {
    struct Running {
        Running() { checker_running = true; }
        ~Running() { checker_running = false; }
    } running;
    std::string broken = check_permutation(state);
    if (broken.empty()) broken = check_blocks(state);
    if (broken.empty()) broken = check_tableaux(state);
    if (broken.empty()) broken = check_vertices(state);
    if (broken.empty()) broken = check_deferrals(state);
    return broken;
}

bool checking() noexcept { return checker_running; }

#ifdef NODEWEAVE_CHECKED
void verify(const State& state) {
    const std::string broken = check(state);
    if (!broken.empty()) throw Panic("internal invariant broken: " + broken);
}
#endif

}  // namespace nodeweave
