#include "engine/gates/cz.h"

#include <memory_resource>
#include <vector>

#include "engine/graph/complementation.h"
#include "engine/gates/cz_lookup.h"
#include "engine/deferral/deferral.h"
#include "engine/graph/graph.h"
#include "engine/graph/star.h"
#include "engine/tableau/routing.h"
#include "engine/core/verify.h"

namespace nodeweave {

namespace {

// A VOP that keeps the Z axis is a diagonal one, times X when `carries_x`.
bool carries_x(vop_t v) { return keeps_z_axis(v) && !is_diagonal(v); }

// Rewrites the graph (keeping the state) until x's VOP keeps the Z axis, using `partner`, a light
// neighbour of x other than the gate's other operand, on which no rewrite is then centred.
void prepare_operand(State& state, Slot sx, Slot partner) {
    if (through_vop(AXIS_Z, state.nodes[sx].vop).axis == AXIS_Y) {
        // With a leaf w, complementing about w costs nothing and turns x's axis to X, and the
        // pivot with a leaf costs nothing either. Otherwise complement about x itself.
        if (degree(state, partner) != 1) {
            local_complement(state, sx);
            return;
        }
        local_complement(state, partner);
    }
    // Axis X: a pivot with a neighbour of low degree other than o.
    pivot(state, sx, partner);
}

// CZ on two operands whose VOPs both keep the Z axis: each VOP is taken out of the gate
// (CZ v_a = v_a CZ Z_b, with the Z only when v_a carries an X), which leaves the edge toggled.
void cz_on_z_axes(State& state, Slot sa, Slot sb) {
    Node& na = state.nodes[sa];
    Node& nb = state.nodes[sb];
    const vop_t va = na.vop, vb = nb.vop;
    toggle_edge(state, sa, sb);
    if (carries_x(vb)) multiply_right(na, VOP_Z);
    if (carries_x(va)) multiply_right(nb, VOP_Z);
}

}  // namespace

namespace {

// The star toggle when t and all its neighbours share c's block: c's row takes t's row (with t
// itself for Y, without c) in one XOR, and c's column follows bit by bit; no neighbour's record is
// read. Returns whether c was among t's neighbours. Throws std::bad_alloc (for the scratch row)
// before any change.
bool toggle_star_in_block(State& state, Slot c, Slot t, bool with_t) {
    Block& block = state.blocks[state.nodes[c].block];
    const std::uint32_t lc = state.nodes[c].local(), lt = state.nodes[t].local();
    const std::uint32_t words = block.words;
    std::byte buffer[512];
    std::pmr::monotonic_buffer_resource arena(buffer, sizeof buffer);
    std::pmr::vector<row_word> mask(block.row(lt), block.row(lt) + words, &arena);
    const bool c_among = test_bit(mask.data(), lc);
    clear_bit(mask.data(), lc);
    if (with_t) set_bit(mask.data(), lt);

    block.xor_row(lc, mask.data());
    for (std::uint32_t k : set_bits(mask.data(), words)) {
        block.flip(k, lc);
        if (block.test(k, lc)) {
            ++block.row_count[k];
        } else if (--block.row_count[k] == 0) {
            leave_block_if_unlinked(state, block.slot_at[k]);  // c is still a member: the block stays
        }
    }
    tidy(state, c);
    return c_among;
}

// CZ when the control c's VOP keeps the Z axis and the target t's does not. Taken through the
// VOPs, the gate is a controlled Pauli P = X or Y on t's bare graph state, with a sign; and
// X_t |G> = Z_N(t) |G>, Y_t |G> = -i Z_t Z_N(t) |G>. So the gate is a controlled product of Zs:
// the edges from c to N(t) (and to t for Y) toggle, and c's VOP takes the phase of the branch
// where c is |1> (a Z on c folds into it when c is among the Zs).
void controlled_pauli(State& state, Slot c, Slot t) {
    Node& nc = state.nodes[c];
    Node& nt = state.nodes[t];
    const vop_t target_vop = carries_x(nc.vop) ? VOP_PRODUCT[VOP_Z][nt.vop] : nt.vop;
    const GraphAxis p = through_vop(AXIS_Z, target_vop);
    const bool with_t = p.axis == AXIS_Y;
    // The phase as a power of i: the sign of P, -i for Y, and -1 when c is one of the Zs.
    unsigned quarter_turns = 2u * p.negated + (with_t ? 3u : 0u);

    if (same_block(state, c, t) && nt.list.empty()) {
        const std::uint16_t id = nc.block;
        if (toggle_star_in_block(state, c, t, with_t)) quarter_turns += 2;
        release_if_thin(state, id, state.blocks[id].words);
    } else {
        std::byte buffer[1024];
        std::pmr::monotonic_buffer_resource arena(buffer, sizeof buffer);
        std::pmr::vector<Slot> zs(&arena);
        zs.reserve(degree(state, t) + 1);
        for_each_neighbour(state, t, [&](Slot y) {
            if (y == c) {
                quarter_turns += 2;
            } else {
                zs.push_back(y);
            }
        });
        if (with_t) zs.push_back(t);
        toggle_star(state, c, zs);
    }
    nt.vop = target_vop;
    multiply_right(nc, PHASE_VOP[quarter_turns % 4]);
}

// A leaf among the last RECENT_SCAN list neighbours of t (other than c), or NO_SLOT.
Slot recent_leaf(const State& state, Slot t, Slot c) {
    const NeighbourList& list = state.nodes[t].list;
    const std::uint32_t last = list.size() < RECENT_SCAN ? 0 : list.size() - RECENT_SCAN;
    for (std::uint32_t i = list.size(); i-- > last;) {
        if (list[i] != c && degree(state, list[i]) == 1) return list[i];
    }
    return NO_SLOT;
}

// The partner to bring the target t onto the Z axis with, when that costs less than toggling t's
// neighbourhood to the control c: a leaf neighbour to pivot with (in a larger neighbourhood a
// recent one first, which in error-correction circuits is a fresh ancilla; measured on the QEC
// benchmarks, that order is the cheaper one), or any neighbour when the neighbourhood is too large
// a star (toggling it also leaves c with that many edges, which later gates pay for again). NO_SLOT
// otherwise.
Slot cheaper_preparation(const State& state, Slot t, Slot c) {
    const std::uint32_t d = degree(state, t);
    if (d <= 2) return NO_SLOT;
    if (look_for_recent_leaf(d)) {
        if (const Slot leaf = recent_leaf(state, t, c); leaf != NO_SLOT) return leaf;
    }
    const Slot partner = light_neighbour(state, t, c);
    const bool cheaper = partner != NO_SLOT && prepare_through(d, degree(state, partner));
    return cheaper ? partner : NO_SLOT;
}

// CZ on two operands neither of which has a neighbour besides the other: the table is exact.
void cz_by_table(State& state, Slot sa, Slot sb) {
    Node& na = state.nodes[sa];
    Node& nb = state.nodes[sb];
    const bool edge = has_edge(state, sa, sb);
    const CzEntry entry = CZ_LOOKUP[edge][na.vop][nb.vop];
    if (entry.edge != edge) toggle_edge(state, sa, sb);
    na.vop = entry.first;
    nb.vop = entry.second;
}

// CZ on two operands in graph form, qubits a and b in slots sa and sb. When `may_enter` and the
// gate would work on a dense component, that component may move into a tableau and the gate be
// made there instead.
void cz_in_graph_form(State& state, Qubit a, Qubit b, Slot sa, Slot sb, bool may_enter) {
    const bool a_reducible = has_neighbour_besides(state, sa, sb);
    const bool b_reducible = has_neighbour_besides(state, sb, sa);
    if (!a_reducible && !b_reducible) {
        cz_by_table(state, sa, sb);
        verify(state);
        return;
    }
    bool a_on_z = keeps_z_axis(state.nodes[sa].vop);
    bool b_on_z = keeps_z_axis(state.nodes[sb].vop);
    // An operand to bring onto the Z axis: the lighter one when neither is there, the target of a
    // controlled Pauli when that is cheaper.
    Slot prepared = NO_SLOT, partner = NO_SLOT;
    if (!a_on_z && !b_on_z) {
        const bool first = a_reducible && (!b_reducible || degree(state, sa) <= degree(state, sb));
        prepared = first ? sa : sb;
        partner = light_neighbour(state, prepared, first ? sb : sa);
    } else if (a_on_z != b_on_z) {
        prepared = a_on_z ? sb : sa;
        partner = cheaper_preparation(state, prepared, a_on_z ? sa : sb);
    }
    // Whatever follows costs about the degree of the operand off the Z axis. Should the other
    // operand's component not fit into the new tableau, both are back in graph form (as another
    // graph of the same state) and the gate is made there.
    if (may_enter && prepared != NO_SLOT && consider_tableau(state, prepared, degree(state, prepared))) {
        if (!cz_in_tableau(state, sa, sb)) cz_in_graph_form(state, a, b, state.slot(a), state.slot(b), false);
        return;
    }
    if (partner != NO_SLOT) {
        prepare_operand(state, prepared, partner);
        sa = state.slot(a);
        sb = state.slot(b);
        a_on_z = keeps_z_axis(state.nodes[sa].vop);
        b_on_z = keeps_z_axis(state.nodes[sb].vop);
    }
    if (a_on_z && b_on_z) {
        cz_on_z_axes(state, sa, sb);
    } else if (a_on_z) {
        controlled_pauli(state, sa, sb);
    } else {
        controlled_pauli(state, sb, sa);
    }
    verify(state);
}

}  // namespace

void cz_in_graph_or_tableau(State& state, Qubit a, Qubit b, Slot sa, Slot sb) {
    if ((state.nodes[sa].in_tableau() || state.nodes[sb].in_tableau()) && cz_in_tableau(state, sa, sb)) return;
    cz_in_graph_form(state, a, b, sa, sb, true);
}

// The route of a CZ while deferrals live or one may begin: the deferral layer plans it (settling
// first what the gate would break), and the gate goes into an R, or through the graph or tableau
// form and then past the Rs that hold an operand.
void cz_among_deferrals(State& state, Qubit a, Qubit b) {
    const CzPlan plan = plan_cz(state, a, b);
    if (plan.route == CzPlan::Route::into_r) {
        cz_into_r(state, plan);
    } else {
        reserve_passing(state, a, b);
        cz_in_graph_or_tableau(state, a, b, state.slot(a), state.slot(b));
        pass_cz(state, a, b);
    }
    verify(state);
}

void cz(State& state, Qubit a, Qubit b) {
    const Slot sa = state.slot(a), sb = state.slot(b);  // checks a, then b
    if (state.deferrals.live != 0 || worth_deferring(state, sa, sb)) [[unlikely]] {
        cz_among_deferrals(state, a, b);
        return;
    }
    cz_in_graph_or_tableau(state, a, b, sa, sb);
}

}  // namespace nodeweave
