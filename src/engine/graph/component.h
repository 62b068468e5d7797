#pragma once
// The connected component of a vertex in the graph, found breadth-first with the vertices' scratch
// marks: what the entangled-group query returns and what a tableau takes in.

#include <cstdint>
#include <vector>

#include "engine/core/state.h"

namespace nodeweave {

struct Component {
    std::vector<Slot> slots;  // in the order met
    std::uint64_t degrees = 0;
    std::uint64_t looked_at = 0;  // vertices and edges visited
};

// The graph component of s, unless it has more than `cap` vertices: then `slots` is empty.
// Throws std::bad_alloc with the marks cleared.
Component component_of(State& state, Slot s, std::uint32_t cap);

}  // namespace nodeweave
