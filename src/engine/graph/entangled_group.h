#pragma once
// The qubits connected to a qubit in the graph: its entangled group.

#include <vector>

#include "engine/core/state.h"

namespace nodeweave {

// Breadth-first over the adjacency lists; the result holds `qubit` itself, in no set order.
std::vector<Qubit> entangled_group(const State& state, Qubit qubit);

}  // namespace nodeweave
