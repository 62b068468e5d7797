#include "engine/core/state.h"

#include <cstdint>
#include <numeric>
#include <string>
#include <utility>

#include "engine/policy/thresholds.h"

namespace nodeweave {

#ifdef NODEWEAVE_TUNABLE_THRESHOLDS
Thresholds thresholds = DEFAULT_THRESHOLDS;
#endif

void throw_index_out_of_bounds(std::size_t len, std::size_t index) {
    throw Panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " +
                std::to_string(index));
}

State make_state(std::size_t qubit_amount) {
    if (qubit_amount > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(Node)) {
        throw Panic("capacity overflow");
    }
    if (qubit_amount > MAX_QUBITS) throw std::bad_alloc();
    State state;
    state.nodes.resize(qubit_amount);
    return state;
}

State copy_state(const State& state) {
    State copy;
    copy.nodes = state.nodes;
    copy.slot_of = state.slot_of;
    copy.qubit_of = state.qubit_of;
    copy.blocks.reserve(state.blocks.size());
    for (const Block& block : state.blocks) copy.blocks.push_back(block);
    copy.free_blocks.reserve(copy.blocks.capacity());
    copy.free_blocks = state.free_blocks;
    copy.tableaux.reserve(state.tableaux.size());
    for (const Tableau& tableau : state.tableaux) copy.tableaux.push_back(tableau);
    copy.free_tableaux.reserve(copy.tableaux.capacity());
    copy.free_tableaux = state.free_tableaux;
    copy.watch = state.watch;
    copy.deferrals = state.deferrals;
    // Freeing an id or a touch link never allocates: the free lists keep room for all of them.
    copy.deferrals.free_ids.reserve(copy.deferrals.by_id.size());
    copy.deferrals.free_links.reserve(copy.deferrals.touch_links.size());
    verify(copy);
    return copy;
}

void ensure_permutation(State& state) {
    if (!state.slot_of.empty() || state.nodes.empty()) return;
    std::vector<Slot> slot_of(state.nodes.size());
    BySlot<std::uint32_t> qubit_of(state.nodes.size());
    for (std::uint32_t i = 0; i < slot_of.size(); ++i) slot_of[i] = Slot(i);
    std::iota(qubit_of.begin(), qubit_of.end(), std::uint32_t{0});
    state.slot_of.swap(slot_of);
    state.qubit_of.swap(qubit_of);
}

void relabel(State& state, Slot a, Slot b) noexcept {
    const std::uint32_t qa = state.qubit_of[a];
    const std::uint32_t qb = state.qubit_of[b];
    state.qubit_of[a] = qb;
    state.qubit_of[b] = qa;
    state.slot_of[qa] = b;
    state.slot_of[qb] = a;
    std::swap(state.nodes[a].vop, state.nodes[b].vop);
}

}  // namespace nodeweave
