#include "engine/core/state.h"

#include <cstdint>
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
    copy.permutation = state.permutation;
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
    if (!state.permutation.kept()) state.permutation = Permutation::identity(state.nodes.size());
}

void relabel(State& state, Slot a, Slot b) noexcept {
    state.permutation.swap_slots(a, b);
    std::swap(state.nodes[a].vop, state.nodes[b].vop);
}

}  // namespace nodeweave
