#include "engine/graph/entangled_group.h"

#include <cstdint>

#include "engine/deferral/deferral.h"
#include "engine/graph/component.h"
#include "engine/tableau/routing.h"

namespace nodeweave {

std::vector<Qubit> entangled_group(State& state, Qubit qubit) {
    const Slot s = state.slot(qubit);  // settling never moves a qubit to another slot
    settle_for_reading(state);         // the group follows edges
    if (state.nodes[s].in_tableau()) return tableau_group(state, s);
    const Component component = component_of(state, s, UINT32_MAX);
    std::vector<Qubit> group;
    group.reserve(component.slots.size());
    for (Slot member : component.slots) group.push_back(state.qubit(member));
    return group;
}

}  // namespace nodeweave
