#pragma once
// Records kept by id (dense blocks, tableaux, deferrals), whose empty ones are listed free for
// reuse. The free list keeps room for every id, so that freeing one appends without allocating.
// Taking an id is two steps: `next_free_id` makes one ready (it may allocate), `take_id` hands it
// out (it cannot fail), so that what a caller allocates in between can fail with nothing taken.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace nodeweave {

// The id that `take_id` hands out next, with an empty record made for it when none is free, or
// `none` when every id below it is taken. Throws std::bad_alloc with nothing changed.
template <class Id, class T>
Id next_free_id(std::vector<T>& records, std::vector<Id>& free, Id none) {
    if (!free.empty()) return free.back();
    if (records.size() >= std::size_t{none}) return none;
    // Grown geometrically: some records come and go one at a time.
    if (records.size() == records.capacity()) records.reserve(std::max<std::size_t>(2 * records.size(), 4));
    free.reserve(records.capacity());
    records.emplace_back();
    free.push_back(static_cast<Id>(records.size() - 1));
    return free.back();
}

// Hands out the id `next_free_id` made ready.
template <class Id>
Id take_id(std::vector<Id>& free) noexcept {
    const Id id = free.back();
    free.pop_back();
    return id;
}

// Empties record `id` (its memory goes) and lists it free.
template <class Id, class T>
void free_id(std::vector<T>& records, std::vector<Id>& free, Id id) noexcept {
    T empty;
    std::swap(records[id], empty);
    free.push_back(id);  // room is kept for every id
}

}  // namespace nodeweave
