#include "engine/entangled_group.h"

#include <unordered_set>

namespace nodeweave {

std::vector<qubit_t> entangled_group(const State& state, qubit_t qubit) {
    std::vector<qubit_t> seen_order{qubit};
    std::unordered_set<qubit_t> seen{qubit};
    // The seen list doubles as the queue: vertices are expanded in the order they were queued.
    for (std::size_t head = 0; head < seen_order.size(); ++head) {
        const qubit_t v = seen_order[head];
        for (qubit_t w : state.at(v).adjacency) {
            if (seen.insert(w).second) {
                seen_order.push_back(w);
            }
        }
    }
    return seen_order;
}

}  // namespace nodeweave
