#include "engine/reduction.h"

#include "engine/complementation.h"

namespace nodeweave {

void local_complement(State& state, qubit_t v) { complement_sequence(state, &v, 1); }

qubit_t reduction_partner(const State& state, qubit_t a, qubit_t b) {
    for (qubit_t c : state.at(a).adjacency) {
        if (c != b) return c;
    }
    return b;
}

void remove_vop(State& state, qubit_t a, qubit_t b) {
    // The partner stays the same for the whole word, although the lists change on the way.
    const qubit_t partner = reduction_partner(state, a, b);
    const vop_t vop = state.nodes[a].vop;
    qubit_t centres[5];
    for (std::uint8_t i = 0; i < REDUCTION_WORD_LENGTH[vop]; ++i) {
        centres[i] = REDUCTION_WORDS[vop][i] == 0 ? a : partner;
    }
    complement_sequence(state, centres, REDUCTION_WORD_LENGTH[vop]);
}

}  // namespace nodeweave
