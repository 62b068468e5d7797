#pragma once
// The graph operations written out step by step, one edge toggle at a time, exactly in the order
// the definitions give. Slow, and kept only as the reference that the engine's faster rules are
// checked against: graphs, VOPs and the order of every adjacency list must come out identical.

#include <cstdint>

#include "engine/state.h"

namespace nodeweave::literal {

void local_complement(State& state, qubit_t v);
void remove_vop(State& state, qubit_t a, qubit_t b);
void cz(State& state, qubit_t a, qubit_t b);
// The graph-level update of a Pauli measurement for outcome bit g (axis 0 X, 1 Y, 2 Z).
void measure_graph(State& state, qubit_t q, axis_t graph_axis, std::uint8_t g);

}  // namespace nodeweave::literal
