#pragma once
// Records kept by 16-bit id (dense blocks, tableaux), whose empty ones are listed free for reuse.
// The free list keeps room for every id, so that freeing one appends without allocating.

#include <cstdint>
#include <vector>

#include "engine/core/node.h"

namespace nodeweave {

// An empty record's id, made when none is free, or NO_BLOCK when every id is taken. Throws
// std::bad_alloc with nothing changed.
template <class T>
std::uint16_t take_free_id(std::vector<T>& records, std::vector<std::uint16_t>& free) {
    if (free.empty()) {
        if (records.size() >= NO_BLOCK) return NO_BLOCK;
        records.reserve(records.size() + 1);
        free.reserve(records.capacity());
        records.emplace_back();
        free.push_back(static_cast<std::uint16_t>(records.size() - 1));
    }
    const std::uint16_t id = free.back();
    free.pop_back();
    return id;
}

}  // namespace nodeweave
