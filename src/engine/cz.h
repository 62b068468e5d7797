#pragma once
// The controlled-Z gate, the engine's one entangling operation.

#include "engine/state.h"

namespace nodeweave {

// Applies CZ to qubits a and b (checked in that order before any change). The operands must differ.
void cz(State& state, Qubit a, Qubit b);

}  // namespace nodeweave
