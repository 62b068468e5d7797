#include "engine/graph/hub_index.h"

#include <new>

namespace nodeweave {

HubIndex* HubIndex::allocate(std::uint32_t capacity) noexcept {
    void* memory = ::operator new(sizeof(HubIndex) + std::size_t{capacity} * sizeof(std::uint32_t), std::nothrow);
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
    while (!fits(count + 1, capacity)) capacity *= 2;
    if (capacity > (1ull << 31)) return nullptr;
    HubIndex* index = allocate(static_cast<std::uint32_t>(capacity));
    if (index == nullptr) return nullptr;
    for (std::uint32_t p = 0; p < count; ++p) index->place(entries, p);
    return index;
}

void HubIndex::destroy(HubIndex* index) noexcept { ::operator delete(index); }

HubIndex* HubIndex::insert(HubIndex* index, const Slot* entries, std::uint32_t position) noexcept {
    const std::uint64_t capacity = static_cast<std::uint64_t>(index->mask_) + 1;
    if (!fits(index->count_ + 1, capacity)) {
        HubIndex* larger = 2 * capacity > (1ull << 31) ? nullptr : allocate(static_cast<std::uint32_t>(2 * capacity));
        if (larger != nullptr) {
            for (std::uint64_t i = 0; i < capacity; ++i) {
                if (index->table()[i] != NO_POSITION) larger->place(entries, index->table()[i]);
            }
        }
        destroy(index);
        if (larger == nullptr) return nullptr;
        index = larger;
    }
    index->place(entries, position);
    return index;
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
