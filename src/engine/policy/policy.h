#pragma once
// Every rule that moves part of the state from one form to another, one predicate per move; the
// table in engine/README.md says who asks each one and which function then converts. The numbers
// they compare against are in thresholds.h, what they learn from the circuit in adaptive.h. None
// of them changes a result, only the cost of getting it. The hot ones are inline.

#include <algorithm>
#include <cstdint>

#include "engine/core/state.h"
#include "engine/policy/adaptive.h"
#include "engine/policy/thresholds.h"

namespace nodeweave {

// ---- lists and blocks ----------------------------------------------------------------------------

// A neighbour list at least this long gets a position index on its first look-up.
inline std::uint32_t index_lists_from() noexcept { return thresholds.index_min; }

// Whether a complementation or pivot toggling `pairs` vertex pairs among `total` vertices works on
// bit rows, instead of toggling list entries one by one: the pairs are many, and either dense (an
// eighth of all pairs among them) or among vertices at least half of which share one block
// already (`in_one_block()`, asked last), where rows cost little new memory and a row XOR beats
// look-ups (the 2D cluster measured in X/Y, whose frontier is dense: 1.7× slower without). A star
// toggle among vertices in lists (one hub and its many leaves, as when two GHZ-type states fuse)
// is neither: in a block it would hold total^2 / 8 bytes for total edges, long after the density
// is gone (a fusion network of 10^6 qubits at its threshold peaked at 90 to 1,400 B/qubit that
// way, 43 without).
template <class InOneBlock>
bool use_rows(std::uint64_t pairs, std::uint64_t total, InOneBlock&& in_one_block) {
    return pairs >= thresholds.row_pairs && (8 * pairs >= total * total || in_one_block());
}

// Whether a dense block with rows of `words` words, room for `capacity` members and `ends` edge
// ends goes back to lists. Lists hold up to 8 bytes an edge end with their room, the rows
// capacity * words * 8 bytes: the block goes when its lists would take at most half of that
// (average degree at most capacity / 128), and when its rows are at least release_words long
// (a smaller block holds too little to matter). A star of 2,000 left in a block by two
// complementations about its hub held 549 KB there and holds 8 KB in lists. A block only forms
// for dense pairs (use_rows), so a release is paid for by the row work that formed it.
inline bool release_rows(std::uint64_t ends, std::uint32_t capacity, std::uint32_t words) noexcept {
    return words >= thresholds.release_words && 2 * ends <= std::uint64_t{capacity} * words;
}

// Whether a star toggle from c, whose list holds `listed` entries, onto `star` vertices looks each
// edge up (through the shorter list or c's position index) instead of marking c's whole list:
// when c is a hub and the star small. Marking a hub of 24,000 neighbours for each fusion into a
// growing GHZ state made a chain of 10^5 fusions quadratic (158 s; 3 s looking up).
inline bool star_by_look_ups(std::uint32_t listed, std::size_t star) noexcept {
    return listed > 4 * star + NeighbourList::INLINE_CAPACITY;
}

// Whether a pivot whose two ends would hand each other `moving` list entries swaps the two qubits'
// vertex records instead (once one swap was made, the permutation exists and swaps cost nothing).
inline bool swap_records(const State& state, std::uint64_t moving) noexcept {
    return state.permutation.kept() || moving > thresholds.relabel_min;
}

// ---- preparing a controlled-Z target -------------------------------------------------------------

// Whether a target of degree d off the Z axis looks among its last list entries for a leaf to
// pivot with first (a fresh ancilla, in error-correction circuits: measured, the cheaper order).
inline bool look_for_recent_leaf(std::uint32_t d) noexcept { return d > PARTNER_SCAN && d <= thresholds.star_max; }

// Whether a target of degree d is brought onto the Z axis through a neighbour of degree
// `partner_degree` instead of having its neighbourhood toggled to the control: a leaf costs
// nothing, and too large a star would leave the control with as many edges.
inline bool prepare_through(std::uint32_t d, std::uint32_t partner_degree) noexcept {
    return partner_degree == 1 || d > thresholds.star_max;
}

// ---- held-back controlled-Zs ---------------------------------------------------------------------

// Whether a CZ whose operands' records are `control` (keeping the Z axis) and `target` (off it)
// qualifies to be held back: the control has at most DEFER_CONTROL_EDGES edges, all in lists, the
// target is in graph form and has at least defer_min neighbours (`target_degree()`, asked last),
// and no tableau lives: an R must never reach into one, whose members' edges are not in the graph.
template <class Degree>
bool defer_candidate(const State& state, const Node& control, const Node& target, Degree&& target_degree) {
    return control.member == 0 && control.list.size() <= DEFER_CONTROL_EDGES && !target.in_tableau() &&
           target_degree() >= thresholds.defer_min && state.free_tableaux.size() == state.tableaux.size();
}

// Whether a candidate with control qubit `control` becomes a deferral: always while deferrals pay,
// otherwise one trial in probe_gap with a lately measured control (an ancilla at work again).
inline bool admit_trial(DeferralTrials& trials, std::uint32_t control) noexcept {
    return trials.score > 0 || thresholds.defer_min == 0 ||
           (trials.measured_lately(control) && ++trials.refused % trials.probe_gap == 0);
}

// Whether a CZ from the control of a live deferral onto `other` extends its R instead of settling
// it: the control still keeps the Z axis, and `other` is in graph form (a qubit held in a tableau
// has no edges in the graph to settle into).
inline bool extend_r(const Node& control, const Node& other) noexcept {
    return keeps_z_axis(control.vop) && !other.in_tableau();
}

// Whether an R of `terms` qubits settles at once rather than keep growing.
inline bool settle_early(std::size_t terms) noexcept { return terms > DEFER_MAX_TERMS; }

// ---- tableaux ------------------------------------------------------------------------------------

// The largest component held in a tableau.
inline std::uint32_t tableau_max() noexcept { return std::min(thresholds.tableau_max, TABLEAU_MAX); }

// Whether `joining` more qubits fit into a tableau holding `held`; if not, the tableau leaves.
inline bool fits_in_tableau(std::uint64_t held, std::uint64_t joining) noexcept {
    return held + joining <= tableau_max();
}

// Whether a component of m qubits whose degrees add up to `degrees` is dense enough for a tableau.
inline bool dense_enough(std::uint64_t degrees, std::uint64_t m) noexcept {
    return m >= std::max<std::uint32_t>(thresholds.tableau_min, 2) && degrees * thresholds.tableau_sparsity >= m * (m - 1);
}

// A trip of m qubits into a tableau and back (dominated by the elimination, O(m^3 / 64) word
// operations), in degrees of graph-form work on a dense component of that size (each costing
// O(m / 64) word operations): about m^2 / 16, as measured.
inline std::uint64_t trip_cost(std::uint64_t m) noexcept { return m * m / 16; }

// The graph-form work after which a dense component of m qubits enters a tableau.
inline std::uint64_t rent(const TableauWatch& watch, std::uint64_t m) noexcept {
    return (trip_cost(m) << watch.short_stays) * thresholds.tableau_patience;
}

// Counts the work of a graph-form preparation of a vertex of degree `degree`; whether enough has
// passed since the last look at a component to look again.
inline bool due_for_a_look(TableauWatch& watch, std::uint32_t degree) noexcept {
    watch.graph_work += degree;
    return watch.graph_work >= watch.next_look;
}

// The engine waits this much more preparation work before it looks at a component again.
inline void wait(TableauWatch& watch, std::uint64_t work) noexcept {
    watch.next_look = watch.graph_work + work * thresholds.tableau_patience;
}

// A tableau of m qubits goes back to graph form after `gates` gates: the engine looks again after
// m^2 degrees of graph-form work (many trips' worth), and a tableau left after fewer than 2m
// gates, which hardly paid for its trip, doubles that wait and the rent a component must reach
// before it enters, for each such stay in a row.
inline void left_tableau(TableauWatch& watch, std::uint64_t m, std::uint64_t gates) noexcept {
    const bool short_stay = gates < 2 * m;
    watch.short_stays = short_stay ? std::min(watch.short_stays + 1, 16) : 0;
    wait(watch, (m * m) << watch.short_stays);
}

// A measurement ends any stretch of graph-form work that a component entering a tableau would have
// saved: measured, a tableau goes back to graph form. So only work since the last measurement
// counts towards the trip.
inline void note_measurement(TableauWatch& watch) noexcept { watch.dense_since = TableauWatch::NOT_SEEN; }

}  // namespace nodeweave
