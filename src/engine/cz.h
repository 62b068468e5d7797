#pragma once
// The controlled-Z gate, the engine's one entangling operation.

#include "engine/state.h"

namespace nodeweave {

// Applies CZ with a as the first operand (the row of the look-up) and b as the second.
// The operands must differ; both are checked against the number of qubits before any change.
void cz(State& state, qubit_t a, qubit_t b);

}  // namespace nodeweave
