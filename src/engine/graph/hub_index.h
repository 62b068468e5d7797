#pragma once
// Where each neighbour stands in a long neighbour list: an open-addressing hash table of positions
// into the list, at most three quarters full, with linear probing and backward-shift deletion. It
// holds positions only (4 bytes an entry) and reads each position's key from the list itself, so
// every operation is handed the list's entries, and an entry is forgotten before the list
// overwrites it. It always indexes positions 0 .. size() - 1 of the list.
// It is a cache: when memory for it cannot be had, the list simply goes without one and is
// scanned, so none of its operations throws.

#include <cstddef>
#include <cstdint>

#include "engine/core/index.h"

namespace nodeweave {

inline constexpr std::uint32_t NO_POSITION = UINT32_MAX;

class HubIndex {
public:
    // An index of entries[0 .. count), or nullptr when memory is short.
    static HubIndex* build(const Slot* entries, std::uint32_t count) noexcept;
    static void destroy(HubIndex* index) noexcept;

    // The position of key among the indexed entries, or NO_POSITION.
    std::uint32_t find(const Slot* entries, Slot key) const noexcept {
        for (std::uint32_t i = home(key);; i = (i + 1) & mask_) {
            const std::uint32_t position = table()[i];
            if (position == NO_POSITION || entries[position] == key) return position;
        }
    }
    // Records that `key`, indexed at `from`, now stands at `to`.
    void move(Slot key, std::uint32_t from, std::uint32_t to) noexcept {
        std::uint32_t i = home(key);
        while (table()[i] != from) i = (i + 1) & mask_;
        table()[i] = to;
    }
    // Forgets the entry at `position`; entries[] still holds every indexed key.
    void erase(const Slot* entries, std::uint32_t position) noexcept;
    // Whether count entries fit in this many: the index is kept at most three quarters full.
    static constexpr bool fits(std::uint64_t count, std::uint64_t capacity) noexcept {
        return 4 * count <= 3 * capacity;
    }
    std::uint32_t size() const noexcept { return count_; }
    std::uint32_t capacity() const noexcept { return mask_ + 1; }
    std::size_t bytes() const noexcept {
        return sizeof(HubIndex) + std::size_t{capacity()} * sizeof(std::uint32_t);
    }
    // Adds the entry at `position`, the list's last. Returns the index to use from now on: this
    // one, a larger copy, or nullptr (this one freed) when the larger copy could not be made.
    static HubIndex* insert(HubIndex* index, const Slot* entries, std::uint32_t position) noexcept;

private:
    std::uint32_t* table() noexcept { return reinterpret_cast<std::uint32_t*>(this + 1); }
    const std::uint32_t* table() const noexcept { return reinterpret_cast<const std::uint32_t*>(this + 1); }
    std::uint32_t home(Slot key) const noexcept {
        return static_cast<std::uint32_t>((index_of(key) * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
    }
    static HubIndex* allocate(std::uint32_t capacity) noexcept;
    void place(const Slot* entries, std::uint32_t position) noexcept;

    std::uint32_t mask_;   // capacity - 1; the capacity is a power of two
    std::uint32_t count_;
};

}  // namespace nodeweave
