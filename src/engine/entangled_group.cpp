#include "engine/entangled_group.h"

#include <unordered_set>

#include "engine/graph.h"

namespace nodeweave {

std::vector<qubit_t> entangled_group(const State& state, qubit_t qubit) {
    std::vector<slot_t> order{state.slot(qubit)};
    std::unordered_set<slot_t> seen{order[0]};
    // The seen list doubles as the queue: vertices are expanded in the order they were queued.
    for (std::size_t head = 0; head < order.size(); ++head) {
        for_each_neighbour(state, order[head], [&](slot_t w) {
            if (seen.insert(w).second) order.push_back(w);
        });
    }
    std::vector<qubit_t> group;
    group.reserve(order.size());
    for (slot_t s : order) group.push_back(state.qubit(s));
    return group;
}

}  // namespace nodeweave
