#include "engine/graph/component.h"

#include <algorithm>
#include <new>

#include "engine/graph/graph.h"

namespace nodeweave {

Component component_of(State& state, Slot s, std::uint32_t cap) {
    Component found;
    found.slots.reserve(std::min<std::uint32_t>(cap, 64) + 1);
    found.slots.push_back(s);
    state.nodes[s].mark = 1;
    bool too_large = false;
    try {
        for (std::size_t head = 0; head < found.slots.size() && !too_large; ++head) {
            const Slot v = found.slots[head];
            found.degrees += degree(state, v);
            find_neighbour(state, v, [&](Slot y) {
                ++found.looked_at;
                if (state.nodes[y].mark) return false;
                found.slots.push_back(y);
                state.nodes[y].mark = 1;
                too_large = found.slots.size() > cap;
                return too_large;
            });
        }
    } catch (const std::bad_alloc&) {
        for (Slot v : found.slots) state.nodes[v].mark = 0;
        throw;
    }
    found.looked_at += found.slots.size();
    for (Slot v : found.slots) state.nodes[v].mark = 0;
    if (too_large) found.slots.clear();
    return found;
}

}  // namespace nodeweave
