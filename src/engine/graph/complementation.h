#pragma once
// The two rewrites that change the graph without changing the quantum state:
//
// - local complementation about x: every pair of x's neighbours has its edge toggled; x's VOP
//   takes sqrt(iX) on the right and each neighbour's takes S;
// - pivot about an edge p-r: LC(p) LC(r) LC(p). With A, B, C the neighbours of p only, of r only,
//   and of both, it toggles every pair between A, B and C and then exchanges the roles of p and r.
//   p's VOP takes 14·6·14, r's 6·14·6 and every vertex of A, B and C a Z; the Zs on one of A or B
//   and on C are the stabilizer of p or of r in the new graph and become one X and one Z on p and
//   r, so a pivot touches the VOPs of the smaller of A and B only.
//
// A pivot from a leaf toggles nothing: when the hub would have to hand over many neighbours, the
// two qubits exchange vertex records instead (see State), which costs O(1).
//
// Each rewrite is whole or nothing: all memory is found before the first change, and a
// std::bad_alloc leaves the state as it was (or, where a dense block had already been formed,
// holding the same quantum state).

#include "engine/core/state.h"

namespace nodeweave {

inline constexpr vop_t PIVOT_FIRST = VOP_PRODUCT[VOP_PRODUCT[VOP_SQRT_IX][VOP_S]][VOP_SQRT_IX];
inline constexpr vop_t PIVOT_SECOND = VOP_PRODUCT[VOP_PRODUCT[VOP_S][VOP_SQRT_IX]][VOP_S];

// Local complementation about the vertex in slot x, with its VOP corrections.
void local_complement(State& state, Slot x);

// Pivot about the edge between the vertices in slots u and v. Afterwards their two qubits may live
// in each other's slots.
void pivot(State& state, Slot u, Slot v);

// The VOP corrections of a pivot's two ends p and r: p takes 14·6·14, r 6·14·6, and the stabilizer
// of one end in the new graph, which stands in for the Zs that C and one of A or B take: of p
// (an X on p, a Z on r) when A keeps its Zs (`z_on_a`), otherwise of r.
void multiply_pivot_ends(Node& p, Node& r, bool z_on_a) noexcept;

}  // namespace nodeweave
