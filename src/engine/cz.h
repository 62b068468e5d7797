#pragma once
// The controlled-Z gate, the engine's one entangling operation.

#include "engine/state.h"

namespace nodeweave {

// Applies CZ with a as the first operand (the row of the look-up) and b as the second.
// The operands must differ; both are checked against the number of qubits before any change.
void cz(State& state, qubit_t a, qubit_t b);

// Whether x has a neighbour other than y.
inline bool has_neighbour_besides(const State& state, qubit_t x, qubit_t y) {
    const AdjacencyList& list = state.nodes[x].adjacency;
    return list.size() >= 2 || (list.size() == 1 && list[0] != y);
}

// cz without the operand checks and the journal: the reductions, then the look-up.
void reduce_and_look_up(State& state, qubit_t a, qubit_t b);

// The last stage of cz, once the reductions have run: the look-up, then the new edge and VOPs.
void apply_cz_lookup(State& state, qubit_t a, qubit_t b);

}  // namespace nodeweave
