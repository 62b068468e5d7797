#include <algorithm>

#include "engine/check/forms.h"

namespace nodeweave {

namespace {

// The per-qubit tables exist for every qubit from the first deferral on, and no settling left a
// mark in them.
std::string check_tables(const State& state) {
    const Deferrals& d = state.deferrals;
    if (!d.control_of.empty() && (d.control_of.size() != state.size() || d.touch_head.size() != state.size() ||
                                  d.marks.size() != state.size())) {
        return "deferral tables do not cover every qubit";
    }
    if (d.control_of.empty() && (d.live != 0 || !d.touch_head.empty())) return "deferrals without tables";
    if (std::find_if(d.marks.begin(), d.marks.end(), [](Deferrals::Marks m) { return m != 0; }) != d.marks.end()) {
        return "a settling left a mark";
    }
    return "";
}

// Term i of deferral `id`: a qubit in graph form that controls nothing, with its own entry in the
// qubit's touch list holding a Pauli other than the identity, and no other term on that qubit.
std::string check_term(const State& state, std::uint32_t id, std::size_t i, const std::string& where) {
    const Deferrals& d = state.deferrals;
    const Deferral& deferral = d.by_id[id];
    const DeferredTerm& term = deferral.terms[i];
    if (term.qubit >= state.size() || term.link >= d.touch_links.size() || d.touch_links[term.link].id != id ||
        d.touch_links[term.link].pauli.identity()) {
        return "malformed deferred term" + where;
    }
    if (d.control_of[term.qubit] != Deferrals::NONE) return "a control in an R" + where;
    // Settling reads R's qubits' edges, which a tableau member does not have.
    if (state.node(Qubit(term.qubit)).in_tableau()) return "an R reaches into a tableau" + where;
    for (std::size_t j = 0; j < i; ++j) {
        if (deferral.terms[j].qubit == term.qubit) return "two terms on one qubit" + where;
    }
    std::size_t listed = 0;
    bool its_entry = false;
    d.for_each_touch(term.qubit, [&](const TouchLink& entry) {
        listed += entry.id == id;
        its_entry = its_entry || &entry == &d.touch_links[term.link];
    });
    return listed == 1 && its_entry ? "" : "a touch list misses a term" + where;
}

// A live deferral: its control is known, has no edges and is in no R; its terms and links hold.
std::string check_live_deferral(const State& state, std::uint32_t id) {
    const Deferrals& d = state.deferrals;
    const Deferral& deferral = d.by_id[id];
    const std::string where = " (deferral " + std::to_string(id) + ")";
    if (deferral.control >= state.size() || d.control_of[deferral.control] != id) {
        return "control_of misses a deferral" + where;
    }
    const Node& node = state.node(Qubit(deferral.control));
    if (!node.list.empty() || node.member != 0) return "a deferral's control has edges" + where;
    if (d.touched(deferral.control)) return "a deferral's control is in an R" + where;
    for (std::size_t i = 0; i < deferral.terms.size(); ++i) {
        const std::string broken = check_term(state, id, i, where);
        if (!broken.empty()) return broken;
    }
    for (std::uint32_t other : deferral.linked) {
        if (other >= d.by_id.size() || other == id || d.by_id[other].control == Deferral::NO_CONTROL) {
            return "a link to no deferral" + where;
        }
        const std::vector<std::uint32_t>& back = d.by_id[other].linked;
        if (std::count(back.begin(), back.end(), id) != 1) return "a one-sided link" + where;
    }
    return "";
}

// Every touch-list entry names a live deferral with a term there whose entry it is; `terms` is how
// many terms the live deferrals hold, and every link not in a list is free.
std::string check_touch_lists(const Deferrals& d, std::size_t terms) {
    std::size_t touches = 0;
    for (std::uint32_t q = 0; q < d.touch_head.size(); ++q) {
        for (std::uint32_t link = d.touch_head[q]; link != Deferrals::NONE; link = d.touch_links[link].next) {
            if (++touches > d.touch_links.size()) return "a touch list runs in a circle";
            const std::uint32_t id = d.touch_links[link].id;
            const DeferredTerm* term = id < d.by_id.size() ? term_on(d.by_id[id], q) : nullptr;
            if (term == nullptr || d.by_id[id].control == Deferral::NO_CONTROL || term->link != link) {
                return "a touch list names a deferral without a term there";
            }
        }
    }
    if (touches != terms || touches + d.free_links.size() != d.touch_links.size()) return "touch links are off";
    if (d.free_links.capacity() < d.touch_links.size()) return "no room to free every touch link";
    return "";
}

}  // namespace

std::string check_deferrals(const State& state) {
    const Deferrals& d = state.deferrals;
    std::string broken = check_tables(state);
    std::size_t live = 0, terms = 0;
    for (std::uint32_t id = 0; broken.empty() && id < d.by_id.size(); ++id) {
        if (d.by_id[id].control == Deferral::NO_CONTROL) continue;
        ++live;
        terms += d.by_id[id].terms.size();
        broken = check_live_deferral(state, id);
    }
    if (!broken.empty()) return broken;
    if (live != d.live) return "the count of deferrals is off";
    broken = check_touch_lists(d, terms);
    if (!broken.empty()) return broken;
    if (d.free_ids.size() + live != d.by_id.size() || d.free_ids.capacity() < d.by_id.size()) {
        return "free deferral ids are off";
    }
    return "";
}

}  // namespace nodeweave
