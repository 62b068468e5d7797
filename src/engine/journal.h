#pragma once
// A record of vertices as they were, so that an operation of several stages that runs out of
// memory part-way can put back what its earlier stages changed.
//
// While a journal is active, lists are not compacted, so no list has less room than it had when
// it was saved, and putting it back needs no memory.

#include <cstdint>
#include <memory_resource>
#include <vector>

#include "engine/state.h"

namespace nodeweave {

class Journal {
public:
    explicit Journal(std::pmr::memory_resource* arena) : entries_(arena), saved_(arena) {}

    // Saves v's list and VOP as they are now. May throw std::bad_alloc; then nothing is saved.
    void save(const State& state, vertex_t v) {
        const Node& node = state.nodes[v];
        if (entries_.size() == entries_.capacity()) entries_.reserve(2 * entries_.size() + 16);
        saved_.insert(saved_.end(), node.adjacency.begin(), node.adjacency.end());
        entries_.push_back(Entry{v, node.adjacency.size(), node.vop});
    }

    // Puts every saved vertex back as it was when first saved.
    void restore(State& state) noexcept {
        std::size_t end = saved_.size();
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            const std::size_t begin = end - it->length;
            state.nodes[it->vertex].adjacency.assign(saved_.data() + begin, saved_.data() + end);
            state.nodes[it->vertex].vop = it->vop;
            end = begin;
        }
        entries_.clear();
        saved_.clear();
    }

private:
    struct Entry {
        vertex_t vertex;
        std::uint32_t length;
        vop_t vop;
    };
    std::pmr::vector<Entry> entries_;
    std::pmr::vector<vertex_t> saved_;
};

// Compacts v's list unless a journal may still need its room.
inline void compact_list(State& state, vertex_t v) {
    if (state.journal == nullptr) state.nodes[v].adjacency.compact();
}

}  // namespace nodeweave
