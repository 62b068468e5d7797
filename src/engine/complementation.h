#pragma once
// Local complementations computed list by list.
//
// Done one edge toggle at a time, a complementation about a vertex of degree d costs about d^2
// toggles of d each, and a reduction word of up to five complementations can pass through a dense
// intermediate graph although its net effect is small. Here each affected adjacency list is
// computed once, directly in its final order, for a whole sequence of complementations:
//
//   Let N_i be the list of the i-th centre when its complementation runs. Every other vertex x
//   only changes where x is in some N_i; the pair {x, y} is toggled once for each step i at which
//   both lie in N_i (a "joint" step). Then x's final list is
//     - the entries of x's list with no joint step, in their old order, followed by
//     - for each step i in turn, the members y of N_i (in N_i's order) whose last joint step with
//       x is i and whose edge with x is present at the end.
//   The centres' own lists are followed step by step. Work is linear in the lists read plus the
//   entries written, however dense the intermediate graphs would have been.
//
// All new lists are built before anything is changed, so a failed allocation leaves the state whole.

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <span>
#include <vector>

#include "engine/state.h"

namespace nodeweave {

inline constexpr std::size_t MAX_COMPLEMENT_STEPS = 8;

// Consecutive complementations about the same centre form one run: N_i is the same for each.
struct Runs {
    std::size_t count = 0;
    vertex_t centre[MAX_COMPLEMENT_STEPS] = {};
    unsigned length[MAX_COMPLEMENT_STEPS] = {};
};

Runs group_runs(const qubit_t* centres, std::size_t k);

// The edge changes of a sequence of complementations, computed but not yet applied.
struct ComplementPlan {
    Runs runs;
    struct Slice {
        vertex_t vertex;
        std::uint32_t offset;
        std::uint32_t length;
    };
    explicit ComplementPlan(std::pmr::memory_resource* arena)
        : centre_entries(arena), list_entries(arena), new_lists(arena) {}

    std::pmr::vector<vertex_t> centre_entries;  // N_i of each run, one after another
    std::uint32_t centre_offsets[MAX_COMPLEMENT_STEPS + 1] = {};
    std::pmr::vector<vertex_t> list_entries;  // the new lists, one after another
    std::pmr::vector<Slice> new_lists;        // where each changed vertex's new list lies

    std::span<const vertex_t> centre_list(std::size_t i) const {
        return {centre_entries.data() + centre_offsets[i], centre_offsets[i + 1] - centre_offsets[i]};
    }
    // Deletes every entry equal to v from the new lists, keeping their order.
    void remove_everywhere(vertex_t v);
    // Empties the new list of v (a vertex the plan changes or a centre).
    void clear_list(vertex_t v);
};

// Computes the lists after complementing about centres[0], ..., centres[k-1] in turn
// (k <= MAX_COMPLEMENT_STEPS), with its working memory and the plan's from `arena`. Uses the
// nodes' scratch marks, and leaves them at 0.
ComplementPlan plan_complements(State& state, const qubit_t* centres, std::size_t k,
                                std::pmr::memory_resource* arena);

// A stack buffer for plans: small neighbourhoods are worked out without touching the heap.
struct PlanArena {
    std::byte buffer[4096];
    std::pmr::monotonic_buffer_resource resource{buffer, sizeof buffer};
};

// Puts the planned lists in place. All room is made before the first list changes, so when
// memory runs out nothing has changed.
void apply_lists(State& state, const ComplementPlan& plan);

// Complements about each centre in turn, with the VOP corrections: each neighbour of the centre
// times S on the right, the centre times sqrt(iX) on the right.
void complement_sequence(State& state, const qubit_t* centres, std::size_t k);

}  // namespace nodeweave
