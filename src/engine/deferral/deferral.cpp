#include "engine/deferral/deferral.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/id_pool.h"
#include "engine/graph/star.h"

namespace nodeweave {

namespace {

std::uint32_t qubit_index(Qubit q) noexcept { return static_cast<std::uint32_t>(index_of(q)); }

constexpr PauliBits PAULI_Z{0, 1};

// ---- bookkeeping (each step reserves first, so that its changes cannot fail) ----------------

// Capacity for at least `size` elements, grown geometrically: records and free lists grow one
// element at a time. Throws std::bad_alloc with v unchanged.
template <class T>
void ensure_capacity(std::vector<T>& v, std::size_t size) {
    if (v.capacity() < size) v.reserve(std::max<std::size_t>({size, 2 * v.capacity(), 4}));
}

// The per-qubit tables, made at the first deferral. Throws std::bad_alloc with nothing changed.
void ensure_tables(Deferrals& d, std::size_t qubits) {
    if (!d.control_of.empty() || qubits == 0) return;
    std::vector<std::uint32_t> control_of(qubits, Deferrals::NONE), touch_head(qubits, Deferrals::NONE);
    std::vector<Deferrals::Marks> marks(qubits, 0);
    d.control_of.swap(control_of);
    d.touch_head.swap(touch_head);
    d.marks.swap(marks);
}

// Room for `count` more touch-list entries. Throws std::bad_alloc (with room made, which means
// nothing).
void reserve_touches(Deferrals& d, std::size_t count) {
    while (d.free_links.size() < count) {
        ensure_capacity(d.free_links, d.touch_links.size() + 1);
        d.touch_links.push_back({0, Deferrals::NONE});
        d.free_links.push_back(static_cast<std::uint32_t>(d.touch_links.size() - 1));
    }
}

// Room for `id` to gain one more term.
void reserve_term(Deferrals& d, std::uint32_t id) {
    Deferral& deferral = d.by_id[id];
    ensure_capacity(deferral.terms, deferral.terms.size() + 1);
}

// A new entry for deferral `id` at the head of qubit's touch list, holding the term p; returns it.
std::uint32_t add_touch(Deferrals& d, std::uint32_t id, std::uint32_t qubit, PauliBits p) noexcept {
    const std::uint32_t link = d.free_links.back();
    d.free_links.pop_back();
    d.touch_links[link] = {id, d.touch_head[qubit], p, 0};
    d.touch_head[qubit] = link;
    return link;
}

// Takes the entry `link` out of qubit's touch list; returns the phase it held.
unsigned forget_touch(Deferrals& d, std::uint32_t qubit, std::uint32_t link) noexcept {
    std::uint32_t* at = &d.touch_head[qubit];
    while (*at != link) at = &d.touch_links[*at].next;
    *at = d.touch_links[link].next;
    d.free_links.push_back(link);
    return d.touch_links[link].turns;
}

// Gives deferral `id` the term p on `qubit`, where it has none, with room reserved.
void add_term(Deferrals& d, std::uint32_t id, std::uint32_t qubit, PauliBits p) noexcept {
    d.by_id[id].terms.push_back({qubit, add_touch(d, id, qubit, p)});
}

void erase_term(Deferrals& d, std::uint32_t id, DeferredTerm* term) noexcept {
    Deferral& deferral = d.by_id[id];
    deferral.turns += forget_touch(d, term->qubit, term->link);
    *term = deferral.terms.back();
    deferral.terms.pop_back();
}

// R <- p_qubit * R, with room reserved.
void multiply_term(Deferrals& d, std::uint32_t id, std::uint32_t qubit, PauliBits p) noexcept {
    Deferral& deferral = d.by_id[id];
    if (DeferredTerm* term = term_on(deferral, qubit)) {
        PauliBits& pauli = d.touch_links[term->link].pauli;
        pauli = multiply(p, pauli, deferral.turns);
        if (pauli.identity()) erase_term(d, id, term);
    } else {
        add_term(d, id, qubit, p);
    }
}

// Replaces the term on `qubit` by p (the identity removes it), with room reserved.
void set_term(Deferrals& d, std::uint32_t id, std::uint32_t qubit, PauliBits p) noexcept {
    Deferral& deferral = d.by_id[id];
    DeferredTerm* term = term_on(deferral, qubit);
    if (term != nullptr && !p.identity()) {
        d.touch_links[term->link].pauli = p;
    } else if (term != nullptr) {
        erase_term(d, id, term);
    } else if (!p.identity()) {
        add_term(d, id, qubit, p);
    }
}

PauliBits pauli_on(const Deferrals& d, std::uint32_t id, std::uint32_t qubit) noexcept {
    const DeferredTerm* term = term_on(d.by_id[id], qubit);
    return term ? d.pauli_of(*term) : PauliBits{};
}

// Removes `id`, which is there, from a deferral's links (their order does not matter).
void unlink(std::vector<std::uint32_t>& linked, std::uint32_t id) noexcept {
    *std::find(linked.begin(), linked.end(), id) = linked.back();
    linked.pop_back();
}

// Adds or removes the CZ between the controls of a and b, with room reserved.
void toggle_link(Deferrals& d, std::uint32_t a, std::uint32_t b) noexcept {
    std::vector<std::uint32_t>& la = d.by_id[a].linked;
    std::vector<std::uint32_t>& lb = d.by_id[b].linked;
    if (std::find(la.begin(), la.end(), b) == la.end()) {
        la.push_back(b);
        lb.push_back(a);
        return;
    }
    unlink(la, b);
    unlink(lb, a);
}

// Toggles the links between `id` and each deferral in d.odd. Throws std::bad_alloc with nothing
// changed.
void toggle_odd_links(Deferrals& d, std::uint32_t id) {
    if (d.odd.empty()) return;
    ensure_capacity(d.by_id[id].linked, d.by_id[id].linked.size() + d.odd.size());
    for (std::uint32_t other : d.odd) ensure_capacity(d.by_id[other].linked, d.by_id[other].linked.size() + 1);
    for (std::uint32_t other : d.odd) toggle_link(d, id, other);
}

// A free id with its record ready (not yet live). Throws std::bad_alloc with nothing changed.
std::uint32_t take_free_id(Deferrals& d) { return next_free_id(d.by_id, d.free_ids, Deferrals::NONE); }

// Makes the free id taken last a live deferral of `control`, next to the graph.
void make_live(Deferrals& d, std::uint32_t id, std::uint32_t control) noexcept {
    take_id(d.free_ids);
    d.control_of[control] = id;
    Deferral& deferral = d.by_id[id];
    deferral.control = control;
    deferral.order = --d.oldest;
    deferral.turns = 0;
    ++d.live;
}

// Retires a deferral whose R has been applied and whose links are gone.
void retire(Deferrals& d, std::uint32_t id) noexcept {
    Deferral& deferral = d.by_id[id];
    for (const DeferredTerm& term : deferral.terms) forget_touch(d, term.qubit, term.link);
    deferral.terms.clear();
    d.control_of[deferral.control] = Deferrals::NONE;
    deferral.control = Deferral::NO_CONTROL;
    d.free_ids.push_back(id);
    --d.live;
}

// Counts in d.met (pairs: id, parity) each deferral other than `id`, older than it (`older`) or
// newer, whose term on `qubit` anticommutes with p. Throws std::bad_alloc, changing only d.met.
void meet_anticommuting(Deferrals& d, std::uint32_t id, std::uint32_t qubit, PauliBits p, bool older) {
    const std::int64_t order = d.by_id[id].order;
    d.for_each_touch(qubit, [&](const TouchLink& entry) {
        const std::uint32_t other = entry.id;
        if (other == id || !anticommute(p, entry.pauli)) return;
        if ((d.by_id[other].order < order) != older) return;
        for (std::size_t i = 0; i < d.met.size(); i += 2) {
            if (d.met[i] == other) {
                d.met[i + 1] ^= 1;
                return;
            }
        }
        d.met.push_back(other);
        d.met.push_back(1);
    });
}

// d.odd <- the deferrals met an odd number of times; d.met is emptied.
void collect_odd(Deferrals& d) {
    d.odd.clear();
    d.odd.reserve(d.met.size() / 2);
    for (std::size_t i = 0; i < d.met.size(); i += 2) {
        if (d.met[i + 1]) d.odd.push_back(d.met[i]);
    }
    d.met.clear();
}

// ---- gates --------------------------------------------------------------------------------

// The CZ between control c (its VOP keeps the Z axis) and the qubit o. Seen below c's VOP it is
// C_c(Z_o), times a Z on o when the VOP turns Z into -Z. C_c(Z_o) enters on the left and moves to
// c's place, past the newer deferrals: one whose R anticommutes with Z_o there leaves a link.
// Throws std::bad_alloc with nothing changed.
void controlled_z_from(State& state, std::uint32_t id, Qubit c, Qubit o) {
    Deferrals& d = state.deferrals;
    const std::uint32_t oq = qubit_index(o);
    d.met.clear();
    meet_anticommuting(d, id, oq, PAULI_Z, false);
    collect_odd(d);
    reserve_term(d, id);
    reserve_touches(d, 1);
    toggle_odd_links(d, id);
    multiply_term(d, id, oq, PAULI_Z);
    if (through_vop(AXIS_Z, state.node(c).vop).negated) apply_gate(state, o, VOP_Z);
}

// Makes c (VOP keeping the Z axis, at most DEFER_CONTROL_EDGES edges, all in lists, in no R) a
// deferral: its edges are the controlled-Zs of a deferral next to the graph, R the product of the
// Zs of its neighbours, each seen through that neighbour's VOP. Throws std::bad_alloc with nothing
// changed.
std::uint32_t defer(State& state, Qubit c) {
    Deferrals& d = state.deferrals;
    const Slot sc = state.slot(c);
    ensure_tables(d, state.size());
    const std::uint32_t id = take_free_id(d);
    const NeighbourList& list = state.nodes[sc].list;
    Slot neighbours[DEFER_CONTROL_EDGES];
    const std::uint32_t count = list.size();
    std::copy(list.begin(), list.end(), neighbours);
    d.by_id[id].terms.reserve(count);
    reserve_touches(d, count);
    make_live(d, id, qubit_index(c));
    Deferral& deferral = d.by_id[id];
    for (std::uint32_t i = 0; i < count; ++i) {
        const Slot t = neighbours[i];
        const vop_t v = state.nodes[t].vop;
        deferral.turns += 2u * CONJUGATED_SIGN[AXIS_Z][v];
        const std::uint32_t tq = qubit_index(state.qubit(t));
        add_term(d, id, tq, bits_of(CONJUGATED_AXIS[AXIS_Z][v]));
        remove_edge(state, sc, t);
        tidy(state, t);
    }
    tidy(state, sc);
    return id;
}

// Flips, once each, the bits of the XOR of the rows of the X-part members in the dense block of
// x_part[first] (the first member there): a row XOR of a few words instead of one flip per edge.
// Returns the edges among those members, each counted from both of its ends.
template <class Flip>
std::uint64_t flip_block_rows(const State& state, Deferrals& d, std::size_t first, Flip&& flip) {
    const std::uint16_t id = state.nodes[d.x_part[first]].block;
    const Block& block = state.blocks[id];
    row_word* const sum = d.row_sum.data();
    std::fill(sum, sum + block.words, row_word{0});
    auto in_this_block = [&](Slot v) { return state.nodes[v].in_block() && state.nodes[v].block == id; };
    std::uint64_t inner = 0;
    for (std::size_t j = first; j < d.x_part.size(); ++j) {
        if (!in_this_block(d.x_part[j])) continue;
        const std::uint32_t local = state.nodes[d.x_part[j]].local();
        const row_word* row = block.row(local);
        for (std::uint32_t w = 0; w < block.words; ++w) sum[w] ^= row[w];
        for (std::size_t k = first; k < d.x_part.size(); ++k) {
            inner += k != j && in_this_block(d.x_part[k]) && block.test(local, state.nodes[d.x_part[k]].local());
        }
    }
    for (std::uint32_t local : set_bits(sum, block.words)) flip(block.slot_at[local]);
    return inner;
}

// Whether x_part[i] is in a dense block that no earlier X-part member is in.
bool first_in_its_block(const State& state, const std::vector<Slot>& x_part, std::size_t i) {
    const Node& node = state.nodes[x_part[i]];
    if (!node.in_block()) return false;
    for (std::size_t k = 0; k < i; ++k) {
        const Node& earlier = state.nodes[x_part[k]];
        if (earlier.in_block() && earlier.block == node.block) return false;
    }
    return true;
}

// Settling: C_c(R) |+>_c |G> = diag(1, mu)_c CZ(c, T) |+>_c |G>. With R below the VOPs
// i^turns X_S Z_Z (S the qubits where R has an X part, Z those with a Z part), multiplying R|G> by
// the stabilisers K_v = X_v Z_N(v) of S leaves a product of Zs: T = Z + the sum of N(v) over S
// (mod 2), and mu = i^(turns + 3 #Y) (-1)^(edges within S). For a stabiliser of the state T is
// empty: the control comes out unentangled, as the ancilla of a certain measurement does.
// star_of computes T into d.ends and returns mu's quarter turns. Throws std::bad_alloc with
// nothing changed.
unsigned star_of(State& state, std::uint32_t id) {
    Deferrals& d = state.deferrals;
    const Deferral& deferral = d.by_id[id];
    unsigned turns = deferral.turns;
    d.x_part.clear();
    d.z_part.clear();
    d.ends.clear();
    std::size_t reach = deferral.terms.size();
    std::uint32_t row_words = 0;
    for (const DeferredTerm& term : deferral.terms) {
        const Slot t = state.slot(Qubit(term.qubit));
        const TouchLink& entry = d.touch_links[term.link];
        const Node& node = state.nodes[t];
        const GraphAxis bare = through_vop(axis_of(entry.pauli), node.vop);
        turns += entry.turns;
        turns += 2u * bare.negated + (bare.axis == AXIS_Y ? 3u : 0u);
        const PauliBits bits = bits_of(bare.axis);
        if (bits.x) {
            d.x_part.push_back(t);
            reach += degree(state, t);
            if (node.in_block()) row_words = std::max(row_words, state.blocks[node.block].words);
        }
        if (bits.z) d.z_part.push_back(t);
    }
    d.flipped.resize(reach);
    d.ends.reserve(reach);
    d.row_sum.resize(row_words);
    // From here on nothing allocates until the marks are cleared. The marks live in a byte per
    // slot of their own, and the walk runs without a branch.
    using Marks = Deferrals::Marks;
    Marks* const marks = d.marks.data();
    Slot* const flipped = d.flipped.data();
    std::size_t count = 0;
    auto flip = [&](Slot y) {
        const Marks m = marks[index_of(y)];
        flipped[count] = y;
        count += !(m & Deferrals::SEEN);
        marks[index_of(y)] = (m ^ Deferrals::PARITY) | Deferrals::SEEN;
        return m;
    };
    for (Slot t : d.z_part) flip(t);
    for (Slot v : d.x_part) marks[index_of(v)] |= Deferrals::IN_X;
    std::uint64_t inner = 0;
    for (Slot v : d.x_part) {
        for (Slot y : state.nodes[v].list) inner += flip(y) & Deferrals::IN_X;
    }
    for (std::size_t i = 0; i < d.x_part.size(); ++i) {
        if (first_in_its_block(state, d.x_part, i)) inner += flip_block_rows(state, d, i, flip);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const Slot y = flipped[i];
        if (marks[index_of(y)] & Deferrals::PARITY) d.ends.push_back(y);
        marks[index_of(y)] = 0;
    }
    for (Slot v : d.x_part) marks[index_of(v)] = 0;
    // Each edge within S was counted from both of its ends.
    return turns + 2u * static_cast<unsigned>((inner / 2) & 1);
}

enum class Why { control_measured, too_soon, query };

void settle(State& state, std::uint32_t id, Why why) {
    Deferrals& d = state.deferrals;
    // Move C_c(R) next to the graph, past the older deferrals, leaving links where Rs anticommute.
    d.met.clear();
    for (const DeferredTerm& term : d.by_id[id].terms) meet_anticommuting(d, id, term.qubit, d.pauli_of(term), true);
    collect_odd(d);
    toggle_odd_links(d, id);
    d.by_id[id].order = --d.oldest;

    const Qubit c = Qubit(d.by_id[id].control);
    const unsigned turns = star_of(state, id);
    // Each link becomes a Z on c in the other deferral's R.
    for (std::uint32_t other : d.by_id[id].linked) reserve_term(d, other);
    reserve_touches(d, d.by_id[id].linked.size());
    const Slot sc = state.slot(c);
    toggle_star(state, sc, d.ends);  // the last step that can fail

    Node& node = state.nodes[sc];
    multiply_right(node, PHASE_VOP[turns & 3]);
    const PauliBits z_seen = bits_of(CONJUGATED_AXIS[AXIS_Z][node.vop]);
    const unsigned z_sign = 2u * CONJUGATED_SIGN[AXIS_Z][node.vop];
    Deferral& deferral = d.by_id[id];
    const std::uint32_t control = deferral.control;
    retire(d, id);
    for (std::uint32_t other : deferral.linked) {
        unlink(d.by_id[other].linked, id);
        d.by_id[other].turns += z_sign;
        multiply_term(d, other, control, z_seen);
    }
    deferral.linked.clear();
    if (why == Why::control_measured) d.trials.settled_when_measured(d.ends.empty());
    if (why == Why::too_soon) d.trials.settled_too_soon();
}

void settle_if_large(State& state, std::uint32_t id) noexcept {
    if (!settle_early(state.deferrals.by_id[id].terms.size())) return;
    try {
        settle(state, id, Why::too_soon);
    } catch (const std::bad_alloc&) {
        // The gate is made; the deferral merely stays large.
    }
}

}  // namespace

void conjugate_terms(Deferrals& deferrals, std::uint32_t qubit, vop_t g) noexcept {
    deferrals.for_each_touch(qubit, [&](TouchLink& entry) {
        unsigned turns = entry.turns;
        entry.pauli = conjugate(entry.pauli, g, turns);
        entry.turns = static_cast<std::uint8_t>(turns & 3);
    });
}

CzPlan plan_cz(State& state, Qubit a, Qubit b) {
    Deferrals& d = state.deferrals;
    std::uint32_t ca = d.control_id(qubit_index(a)), cb = d.control_id(qubit_index(b));
    if (ca != Deferrals::NONE && cb != Deferrals::NONE) {
        settle(state, cb, Why::too_soon);
        cb = Deferrals::NONE;
    }
    if (ca != Deferrals::NONE || cb != Deferrals::NONE) {
        const bool a_controls = ca != Deferrals::NONE;
        const CzPlan plan{CzPlan::Route::into_r, false, a_controls ? ca : cb, a_controls ? a : b, a_controls ? b : a};
        if (extend_r(state.node(plan.control), state.node(plan.other))) return plan;
        settle(state, plan.id, Why::too_soon);
    }
    const Slot sa = state.slot(a), sb = state.slot(b);
    if (worth_deferring(state, sa, sb)) {
        const bool a_controls = keeps_z_axis(state.nodes[sa].vop);
        const Qubit c = a_controls ? a : b;
        if (admit_trial(d.trials, qubit_index(c)) && !d.touched(qubit_index(c))) {
            return CzPlan{CzPlan::Route::into_r, true, 0, c, a_controls ? b : a};
        }
    }
    return CzPlan{};
}

void cz_into_r(State& state, const CzPlan& plan) {
    const std::uint32_t id = plan.begins ? defer(state, plan.control) : plan.id;
    controlled_z_from(state, id, plan.control, plan.other);
    settle_if_large(state, id);
}

void reserve_passing(State& state, Qubit a, Qubit b) {
    Deferrals& d = state.deferrals;
    std::vector<std::uint32_t>& ids = d.passing;
    ids.clear();
    const std::uint32_t qa = qubit_index(a), qb = qubit_index(b);
    if (!d.touched(qa) && !d.touched(qb)) return;
    d.for_each_touching(qa, [&](std::uint32_t id) { ids.push_back(id); });
    d.for_each_touching(qb, [&](std::uint32_t id) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    });
    for (std::uint32_t id : ids) reserve_term(d, id);
    reserve_touches(d, ids.size());
}

