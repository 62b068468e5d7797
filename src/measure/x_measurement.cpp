// The graph update of an X measurement.
//
// It toggles, in this order: every pair of a member u of q's list and a member x of b's list (u
// outer, x inner; a pair met twice counts only the first time), every pair of common neighbours,
// and b with every other member of q's list; b is q's first neighbour. Each affected list is built
// once from the sequence of its own toggles: the entries never toggled keep their places, and the
// toggled ones present at the end follow in the order of their last toggle.

#include <cstddef>
#include <memory_resource>
#include <vector>

#include "engine/marked_members.h"
#include "measure/pauli_measurement.h"

namespace nodeweave {

namespace {

// A vertex of q's or b's list, found through the nodes' scratch marks (index + 1).
struct Member {
    vertex_t vertex;
    std::uint32_t position_in_q = 0;  // position + 1 in q's list, 0 when not there
    bool in_b = false;
    // The toggles of the list being rebuilt:
    bool touched = false;
    bool odd = false;
    bool listed = false;
    std::uint32_t last = 0;
};

using Members = MarkedMembers<Member>;

void multiply_right(State& state, vertex_t x, vop_t c) {
    state.nodes[x].vop = VOP_PRODUCT[state.nodes[x].vop][c];
}

}  // namespace

// q's only neighbour b: the pairs are b with each member of b's list, q included, and nothing else,
// so b loses all its edges; q and b's other neighbours keep the rest of their lists.
static void measure_graph_x_of_a_leaf(State& state, vertex_t q, std::uint8_t g) {
    const vertex_t b = state.nodes[q].adjacency[0];
    AdjacencyList& nb = state.nodes[b].adjacency;
    for (vertex_t y : nb) {
        erase_value(state.nodes[y].adjacency, b);
        state.nodes[y].adjacency.compact();
        if (g == 1 && y != q) multiply_right(state, y, VOP_Z);
    }
    nb.clear();
    nb.compact();
    if (g == 0) {
        multiply_right(state, b, VOP_SQRT_IY);
    } else {
        multiply_right(state, b, VOP_SQRT_MINUS_IY);
        multiply_right(state, q, VOP_Z);
    }
}

void measure_graph_x(State& state, qubit_t q, std::uint8_t g) {
    if (state.at(q).adjacency.size() == 1) {
        measure_graph_x_of_a_leaf(state, static_cast<vertex_t>(q), g);
        return;
    }
    // Small neighbourhoods are worked out on the stack, without touching the heap.
    std::byte stack[4096];
    std::pmr::monotonic_buffer_resource arena(stack, sizeof stack);

    const AdjacencyList& nq = state.at(q).adjacency;
    const vertex_t b = nq.front();
    const AdjacencyList& nb = state.at(b).adjacency;
    Members members(state, &arena);
    members.reserve(static_cast<std::size_t>(nq.size()) + nb.size());
    for (std::uint32_t p = 0; p < nq.size(); ++p) members.add(nq[p]).position_in_q = p + 1;
    for (vertex_t x : nb) members.add(x).in_b = true;
    std::pmr::vector<vertex_t> common(&arena);
    for (vertex_t u : nq) {
        if (members.at(u).in_b) common.push_back(u);
    }
    // The position in q's list of a common neighbour; SIZE_MAX for any other vertex.
    auto common_position = [&](vertex_t v) -> std::size_t {
        const Member& m = members.at(v);
        return m.in_b && m.position_in_q != 0 ? m.position_in_q - 1 : SIZE_MAX;
    };

    // Everything is computed before the state is touched.
    std::pmr::vector<vertex_t> entries(&arena);  // the new lists, one after another
    std::pmr::vector<std::uint32_t> ends(&arena);
    std::pmr::vector<vertex_t> partners(&arena);
    for (const Member& member : members.all()) {
        const vertex_t x = member.vertex;
        partners.clear();
        const std::size_t x_common = common_position(x);
        // Pairs of q's and b's lists. A pair of two common neighbours is met twice and counts
        // where it is met first: at the one of the two that stands earlier in q's list.
        if (member.in_b) {
            for (std::size_t i = 0; i < nq.size(); ++i) {
                const vertex_t u = nq[i];
                if (u == x) {
                    for (vertex_t y : nb) {
                        if (y != x && !(common_position(y) < i)) partners.push_back(y);
                    }
                } else if (!(x_common < i && common_position(u) == i)) {
                    partners.push_back(u);
                }
            }
        } else {
            partners.insert(partners.end(), nb.begin(), nb.end());
        }
        if (x_common != SIZE_MAX) {
            for (vertex_t y : common) {
                if (y != x) partners.push_back(y);
            }
        }
        if (x == b) {
            for (vertex_t u : nq) {
                if (u != b) partners.push_back(u);
            }
        } else if (member.position_in_q != 0) {
            partners.push_back(b);
        }

        // Every partner is a member, so its toggles are kept there.
        for (std::uint32_t t = 0; t < partners.size(); ++t) {
            Member& m = members.at(partners[t]);
            m.touched = true;
            m.odd = !m.odd;
            m.last = t;
        }
        for (vertex_t y : state.nodes[x].adjacency) {
            Member* m = members.find(y);
            if (m != nullptr && m->touched) {
                m->listed = true;
            } else {
                entries.push_back(y);
            }
        }
        for (std::uint32_t t = 0; t < partners.size(); ++t) {
            Member& m = members.at(partners[t]);
            if (m.last == t && m.listed != m.odd) entries.push_back(partners[t]);
        }
        for (vertex_t y : partners) {
            Member& m = members.at(y);
            m.touched = m.odd = m.listed = false;
        }
        ends.push_back(static_cast<std::uint32_t>(entries.size()));
    }
    for (std::size_t i = 0; i < ends.size(); ++i) {
        const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
        state.nodes[members.all()[i].vertex].adjacency.reserve(ends[i] - begin);
    }

    // Nothing below allocates. The corrections read the lists as they were.
    if (g == 0) {
        multiply_right(state, b, VOP_SQRT_IY);
        for (vertex_t c : nq) {
            if (c != b && !members.at(c).in_b) multiply_right(state, c, VOP_Z);
        }
    } else {
        multiply_right(state, b, VOP_SQRT_MINUS_IY);
        multiply_right(state, static_cast<vertex_t>(q), VOP_Z);
        for (vertex_t c : nb) {
            if (c != q && members.at(c).position_in_q == 0) multiply_right(state, c, VOP_Z);
        }
    }
    for (std::size_t i = 0; i < ends.size(); ++i) {
        const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
        AdjacencyList& list = state.nodes[members.all()[i].vertex].adjacency;
        list.assign(entries.data() + begin, entries.data() + ends[i]);
        list.compact();
    }
}

}  // namespace nodeweave
