#include "engine/graph/hub_index.h"

#include <new>

namespace nodeweave {

HubIndex* HubIndex::allocate(std::uint32_t capacity) noexcept {
    const std::size_t bytes = sizeof(HubIndex) + std::size_t{capacity} * sizeof(std::uint32_t);
    void* memory = ::operator new(bytes, std::nothrow);
    if (memory == nullptr) return nullptr;
    auto* index = static_cast<HubIndex*>(memory);
    index->mask_ = capacity - 1;
    index->count_ = 0;
    for (std::uint32_t i = 0; i < capacity; ++i) index->table()[i] = NO_POSITION;
    return index;
}

void HubIndex::place(const Slot* entries, std::uint32_t position) noexcept {
    std::uint32_t i = home(entries[position]);
    while (table()[i] != NO_POSITION) i = (i + 1) & mask_;
    table()[i] = position;
    ++count_;
}

HubIndex* HubIndex::build(const Slot* entries, std::uint32_t count) noexcept {
    std::uint64_t capacity = 16;
    while (!fits(std::uint64_t{count} + 1, capacity)) capacity *= 2;
    if (capacity > (1ull << 31)) return nullptr;
    HubIndex* index = allocate(static_cast<std::uint32_t>(capacity));
    if (index == nullptr) return nullptr;
    for (std::uint32_t p = 0; p < count; ++p) index->place(entries, p);
    return index;
}

void HubIndex::destroy(HubIndex* index) noexcept { ::operator delete(index); }

HubIndex* HubIndex::insert(HubIndex* index, const Slot* entries, std::uint32_t position) noexcept {
    if (fits(std::uint64_t{index->count_} + 1, index->capacity())) {
        index->place(entries, position);
        return index;
    }
    // The index holds positions 0 .. position - 1, so the larger one is built afresh from the list.
    destroy(index);
    return build(entries, position + 1);
}

void HubIndex::erase(const Slot* entries, std::uint32_t position) noexcept {
    std::uint32_t hole = home(entries[position]);
    while (table()[hole] != position) {
        if (table()[hole] == NO_POSITION) return;
        hole = (hole + 1) & mask_;
    }
    --count_;
    // Backward shift: pull later entries of the probe run into the hole where their home allows.
    for (std::uint32_t i = (hole + 1) & mask_; table()[i] != NO_POSITION; i = (i + 1) & mask_) {
        const std::uint32_t want = home(entries[table()[i]]);
        // The entry may move to the hole unless its home lies cyclically in (hole, i].
        const bool home_after_hole = ((i - want) & mask_) < ((i - hole) & mask_);
        if (!home_after_hole) {
            table()[hole] = table()[i];
            hole = i;
        }
    }
    table()[hole] = NO_POSITION;
}

}  // namespace nodeweave
