#include "literal.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>

#include "engine/gates/cz_lookup.h"

namespace nodeweave::literal {

using List = std::vector<std::size_t>;

static bool contains(const List& list, std::size_t v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

static void multiply_right(Graph& graph, std::size_t x, vop_t c) {
    graph.vop.at(x) = VOP_PRODUCT[graph.vop[x]][c];
}

void toggle_edge(Graph& graph, std::size_t u, std::size_t v) {
    List& lu = graph.adjacency.at(u);
    List& lv = graph.adjacency.at(v);
    const std::size_t before = lu.size();
    lu.erase(std::remove(lu.begin(), lu.end(), v), lu.end());
    lv.erase(std::remove(lv.begin(), lv.end(), u), lv.end());
    if (lu.size() == before) {
        lu.push_back(v);
        lv.push_back(u);
    }
}

static void remove_edge(Graph& graph, std::size_t u, std::size_t v) {
    List& lu = graph.adjacency.at(u);
    List& lv = graph.adjacency.at(v);
    lu.erase(std::remove(lu.begin(), lu.end(), v), lu.end());
    lv.erase(std::remove(lv.begin(), lv.end(), u), lv.end());
}

void local_complement(Graph& graph, std::size_t v) {
    const List neighbours = graph.adjacency.at(v);
    for (std::size_t i = 0; i < neighbours.size(); ++i) {
        for (std::size_t j = i + 1; j < neighbours.size(); ++j) {
            toggle_edge(graph, neighbours[i], neighbours[j]);
        }
        multiply_right(graph, neighbours[i], VOP_S);
    }
    multiply_right(graph, v, VOP_SQRT_IX);
}

static bool has_neighbour_besides(const Graph& graph, std::size_t x, std::size_t y) {
    const List& list = graph.adjacency[x];
    return list.size() >= 2 || (list.size() == 1 && list[0] != y);
}

void remove_vop(Graph& graph, std::size_t a, std::size_t b) {
    std::size_t partner = b;
    for (std::size_t c : graph.adjacency.at(a)) {
        if (c != b) {
            partner = c;
            break;
        }
    }
    const vop_t vop = graph.vop[a];
    for (std::uint8_t i = 0; i < REDUCTION_WORD_LENGTH[vop]; ++i) {
        local_complement(graph, REDUCTION_WORDS[vop][i] == 0 ? a : partner);
    }
}

void cz(Graph& graph, std::size_t a, std::size_t b) {
    if (a >= graph.vop.size() || b >= graph.vop.size()) throw std::out_of_range("cz operand");
    if (has_neighbour_besides(graph, a, b)) remove_vop(graph, a, b);
    if (has_neighbour_besides(graph, b, a)) remove_vop(graph, b, a);
    if (has_neighbour_besides(graph, a, b) && !is_diagonal(graph.vop[a])) remove_vop(graph, a, b);
    const bool edge = contains(graph.adjacency[a], b);
    const CzEntry entry = CZ_LOOKUP[edge][graph.vop[a]][graph.vop[b]];
    if (entry.edge && !edge) {
        graph.adjacency[a].push_back(b);
        graph.adjacency[b].push_back(a);
    } else if (!entry.edge) {
        remove_edge(graph, a, b);
    }
    graph.vop[a] = entry.first;
    graph.vop[b] = entry.second;
}

static void measure_x(Graph& graph, std::size_t q, std::uint8_t g) {
    const std::size_t b = graph.adjacency[q][0];
    if (g == 0) {
        multiply_right(graph, b, VOP_SQRT_IY);
        for (std::size_t c : List(graph.adjacency[q])) {
            if (c != b && !contains(graph.adjacency[b], c)) multiply_right(graph, c, VOP_Z);
        }
    } else {
        multiply_right(graph, b, VOP_SQRT_MINUS_IY);
        multiply_right(graph, q, VOP_Z);
        for (std::size_t c : List(graph.adjacency[b])) {
            if (c != q && !contains(graph.adjacency[q], c)) multiply_right(graph, c, VOP_Z);
        }
    }
    const List nq = graph.adjacency[q];
    const List nb = graph.adjacency[b];
    std::set<std::pair<std::size_t, std::size_t>> done;
    for (std::size_t u : nq) {
        for (std::size_t x : nb) {
            if (u == x) continue;
            const auto key = std::minmax(u, x);
            if (!done.insert(key).second) continue;
            toggle_edge(graph, key.first, key.second);
        }
    }
    List common;
    for (std::size_t u : nq) {
        if (contains(nb, u)) common.push_back(u);
    }
    for (std::size_t i = 0; i + 1 < common.size(); ++i) {
        for (std::size_t j = i + 1; j < common.size(); ++j) toggle_edge(graph, common[i], common[j]);
    }
    for (std::size_t u : nq) {
        if (u != b) toggle_edge(graph, b, u);
    }
}

static void measure_y(Graph& graph, std::size_t q, std::uint8_t g) {
    const List neighbours = graph.adjacency[q];
    const vop_t c = g == 0 ? VOP_S : VOP_SDAG;
    for (std::size_t x : neighbours) multiply_right(graph, x, c);
    for (std::size_t i = 0; i < neighbours.size(); ++i) {
        for (std::size_t j = i + 1; j < neighbours.size(); ++j) {
            toggle_edge(graph, neighbours[i], neighbours[j]);
        }
        toggle_edge(graph, neighbours[i], q);
    }
    multiply_right(graph, q, c);
}

static void measure_z(Graph& graph, std::size_t q, std::uint8_t g) {
    const List neighbours = graph.adjacency[q];
    for (std::size_t x : neighbours) {
        remove_edge(graph, q, x);
        if (g) multiply_right(graph, x, VOP_Z);
    }
    if (g) multiply_right(graph, q, VOP_X);
    multiply_right(graph, q, VOP_H);
}

void measure_graph(Graph& graph, std::size_t q, axis_t graph_axis, std::uint8_t g) {
    switch (graph_axis) {
        case AXIS_X: measure_x(graph, q, g); break;
        case AXIS_Y: measure_y(graph, q, g); break;
        default: measure_z(graph, q, g); break;
    }
}

}  // namespace nodeweave::literal
