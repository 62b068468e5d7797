#include "engine/complement_shortcuts.h"

#include "engine/journal.h"

#include <algorithm>
#include <cstddef>
#include <memory_resource>
#include <utility>
#include <vector>

namespace nodeweave {

namespace {

// Marks each entry of `list` with its position + 1 in the nodes' scratch marks; clears them when
// it goes, on every path.
class PositionMarks {
public:
    PositionMarks(State& state, const AdjacencyList& list) : state_(state), list_(list) {
        for (std::uint32_t p = 0; p < list.size(); ++p) state.nodes[list[p]].mark = p + 1;
    }
    ~PositionMarks() {
        for (vertex_t y : list_) state_.nodes[y].mark = 0;
    }
    PositionMarks(const PositionMarks&) = delete;
    PositionMarks& operator=(const PositionMarks&) = delete;

private:
    State& state_;
    const AdjacencyList& list_;
};

// c^n as a right factor: VOP c multiplied by itself n times.
vop_t power(vop_t c, unsigned n) {
    vop_t result = VOP_IDENTITY;
    for (unsigned i = 0; i < n; ++i) result = VOP_PRODUCT[result][c];
    return result;
}

void multiply_right(State& state, vertex_t v, vop_t c) {
    state.nodes[v].vop = VOP_PRODUCT[state.nodes[v].vop][c];
}

std::size_t largest_degree(const State& state, const AdjacencyList& vertices) {
    std::size_t largest = 0;
    for (vertex_t x : vertices) largest = std::max<std::size_t>(largest, state.nodes[x].adjacency.size());
    return largest;
}

// Moves the marked entries of `list` (skipping `drop`) behind the others in mark order, with
// `insert` (unless it is NO_VERTEX) between the two parts. `moved` is scratch with enough room.
constexpr vertex_t NO_VERTEX = UINT32_MAX;
using Moved = std::pmr::vector<std::pair<std::uint32_t, vertex_t>>;
void regroup(const State& state, AdjacencyList& list, vertex_t drop, vertex_t insert, Moved& moved) {
    moved.clear();
    std::uint32_t kept = 0;
    for (vertex_t y : list) {
        if (y == drop) continue;
        const std::uint32_t mark = state.nodes[y].mark;
        if (mark != 0) {
            moved.emplace_back(mark, y);
        } else {
            list[kept++] = y;
        }
    }
    if (insert != NO_VERTEX) list[kept++] = insert;
    std::sort(moved.begin(), moved.end());
    for (const auto& entry : moved) list[kept++] = entry.second;
    list.truncate(kept);
}

}  // namespace

bool complement_even_run(State& state, vertex_t v, unsigned length) {
    if (length % 2 != 0) return false;
    const AdjacencyList& neighbours = state.nodes[v].adjacency;
    const std::size_t largest = largest_degree(state, neighbours);
    // Leaves of v (lists [v]) hold no neighbour of v: their lists stay as they are.
    if (largest > 1) {
        std::byte buffer[1024];
        std::pmr::monotonic_buffer_resource arena(buffer, sizeof buffer);
        Moved moved(&arena);
        moved.reserve(largest);  // the only allocation, on the stack unless v has a hub neighbour
        PositionMarks marks(state, neighbours);
        for (vertex_t x : neighbours) regroup(state, state.nodes[x].adjacency, NO_VERTEX, NO_VERTEX, moved);
    }
    const vop_t s = power(VOP_S, length);  // the identity for four complementations
    if (s != VOP_IDENTITY) {
        for (vertex_t x : neighbours) multiply_right(state, x, s);
    }
    multiply_right(state, v, power(VOP_SQRT_IX, length));
    return true;
}

bool complement_leaf_pivot(State& state, const Runs& runs) {
    const std::size_t count = runs.count;
    if (count < 2 || count > 3) return false;
    const vertex_t a = runs.centre[count - 1];
    const vertex_t c = runs.centre[count - 2];
    const unsigned lead = count == 3 ? runs.length[0] : 0;
    const unsigned middle = runs.length[count - 2];
    const unsigned last = runs.length[count - 1];
    if ((count == 3 && runs.centre[0] != a) || middle % 2 == 0 || last % 2 == 0) return false;
    AdjacencyList& a_list = state.nodes[a].adjacency;
    if (a_list.size() != 1 || a_list[0] != c) return false;

    AdjacencyList& c_list = state.nodes[c].adjacency;
    const std::size_t largest = largest_degree(state, c_list);
    std::byte buffer[1024];
    std::pmr::monotonic_buffer_resource arena(buffer, sizeof buffer);
    Moved moved(&arena);
    if (largest > 1) moved.reserve(largest);
    a_list.reserve(c_list.size());  // a's list grows to [c] + c's other neighbours
    // Nothing below allocates.
    const vop_t others = power(VOP_S, middle + last);
    if (largest <= 1) {
        // Every other neighbour of c is a leaf of c (as in a GHZ star): it now hangs from a.
        for (vertex_t x : c_list) {
            if (x == a) continue;
            Node& node = state.nodes[x];
            node.adjacency[0] = a;
            node.vop = VOP_PRODUCT[node.vop][others];
        }
    } else {
        PositionMarks marks(state, c_list);
        for (vertex_t x : c_list) {
            if (x == a) continue;
            regroup(state, state.nodes[x].adjacency, c, a, moved);
            multiply_right(state, x, others);
        }
    }
    a_list.clear();
    a_list.push_back_reserved(c);
    for (vertex_t x : c_list) {
        if (x != a) a_list.push_back_reserved(x);
    }
    c_list.clear();
    c_list.push_back_reserved(a);
    compact_list(state, c);

    // The remaining VOPs, run by run: the leading run about a (neighbour c), the run about c
    // (neighbour a), the last run about a (neighbour c). The others took S for each of the last two.
    multiply_right(state, c, power(VOP_S, lead));
    multiply_right(state, a, power(VOP_SQRT_IX, lead));
    multiply_right(state, a, power(VOP_S, middle));
    multiply_right(state, c, power(VOP_SQRT_IX, middle));
    multiply_right(state, c, power(VOP_S, last));
    multiply_right(state, a, power(VOP_SQRT_IX, last));
    return true;
}

}  // namespace nodeweave
