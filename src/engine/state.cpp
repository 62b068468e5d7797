#include "engine/state.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace nodeweave {

void throw_index_out_of_bounds(std::size_t len, std::size_t index) {
    throw Panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " +
                std::to_string(index));
}

State make_state(std::size_t qubit_amount) {
    if (qubit_amount > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(Node)) {
        throw Panic("capacity overflow");
    }
    if (qubit_amount > MAX_QUBITS) throw std::bad_alloc();
    State state;
    state.nodes.resize(qubit_amount, Node{AdjacencyList{}, VOP_H, 0});
    return state;
}

bool contains(const AdjacencyList& list, qubit_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool erase_value(AdjacencyList& list, qubit_t value) {
    auto new_end = std::remove(list.begin(), list.end(), static_cast<vertex_t>(value));
    const bool found = new_end != list.end();
    list.truncate(static_cast<std::uint32_t>(new_end - list.begin()));
    return found;
}

static void reserve_one_more(AdjacencyList& list) {
    list.reserve(static_cast<std::size_t>(list.size()) + 1);
}

void add_edge(State& state, qubit_t u, qubit_t v) {
    AdjacencyList& lu = state.at(u).adjacency;
    AdjacencyList& lv = state.at(v).adjacency;
    reserve_one_more(lu);
    reserve_one_more(lv);
    lu.push_back_reserved(static_cast<vertex_t>(v));
    lv.push_back_reserved(static_cast<vertex_t>(u));
}

void toggle_edge(State& state, qubit_t u, qubit_t v) {
    AdjacencyList& lu = state.at(u).adjacency;
    AdjacencyList& lv = state.at(v).adjacency;
    if (contains(lu, v)) {
        erase_value(lu, v);
        erase_value(lv, u);
        lu.compact();
        lv.compact();
    } else {
        // A stray u in v's list would be a broken invariant; the removal keeps lists symmetric.
        erase_value(lv, u);
        reserve_one_more(lu);
        reserve_one_more(lv);
        lu.push_back_reserved(static_cast<vertex_t>(v));
        lv.push_back_reserved(static_cast<vertex_t>(u));
    }
}

void remove_edge(State& state, qubit_t u, qubit_t v) {
    erase_value(state.at(u).adjacency, v);
    erase_value(state.at(v).adjacency, u);
    state.nodes[u].adjacency.compact();
    state.nodes[v].adjacency.compact();
}

}  // namespace nodeweave
