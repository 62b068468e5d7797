#include "literal.h"

#include "engine/cz.h"
#include "engine/reduction.h"

#include <algorithm>
#include <set>
#include <utility>

namespace nodeweave::literal {

static void multiply_right(State& state, qubit_t x, vop_t c) {
    Node& node = state.at(x);
    node.vop = VOP_PRODUCT[node.vop][c];
}

void local_complement(State& state, qubit_t v) {
    const AdjacencyList neighbours = state.at(v).adjacency;
    for (std::size_t i = 0; i < neighbours.size(); ++i) {
        for (std::size_t j = i + 1; j < neighbours.size(); ++j) {
            toggle_edge(state, neighbours[i], neighbours[j]);
        }
        multiply_right(state, neighbours[i], VOP_S);
    }
    multiply_right(state, v, VOP_SQRT_IX);
}

void remove_vop(State& state, qubit_t a, qubit_t b) {
    const qubit_t partner = reduction_partner(state, a, b);
    const vop_t vop = state.nodes[a].vop;
    for (std::uint8_t i = 0; i < REDUCTION_WORD_LENGTH[vop]; ++i) {
        literal::local_complement(state, REDUCTION_WORDS[vop][i] == 0 ? a : partner);
    }
}

static void measure_x(State& state, qubit_t q, std::uint8_t g) {
    const qubit_t b = state.at(q).adjacency[0];
    if (g == 0) {
        multiply_right(state, b, VOP_SQRT_IY);
        for (qubit_t c : AdjacencyList(state.nodes[q].adjacency)) {
            if (c != b && !contains(state.nodes[b].adjacency, c)) multiply_right(state, c, VOP_Z);
        }
    } else {
        multiply_right(state, b, VOP_SQRT_MINUS_IY);
        multiply_right(state, q, VOP_Z);
        for (qubit_t c : AdjacencyList(state.nodes[b].adjacency)) {
            if (c != q && !contains(state.nodes[q].adjacency, c)) multiply_right(state, c, VOP_Z);
        }
    }
    const AdjacencyList nq = state.nodes[q].adjacency;
    const AdjacencyList nb = state.nodes[b].adjacency;
    std::set<std::pair<qubit_t, qubit_t>> done;
    for (qubit_t u : nq) {
        for (qubit_t x : nb) {
            if (u == x) continue;
            const auto key = std::minmax(u, x);
            if (!done.insert(key).second) continue;
            toggle_edge(state, key.first, key.second);
        }
    }
    std::vector<qubit_t> common;
    for (qubit_t u : nq) {
        if (contains(nb, u)) common.push_back(u);
    }
    for (std::size_t i = 0; i + 1 < common.size(); ++i) {
        for (std::size_t j = i + 1; j < common.size(); ++j) toggle_edge(state, common[i], common[j]);
    }
    for (qubit_t u : nq) {
        if (u != b) toggle_edge(state, b, u);
    }
}

static void measure_y(State& state, qubit_t q, std::uint8_t g) {
    const AdjacencyList neighbours = state.at(q).adjacency;
    const vop_t c = g == 0 ? VOP_S : VOP_SDAG;
    for (qubit_t x : neighbours) multiply_right(state, x, c);
    for (std::size_t i = 0; i < neighbours.size(); ++i) {
        for (std::size_t j = i + 1; j < neighbours.size(); ++j) {
            toggle_edge(state, neighbours[i], neighbours[j]);
        }
        toggle_edge(state, neighbours[i], q);
    }
    multiply_right(state, q, c);
}

static void measure_z(State& state, qubit_t q, std::uint8_t g) {
    const AdjacencyList neighbours = state.at(q).adjacency;
    for (qubit_t x : neighbours) {
        remove_edge(state, q, x);
        if (g) multiply_right(state, x, VOP_Z);
    }
    if (g) multiply_right(state, q, VOP_X);
    multiply_right(state, q, VOP_H);
}

void measure_graph(State& state, qubit_t q, axis_t graph_axis, std::uint8_t g) {
    switch (graph_axis) {
        case AXIS_X: measure_x(state, q, g); break;
        case AXIS_Y: measure_y(state, q, g); break;
        default: measure_z(state, q, g); break;
    }
}

void cz(State& state, qubit_t a, qubit_t b) {
    state.check(a);
    state.check(b);
    if (has_neighbour_besides(state, a, b)) literal::remove_vop(state, a, b);
    if (has_neighbour_besides(state, b, a)) literal::remove_vop(state, b, a);
    if (has_neighbour_besides(state, a, b) && !is_diagonal(state.nodes[a].vop)) {
        literal::remove_vop(state, a, b);
    }
    apply_cz_lookup(state, a, b);
}

}  // namespace nodeweave::literal
