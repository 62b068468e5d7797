#include "measure/pauli_measurement.h"

#include "engine/complementation.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace nodeweave {

static inline void multiply_right(State& state, qubit_t x, vop_t c) {
    Node& node = state.at(x);
    node.vop = VOP_PRODUCT[node.vop][c];
}

// Applies a sequence of edge toggles between x and each of `partners` in turn to x's list: the
// entries never toggled keep their places; the toggled ones that are present at the end follow,
// in the order of their last toggle.
static AdjacencyList apply_toggles(const AdjacencyList& list, const std::vector<qubit_t>& partners) {
    struct Toggles {
        bool listed = false;
        bool odd = false;
        std::size_t last = 0;
    };
    std::unordered_map<qubit_t, Toggles> toggles;
    for (std::size_t t = 0; t < partners.size(); ++t) {
        Toggles& entry = toggles[partners[t]];
        entry.odd = !entry.odd;
        entry.last = t;
    }
    AdjacencyList result;
    result.reserve(list.size() + partners.size());
    for (qubit_t y : list) {
        auto it = toggles.find(y);
        if (it == toggles.end()) {
            result.push_back(y);
        } else {
            it->second.listed = true;
        }
    }
    for (std::size_t t = 0; t < partners.size(); ++t) {
        const Toggles& entry = toggles[partners[t]];
        if (entry.last == t && entry.listed != entry.odd) result.push_back(partners[t]);
    }
    return result;
}

// The X update toggles, in this order: every pair of a member u of q's list and a member x of b's
// list (u outer, x inner; a pair met twice is toggled only the first time), every pair of common
// neighbours, and b with every other member of q's list. Each affected list is built once from
// the sequence of its own toggles.
static void measure_graph_x(State& state, qubit_t q, std::uint8_t g) {
    // Everything is computed before the state is touched.
    const AdjacencyList nq = state.at(q).adjacency;
    const qubit_t b = nq.front();
    const AdjacencyList nb = state.at(b).adjacency;
    std::unordered_map<qubit_t, std::size_t> position_in_nq;
    for (std::size_t i = 0; i < nq.size(); ++i) position_in_nq.emplace(nq[i], i);
    const std::unordered_set<qubit_t> in_nb(nb.begin(), nb.end());
    std::vector<qubit_t> common;
    for (qubit_t u : nq) {
        if (in_nb.count(u)) common.push_back(u);
    }
    auto common_position = [&](qubit_t v) -> std::size_t {  // SIZE_MAX when not common
        auto it = position_in_nq.find(v);
        return it != position_in_nq.end() && in_nb.count(v) ? it->second : SIZE_MAX;
    };

    std::vector<std::pair<qubit_t, AdjacencyList>> new_lists;
    std::vector<qubit_t> partners;
    auto rebuild = [&](qubit_t x) {
        partners.clear();
        auto in_q = position_in_nq.find(x);
        const bool x_in_nq = in_q != position_in_nq.end();
        const bool x_in_nb = in_nb.count(x) != 0;
        const std::size_t x_common = x_in_nq && x_in_nb ? in_q->second : SIZE_MAX;
        // Pairs of q's and b's lists. A pair of two common neighbours is met twice and counts
        // where it is met first: at the one of the two that stands earlier in q's list.
        if (x_in_nb) {
            for (std::size_t i = 0; i < nq.size(); ++i) {
                const qubit_t u = nq[i];
                if (u == x) {
                    for (qubit_t y : nb) {
                        if (y != x && !(common_position(y) < i)) partners.push_back(y);
                    }
                } else if (!(x_common < i && common_position(u) == i)) {
                    partners.push_back(u);
                }
            }
        } else if (x_in_nq) {
            partners.insert(partners.end(), nb.begin(), nb.end());
        }
        if (x_common != SIZE_MAX) {
            for (qubit_t y : common) {
                if (y != x) partners.push_back(y);
            }
        }
        if (x == b) {
            for (qubit_t u : nq) {
                if (u != b) partners.push_back(u);
            }
        } else if (x_in_nq) {
            partners.push_back(b);
        }
        new_lists.emplace_back(x, apply_toggles(state.nodes[x].adjacency, partners));
    };
    for (qubit_t x : nq) rebuild(x);
    for (qubit_t x : nb) {
        if (!position_in_nq.count(x)) rebuild(x);
    }

    // Nothing below allocates.
    for (auto& [x, list] : new_lists) {
        state.nodes[x].adjacency.swap(list);
        state.nodes[x].adjacency.compact();
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
            if (c != q && !position_in_nq.count(c)) multiply_right(state, c, VOP_Z);
        }
    }
}

// A complementation about q without its VOP corrections, then q loses all its edges; the
// corrections are S (g = 0) or S-dagger (g = 1) on q and on each of its neighbours.
static void measure_graph_y(State& state, qubit_t q, std::uint8_t g) {
    ComplementPlan plan = plan_complements(state, &q, 1);
    plan.remove_everywhere(static_cast<vertex_t>(q));
    plan.clear_list(static_cast<vertex_t>(q));
    apply_lists(state, plan);
    const vop_t c = g == 0 ? VOP_S : VOP_SDAG;
    for (vertex_t x : plan.centre_list(0)) multiply_right(state, x, c);
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
    neighbours.compact();
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
