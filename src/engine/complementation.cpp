#include "engine/complementation.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <unordered_map>

namespace nodeweave {

namespace {

constexpr std::size_t MAX_STEPS = 8;

// What the plan knows of a vertex met in some N_i: at which steps (bit i), at which positions,
// and a stamp used to mark the old neighbours of the vertex being rebuilt.
struct Member {
    qubit_t vertex;
    std::uint8_t steps = 0;
    std::uint32_t position[MAX_STEPS] = {};
    std::size_t stamp = SIZE_MAX;
};

class Members {
public:
    Member* find(qubit_t v) {
        auto it = index_.find(v);
        return it == index_.end() ? nullptr : &members_[it->second];
    }
    Member& get(qubit_t v) {
        auto [it, added] = index_.try_emplace(v, members_.size());
        if (added) members_.push_back(Member{v});
        return members_[it->second];
    }
    std::vector<Member>& all() { return members_; }

private:
    std::unordered_map<qubit_t, std::size_t> index_;
    std::vector<Member> members_;
};

// One complementation's effect on the list of x, a member of `neighbours`:
// the entries not in `neighbours`, then the members of `neighbours` (other than x) not yet listed.
AdjacencyList complement_list(const AdjacencyList& list, const AdjacencyList& neighbours,
                              qubit_t x) {
    std::unordered_map<qubit_t, bool> in_neighbours;
    for (qubit_t y : neighbours) in_neighbours.emplace(y, false);
    AdjacencyList result;
    result.reserve(list.size() + neighbours.size());
    for (qubit_t y : list) {
        auto it = in_neighbours.find(y);
        if (it == in_neighbours.end()) {
            result.push_back(y);
        } else {
            it->second = true;  // listed before: the toggle removes it
        }
    }
    for (qubit_t y : neighbours) {
        if (y != x && !in_neighbours[y]) result.push_back(y);
    }
    return result;
}

}  // namespace

ComplementPlan plan_complements(const State& state, const qubit_t* centres, std::size_t k) {
    ComplementPlan plan;
    plan.centre_lists.reserve(k);

    // The centres' lists, followed step by step.
    std::vector<std::pair<qubit_t, AdjacencyList>> centre_state;
    auto centre_entry = [&](qubit_t c) -> AdjacencyList& {
        for (auto& entry : centre_state) {
            if (entry.first == c) return entry.second;
        }
        centre_state.emplace_back(c, state.at(c).adjacency);
        return centre_state.back().second;
    };
    for (std::size_t i = 0; i < k; ++i) centre_entry(centres[i]);
    for (std::size_t i = 0; i < k; ++i) {
        plan.centre_lists.push_back(centre_entry(centres[i]));
        const AdjacencyList& neighbours = plan.centre_lists.back();
        for (auto& [other, list] : centre_state) {
            if (other != centres[i] && contains(neighbours, other)) {
                list = complement_list(list, neighbours, other);
            }
        }
    }

    // Every vertex met in some N_i, with its steps and positions.
    Members members;
    for (std::size_t i = 0; i < k; ++i) {
        const AdjacencyList& neighbours = plan.centre_lists[i];
        for (std::size_t p = 0; p < neighbours.size(); ++p) {
            Member& m = members.get(neighbours[p]);
            m.steps |= static_cast<std::uint8_t>(1u << i);
            m.position[i] = static_cast<std::uint32_t>(p);
        }
    }

    // The members of N_i whose last joint step with a vertex of steps `sigma` is i and whose number
    // of joint steps is odd: those become neighbours of such a vertex unless it had them before.
    std::unordered_map<std::uint32_t, std::vector<const Member*>> blocks;
    auto block = [&](std::size_t i, std::uint8_t sigma) -> const std::vector<const Member*>& {
        auto [it, added] = blocks.try_emplace(static_cast<std::uint32_t>(i << 8 | sigma));
        if (added) {
            for (qubit_t y : plan.centre_lists[i]) {
                const Member* m = members.find(y);
                const unsigned joint = sigma & m->steps;
                if (std::bit_width(joint) == i + 1 && std::popcount(joint) % 2 == 1) {
                    it->second.push_back(m);
                }
            }
        }
        return it->second;
    };

    std::vector<Member>& all = members.all();
    for (std::size_t n = 0; n < all.size(); ++n) {
        const qubit_t x = all[n].vertex;
        bool is_centre = false;
        for (auto& entry : centre_state) is_centre |= entry.first == x;
        if (is_centre) continue;
        const std::uint8_t sigma = all[n].steps;
        const AdjacencyList& old_list = state.nodes[x].adjacency;

        AdjacencyList result;
        std::vector<std::pair<std::uint32_t, qubit_t>> kept_old[MAX_STEPS];
        for (qubit_t y : old_list) {
            Member* m = members.find(y);
            const unsigned joint = m ? (sigma & m->steps) : 0u;
            if (joint == 0) {
                result.push_back(y);  // never toggled: keeps its place
                continue;
            }
            m->stamp = n;  // an old neighbour: the blocks below must not add it again
            if (std::popcount(joint) % 2 == 0) {  // toggled an even number of times: still there
                const std::size_t last = std::bit_width(joint) - 1;
                kept_old[last].emplace_back(m->position[last], y);
            }
        }
        for (std::size_t i = 0; i < k; ++i) {
            if (!(sigma >> i & 1)) continue;
            auto& old_ones = kept_old[i];
            std::sort(old_ones.begin(), old_ones.end());
            auto next_old = old_ones.begin();
            for (const Member* m : block(i, sigma)) {
                while (next_old != old_ones.end() && next_old->first < m->position[i]) {
                    result.push_back((next_old++)->second);
                }
                if (m->vertex != x && m->stamp != n) result.push_back(m->vertex);
            }
            for (; next_old != old_ones.end(); ++next_old) result.push_back(next_old->second);
        }
        plan.new_lists.emplace_back(x, std::move(result));
    }
    for (auto& entry : centre_state) plan.new_lists.push_back(std::move(entry));
    return plan;
}

void apply_lists(State& state, ComplementPlan& plan) noexcept {
    for (auto& [vertex, list] : plan.new_lists) state.nodes[vertex].adjacency.swap(list);
}

void complement_sequence(State& state, const qubit_t* centres, std::size_t k) {
    // If every centre has at most one neighbour, no step toggles an edge, so no list changes
    // and only VOPs do.
    bool toggles = false;
    for (std::size_t i = 0; i < k; ++i) toggles |= state.at(centres[i]).adjacency.size() > 1;
    if (!toggles) {
        for (std::size_t i = 0; i < k; ++i) {
            Node& centre = state.nodes[centres[i]];
            for (qubit_t y : centre.adjacency) {
                state.nodes[y].vop = VOP_PRODUCT[state.nodes[y].vop][VOP_S];
            }
            centre.vop = VOP_PRODUCT[centre.vop][VOP_SQRT_IX];
        }
        return;
    }
    ComplementPlan plan = plan_complements(state, centres, k);
    apply_lists(state, plan);
    for (std::size_t i = 0; i < k; ++i) {
        for (qubit_t y : plan.centre_lists[i]) {
            state.nodes[y].vop = VOP_PRODUCT[state.nodes[y].vop][VOP_S];
        }
        Node& centre = state.nodes[centres[i]];
        centre.vop = VOP_PRODUCT[centre.vop][VOP_SQRT_IX];
    }
}

}  // namespace nodeweave
