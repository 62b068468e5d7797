#pragma once
// Simulator states as the tests see them.

#include <string>

#include "engine/core/state.h"
#include "literal.h"

namespace nodeweave {

// The graph at the qubit level: each qubit's VOP and its neighbours (list entries first, in stored
// order, then row neighbours in ascending local index).
literal::Graph graph_of(const State& state);

// Why `graph` is not a valid state of n qubits, or "" when it is.
std::string malformation(const literal::Graph& graph, std::size_t n);

// A state holding exactly `graph` (a valid one), every edge in lists kept in the given order.
State state_of_graph(const literal::Graph& graph);

}  // namespace nodeweave
