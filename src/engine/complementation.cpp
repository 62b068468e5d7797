#include "engine/complementation.h"

#include "engine/complement_shortcuts.h"
#include "engine/journal.h"
#include "engine/marked_members.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace nodeweave {

namespace {

// A vertex met in some N_i: the steps it is met at (bit i), its position in each N_i, and
// scratch used while one list is being rebuilt.
struct Member {
    vertex_t vertex;
    std::uint8_t steps = 0;
    bool listed = false;  // in the list being complemented
    std::uint32_t stamp = 0;  // set to the rebuilt vertex's number when it is an old neighbour
    std::uint32_t position[MAX_COMPLEMENT_STEPS] = {};
};

using Members = MarkedMembers<Member>;

bool in_step(const Member* m, std::size_t i) { return m != nullptr && (m->steps >> i & 1); }

}  // namespace

void ComplementPlan::remove_everywhere(vertex_t v) {
    for (Slice& slice : new_lists) {
        vertex_t* first = list_entries.data() + slice.offset;
        slice.length = static_cast<std::uint32_t>(std::remove(first, first + slice.length, v) - first);
    }
}

void ComplementPlan::clear_list(vertex_t v) {
    for (Slice& slice : new_lists) {
        if (slice.vertex == v) slice.length = 0;
    }
}

Runs group_runs(const qubit_t* centres, std::size_t k) {
    Runs runs;
    for (std::size_t i = 0; i < k; ++i) {
        const vertex_t c = static_cast<vertex_t>(centres[i]);
        if (runs.count > 0 && runs.centre[runs.count - 1] == c) {
            ++runs.length[runs.count - 1];
        } else {
            runs.centre[runs.count] = c;
            runs.length[runs.count++] = 1;
        }
    }
    return runs;
}

ComplementPlan plan_complements(State& state, const qubit_t* centres, std::size_t k,
                                std::pmr::memory_resource* arena) {
    ComplementPlan plan(arena);
    for (std::size_t i = 0; i < k; ++i) state.check(centres[i]);
    plan.runs = group_runs(centres, k);
    // A pair toggled in runs J is toggled an odd number of times when popcount(J & odd_runs) is.
    unsigned odd_runs = 0;
    for (std::size_t i = 0; i < plan.runs.count; ++i) odd_runs |= (plan.runs.length[i] & 1u) << i;
    auto odd = [&](unsigned joint) { return std::popcount(joint & odd_runs) % 2 == 1; };
    const std::size_t runs = plan.runs.count;
    Members members(state, arena);

    // The centres' lists, followed run by run: N_i is the list of run i's centre when it comes.
    std::pmr::vector<std::pair<vertex_t, AdjacencyList>> centre_lists(arena);
    for (std::size_t i = 0; i < runs; ++i) {
        bool known = false;
        for (auto& entry : centre_lists) known |= entry.first == plan.runs.centre[i];
        if (!known) centre_lists.emplace_back(plan.runs.centre[i], state.nodes[plan.runs.centre[i]].adjacency);
    }
    AdjacencyList complemented;
    for (std::size_t i = 0; i < runs; ++i) {
        const vertex_t c = plan.runs.centre[i];
        const AdjacencyList* neighbours = nullptr;
        for (auto& entry : centre_lists) {
            if (entry.first == c) neighbours = &entry.second;
        }
        plan.centre_offsets[i] = static_cast<std::uint32_t>(plan.centre_entries.size());
        plan.centre_entries.insert(plan.centre_entries.end(), neighbours->begin(), neighbours->end());
        plan.centre_offsets[i + 1] = static_cast<std::uint32_t>(plan.centre_entries.size());
        for (std::uint32_t p = 0; p < neighbours->size(); ++p) {
            Member& m = members.add((*neighbours)[p]);
            m.steps |= static_cast<std::uint8_t>(1u << i);
            m.position[i] = p;
        }
        // Another centre in N_i: one complementation takes the members of N_i it had out of its
        // list and appends the others; an even run leaves the same edges with the members it had
        // moved to the end, as two complementations do.
        for (auto& [w, list] : centre_lists) {
            if (w == c || !in_step(members.find(w), i)) continue;
            for (int repeat = plan.runs.length[i] % 2 == 1 ? 1 : 2; repeat > 0; --repeat) {
                complemented.clear();
                complemented.reserve(static_cast<std::size_t>(list.size()) + neighbours->size());
                for (vertex_t y : list) {
                    Member* m = members.find(y);
                    if (in_step(m, i)) {
                        m->listed = true;
                    } else {
                        complemented.push_back_reserved(y);
                    }
                }
                for (vertex_t y : *neighbours) {
                    Member* m = members.find(y);
                    if (y != w && !m->listed) complemented.push_back_reserved(y);
                    m->listed = false;
                }
                list.swap(complemented);
            }
        }
    }

    // block(i, sigma): the members of N_i, in N_i's order, whose last joint step with a vertex met
    // at steps `sigma` is i and whose number of joint steps is odd. Such a vertex ends up adjacent
    // to them, unless it was adjacent before.
    std::pmr::vector<std::pair<std::uint32_t, std::pmr::vector<const Member*>>> blocks(arena);
    auto block = [&](std::size_t i, std::uint8_t sigma) -> const std::pmr::vector<const Member*>& {
        const std::uint32_t key = static_cast<std::uint32_t>(i << 8 | sigma);
        for (auto& entry : blocks) {
            if (entry.first == key) return entry.second;
        }
        std::pmr::vector<const Member*> found(arena);
        for (vertex_t y : plan.centre_list(i)) {
            const Member* m = members.find(y);
            const unsigned joint = sigma & m->steps;
            if (static_cast<std::size_t>(std::bit_width(joint)) == i + 1 && odd(joint)) {
                found.push_back(m);
            }
        }
        blocks.emplace_back(key, std::move(found));
        return blocks.back().second;
    };

    struct KeptOld {  // an old neighbour that is back at the end: its last run and place in it
        std::uint32_t run;
        std::uint32_t position;
        vertex_t vertex;
        bool operator<(const KeptOld& other) const {
            return run != other.run ? run < other.run : position < other.position;
        }
    };
    std::pmr::vector<KeptOld> kept_old(arena);
    std::pmr::vector<Member>& all = members.all();
    for (std::uint32_t n = 0; n < all.size(); ++n) {
        const vertex_t x = all[n].vertex;
        bool is_centre = false;
        for (auto& entry : centre_lists) is_centre |= entry.first == x;
        if (is_centre) continue;
        const std::uint8_t sigma = all[n].steps;
        const std::uint32_t stamp = n + 1;
        const auto offset = static_cast<std::uint32_t>(plan.list_entries.size());

        // Old entries never toggled keep their places; those toggled an even number of times are
        // back at the end, placed by their last joint step.
        for (vertex_t y : state.nodes[x].adjacency) {
            Member* m = members.find(y);
            const unsigned joint = m != nullptr ? (sigma & m->steps) : 0u;
            if (joint == 0) {
                plan.list_entries.push_back(y);
                continue;
            }
            m->stamp = stamp;
            if (!odd(joint)) {
                const std::size_t last = static_cast<std::size_t>(std::bit_width(joint)) - 1;
                kept_old.push_back({static_cast<std::uint32_t>(last), m->position[last], y});
            }
        }
        std::sort(kept_old.begin(), kept_old.end());
        auto next_old = kept_old.begin();
        for (std::size_t i = 0; i < runs; ++i) {
            if (!(sigma >> i & 1)) continue;
            for (const Member* m : block(i, sigma)) {
                while (next_old != kept_old.end() && next_old->run == i &&
                       next_old->position < m->position[i]) {
                    plan.list_entries.push_back((next_old++)->vertex);
                }
                if (m->vertex != x && m->stamp != stamp) plan.list_entries.push_back(m->vertex);
            }
            while (next_old != kept_old.end() && next_old->run == i) {
                plan.list_entries.push_back((next_old++)->vertex);
            }
        }
        kept_old.clear();
        plan.new_lists.push_back(
            {x, offset, static_cast<std::uint32_t>(plan.list_entries.size()) - offset});
    }
    for (auto& [c, list] : centre_lists) {
        const auto offset = static_cast<std::uint32_t>(plan.list_entries.size());
        plan.list_entries.insert(plan.list_entries.end(), list.begin(), list.end());
        plan.new_lists.push_back({c, offset, list.size()});
    }
    return plan;
}

