#include "engine/graph/entangled_group.h"

#include <unordered_set>

#include "engine/deferral/deferral.h"
#include "engine/graph/graph.h"
#include "engine/tableau/routing.h"

namespace nodeweave {

std::vector<Qubit> entangled_group(State& state, Qubit qubit) {
    state.check(qubit);
    settle_for_reading(state);  // the group follows edges
    if (state.nodes[state.slot(qubit)].in_tableau()) return tableau_group(state, state.slot(qubit));
    std::vector<Slot> order{state.slot(qubit)};
    std::unordered_set<Slot> seen{order[0]};
    // The seen list doubles as the queue: vertices are expanded in the order they were queued.
    for (std::size_t head = 0; head < order.size(); ++head) {
        for_each_neighbour(state, order[head], [&](Slot w) {
            if (seen.insert(w).second) order.push_back(w);
        });
    }
    std::vector<Qubit> group;
    group.reserve(order.size());
    for (Slot s : order) group.push_back(state.qubit(s));
    return group;
}

}  // namespace nodeweave
