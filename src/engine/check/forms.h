#pragma once
// The invariant checks of each form, for engine/check/check.cpp, which runs them in turn. Each
// returns the first invariant it finds broken, as a message saying which and where, or "".

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/state.h"

namespace nodeweave {

std::string at(const char* what, const char* kind, std::size_t where);
inline std::string at_slot(const char* what, Slot s) { return at(what, "slot", index_of(s)); }
inline std::string at_block(const char* what, std::size_t id) { return at(what, "block", id); }

// Swapped records: the qubit-slot permutation.
std::string check_permutation(const State& state);
// Every vertex record: its VOP, mark and list, and its place in a block (check_row) or a tableau
// (check_tableau_member).
std::string check_vertices(const State& state);
std::string check_row(const State& state, Slot s);
std::string check_tableau_member(const State& state, Slot s);
// The dense blocks and the tableaux, as id pools.
std::string check_blocks(const State& state);
std::string check_tableaux(const State& state);
// The held-back controlled-Zs.
std::string check_deferrals(const State& state);

// Records kept by 16-bit id (NO_BLOCK excluded), the empty ones listed free for reuse: `in_use`
// tells the two apart, `check_live` checks one in use and `holds_memory` whether an empty one
// still holds any. Freeing appends to the free list without allocating, which must not fail.
template <class T, class InUse, class CheckLive, class HoldsMemory>
std::string check_id_pool(const std::vector<T>& records, const std::vector<std::uint16_t>& free, const std::string& kind,
                          InUse in_use, CheckLive check_live, HoldsMemory holds_memory) {
    if (records.size() > NO_BLOCK) return "more " + kind + " records than ids";
    if (free.capacity() < records.size()) return "no room to free every " + kind;
    std::vector<bool> listed(records.size(), false);
    for (const std::uint16_t id : free) {
        if (id >= records.size() || listed[id]) return at_block(("free " + kind + " id out of range or twice").c_str(), id);
        listed[id] = true;
    }
    for (std::size_t id = 0; id < records.size(); ++id) {
        if (in_use(records[id])) {
            if (listed[id]) return at_block((kind + " in use listed free").c_str(), id);
            const std::string broken = check_live(records[id], id);
            if (!broken.empty()) return broken;
            continue;
        }
        // An empty record is free for reuse and holds no memory.
        if (!listed[id]) return at_block(("empty " + kind + " not listed free").c_str(), id);
        if (holds_memory(records[id])) return at_block(("empty " + kind + " holds memory").c_str(), id);
    }
    return "";
}

}  // namespace nodeweave