void apply_lists(State& state, const ComplementPlan& plan) {
    for (const auto& slice : plan.new_lists) state.nodes[slice.vertex].adjacency.reserve(slice.length);
    for (const auto& slice : plan.new_lists) {  // nothing below allocates
        const vertex_t* first = plan.list_entries.data() + slice.offset;
        AdjacencyList& list = state.nodes[slice.vertex].adjacency;
        list.assign(first, first + slice.length);
        compact_list(state, slice.vertex);
    }
}

void complement_sequence(State& state, const qubit_t* centres, std::size_t k) {
    for (std::size_t i = 0; i < k; ++i) state.check(centres[i]);
    if (state.journal != nullptr) {
        // Only the centres and their neighbours change: the centres' lists gain members only
        // from each other's lists.
        for (std::size_t i = 0; i < k; ++i) {
            if (i > 0 && centres[i] == centres[i - 1]) continue;
            state.journal->save(state, static_cast<vertex_t>(centres[i]));
            for (vertex_t y : state.nodes[centres[i]].adjacency) state.journal->save(state, y);
        }
    }
    auto multiply_right = [&](vertex_t v, vop_t c) {
        state.nodes[v].vop = VOP_PRODUCT[state.nodes[v].vop][c];
    };
    // If every centre has at most one neighbour, no step toggles an edge: no list changes, and
    // each N_i is the centre's present list.
    bool toggles = false;
    for (std::size_t i = 0; i < k; ++i) toggles |= state.nodes[centres[i]].adjacency.size() > 1;
    if (!toggles) {
        for (std::size_t i = 0; i < k; ++i) {
            for (vertex_t y : state.nodes[centres[i]].adjacency) multiply_right(y, VOP_S);
            multiply_right(static_cast<vertex_t>(centres[i]), VOP_SQRT_IX);
        }
        return;
    }
    const Runs runs = group_runs(centres, k);
    if (runs.count == 1 && complement_even_run(state, runs.centre[0], runs.length[0])) return;
    if (complement_leaf_pivot(state, runs)) return;

    PlanArena arena;
    const ComplementPlan plan = plan_complements(state, centres, k, &arena.resource);
    apply_lists(state, plan);
    for (std::size_t i = 0; i < plan.runs.count; ++i) {
        for (unsigned repeat = 0; repeat < plan.runs.length[i]; ++repeat) {
            for (vertex_t y : plan.centre_list(i)) multiply_right(y, VOP_S);
            multiply_right(plan.runs.centre[i], VOP_SQRT_IX);
        }
    }
}

}  // namespace nodeweave
