#include "engine/graph/star.h"

#include "engine/graph/graph.h"
#include "engine/policy/policy.h"

namespace nodeweave {

namespace {

// Marks, cleared before a toggle returns: LISTED on c's list neighbours, GOING on those whose edge
// goes, ADDED on those whose edge comes.
constexpr std::uint8_t LISTED = 1, GOING = 2, ADDED = 3;

// An isolated c (a fresh ancilla, typically) only gains edges: no marks, nothing to tidy.
void star_from_isolated(State& state, Slot c, std::span<const Slot> others) {
    Node& nc = state.nodes[c];
    for (Slot t : others) reserve_list_room(state, t, 1);
    // Room for the stars that usually follow, unless the list stays inline.
    const bool short_star = others.size() <= NeighbourList::INLINE_CAPACITY;
    nc.list.reserve(short_star ? others.size() : 2 * others.size());
    for (Slot t : others) {
        state.nodes[t].list.append(c);
        nc.list.append(t);
    }
}

// Room for every edge of the star that may come into the lists. Throws std::bad_alloc with
// nothing changed.
void reserve_star(State& state, Slot c, std::span<const Slot> others) {
    std::size_t outside = 0;
    for (Slot t : others) {
        if (same_block(state, c, t)) continue;
        ++outside;
        reserve_list_room(state, t, 1);
    }
    reserve_list_room(state, c, outside);
}

// Toggles each edge at its other end (or as a block bit), marking the ends GOING or ADDED; returns
// whether any edge goes.
bool toggle_far_ends(State& state, Slot c, std::span<const Slot> others) noexcept {
    Node& nc = state.nodes[c];
    bool any_going = false;
    for (Slot t : others) {
        Node& nt = state.nodes[t];
        if (same_block(state, c, t)) {
            Block& block = state.blocks[nc.block];
            block.change_edge(nc.local(), nt.local(), block.test(nc.local(), nt.local()) ? -1 : +1);
        } else if (nt.mark == LISTED) {
            nt.mark = GOING;
            any_going = true;
            list_erase(nt, c);
        } else {
            nt.mark = ADDED;
            nt.list.append(c);
        }
    }
    return any_going;
}

// The toggle at a hub c whose list is much longer than the star (star_by_look_ups): edge by edge,
// so that the cost follows the star and not the hub. List room has been reserved.
void toggle_at_hub(State& state, Slot c, std::span<const Slot> others) noexcept {
    for (Slot t : others) {
        if (has_edge(state, c, t)) {
            remove_edge(state, c, t);
            tidy(state, t);
        } else {
            add_edge(state, c, t);
        }
    }
    tidy(state, c);
}

}  // namespace

// A star is toggled in bulk: c's list neighbours are marked once, so that telling an edge from a
// non-edge needs no look-up, and c's list is rewritten in one pass instead of one search per
// removed entry.
void toggle_star(State& state, Slot c, std::span<const Slot> others) {
    Node& nc = state.nodes[c];
    if (nc.list.empty() && !nc.in_block()) {
        star_from_isolated(state, c, others);
        return;
    }
    reserve_star(state, c, others);
    if (star_by_look_ups(nc.list.size(), others.size())) {
        toggle_at_hub(state, c, others);
        return;
    }
    for (Slot y : nc.list) state.nodes[y].mark = LISTED;
    // One pass over c's list drops the going entries and clears the marks; one over the others
    // adds the new entries and tidies the rest (only a vertex that lost an edge can need it).
    if (toggle_far_ends(state, c, others)) {
        nc.list.retain([&](Slot y) {
            std::uint8_t& mark = state.nodes[y].mark;
            const bool keep = mark != GOING;
            mark = 0;
            return keep;
        });
    } else {
        for (Slot y : nc.list) state.nodes[y].mark = 0;
    }
    for (Slot t : others) {
        Node& nt = state.nodes[t];
        if (nt.mark == ADDED) {
            nc.list.append(t);
            nt.mark = 0;
        } else {
            tidy(state, t);
        }
    }
    tidy(state, c);
}

}  // namespace nodeweave
