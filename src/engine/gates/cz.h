#pragma once
// The controlled-Z gate, the engine's one entangling operation.

#include "engine/core/state.h"

namespace nodeweave {

// Applies CZ to qubits a and b (checked in that order before any change). The operands must differ.
void cz(State& state, Qubit a, Qubit b);

// CZ on the graph or tableau form alone, a and b living in slots sa and sb, with no regard to
// deferrals (engine/deferral/deferral.h). Throws std::bad_alloc with the state unchanged.
void cz_in_graph_or_tableau(State& state, Qubit a, Qubit b, Slot sa, Slot sb);

}  // namespace nodeweave
