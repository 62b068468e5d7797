#include "engine/tableau/routing.h"

#include <algorithm>
#include <new>
#include <utility>

#include "engine/core/id_pool.h"
#include "engine/core/simd.h"
#include "engine/core/verify.h"
#include "engine/graph/component.h"
#include "engine/graph/graph.h"
#include "engine/policy/policy.h"

namespace nodeweave {

namespace {

// ---- ids ---------------------------------------------------------------------------------------

// An empty tableau's id, or NO_BLOCK when none is left. Throws std::bad_alloc with nothing changed.
std::uint16_t open_tableau(State& state) {
    const std::uint16_t id = next_free_id(state.tableaux, state.free_tableaux, NO_BLOCK);
    return id == NO_BLOCK ? NO_BLOCK : take_id(state.free_tableaux);
}

// Frees tableau `id`'s memory and its id.
void close_tableau(State& state, std::uint16_t id) noexcept { free_id(state.tableaux, state.free_tableaux, id); }

// ---- components in graph form --------------------------------------------------------------------

// Removes every edge of the component `slots` (closed under adjacency) and takes its vertices out
// of their blocks.
void drop_edges(State& state, const std::vector<Slot>& slots) noexcept {
    for (Slot s : slots) {
        Node& node = state.nodes[s];
        node.list.clear();
        compact(node);
        if (!node.in_block()) continue;
        Block& block = state.blocks[node.block];
        row_word* row = block.row(node.local());
        for (std::uint32_t w = 0; w < block.words; ++w) row[w] = 0;
        block.row_count[node.local()] = 0;
    }
    for (Slot s : slots) leave_block_if_unlinked(state, s);
}

// Moves the graph component `slots` into tableau `id` as new columns, its state |G> becoming their
// generators X_v Z_N(v). Throws std::bad_alloc with the state unchanged.
void take_component(State& state, std::uint16_t id, const std::vector<Slot>& slots) {
    Tableau& tableau = state.tableaux[id];
    const std::uint32_t base = tableau.qubits;
    tableau.reserve(base + static_cast<std::uint32_t>(slots.size()));
    // Where each neighbour's column is found: list neighbours by a sorted table, row neighbours
    // by a table per block over its local indices.
    std::vector<std::pair<Slot, std::uint32_t>> column_of;
    column_of.reserve(slots.size());
    std::vector<std::pair<std::uint16_t, std::vector<std::uint32_t>>> block_columns;
    const auto columns_in = [&](std::uint16_t block) -> std::vector<std::uint32_t>& {
        for (auto& [known, columns] : block_columns) {
            if (known == block) return columns;
        }
        return block_columns.emplace_back(block, std::vector<std::uint32_t>(state.blocks[block].issued)).second;
    };
    for (std::uint32_t i = 0; i < slots.size(); ++i) {
        const Node& node = state.nodes[slots[i]];
        column_of.emplace_back(slots[i], base + i);
        if (node.in_block()) columns_in(node.block)[node.local()] = base + i;
    }
    std::sort(column_of.begin(), column_of.end());

    for (Slot s : slots) tableau.append(s);
    for (std::uint32_t i = 0; i < slots.size(); ++i) {
        const std::uint32_t c = base + i;
        const Node& node = state.nodes[slots[i]];
        for (Slot y : node.list) {
            const auto at = std::lower_bound(column_of.begin(), column_of.end(), std::pair{y, std::uint32_t{0}});
            if (at->second > c) tableau.add_graph_edge(c, at->second);
        }
        if (!node.in_block()) continue;
        const Block& block = state.blocks[node.block];
        const std::vector<std::uint32_t>& columns = columns_in(node.block);
        for (std::uint32_t local : set_bits(block.row(node.local()), block.words)) {
            if (columns[local] > c) tableau.add_graph_edge(c, columns[local]);
        }
    }
    drop_edges(state, slots);
    for (std::uint32_t i = 0; i < slots.size(); ++i) {
        Node& node = state.nodes[slots[i]];
        node.hold_in_tableau(id, base + i);
    }
}

// Moves every qubit of tableau `from` into tableau `id`. Throws std::bad_alloc with the state
// unchanged.
void merge_tableaux(State& state, std::uint16_t id, std::uint16_t from) {
    Tableau& tableau = state.tableaux[id];
    const Tableau& other = state.tableaux[from];
    const std::uint32_t base = tableau.qubits;
    tableau.reserve(base + other.qubits);
    tableau.append_tableau(other);
    for (std::uint32_t c = 0; c < other.qubits; ++c) {
        Node& node = state.nodes[other.slot_at[c]];
        node.hold_in_tableau(id, base + c);
    }
    close_tableau(state, from);
}

// Whether a deferral holds a term on one of `slots`. Such a component stays in graph form, where
// deferrals can settle, and asks them to (engine/deferral/deferral.h): it may enter at a later look.
bool held_back_on(State& state, const std::vector<Slot>& slots) noexcept {
    if (state.deferrals.live == 0) return false;
    for (Slot s : slots) {
        if (state.deferrals.touched(static_cast<std::uint32_t>(index_of(state.qubit(s))))) {
            state.deferrals.trials.tableau_waits = true;
            return true;
        }
    }
    return false;
}

// Brings the qubit in slot b into tableau `id`, with its component or tableau. Returns false when
// that would make the tableau larger than allowed.
bool take_in(State& state, std::uint16_t id, Slot b) {
    const std::uint32_t held = state.tableaux[id].qubits;
    const Node& nb = state.nodes[b];
    if (nb.in_tableau()) {
        if (!fits_in_tableau(held, state.tableaux[nb.tableau()].qubits)) return false;
        merge_tableaux(state, id, nb.tableau());
        return true;
    }
    if (held >= tableau_max()) return false;
    const Component component = component_of(state, b, tableau_max() - held);
    if (component.slots.empty() || held_back_on(state, component.slots)) return false;
    take_component(state, id, component.slots);
    return true;
}

}  // namespace

void leave_tableau(State& state, std::uint16_t id) {
    const Tableau& tableau = state.tableaux[id];
    const GraphForm form = graph_form(tableau);
    const std::uint32_t m = form.qubits;
    // Each qubit's edges, and local indices in the new block for the qubits that have any.
    std::vector<std::uint32_t> edges(m, 0), local(m, NO_POSITION);
    std::uint32_t members = 0;
    for (std::uint32_t c = 0; c < m; ++c) {
        for (std::uint32_t k = 0; k < form.words; ++k) edges[c] += simd::popcount(form.row(c)[k]);
        if (edges[c] != 0) local[c] = members++;
    }
    // The block comes last: nothing after it allocates.
    const std::uint16_t block_id = members == 0 ? NO_BLOCK : open_block(state, members);
    if (members != 0 && block_id == NO_BLOCK) {
        // No block id is left: the edges go into lists.
        for (std::uint32_t c = 0; c < m; ++c) reserve_list_room(state, tableau.slot_at[c], edges[c]);
    }

    for (std::uint32_t c = 0; c < m; ++c) {
        Node& node = state.nodes[tableau.slot_at[c]];
        multiply_right(node, form.local[c]);
        node.member = 0;
        node.block = NO_BLOCK;
    }
    if (block_id != NO_BLOCK) {
        Block& block = state.blocks[block_id];
        for (std::uint32_t c = 0; c < m; ++c) {
            if (local[c] == NO_POSITION) continue;
            const std::uint32_t l = block.take_local();  // members are enrolled in column order
            block.slot_at[l] = tableau.slot_at[c];
            state.nodes[tableau.slot_at[c]].member = l + 1;
            state.nodes[tableau.slot_at[c]].block = block_id;
            for (std::uint32_t other : set_bits(form.row(c), form.words)) set_bit(block.row(l), local[other]);
            block.row_count[l] = edges[c];
        }
        block.members = members;
    } else {
        for (std::uint32_t c = 0; c < m; ++c) {
            for (std::uint32_t other : set_bits(form.row(c), form.words)) {
                state.nodes[tableau.slot_at[c]].list.append(tableau.slot_at[other]);
            }
        }
    }
    left_tableau(state.watch, m, state.tableaux[id].gates);
    close_tableau(state, id);
    verify(state);
}

bool cz_in_tableau(State& state, Slot a, Slot b) {
    if (!state.nodes[a].in_tableau()) std::swap(a, b);
    const std::uint16_t id = state.nodes[a].tableau();
    Node& nb = state.nodes[b];
    if (!(nb.in_tableau() && nb.tableau() == id) && !take_in(state, id, b)) {
        leave_tableau(state, id);
        ensure_graph_form(state, b);
        return false;
    }
    Tableau& tableau = state.tableaux[id];
    for (Slot s : {a, b}) {
        Node& node = state.nodes[s];
        if (node.vop == VOP_IDENTITY) continue;
        tableau.apply(node.column(), node.vop);
        node.vop = VOP_IDENTITY;
    }
    tableau.cz(state.nodes[a].column(), state.nodes[b].column());
    ++tableau.gates;
    verify(state);
    return true;
}

namespace {

// No dense component is being watched any more.
void forget_dense_component(TableauWatch& watch) noexcept {
    watch.dense_since = TableauWatch::NOT_SEEN;
    watch.dense_size = 0;
}

}  // namespace

bool look_at_component(State& state, Slot s) {
    // A dense component lives in a dense block; a vertex outside one, or in a small or sparse one,
    // is not worth a walk over its component.
    const Node& node = state.nodes[s];
    if (!node.in_block()) return false;
    const Block& block = state.blocks[node.block];
    std::uint64_t block_degrees = 0;
    for (std::uint32_t local = 0; local < block.issued; ++local) block_degrees += block.row_count[local];
    if (!dense_enough(block_degrees, block.members)) {
        forget_dense_component(state.watch);
        wait(state.watch, block.issued);
        return false;
    }
    // Measured since its component was last found dense: the stretch of work that would pay for
    // the trip starts again, without another walk.
    if (state.watch.dense_since == TableauWatch::NOT_SEEN && state.watch.dense_size != 0) {
        state.watch.dense_since = state.watch.graph_work;
        state.watch.next_look = state.watch.graph_work + rent(state.watch, state.watch.dense_size);
        return false;
    }
    const Component component = component_of(state, s, tableau_max());
    const std::uint64_t m = component.slots.size();
    if (!dense_enough(component.degrees, m)) {
        // A dense block in a sparse component: walks that keep finding one come ever more rarely.
        forget_dense_component(state.watch);
        wait(state.watch, component.looked_at << std::min(state.watch.sparse_walks, 8));
        ++state.watch.sparse_walks;
        return false;
    }
    state.watch.sparse_walks = 0;
    // The component goes once graph-form work on it since it was first seen dense would have paid
    // for the trip, so that one soon measured costs at most about twice what graph form alone
    // would.
    state.watch.dense_size = m;
    if (state.watch.dense_since == TableauWatch::NOT_SEEN) state.watch.dense_since = state.watch.graph_work;
    const std::uint64_t due = state.watch.dense_since + rent(state.watch, m);
    if (state.watch.graph_work < due) {
        state.watch.next_look = due;
        return false;
    }
    if (held_back_on(state, component.slots)) return false;  // looked at again once they settle
    const std::uint16_t id = open_tableau(state);
    if (id == NO_BLOCK) {
        wait(state.watch, component.looked_at);
        return false;
    }
    try {
        take_component(state, id, component.slots);
    } catch (const std::bad_alloc&) {
        close_tableau(state, id);
        throw;
    }
    forget_dense_component(state.watch);
    return true;
}

std::vector<Qubit> tableau_group(const State& state, Slot s) {
    const Node& node = state.nodes[s];
    const Tableau& tableau = state.tableaux[node.tableau()];
    if (!tableau.groups_known) {
        // The components of the graph form, labelled by their first column.
        const GraphForm form = graph_form(tableau);
        std::vector<std::uint32_t> group_of(form.qubits, NO_POSITION);
        std::vector<std::uint32_t> queue;
        queue.reserve(form.qubits);
        for (std::uint32_t start = 0; start < form.qubits; ++start) {
            if (group_of[start] != NO_POSITION) continue;
            group_of[start] = start;
            queue.assign(1, start);
            for (std::size_t head = 0; head < queue.size(); ++head) {
                for (std::uint32_t c : set_bits(form.row(queue[head]), form.words)) {
                    if (group_of[c] != NO_POSITION) continue;
                    group_of[c] = start;
                    queue.push_back(c);
                }
            }
        }
        tableau.group_of.swap(group_of);
        tableau.groups_known = true;
    }
    const std::uint32_t label = tableau.group_of[node.column()];
    std::vector<Qubit> group;
    for (std::uint32_t c = 0; c < tableau.qubits; ++c) {
        if (tableau.group_of[c] == label) group.push_back(state.qubit(tableau.slot_at[c]));
    }
    return group;
}

}  // namespace nodeweave
