#include "measure/pauli_measurement.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace nodeweave {

static inline void multiply_right(State& state, qubit_t x, vop_t c) {
    Node& node = state.at(x);
    node.vop = VOP_PRODUCT[node.vop][c];
}

static void measure_graph_x(State& state, qubit_t q, std::uint8_t g) {
    // Everything the update reads is copied before the state is touched: q's and b's lists as they
    // stand, membership sets, and the common neighbours with their positions in q's list.
    const AdjacencyList nq = state.at(q).adjacency;
    const qubit_t b = nq.front();
    const AdjacencyList nb = state.at(b).adjacency;
    const std::unordered_set<qubit_t> in_nq(nq.begin(), nq.end());
    const std::unordered_set<qubit_t> in_nb(nb.begin(), nb.end());
    std::vector<qubit_t> common;
    std::unordered_map<qubit_t, std::size_t> common_position;
    for (std::size_t i = 0; i < nq.size(); ++i) {
        if (in_nb.count(nq[i])) {
            common.push_back(nq[i]);
            common_position.emplace(nq[i], i);
        }
    }

    if (g == 0) {
        multiply_right(state, b, VOP_SQRT_IY);
        for (qubit_t c : nq) {
            if (c != b && !in_nb.count(c)) multiply_right(state, c, VOP_Z);
        }
    } else {
        multiply_right(state, b, VOP_SQRT_MINUS_IY);
        multiply_right(state, q, VOP_Z);
        for (qubit_t c : nb) {
            if (c != q && !in_nq.count(c)) multiply_right(state, c, VOP_Z);
        }
    }

    // Toggle every pair of one member of q's list and one of b's list once. A pair is met twice
    // exactly when both members are common neighbours; it is toggled where it is met first, at the
    // member that stands earlier in q's list.
    for (std::size_t i = 0; i < nq.size(); ++i) {
        const qubit_t u = nq[i];
        const bool u_common = common_position.count(u) != 0;
        for (qubit_t x : nb) {
            if (u == x) continue;
            if (u_common) {
                auto found = common_position.find(x);
                if (found != common_position.end() && found->second < i) continue;
            }
            toggle_edge(state, std::min(u, x), std::max(u, x));
        }
    }
    for (std::size_t i = 0; i + 1 < common.size(); ++i) {
        for (std::size_t j = i + 1; j < common.size(); ++j) {
            toggle_edge(state, common[i], common[j]);
        }
    }
    for (qubit_t u : nq) {
        if (u != b) toggle_edge(state, b, u);
    }
}

static void measure_graph_y(State& state, qubit_t q, std::uint8_t g) {
    const AdjacencyList neighbours = state.at(q).adjacency;  // q's own list shrinks on the way
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

static void measure_graph_z(State& state, qubit_t q, std::uint8_t g) {
    // The measured qubit loses all its edges; with g = 1 each former neighbour takes a Z.
    AdjacencyList& neighbours = state.at(q).adjacency;
    for (qubit_t x : neighbours) {
        erase_value(state.at(x).adjacency, q);
        if (g) multiply_right(state, x, VOP_Z);
    }
    neighbours.clear();
    if (g) multiply_right(state, q, VOP_X);
    multiply_right(state, q, VOP_H);
}

void measure_graph(State& state, qubit_t q, axis_t graph_axis, std::uint8_t g) {
    switch (graph_axis) {
        case AXIS_X: measure_graph_x(state, q, g); break;
        case AXIS_Y: measure_graph_y(state, q, g); break;
        default: measure_graph_z(state, q, g); break;
    }
}

}  // namespace nodeweave
