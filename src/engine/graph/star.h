#pragma once
// A star of edge toggles from one vertex: how a controlled Pauli, and a settling deferral, join
// the graph.

#include <span>

#include "engine/core/state.h"

namespace nodeweave {

// Toggles the edge between c and each of `others` (distinct slots, c not among them). Throws
// std::bad_alloc with nothing changed.
void toggle_star(State& state, Slot c, std::span<const Slot> others);

}  // namespace nodeweave
