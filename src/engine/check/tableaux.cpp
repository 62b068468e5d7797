#include "engine/check/forms.h"

#include <algorithm>

#include "engine/graph/graph.h"

namespace nodeweave {

namespace {

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
        if (index_of(s) >= state.size() || !state.nodes[s].in_tableau() || state.nodes[s].tableau() != id ||
            state.nodes[s].column() != c) {
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
}  // namespace

// A qubit held in a tableau has no edges, and its tableau knows it.
std::string check_tableau_member(const State& state, Slot s) {
    const Node& node = state.nodes[s];
    if (!node.list.empty()) return at_slot("tableau member with list edges", s);
    if (node.block != NO_BLOCK) return at_slot("tableau member with a block id", s);
    if (node.tableau() >= state.tableaux.size()) return at_slot("tableau id out of range", s);
    const Tableau& tableau = state.tableaux[node.tableau()];
    if (node.column() >= tableau.qubits || tableau.slot_at[node.column()] != s) {
        return at_slot("tableau does not know its qubit", s);
    }
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

}  // namespace nodeweave
