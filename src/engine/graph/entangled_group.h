#pragma once
// The qubits connected to a qubit in the graph: its entangled group.

#include <vector>

#include "engine/core/state.h"

namespace nodeweave {

// The group of `qubit` (checked first), itself included, in no set order: breadth-first over the
// graph once deferred gates have settled into it, or read from the tableau that holds the qubit.
// Throws Panic for an index out of range, std::bad_alloc with the quantum state unchanged.
std::vector<Qubit> entangled_group(State& state, Qubit qubit);

}  // namespace nodeweave
