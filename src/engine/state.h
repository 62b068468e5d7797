#pragma once
// The simulator state: one vertex per qubit, each with an ordered adjacency list and a vertex
// operator (VOP). The state stands for C(vop_0) ⊗ ... ⊗ C(vop_n-1) |G>.
//
// Invariants kept by every operation: lists are symmetric, hold no self entry and no duplicate,
// and every entry is a valid index. Adjacency order is part of the state: a new edge is appended
// at the end of both lists, and a removed edge leaves the other entries in order.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "clifford/tables.h"
#include "engine/adjacency_list.h"
#include "engine/panic.h"

namespace nodeweave {

// A qubit index as callers give it. Stored indices are 32-bit (vertex_t), so a state holds at
// most MAX_QUBITS qubits.
using qubit_t = std::size_t;
inline constexpr std::size_t MAX_QUBITS = UINT32_MAX;

struct Node {
    AdjacencyList adjacency;
    vop_t vop;
    // Scratch for operations on many vertices at once (membership marks); always 0 between
    // operations, so it is not part of the state.
    std::uint32_t mark = 0;
};
static_assert(sizeof(Node) == 32);

class Journal;

struct State {
    std::vector<Node> nodes;
    // Set while an operation of several stages runs: each stage saves what it will change.
    Journal* journal = nullptr;

    std::size_t size() const { return nodes.size(); }

    // Throws Panic("index out of bounds: ...") unless q < size().
    void check(qubit_t q) const {
        if (q >= nodes.size()) [[unlikely]] {
            throw_index_out_of_bounds(nodes.size(), q);
        }
    }

    Node& at(qubit_t q) {
        check(q);
        return nodes[q];
    }
    const Node& at(qubit_t q) const {
        check(q);
        return nodes[q];
    }
};

// n qubits in |0>: no edges, VOP H everywhere. Throws Panic("capacity overflow") when the node
// array's byte size cannot be represented, std::bad_alloc when memory is short or n exceeds
// MAX_QUBITS.
State make_state(std::size_t qubit_amount);

// Applies the single-qubit gate g (a VOP) to qubit q: vop <- g * vop.
inline void apply_gate(State& state, qubit_t q, vop_t g) {
    Node& node = state.at(q);
    node.vop = VOP_PRODUCT[g][node.vop];
}

// Whether `list` holds `value`.
bool contains(const AdjacencyList& list, qubit_t value);

// Deletes every entry equal to `value`, keeping the order of the others; returns whether any was.
bool erase_value(AdjacencyList& list, qubit_t value);

// Adds the edge {u, v} if absent, removes it if present. u's list decides which.
// Growth is reserved before anything changes, so a failed allocation leaves the state whole.
void toggle_edge(State& state, qubit_t u, qubit_t v);

// Removes the edge {u, v}: every v from u's list, then every u from v's list.
void remove_edge(State& state, qubit_t u, qubit_t v);

// Appends the edge {u, v} (known to be absent) at the end of both lists.
void add_edge(State& state, qubit_t u, qubit_t v);

// A deep copy that shares nothing with `state`.
inline State copy_state(const State& state) { return State{state.nodes, nullptr}; }

}  // namespace nodeweave
