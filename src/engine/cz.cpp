#include "engine/cz.h"

#include "engine/complementation.h"
#include "engine/cz_lookup.h"
#include "engine/graph.h"

namespace nodeweave {

namespace {

// A VOP that keeps the Z axis is a diagonal one, times X when `carries_x`.
bool carries_x(vop_t v) { return keeps_z_axis(v) && !is_diagonal(v); }

// When x has a neighbour besides o, rewrites the graph (keeping the state) until x's VOP keeps the
// Z axis. No rewrite is centred on o, so o's VOP only ever takes S or Z on the right, which keep
// its Z axis.
void prepare_operand(State& state, qubit_t x, qubit_t o) {
    const slot_t sx = state.slot(x);
    const slot_t so = state.slot(o);
    if (keeps_z_axis(state.nodes[sx].vop) || !has_neighbour_besides(state, sx, so)) return;
    const slot_t partner = light_neighbour(state, sx, so);
    if (through_vop(AXIS_Z, state.nodes[sx].vop).axis == AXIS_Y) {
        // With a leaf w, complementing about w costs nothing and turns x's axis to X, and the
        // pivot with a leaf costs nothing either. Otherwise complement about x itself.
        if (degree(state, partner) != 1) {
            local_complement(state, sx);
            return;
        }
        const qubit_t leaf = state.qubit(partner);
        local_complement(state, partner);
        pivot(state, x, leaf);
        return;
    }
    // Axis X: a pivot with a neighbour of low degree other than o.
    pivot(state, x, state.qubit(partner));
}

// CZ once each operand either has no neighbour besides the other or keeps the Z axis. A VOP that
// keeps the Z axis is taken out of the gate (CZ v_a = v_a CZ Z_b, with the Z only when v_a
// carries an X), which leaves the table's case of a diagonal first operand.
void apply_prepared(State& state, qubit_t a, qubit_t b) {
    const slot_t sa = state.slot(a);
    const slot_t sb = state.slot(b);
    Node& na = state.nodes[sa];
    Node& nb = state.nodes[sb];
    const bool edge = has_edge(state, sa, sb);
    const bool a_alone = degree(state, sa) == std::uint32_t{edge};
    const bool b_alone = degree(state, sb) == std::uint32_t{edge};
    const vop_t va = na.vop, vb = nb.vop;
    bool new_edge;
    vop_t new_a, new_b;
    if (a_alone && b_alone) {
        const CzEntry entry = CZ_LOOKUP[edge][va][vb];
        new_edge = entry.edge, new_a = entry.first, new_b = entry.second;
    } else if (b_alone) {
        const CzEntry entry = CZ_LOOKUP[edge][VOP_IDENTITY][carries_x(va) ? VOP_PRODUCT[VOP_Z][vb] : vb];
        new_edge = entry.edge, new_a = VOP_PRODUCT[va][entry.first], new_b = entry.second;
    } else if (a_alone) {
        const CzEntry entry = CZ_LOOKUP[edge][carries_x(vb) ? VOP_PRODUCT[VOP_Z][va] : va][VOP_IDENTITY];
        new_edge = entry.edge, new_a = entry.first, new_b = VOP_PRODUCT[vb][entry.second];
    } else {
        new_edge = !edge;
        new_a = carries_x(vb) ? VOP_PRODUCT[va][VOP_Z] : va;
        new_b = carries_x(va) ? VOP_PRODUCT[vb][VOP_Z] : vb;
    }
    if (new_edge && !edge) {
        reserve_edge(state, sa, sb);
        add_edge(state, sa, sb);
    } else if (!new_edge && edge) {
        remove_edge(state, sa, sb);
        na.compact_list();
        nb.compact_list();
        leave_block_if_unlinked(state, sa);
        leave_block_if_unlinked(state, sb);
    }
    na.vop = new_a;
    nb.vop = new_b;
}

}  // namespace

void cz(State& state, qubit_t a, qubit_t b) {
    state.check(a);
    state.check(b);
    // Preparing b can give a neighbours besides b, hence the second look at a; preparing a again
    // never spoils b.
    prepare_operand(state, a, b);
    prepare_operand(state, b, a);
    prepare_operand(state, a, b);
    apply_prepared(state, a, b);
    verify(state);
}

}  // namespace nodeweave
