#include "engine/graph/hub_index.h"

#include <new>

namespace nodeweave {

HubIndex* HubIndex::allocate(std::uint32_t capacity) noexcept {
    void* memory = ::operator new(sizeof(HubIndex) + capacity * sizeof(Entry), std::nothrow);
    if (memory == nullptr) return nullptr;
    auto* index = static_cast<HubIndex*>(memory);
    index->mask_ = capacity - 1;
    index->count_ = 0;
    for (std::uint32_t i = 0; i < capacity; ++i) index->table()[i] = Entry{NO_SLOT, 0};
    return index;
}

void HubIndex::place(Slot key, std::uint32_t position) noexcept {
    std::uint32_t i = home(key);
    while (table()[i].key != NO_SLOT) i = (i + 1) & mask_;
    table()[i] = Entry{key, position};
    ++count_;
}

HubIndex* HubIndex::build(const Slot* entries, std::uint32_t count) noexcept {
    std::uint64_t capacity = 16;
    while (capacity < 2ull * count + 2) capacity *= 2;
    if (capacity > (1ull << 31)) return nullptr;
    HubIndex* index = allocate(static_cast<std::uint32_t>(capacity));
    if (index == nullptr) return nullptr;
    for (std::uint32_t p = 0; p < count; ++p) index->place(entries[p], p);
    return index;
}

void HubIndex::destroy(HubIndex* index) noexcept { ::operator delete(index); }

HubIndex* HubIndex::insert(HubIndex* index, Slot key, std::uint32_t position) noexcept {
    const std::uint64_t capacity = static_cast<std::uint64_t>(index->mask_) + 1;
    if (2ull * (index->count_ + 1) > capacity) {
        if (2 * capacity > (1ull << 31)) {
            destroy(index);
            return nullptr;
        }
        HubIndex* larger = allocate(static_cast<std::uint32_t>(2 * capacity));
        if (larger == nullptr) {
            destroy(index);
            return nullptr;
        }
        for (std::uint64_t i = 0; i < capacity; ++i) {
            const Entry& entry = index->table()[i];
            if (entry.key != NO_SLOT) larger->place(entry.key, entry.position);
        }
        destroy(index);
        index = larger;
    }
    index->place(key, position);
    return index;
}

void HubIndex::erase(Slot key) noexcept {
    std::uint32_t hole = home(key);
    while (table()[hole].key != key) {
        if (table()[hole].key == NO_SLOT) return;
        hole = (hole + 1) & mask_;
    }
    --count_;
    // Backward shift: pull later entries of the probe run into the hole where their home allows.
    for (std::uint32_t i = (hole + 1) & mask_; table()[i].key != NO_SLOT; i = (i + 1) & mask_) {
        const std::uint32_t want = home(table()[i].key);
        // The entry may move to the hole unless its home lies cyclically in (hole, i].
        const bool home_after_hole = ((i - want) & mask_) < ((i - hole) & mask_);
        if (!home_after_hole) {
            table()[hole] = table()[i];
            hole = i;
        }
    }
    table()[hole] = Entry{NO_SLOT, 0};
}

}  // namespace nodeweave
