#pragma once
// The graph operations written out step by step, one edge toggle at a time, on ordered adjacency
// lists: the textbook rules (reduction of a VOP to the identity by its reduction word, the
// controlled-Z look-up after up to three reductions, the X/Y/Z measurement updates with the first
// neighbour as the special one). Slow, independent of the engine's representation, and kept as a
// second oracle: the engine's states must be physically the same as these.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "clifford/tables.h"

namespace nodeweave::literal {

struct Graph {
    std::vector<vop_t> vop;
    std::vector<std::vector<std::size_t>> adjacency;  // in the order edges were added
};

void toggle_edge(Graph& graph, std::size_t u, std::size_t v);
void local_complement(Graph& graph, std::size_t v);
void remove_vop(Graph& graph, std::size_t a, std::size_t b);
void cz(Graph& graph, std::size_t a, std::size_t b);
// The measurement of `axis` on qubit q; `word` is drawn only when the outcome is random, and the
// result bit is returned.
template <class Draw>
std::uint8_t measure(Graph& graph, std::size_t q, axis_t axis, Draw&& draw);
// The graph-level update for outcome bit g of a measurement of the graph-level axis.
void measure_graph(Graph& graph, std::size_t q, axis_t graph_axis, std::uint8_t g);

template <class Draw>
std::uint8_t measure(Graph& graph, std::size_t q, axis_t axis, Draw&& draw) {
    const GraphAxis m = through_vop(axis, graph.vop.at(q));
    if (m.axis == AXIS_X && graph.adjacency[q].empty()) return m.negated;
    const std::uint8_t g = static_cast<std::uint8_t>(static_cast<std::uint32_t>(draw()) >> 31);
    measure_graph(graph, q, m.axis, g);
    return m.negated ^ g;
}

}  // namespace nodeweave::literal
