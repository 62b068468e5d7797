#pragma once
// The simulator state: n vertex records ("slots"), one per qubit, standing for
// C(vop_0) ⊗ ... ⊗ C(vop_n-1) |G>.
//
// Qubit q normally lives in slot q. A pivot about an edge with a leaf end exchanges the roles of
// its two vertices; the engine then swaps which qubit lives in which slot instead of moving the
// hub's neighbours, and from the first such swap on keeps the permutation (`permutation`,
// engine/core/permutation.h). Edges refer to slots (see engine/core/index.h).
//
// An edge between two members of one dense block is a bit in both their rows; every other edge is
// an entry in both vertices' lists. A dense component may instead be held in a tableau
// (engine/tableau/routing.h): its qubits then have no edges, and the tableau stands for their state
// below their VOPs. engine/check/ states the invariants and checks them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "clifford/tables.h"
#include "engine/graph/block.h"
#include "engine/deferral/deferral_store.h"
#include "engine/core/index.h"
#include "engine/core/node.h"
#include "engine/core/permutation.h"
#include "engine/tableau/tableau.h"
#include "engine/core/panic.h"
#include "engine/core/verify.h"
#include "engine/policy/adaptive.h"

namespace nodeweave {

// Slots are 32-bit, so a state holds at most MAX_QUBITS qubits.
inline constexpr std::size_t MAX_QUBITS = UINT32_MAX;

struct State {
    BySlot<Node> nodes;
    Permutation permutation;                  // qubit <-> slot; not kept while slot q holds qubit q
    std::vector<Block> blocks;                // by id; a block without members holds no memory
    std::vector<std::uint16_t> free_blocks;   // ids of empty blocks; room for blocks.size() entries
    std::vector<Tableau> tableaux;            // by id, likewise
    std::vector<std::uint16_t> free_tableaux; // likewise
    TableauWatch watch;                       // when to enter a tableau (engine/policy/adaptive.h)
    Deferrals deferrals;                      // controlled Paulis held back (engine/deferral/deferral.h)

    std::size_t size() const noexcept { return nodes.size(); }

    // Throws Panic("index out of bounds: ...") unless q < size().
    void check(Qubit q) const {
        if (index_of(q) >= nodes.size()) [[unlikely]] throw_index_out_of_bounds(nodes.size(), index_of(q));
    }
    // The one place where qubits and slots convert into each other.
    Slot slot(Qubit q) const {
        check(q);
        return permutation.kept() ? permutation.slot(index_of(q)) : Slot(index_of(q));
    }
    Qubit qubit(Slot s) const noexcept {
        return Qubit(permutation.kept() ? permutation.qubit(s) : index_of(s));
    }
    Node& node(Qubit q) { return nodes[slot(q)]; }
    const Node& node(Qubit q) const { return nodes[slot(q)]; }
};

// n qubits in |0>: no edges, VOP H everywhere. Throws Panic("capacity overflow") when the record
// array's byte size cannot be represented, std::bad_alloc when memory is short or n exceeds
// MAX_QUBITS.
State make_state(std::size_t qubit_amount);

// A deep copy that shares nothing with `state`.
State copy_state(const State& state);

// Applies the single-qubit gate g (a VOP) to qubit q: vop <- g * vop.
inline void apply_gate(State& state, Qubit q, vop_t g) {
    Node& node = state.node(q);
    node.vop = VOP_PRODUCT[g][node.vop];
    const auto qubit = static_cast<std::uint32_t>(index_of(q));
    if (state.deferrals.touched(qubit)) [[unlikely]] conjugate_terms(state.deferrals, qubit, g);
    verify(state);
}

// Multiplies a vertex's VOP on the right by c: the correction c acts on the graph state before
// the VOP does.
inline void multiply_right(Node& node, vop_t c) noexcept { node.vop = VOP_PRODUCT[node.vop][c]; }

// From the first relabelling on, the qubit-slot permutation is kept explicitly. Throws
// std::bad_alloc with nothing changed.
void ensure_permutation(State& state);

// Exchanges the qubits living in slots a and b, their VOPs with them. The permutation exists.
void relabel(State& state, Slot a, Slot b) noexcept;

}  // namespace nodeweave