void pass_cz(State& state, Qubit a, Qubit b) {
    Deferrals& d = state.deferrals;
    const std::uint32_t qa = qubit_index(a), qb = qubit_index(b);
    for (std::uint32_t id : d.passing) {
        PauliBits pa = pauli_on(d, id, qa), pb = pauli_on(d, id, qb);
        conjugate_by_cz(pa, pb, d.by_id[id].turns);
        set_term(d, id, qa, pa);
        set_term(d, id, qb, pb);
    }
    if (d.trials.tableau_waits) {
        d.trials.tableau_waits = false;
        try {
            settle_for_reading(state);
        } catch (const std::bad_alloc&) {
            // The gate is made; the component waits for another look.
        }
    }
}

void settle_for_measurement(State& state, Qubit q, axis_t axis) {
    Deferrals& d = state.deferrals;
    const std::uint32_t qubit = qubit_index(q);
    if (const std::uint32_t id = d.control_id(qubit); id != Deferrals::NONE) settle(state, id, Why::control_measured);
    if (!d.touched(qubit)) return;
    const PauliBits measured = bits_of(axis);
    std::vector<std::uint32_t> ids;
    d.for_each_touch(qubit, [&](const TouchLink& entry) {
        if (anticommute(measured, entry.pauli)) ids.push_back(entry.id);
    });
    // Settling one deferral gives others terms only on its own control, so these stay as found.
    for (std::uint32_t id : ids) settle(state, id, Why::too_soon);
    verify(state);
}

void settle_for_reading(State& state) {
    Deferrals& d = state.deferrals;
    for (std::uint32_t id = 0; d.live != 0 && id < d.by_id.size(); ++id) {
        if (d.by_id[id].control != Deferral::NO_CONTROL) settle(state, id, Why::query);
    }
    verify(state);
}

}  // namespace nodeweave
